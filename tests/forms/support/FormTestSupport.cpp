#include "FormTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>
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

void WhenModalAppears(std::function<void(QDialog*)> action, int timeoutMs) {
    auto* timer = new QTimer(qApp);  // owned by the application; deletes itself when done
    auto remaining = std::make_shared<int>(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, remaining, action]() {
        *remaining -= timer->interval();
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
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

TempProgramFolder::TempProgramFolder() { dir_.setAutoRemove(true); }

QString TempProgramFolder::path() const {
    QString p = QDir::toNativeSeparators(dir_.path());
    if (!p.endsWith(QDir::separator())) p += QDir::separator();
    return p;
}

QString TempProgramFolder::file(const QString& name) const { return path() + name; }

bool TempProgramFolder::write(const QString& name, const QByteArray& bytes) const {
    QFile f(file(name));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray TempProgramFolder::read(const QString& name) const {
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool TempProgramFolder::exists(const QString& name) const { return QFile::exists(file(name)); }

vsdl::forms::FormContext MakeContext(const TempProgramFolder& folder, MessageRecorder& messages,
                                     ScriptedFileDialogs& dialogs) {
    vsdl::forms::FormContext context;
    context.programFolder = folder.path();
    context.messages = &messages;
    context.fileDialogs = &dialogs;
    return context;
}

}  // namespace vsdl::testing
