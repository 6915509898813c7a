#include "FormTestSupport.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>

#include "download/QtSerialPort.h"
#include "instrument/BinBuilder.h"

namespace vsdl::testing {

void MessageRecorder::Show(QWidget*, const QString& text) {
    texts << text;
    if (onShow) onShow(text);
}

namespace {

std::optional<QString> Next(ScriptedFileDialogs& d, const vsdl::forms::FileDialogRequest& r) {
    d.requests.push_back(r);
    if (d.answers.empty()) return std::nullopt;
    const std::optional<QString> answer = d.answers.front();
    d.answers.pop_front();
    return answer;
}

}  // namespace

std::optional<QString> ScriptedFileDialogs::OpenFile(QWidget*,
                                                     const vsdl::forms::FileDialogRequest& r) {
    return Next(*this, r);
}

std::optional<QString> ScriptedFileDialogs::SaveFile(QWidget*,
                                                     const vsdl::forms::FileDialogRequest& r) {
    return Next(*this, r);
}

void WhenReady(std::function<bool()> ready, std::function<void()> action, int timeoutMs,
               QObject* owner) {
    auto* timer = new QTimer(owner != nullptr ? owner : qApp);  // deletes itself when done
    auto remaining = std::make_shared<int>(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, remaining, ready, action] {
        *remaining -= timer->interval();
        const bool now = ready();
        if (now || *remaining <= 0) {
            timer->stop();
            timer->deleteLater();
        }
        if (now) action();
    });
    timer->start(10);
}

int ExecWhileUp(QDialog& dialog, const std::function<void(QDialog*)>& act) {
    QPointer<QDialog> target(&dialog);
    WhenReady([target] { return target && QApplication::activeModalWidget() == target; },
              [target, act] {
                  const auto closer = qScopeGuard([target] {
                      if (target && target->isVisible()) target->done(-1);
                  });
                  act(target);
              });
    return dialog.exec();
}

QByteArray BuildBin(const QString& description) {
    namespace sample = vsdl::instrument::sample;
    const auto bytes = sample::Build(sample::Parse(description.toStdString()));
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
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

namespace {

class NoPortProbe final : public vsdl::download::IPortProbe {
  public:
    void SetPortNumber(std::int16_t number) override { number_ = number; }
    void Open() override {}
    bool IsOpen() const override { return false; }
    void Close() override {}
    std::string DeviceName() const override { return "/dev/fake" + std::to_string(number_); }

  private:
    int number_ = 0;
};

}  // namespace

std::function<std::unique_ptr<vsdl::download::IPortProbe>()> MakeNoPortProbes() {
    return [] { return std::make_unique<NoPortProbe>(); };
}

void FormFixture::Renew() {
    folder_ = std::make_unique<TempProgramFolder>();
    messages_ = std::make_unique<MessageRecorder>();
    dialogs_ = std::make_unique<ScriptedFileDialogs>();
    context_ = {};
    context_.dataFolder = folder_->path();
    context_.saveFolder = folder_->path();
    context_.messages = messages_.get();
    context_.fileDialogs = dialogs_.get();
}

void FormFixture::UseRealPorts() {
    const std::vector<std::string> folders{folder_->path().toStdString()};
    context_.makeDownloadPort = [folders]() -> std::unique_ptr<vsdl::download::IDownloadPort> {
        return std::make_unique<vsdl::download::QtDownloadPort>(folders);
    };
    context_.makeAnyPort = [folders] { return vsdl::download::MakeAnyPort(folders); };
    context_.portFolders = folders;
}

DialogWatcher::DialogWatcher() {
    qApp->installEventFilter(this);
}

DialogWatcher::~DialogWatcher() {
    qApp->removeEventFilter(this);
}

void DialogWatcher::on(const char* className, std::function<void(QDialog*)> action) {
    actions_.emplace_back(QString::fromLatin1(className), std::move(action));
}

bool DialogWatcher::eventFilter(QObject* watched, QEvent* event) {
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (event->type() != QEvent::Show || dialog == nullptr || !dialog->isWindow() ||
        qobject_cast<QMessageBox*>(dialog) != nullptr) {
        return QObject::eventFilter(watched, event);
    }
    const QString name = QString::fromLatin1(dialog->metaObject()->className());
    shown << name;
    for (const auto& [className, action] : actions_) {
        if (className != name) continue;
        QPointer<QDialog> target(dialog);
        QTimer::singleShot(0, dialog, [action = action, target] {
            if (target) action(target);
        });
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace vsdl::testing
