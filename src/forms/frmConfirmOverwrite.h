// Asks whether an existing file may be overwritten. The caller stores the file's full path in
// gOverwriteFileName, opens the dialog with exec() and reads gOverwriteAnswer afterwards: "Y"
// for Yes, "N" for No and also for Esc or the close box, so that a stale "Y" from an earlier
// use never counts as consent.
#pragma once

#include <QDialog>

#include "forms/FormContext.h"
#include "forms/PathLabel.h"

class QLabel;
class QPushButton;

class frmConfirmOverwrite : public QDialog {
    Q_OBJECT

  public:
    explicit frmConfirmOverwrite(const vsdl::forms::FormContext& context,
                                 QWidget* parent = nullptr);

    // Controls, named as their objectNames.
    QLabel* lblStatus = nullptr;
    vsdl::forms::PathLabel* lblExistingFile = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* cmdYes = nullptr;
    QPushButton* cmdNo = nullptr;

  public slots:
    void cmdYes_Click();
    void cmdNo_Click();

  protected:
    // Esc and the close box end here: they answer "N".
    void reject() override;

  private:
    void BuildControls();
    void Form_Load();
    void Form_QueryUnload();

    vsdl::forms::FormContext context_;
};
