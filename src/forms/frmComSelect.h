// The serial port selection dialog. At load it probes COM1 to COM5, lists those that can be
// opened right now and shows the port saved in serialport.cfg (or "1"); OK stores the port
// number there. The file is the dialog's only result. There is no Cancel: Esc and the close box
// close it without writing.
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
    QPushButton* cmdOK = nullptr;

  public slots:
    void cmdOK_Click();

  private:
    void BuildControls();
    void Form_Load();
    void ProbePorts();

    vsdl::forms::FormContext context_;
};
