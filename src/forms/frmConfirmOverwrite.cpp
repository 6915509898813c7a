#include "forms/frmConfirmOverwrite.h"

#include <QLabel>
#include <QPushButton>

#include "common/modGlobals.h"
#include "forms/Controls.h"
#include "forms/Geometry.h"
#include "forms/PathLabel.h"

using vsdl::forms::TwipsRect;

frmConfirmOverwrite::frmConfirmOverwrite(const vsdl::forms::FormContext& context, QWidget* parent)
    : QDialog(parent), context_(context) {
    BuildControls();
    Form_Load();
}

void frmConfirmOverwrite::BuildControls() {
    setObjectName(QStringLiteral("frmConfirmOverwrite"));
    setWindowTitle(QStringLiteral("Confirm Overwrite"));
    setModal(true);
    vsdl::forms::SetFixedClientTwips(this, 7590, 1845);

    using vsdl::forms::MakeButton;
    using vsdl::forms::MakeLabel;
    const auto centred = [](QLabel* label) {
        label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        return label;
    };
    lblStatus = centred(MakeLabel(this, "lblStatus",
                                  QStringLiteral("The following file already exists ..."),
                                  TwipsRect(0, 120, 7485, 195, this)));
    vsdl::forms::SetBoldSmallFont(lblStatus);
    lblExistingFile =
        vsdl::forms::MakePathLabel(this, "lblExistingFile", TwipsRect(0, 480, 7545, 195, this));
    centred(lblExistingFile);
    Label2 =
        centred(MakeLabel(this, "Label2", QStringLiteral("Do you want to overwrite this file?"),
                          TwipsRect(0, 960, 7515, 195, this)));
    vsdl::forms::SetBoldSmallFont(Label2);

    cmdYes =
        MakeButton(this, "cmdYes", QStringLiteral("Yes"), TwipsRect(2160, 1320, 1455, 375, this));
    cmdNo = MakeButton(this, "cmdNo", QStringLiteral("No"), TwipsRect(3960, 1320, 1455, 375, this));
    cmdYes->setDefault(true);
    setTabOrder(cmdYes, cmdNo);
    cmdYes->setFocus();

    connect(cmdYes, &QPushButton::clicked, this, &frmConfirmOverwrite::cmdYes_Click);
    connect(cmdNo, &QPushButton::clicked, this, &frmConfirmOverwrite::cmdNo_Click);
}

void frmConfirmOverwrite::Form_Load() {
    vsdl::forms::CentreOnScreen(this);
    lblExistingFile->setPath(vsdl::forms::FromStd(gOverwriteFileName));
}

void frmConfirmOverwrite::cmdYes_Click() {
    gOverwriteAnswer = "Y";
    accept();
}

void frmConfirmOverwrite::cmdNo_Click() {
    gOverwriteAnswer = "N";
    accept();
}

void frmConfirmOverwrite::Form_QueryUnload() {
    gOverwriteAnswer = "N";
}

void frmConfirmOverwrite::reject() {
    Form_QueryUnload();
    QDialog::reject();
}
