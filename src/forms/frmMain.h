// The main window: the program's four jobs as buttons and again as Tools menu entries, and View
// Data in the Tools menu alone. Each job runs in a modal dialog that this window opens and waits
// for; the dialogs learn which job was started only from gRunMode and hand results back only
// through gLastBinPath and the settings.
#pragma once

#include <QMainWindow>

#include "forms/FormContext.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;

class frmMain : public QMainWindow {
    Q_OBJECT

  public:
    explicit frmMain(const vsdl::forms::FormContext& context, QWidget* parent = nullptr);

    // Controls, named as the window's own objectNames.
    QPushButton* cmdSerialPortSetup = nullptr;
    QPushButton* cmdDownload = nullptr;
    QPushButton* cmdConvertBINtoPRN = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* cmdAllSteps = nullptr;

    QMenu* mnuFile = nullptr;
    QAction* mnuFileOpenDownloads = nullptr;  // the kept downloads in the file manager
    QAction* mnuFileExit = nullptr;
    QMenu* mnuTools = nullptr;
    QAction* mnuToolsSerialPortSetup = nullptr;
    QAction* mnuToolsDownload = nullptr;
    QAction* mnuToolsConvert = nullptr;
    QAction* mnuToolsDownloadAndConvert = nullptr;
    QAction* mnuToolsSeparator = nullptr;
    QAction* mnuToolsViewData = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpAbout = nullptr;

  private slots:
    void cmdSerialPortSetup_Click();
    void cmdDownload_Click();
    void cmdConvertBINtoPRN_Click();
    void cmdAllSteps_Click();

    void mnuFileOpenDownloads_Click();
    void mnuFileExit_Click();
    void mnuToolsSerialPortSetup_Click();
    void mnuToolsDownload_Click();
    void mnuToolsConvert_Click();
    void mnuToolsDownloadAndConvert_Click();
    void mnuToolsViewData_Click();
    void mnuHelpAbout_Click();

  private:
    void BuildControls();
    void BuildMenus();
    // Caption and the last BIN path, before the window is first shown.
    void Form_Load();
    // After a job's dialog has closed: this window is active again and has the keyboard.
    void TakeBackFocus();

    vsdl::forms::FormContext context_;
};
