// The serial port selection dialog. At load it probes COM1 to COM5 and the serial ports of the
// system beyond them, lists those that can be opened right now with their device and what it is,
// then "any" (every port, the one the instrument starts on taken), and shows the port saved in
// serialport.cfg (or "1"); OK stores the port number, or "any", there. The file is the dialog's
// only result. There is no Cancel: Esc and the close box close it without writing.
#pragma once

#include <QDialog>

#include "forms/FormContext.h"

class QComboBox;
class QLabel;
class QPushButton;

class frmComSelect : public QDialog {
    Q_OBJECT

  public:
    explicit frmComSelect(const vsdl::forms::FormContext& context, QWidget* parent = nullptr);

    // Controls, named as their objectNames.
    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* cboPortOptions = nullptr;
    QLabel* lblPortDevice = nullptr;  // the device of the port in the box, and what it is
    QPushButton* cmdOK = nullptr;

    // An entry's device and description, as the list shows it after "COM<n>: ".
    static constexpr int kDetailsRole = Qt::UserRole + 1;

  public slots:
    void cmdOK_Click();

  private:
    void BuildControls();
    void Form_Load();
    void ProbePorts();
    void ShowDetails(const QString& text);

    vsdl::forms::FormContext context_;
};
