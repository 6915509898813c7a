// The download dialog: opens the saved serial port, runs the download of the logger memory into
// ~tempidl.bin on the first tick of Timer1, and then, in its save phase, lets the user keep the
// image under a name of their choice and records that name in lastbin.cfg. The main window
// calls doprompt(), which returns when the dialog has closed.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>

#include "download/DownloadLoop.h"
#include "forms/FormContext.h"
#include "forms/PathLabel.h"
#include "jobs/DownloadJobs.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

class frmDownload : public QDialog {
    Q_OBJECT

  public:
    explicit frmDownload(const vsdl::forms::FormContext& context, QWidget* parent = nullptr);
    ~frmDownload() override;

    // Opens the port of serialport.cfg and shows the dialog modally; a port that cannot be
    // opened gets its message, sets gRunMode to 1 and the dialog is never shown.
    void doprompt();

    // Controls, named as their objectNames.
    QLabel* Label1 = nullptr;  // "Instructions :"
    QLabel* lblInstructions = nullptr;
    QGroupBox* famDownloading = nullptr;
    QLabel* Label2 = nullptr;  // "Status          :"
    QLabel* lblStatus = nullptr;
    QLabel* lblPort = nullptr;  // the port and device listened on
    QPushButton* cmdCancel = nullptr;
    QGroupBox* famGetFilename = nullptr;
    QLabel* Label3 = nullptr;  // "Full Path : "
    vsdl::forms::PathLabel* lblFullPath = nullptr;
    QLabel* Label4 = nullptr;  // "Filename:"
    vsdl::forms::PathLabel* lblFilename = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QPushButton* cmdOK = nullptr;
    // After "any port" found the instrument: keep that port in serialport.cfg on OK.
    QCheckBox* chkRememberPort = nullptr;
    QListWidget* List1 = nullptr;  // the instrument's text lines, below the visible area
    QTimer* Timer1 = nullptr;      // starts the download on its first tick

    // The fields the download loop polls; Cancel writes them.
    vsdl::download::DownloadControl control;

    enum class Phase { Ready, Downloading, Saving, Closed };
    Phase phase() const { return phase_; }
    // After a download that was not cancelled: famGetFilename takes famDownloading's place with
    // the proposed folder and name.
    void SwitchToSavePhase();

  public slots:
    void cmdCancel_Click();
    void cmdBrowse_Click();
    void cmdOK_Click();
    void Timer1_Timer();

  public:
    // Esc and the close box: during the download they do what Cancel does; in the save phase
    // they abandon the save, and gRunMode turns to 1 so that no conversion follows.
    void reject() override;

  private:
    void BuildControls();
    void ShowPath(const QString& folder, const QString& name);
    bool SaveDownload();
    void ShowPortLine(const QString& text);
    void PortFound(const std::string& device);
    // Writes serialport.cfg when the user asked to remember the port "any port" found.
    void RememberPort();
    // Ends the dialog and lets go of the temporary file.
    void CloseDialog(int result = QDialog::Rejected);

    vsdl::forms::FormContext context_;
    // Holds the temporary file's lock from doprompt until the image is saved or the dialog
    // closes, and the port while the download runs.
    vsdl::jobs::DownloadSession session_;
    bool portOpen_ = false;
    std::optional<std::int32_t> foundPort_;  // the COM number of the port "any port" found
    Phase phase_ = Phase::Ready;
};
