#include "forms/frmDownload.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "common/Paths.h"
#include "common/Settings.h"
#include "common/UserFolders.h"
#include "common/modGlobals.h"
#include "forms/Controls.h"
#include "forms/Geometry.h"
#include "forms/PathLabel.h"
#include "forms/frmConfirmOverwrite.h"

using vsdl::forms::FromStd;
using vsdl::forms::TwipsRect;

namespace {

const char* const kDefaultSaveName = "Idatalog.bin";

// The download loop's view of the dialog: its labels, List1 and message boxes.
class DialogUi final : public vsdl::download::DownloadUi {
  public:
    DialogUi(frmDownload* dialog, vsdl::forms::IMessages& messages)
        : dialog_(dialog), messages_(messages) {}

    void SetInstructions(const std::string& text) override {
        dialog_->lblInstructions->setText(FromStd(text));
    }
    void SetStatus(const std::string& text) override { dialog_->lblStatus->setText(FromStd(text)); }
    void AddListLine(const std::string& text) override { dialog_->List1->addItem(FromStd(text)); }
    void ShowMessage(const std::string& text) override { messages_.Show(dialog_, FromStd(text)); }
    // Cancel and the repaints need the event loop only every few milliseconds; running it on
    // every byte would cost more than the download itself and slow a fast line down.
    void ProcessEvents() override {
        if (!sinceEvents_.isValid() || sinceEvents_.elapsed() >= 5) {
            QCoreApplication::processEvents();
            sinceEvents_.start();
        }
    }

  private:
    frmDownload* dialog_;
    vsdl::forms::IMessages& messages_;
    QElapsedTimer sinceEvents_;
};

}  // namespace

frmDownload::frmDownload(const vsdl::forms::FormContext& context, QWidget* parent)
    : QDialog(parent), context_(context) {
    BuildControls();
}

frmDownload::~frmDownload() = default;

void frmDownload::BuildControls() {
    setObjectName(QStringLiteral("frmDownload"));
    setWindowTitle(QStringLiteral("Download"));
    setModal(true);
    vsdl::forms::SetFixedClientTwips(this, 8925, 2385);

    using vsdl::forms::MakeButton;
    const auto label = vsdl::forms::MakeLabel;
    const auto pathLabel = vsdl::forms::MakePathLabel;
    const auto button = MakeButton;
    const auto frame = [this](const char* name, QRect rect) {
        return vsdl::forms::MakeFrame(this, name, rect);
    };

    Label1 = label(this, "Label1", QStringLiteral("Instructions :"),
                   TwipsRect(120, 240, 1215, 255, this));
    lblInstructions =
        label(this, "lblInstructions", QString(), TwipsRect(1380, 240, 7395, 255, this));

    famDownloading = frame("famDownloading", TwipsRect(120, 600, 8655, 1695, this));
    Label2 = label(famDownloading, "Label2",
                   QStringLiteral("Status") + QString(10, QLatin1Char(' ')) + QStringLiteral(":"),
                   TwipsRect(120, 420, 1215, 255, this));
    lblStatus =
        label(famDownloading, "lblStatus", QString(), TwipsRect(1380, 420, 7095, 255, this));
    // A line of its own between the status and Cancel: which port, which device.
    lblPort = label(famDownloading, "lblPort", QString(), TwipsRect(120, 720, 8415, 255, this));
    cmdCancel = button(famDownloading, "cmdCancel", QStringLiteral("Cancel"),
                       TwipsRect(3720, 1020, 1215, 375, this));
    // Enter must never cancel a download by accident.
    cmdCancel->setAutoDefault(false);
    connect(cmdCancel, &QPushButton::clicked, this, &frmDownload::cmdCancel_Click);

    // The save phase's frame waits below the visible area until the download has finished.
    famGetFilename = frame("famGetFilename", TwipsRect(120, 2520, 8655, 1695, this));
    Label3 = label(famGetFilename, "Label3", QStringLiteral("Full Path : "),
                   TwipsRect(120, 300, 1215, 255, this));
    lblFullPath = pathLabel(famGetFilename, "lblFullPath", TwipsRect(1380, 300, 7095, 255, this));
    Label4 = label(famGetFilename, "Label4", QStringLiteral("Filename:"),
                   TwipsRect(120, 660, 1215, 255, this));
    lblFilename = pathLabel(famGetFilename, "lblFilename", TwipsRect(1380, 660, 7095, 255, this));
    // A screen reader names each value label by its caption, not by the text it shows.
    lblInstructions->setAccessibleName(QStringLiteral("Instructions"));
    lblStatus->setAccessibleName(QStringLiteral("Status"));
    lblPort->setAccessibleName(QStringLiteral("Port"));
    lblFullPath->setAccessibleName(QStringLiteral("Full path"));
    lblFilename->setAccessibleName(QStringLiteral("Filename"));
    cmdBrowse = button(famGetFilename, "cmdBrowse", QStringLiteral("Browse"),
                       TwipsRect(2880, 1140, 1215, 375, this));
    cmdOK = button(famGetFilename, "cmdOK", QStringLiteral("OK"),
                   TwipsRect(4560, 1140, 1215, 375, this));
    cmdOK->setDefault(true);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmDownload::cmdBrowse_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmDownload::cmdOK_Click);
    chkRememberPort = new QCheckBox(famGetFilename);
    chkRememberPort->setObjectName(QStringLiteral("chkRememberPort"));
    chkRememberPort->setGeometry(TwipsRect(5940, 1140, 2595, 375, this));
    chkRememberPort->hide();
    famGetFilename->hide();

    // The instrument's text lines are kept, not shown: the list starts below the client area.
    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(TwipsRect(120, 2400, 8655, 1215, this));
    List1->setFocusPolicy(Qt::NoFocus);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1);
    connect(Timer1, &QTimer::timeout, this, &frmDownload::Timer1_Timer);
}

