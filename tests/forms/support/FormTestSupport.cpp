#include "FormTestSupport.h"

#include "instrument/BinBuilder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace vsdl::testing {

void MessageRecorder::Show(QWidget*, const QString& text) {
    texts << text;
    if (onShow) onShow(text);
}

std::optional<QString> ScriptedFileDialogs::OpenFile(QWidget*,
                                                     const vsdl::forms::FileDialogRequest& r) {
    return Next(r);
}

std::optional<QString> ScriptedFileDialogs::SaveFile(QWidget*,
                                                     const vsdl::forms::FileDialogRequest& r) {
    return Next(r);
}

std::optional<QString> ScriptedFileDialogs::Next(const vsdl::forms::FileDialogRequest& request) {
    requests.push_back(request);
    if (answers.empty()) return std::nullopt;
    const bool cancelled = !answers.front().has_value();
    const QString path = answers.front().value_or(QString());
    answers.pop_front();
    if (cancelled) return std::nullopt;
    return path;
}

void WhenModalMatches(std::function<bool(QDialog*)> accepts, std::function<void(QDialog*)> action,
                      int timeoutMs, QObject* owner) {
    // Deletes itself when done, or goes with its owner.
    auto* timer = new QTimer(owner != nullptr ? owner : qApp);
    auto remaining = std::make_shared<int>(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, remaining, accepts, action]() {
        *remaining -= timer->interval();
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr && accepts(dialog)) {
            timer->stop();
            timer->deleteLater();
            action(dialog);
        } else if (*remaining <= 0) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

void WhenModalAppears(std::function<void(QDialog*)> action, int timeoutMs) {
    WhenModalMatches([](QDialog*) { return true; }, std::move(action), timeoutMs);
}

int ExecWhileUp(QDialog& dialog, const std::function<void(QDialog*)>& act) {
    WhenModalAppears([act](QDialog* d) {
        const auto closer = qScopeGuard([d] {
            if (d->isVisible()) d->done(-1);
        });
        act(d);
    });
    return dialog.exec();
}

QByteArray ToBytes(const std::vector<std::uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

QByteArray BuildBin(const QString& description) {
    namespace sample = vsdl::instrument::sample;
    return ToBytes(sample::Build(sample::Parse(description.toStdString())));
}

TempProgramFolder::TempProgramFolder() {
    dir_.setAutoRemove(true);
}

QString TempProgramFolder::path() const {
    QString p = QDir::toNativeSeparators(dir_.path());
    if (!p.endsWith(QDir::separator())) p += QDir::separator();
    return p;
}

QString TempProgramFolder::file(const QString& name) const {
    return path() + name;
}

bool TempProgramFolder::write(const QString& name, const QByteArray& bytes) const {
    QFile f(file(name));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray TempProgramFolder::read(const QString& name) const {
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool TempProgramFolder::exists(const QString& name) const {
    return QFile::exists(file(name));
}

FakePortProbe::~FakePortProbe() {
    if (open_) --state_->openNow;
}

void FakePortProbe::SetPortNumber(std::int16_t number) {
    number_ = number;
    state_->probed.push_back(number);
}

void FakePortProbe::Open() {
    if (open_ || state_->openable.count(number_) == 0) return;
    open_ = true;
    state_->maxOpenAtOnce = std::max(state_->maxOpenAtOnce, ++state_->openNow);
}

void FakePortProbe::Close() {
    if (!open_) return;
    open_ = false;
    --state_->openNow;
}

std::string FakePortProbe::DeviceName() const {
    const auto it = state_->devices.find(number_);
    return it == state_->devices.end() ? std::string() : it->second;
}

std::function<std::unique_ptr<vsdl::download::IPortProbe>()> MakeFakeProbeFactory(
    std::shared_ptr<FakePortState> state) {
    return [state]() -> std::unique_ptr<vsdl::download::IPortProbe> {
        return std::make_unique<FakePortProbe>(state);
    };
}

vsdl::forms::FormContext MakeContext(const TempProgramFolder& folder, MessageRecorder& messages,
                                     ScriptedFileDialogs& dialogs) {
    vsdl::forms::FormContext context;
    context.programFolder = folder.path();
    context.messages = &messages;
    context.fileDialogs = &dialogs;
    return context;
}

void FormFixture::Renew() {
    folder_ = std::make_unique<TempProgramFolder>();
    messages_ = std::make_unique<MessageRecorder>();
    dialogs_ = std::make_unique<ScriptedFileDialogs>();
    context_ = MakeContext(*folder_, *messages_, *dialogs_);
}

}  // namespace vsdl::testing
