#include "forms/frmConvertBINtoPRN.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "common/BinFormat.h"
#include "common/FileOps.h"
#include "common/Paths.h"
#include "common/Settings.h"
#include "common/modGlobals.h"
#include "conversion/Failures.h"
#include "conversion/modConvert.h"
#include "forms/Controls.h"
#include "forms/EventYield.h"
#include "forms/Geometry.h"
#include "forms/PathLabel.h"
#include "forms/frmConfirmOverwrite.h"

using vsdl::forms::FromStd;
using vsdl::forms::TwipsRect;

namespace {

const char* const kChooseText = "Which BIN file would you like to convert to an ASCII format?";
const char* const kConvertingText = "Conversion has started... One Moment.";

// Where ConvertBINtoPRN's messages and yields go while the dialog hosts it.
class DialogNotifier final : public ConvertNotifier {
  public:
    DialogNotifier(frmConvertBINtoPRN* dialog, vsdl::forms::IMessages& messages)
        : dialog_(dialog), messages_(messages) {}

    void ShowMessage(const std::string& text) override {
        dialog_->Timer2_Timer();  // the bar shows how far the conversion got
        messages_.Show(dialog_, FromStd(text));
    }

    void Yield() override { yield_(); }

  private:
    frmConvertBINtoPRN* dialog_;
    vsdl::forms::IMessages& messages_;
    vsdl::forms::EventYield yield_;
};

// The bar is two frames; to a screen reader it is one progress bar with its percentage.
const char* const kPercentProperty = "vsdlPercent";

class PercentBarAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit PercentBarAccessible(QWidget* bar)
        : QAccessibleWidget(bar, QAccessible::ProgressBar) {}
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QVariant currentValue() const override { return widget()->property(kPercentProperty).toInt(); }
    void setCurrentValue(const QVariant&) override {}  // the conversion sets it, not the user
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }
};

// Qt's accessibility cache owns the interfaces a factory makes.
QAccessibleInterface* PercentBarFactory(const QString&, QObject* object) {
    if (object == nullptr || !object->isWidgetType() ||
        object->objectName() != QLatin1String("famPercent100"))
        return nullptr;
    return new PercentBarAccessible(static_cast<QWidget*>(object));
}

}  // namespace

frmConvertBINtoPRN::frmConvertBINtoPRN(const vsdl::forms::FormContext& context, QWidget* parent)
    : QDialog(parent), context_(context) {
    BuildControls();
    Form_Load();
}

void frmConvertBINtoPRN::BuildControls() {
    setObjectName(QStringLiteral("frmConvertBINtoPRN"));
    setWindowTitle(QStringLiteral("Conversion from BIN to PRN"));
    setModal(true);
    vsdl::forms::SetFixedClientTwips(this, 6495, 2535);

    const auto label = [this](const char* name, const QString& text, QRect rect) {
        return vsdl::forms::MakeLabel(this, name, text, rect);
    };
    const auto pathLabel = [this](const char* name, QRect rect) {
        return vsdl::forms::MakePathLabel(this, name, rect);
    };
    const auto button = [this](const char* name, const QString& text, QRect rect) {
        return vsdl::forms::MakeButton(this, name, text, rect);
    };

    lblStatus =
        label("lblStatus", QString::fromLatin1(kChooseText), TwipsRect(120, 120, 6255, 255, this));
    Label3 = label("Label3", QStringLiteral("Filename :"), TwipsRect(120, 540, 1095, 255, this));
    lblFilename = pathLabel("lblFilename", TwipsRect(1260, 540, 5115, 255, this));
    Label5 = label("Label5", QStringLiteral("Full Path  : "), TwipsRect(120, 900, 1095, 255, this));
    lblFullPath = pathLabel("lblFullPath", TwipsRect(1260, 900, 5115, 255, this));
    // A screen reader names each value label by its caption, not by the text it shows.
    lblFilename->setAccessibleName(QStringLiteral("Filename"));
    lblFullPath->setAccessibleName(QStringLiteral("Full path"));
    Label2 = label("Label2", QStringLiteral("% DONE  :"), TwipsRect(120, 1380, 1095, 255, this));

    famPercent100 = new QFrame(this);
    famPercent100->setObjectName(QStringLiteral("famPercent100"));
    famPercent100->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    famPercent100->setLineWidth(1);
    famPercent100->setGeometry(TwipsRect(1260, 1380, 1695, 255, this));
    static const bool barFactoryInstalled = [] {
        QAccessible::installFactory(PercentBarFactory);
        return true;
    }();
    (void)barFactoryInstalled;
    famPercent100->setAccessibleName(QStringLiteral("Conversion progress"));
    famPercent100->setProperty(kPercentProperty, 0);
    famPercentSome = new QFrame(famPercent100);
    famPercentSome->setObjectName(QStringLiteral("famPercentSome"));
    QPalette blue = famPercentSome->palette();
    blue.setColor(QPalette::Window, QColor(0, 0, 255));
    famPercentSome->setPalette(blue);
    famPercentSome->setAutoFillBackground(true);

    // Tab order follows creation: Browse, OK, Cancel, as they stand from left to right.
    cmdBrowse =
        button("cmdBrowse", QStringLiteral("Browse"), TwipsRect(2520, 1965, 1215, 375, this));
    cmdOK = button("cmdOK", QStringLiteral("OK"), TwipsRect(3840, 1965, 1215, 375, this));
    cmdCancel =
        button("cmdCancel", QStringLiteral("Cancel"), TwipsRect(5160, 1965, 1215, 375, this));
    cmdOK->setDefault(true);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmConvertBINtoPRN::cmdBrowse_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmConvertBINtoPRN::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmConvertBINtoPRN::cmdCancel_Click);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1);
    connect(Timer1, &QTimer::timeout, this, &frmConvertBINtoPRN::Timer1_Timer);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(1);
    connect(Timer2, &QTimer::timeout, this, &frmConvertBINtoPRN::Timer2_Timer);
}