void frmDownload::doprompt() {
    vsdl::forms::CentreOnScreen(this);
    lblInstructions->clear();
    lblStatus->clear();

    // One download at a time per data folder; nothing is touched (not even the port) unless
    // this one may go ahead.
    using Step = vsdl::jobs::DownloadSession::Step;
    vsdl::folders::ProgramFolders where;
    where.data = context_.dataFolder.toStdString();
    where.config = context_.SettingsFolder().toStdString();
    where.ports = context_.portFolders;
    Step step = session_.Lock(where, [] {
        return vsdl::folders::UserOwnFolders(
            QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString());
    });
    if (!session_.Notice().empty()) {
        context_.Messages().Show(this, FromStd(session_.Notice()));
        context_.dataFolder = FromStd(session_.Folders().data);
        context_.configFolder = FromStd(session_.Folders().config);
    }
    if (step == Step::Ready) {
        vsdl::jobs::PortMakers make;
        make.numbered = context_.makeDownloadPort;
        make.any = context_.makeAnyPort;
        step = session_.OpenPort({}, {}, make);
    }
    if (step != Step::Ready) {
        session_.Release();
        context_.Messages().Show(this, FromStd(session_.Failure()));
        gRunMode = 1;
        control.Cancel();
        phase_ = Phase::Closed;
        return;
    }
    if (session_.Any() != nullptr) {
        session_.Any()->onChosen = [this](const std::string& device) { PortFound(device); };
    }
    portOpen_ = true;
    ShowPortLine(FromStd(session_.ListeningLine()));
    Timer1->start();
    exec();
}

void frmDownload::ShowPortLine(const QString& text) {
    lblPort->setToolTip(text);
    lblPort->setText(lblPort->fontMetrics().elidedText(text, Qt::ElideRight, lblPort->width()));
}

void frmDownload::PortFound(const std::string& device) {
    foundPort_ = session_.NumberOf(device);
    ShowPortLine(FromStd(session_.FoundText(device)));
}

void frmDownload::Timer1_Timer() {
    Timer1->stop();
    if (!portOpen_) return;
    portOpen_ = false;
    phase_ = Phase::Downloading;

    DialogUi ui(this, context_.Messages());
    const vsdl::download::DownloadSummary summary = session_.Run(ui, control);

    using vsdl::download::DownloadEnd;
    // Cancelled, or no temporary file to save: the dialog closes, and no conversion follows.
    if (summary.end == DownloadEnd::Cancelled || summary.end == DownloadEnd::NotStarted ||
        control.DownloadState == vsdl::download::state::kCancelled) {
        gRunMode = 1;
        CloseDialog();
        return;
    }
    SwitchToSavePhase();
}

