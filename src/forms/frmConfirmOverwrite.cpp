#include "forms/frmConfirmOverwrite.h"

#include <QLabel>
#include <QPushButton>

#include "common/modGlobals.h"
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

    auto label = [this](QLabel* l, const char* name, const QString& text, QRect rect) {
        l->setObjectName(QLatin1String(name));
        l->setText(text);
        l->setGeometry(rect);
        l->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        return l;
    };
    lblStatus = label(new QLabel(this), "lblStatus",
                      QStringLiteral("The following file already exists ..."),
                      TwipsRect(0, 120, 7485, 195, this));
    vsdl::forms::SetBoldSmallFont(lblStatus);
    lblExistingFile = label(new vsdl::forms::PathLabel(this), "lblExistingFile", QString(),
                            TwipsRect(0, 480, 7545, 195, this));
    Label2 =
        label(new QLabel(this), "Label2", QStringLiteral("Do you want to overwrite this file?"),
              TwipsRect(0, 960, 7515, 195, this));
    vsdl::forms::SetBoldSmallFont(Label2);

    auto button = [this](const char* name, const QString& text, QRect rect) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(rect);
        return b;
    };
    cmdYes = button("cmdYes", QStringLiteral("Yes"), TwipsRect(2160, 1320, 1455, 375, this));
    cmdNo = button("cmdNo", QStringLiteral("No"), TwipsRect(3960, 1320, 1455, 375, this));
    cmdYes->setDefault(true);
    setTabOrder(cmdYes, cmdNo);
    cmdYes->setFocus();

    connect(cmdYes, &QPushButton::clicked, this, &frmConfirmOverwrite::cmdYes_Click);
    connect(cmdNo, &QPushButton::clicked, this, &frmConfirmOverwrite::cmdNo_Click);
}

void frmConfirmOverwrite::Form_Load() {
    vsdl::forms::CentreOnScreen(this);
    static_cast<vsdl::forms::PathLabel*>(lblExistingFile)
        ->setPath(QString::fromStdString(gOverwriteFileName));
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