void frmConvertBINtoPRN::Form_Load() {
    vsdl::forms::CentreOnScreen(this);
    ShowPath(FromStd(gLastBinPath));
    const QRect inside = famPercent100->contentsRect();
    famPercentSome->setGeometry(inside.left(), inside.top(), 0, inside.height());
    famPercent100->hide();
    famPercentSome->hide();
    (cmdOK->isEnabled() ? cmdOK : cmdBrowse)->setFocus();
    Timer1->start();
}

// Folder up to and including the last separator, and the name after it, shown with the
// platform's own separators.
void frmConvertBINtoPRN::ShowPath(const QString& fullPath) {
    const auto split = vsdl::paths::Split(QDir::toNativeSeparators(fullPath).toStdString());
    lblFullPath->setPath(FromStd(split.folder));
    lblFilename->setPath(FromStd(split.name));
    UpdateOkEnabled();
}

void frmConvertBINtoPRN::UpdateOkEnabled() {
    cmdOK->setEnabled(!lblFullPath->text().isEmpty() && !lblFilename->text().isEmpty());
}

void frmConvertBINtoPRN::cmdBrowse_Click() {
    if (context_.fileDialogs == nullptr) return;
    const std::optional<QString> chosen = context_.fileDialogs->OpenFile(
        this,
        {lblFullPath->text(), lblFilename->text(), QString::fromLatin1(vsdl::forms::kBinFilter)});
    if (!chosen || chosen->isEmpty()) return;
    ShowPath(*chosen);
    if (cmdOK->isEnabled()) cmdOK->setFocus();
}

void frmConvertBINtoPRN::cmdOK_Click() {
    RunConversionSteps();
}

void frmConvertBINtoPRN::cmdCancel_Click() {
    QDialog::reject();
}

void frmConvertBINtoPRN::Timer1_Timer() {
    Timer1->stop();
    if (gRunMode == 3) RunConversionSteps();
}

void frmConvertBINtoPRN::Timer2_Timer() {
    // Before the first conversion the length is 0: the bar keeps its width.
    if (gFileLength <= 0) return;
    const double fraction = static_cast<double>(gBytesRead) / static_cast<double>(gFileLength);
    if (!std::isfinite(fraction)) return;
    const QRect inside = famPercent100->contentsRect();
    const long width = std::lround(std::clamp(fraction, 0.0, 1.0) * inside.width());
    famPercentSome->resize(static_cast<int>(width), inside.height());
    const int percent = static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * 100));
    if (famPercent100->property(kPercentProperty).toInt() != percent) {
        famPercent100->setProperty(kPercentProperty, percent);
        QAccessibleValueChangeEvent changed(famPercent100, percent);
        QAccessible::updateAccessibility(&changed);
    }
}

void frmConvertBINtoPRN::reject() {
    if (converting_) return;
    QDialog::reject();
}

void frmConvertBINtoPRN::ShowConvertingState() {
    lblStatus->setText(QString::fromLatin1(kConvertingText));
    famPercent100->show();
    famPercentSome->show();
    cmdCancel->setEnabled(false);
    cmdBrowse->setEnabled(false);
    cmdOK->setEnabled(false);
    Timer2->start();
}

void frmConvertBINtoPRN::RunConversionSteps() {
    if (converting_) return;
    const QString folder = lblFullPath->text();
    const QString name = lblFilename->text();
    const std::string folderText = folder.toStdString();
    const std::string nameText = name.toStdString();

    if (!vsdl::paths::HasBinExtension(nameText)) {
        context_.Messages().Show(this, FromStd(vsdl::conversion::kBinNameText));
        return;
    }

    // The conversion writes RUN1.PRN; on Windows the question has always spoken of run1.prn.
    const std::string prnName = vsdl::binformat::ReportName(nameText, ".PRN");
    if (const std::optional<std::string> existing =
            vsdl::fileops::FileToBeReplaced(folderText, prnName, vsdl::paths::ToLower(prnName))) {
        gOverwriteFileName = *existing;
        frmConfirmOverwrite confirm(context_, this);
        confirm.exec();
        if (gOverwriteAnswer == "N") return;
    }

    converting_ = true;
    ShowConvertingState();

    gLastBinPath = folderText + nameText;
    const auto written =
        vsdl::settings::WriteLastBinPath(context_.SettingsFolder().toStdString(), gLastBinPath);
    if (!written.ok) {
        // The conversion still runs; only the proposal for next time is lost.
        context_.Messages().Show(this, FromStd(vsdl::settings::WriteFailureMessage(written)));
    }

    DialogNotifier notifier(this, context_.Messages());
    ConvertBINtoPRN(folderText, nameText, notifier);

    Timer2->stop();
    converting_ = false;
    accept();
}