void frmDownload::SwitchToSavePhase() {
    famDownloading->hide();
    famGetFilename->move(famDownloading->pos());
    famGetFilename->show();
    if (!gLastBinPath.empty()) {
        const auto split =
            vsdl::paths::Split(QDir::toNativeSeparators(FromStd(gLastBinPath)).toStdString());
        ShowPath(FromStd(split.folder), FromStd(split.name));
    } else {
        ShowPath(FromStd(vsdl::paths::WithTrailingSeparator(context_.saveFolder.toStdString())),
                 QString::fromLatin1(kDefaultSaveName));
    }
    lblInstructions->setText(
        QStringLiteral("Download Complete. Enter a filename to save this download"));
    if (foundPort_) {
        chkRememberPort->setText(QStringLiteral("Use COM%1 from now on").arg(*foundPort_));
        chkRememberPort->setToolTip(lblPort->toolTip());
        chkRememberPort->show();
    }
    phase_ = Phase::Saving;
    cmdOK->setFocus();
}

void frmDownload::ShowPath(const QString& folder, const QString& name) {
    lblFullPath->setPath(folder);
    lblFilename->setPath(name);
}

void frmDownload::cmdCancel_Click() {
    gRunMode = 1;
    control.Cancel();
}

void frmDownload::cmdBrowse_Click() {
    if (context_.fileDialogs == nullptr) return;
    const std::optional<QString> chosen = context_.fileDialogs->SaveFile(
        this,
        {lblFullPath->text(), lblFilename->text(), QString::fromLatin1(vsdl::forms::kBinFilter)});
    if (!chosen || chosen->isEmpty()) return;
    const auto split = vsdl::paths::Split(QDir::toNativeSeparators(*chosen).toStdString());
    ShowPath(FromStd(split.folder), FromStd(split.name));
    cmdOK->setFocus();
}

void frmDownload::cmdOK_Click() {
    if (phase_ != Phase::Saving) return;
    if (!SaveDownload()) return;
    RememberPort();
    CloseDialog(QDialog::Accepted);
}

void frmDownload::CloseDialog(int result) {
    phase_ = Phase::Closed;
    // The image is saved or given up: the next download may use the temporary file.
    session_.Release();
    done(result);
}

// Copies ~tempidl.bin to the chosen name and records that name. False, with the dialog left
// as it was, when the user keeps an existing file or the save fails.
bool frmDownload::SaveDownload() {
    if (lblFullPath->text().isEmpty() || lblFilename->text().isEmpty()) {
        ShowPath(FromStd(vsdl::paths::WithTrailingSeparator(context_.saveFolder.toStdString())),
                 QString::fromLatin1(kDefaultSaveName));
    }
    vsdl::jobs::SaveRequest request;
    request.dataFolder = context_.dataFolder.toStdString();
    request.settingsFolder = context_.SettingsFolder().toStdString();
    request.folder = lblFullPath->text().toStdString();
    request.name = lblFilename->text().toStdString();
    request.mayReplace = [this](const std::string& existing) {
        gOverwriteFileName = existing;
        frmConfirmOverwrite confirm(context_, this);
        confirm.exec();
        return gOverwriteAnswer != "N";
    };
    const vsdl::jobs::SaveOutcome saved = vsdl::jobs::SaveDownload(request);
    if (saved.copied) gLastBinPath = saved.saved;
    if (saved.end == vsdl::jobs::SaveOutcome::End::Failed) {
        context_.Messages().Show(this, FromStd(saved.message));
    }
    return saved.end == vsdl::jobs::SaveOutcome::End::Saved;
}

void frmDownload::RememberPort() {
    if (!foundPort_ || !chkRememberPort->isChecked()) return;
    const auto written =
        vsdl::settings::WriteSerialPort(context_.SettingsFolder().toStdString(), *foundPort_);
    // The image is saved whatever happens here; only the choice of port is lost.
    if (!written.ok) {
        context_.Messages().Show(this, FromStd(vsdl::settings::WriteFailureMessage(written)));
    }
}

void frmDownload::reject() {
    switch (phase_) {
        case Phase::Ready:
        case Phase::Downloading:
            // The loop notices at its next pass, shows its finish text and closes the dialog.
            cmdCancel_Click();
            return;
        case Phase::Saving:
            gRunMode = 1;
            CloseDialog();
            return;
        case Phase::Closed:
            CloseDialog();
            return;
    }
}
