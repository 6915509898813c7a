#include "forms/frmAbout.h"

#include <QLabel>
#include <QPushButton>

#include "common/AppInfo.h"
#include "forms/Controls.h"
#include "forms/Geometry.h"

using vsdl::forms::FromStd;
using vsdl::forms::TwipsRect;

frmAbout::frmAbout(const vsdl::forms::FormContext& context, QWidget* parent)
    : QDialog(parent), context_(context) {
    BuildControls();
    Form_Load();
}

QString frmAbout::DescriptionText() {
    return QStringLiteral(
               "This program allows the downloading of Internal Data Logger Memory from the "
               "Valdor Sensing Model 62-RV Fluorometer. The download creates a file with a BIN "
               "extension and the conversion produces files with PRN and CSV extensions.  For "
               "more information go to our web page at ") +
           FromStd(vsdl::appinfo::kWebAddress) + QLatin1Char('.');
}

void frmAbout::BuildControls() {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setModal(true);
    vsdl::forms::SetFixedClientTwips(this, 8640, 3825);

    using vsdl::forms::MakeLabel;
    lblTitle1 = MakeLabel(this, "lblTitle1", {}, TwipsRect(2040, 240, 4695, 375, this));
    lblTitle1->setAlignment(Qt::AlignCenter);
    vsdl::forms::SetTitleFont(lblTitle1, 12.0);
    lblTitle2 = MakeLabel(this, "lblTitle2", {}, TwipsRect(2040, 720, 4695, 375, this));
    lblTitle2->setAlignment(Qt::AlignCenter);
    vsdl::forms::SetTitleFont(lblTitle2, 9.75);
    Label1 = MakeLabel(this, "Label1", {}, TwipsRect(240, 1920, 8295, 855, this));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The web address starts a line of its own, so that wrapping never splits it after
    // "https://"; the text is otherwise the description word for word.
    const QString address = FromStd(vsdl::appinfo::kWebAddress);
    QString shown = DescriptionText();
    shown.insert(shown.lastIndexOf(address), QLatin1Char('\n'));
    Label1->setText(shown);
    // The address can be copied into a browser.
    Label1->setTextInteractionFlags(Qt::TextSelectableByMouse);

    cmdOK = vsdl::forms::MakeButton(this, "cmdOK", QStringLiteral("OK"),
                                    TwipsRect(3720, 3120, 1575, 375, this));
    cmdOK->setDefault(true);
    cmdOK->setFocus();
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

void frmAbout::Form_Load() {
    vsdl::forms::CentreOnScreen(this);
    lblTitle2->setText(FromStd(vsdl::appinfo::VersionText(vsdl::appinfo::CurrentVersion())));
    lblTitle1->setText(FromStd(vsdl::appinfo::kTitle));
}

void frmAbout::cmdOK_Click() {
    accept();
}
