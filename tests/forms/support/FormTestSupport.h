// What the window tests share (tests/forms and the road in tests/app): messages and file
// dialogs that record and answer instead of waiting for a person, answering the next modal
// dialog, a fresh program folder for every test, fake port probes, and the instrument played by
// `vsdl simulate` on a pseudo-terminal linked as a COM port.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDialog>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "forms/FormContext.h"

namespace vsdl::testing {

// Records every message instead of showing a box; `onShow` runs at each one (while the box
// would be up).
class MessageRecorder final : public vsdl::forms::IMessages {
  public:
    void Show(QWidget* parent, const QString& text) override;
    QStringList texts;
    std::function<void(const QString&)> onShow;
};

// Answers file dialogs from a queue: a path, or nullopt for "cancelled" (also when empty).
// Every request is kept for the test to inspect.
class ScriptedFileDialogs final : public vsdl::forms::IFileDialogs {
  public:
    std::optional<QString> OpenFile(QWidget*, const vsdl::forms::FileDialogRequest& r) override;
    std::optional<QString> SaveFile(QWidget*, const vsdl::forms::FileDialogRequest& r) override;
    std::deque<std::optional<QString>> answers;
    std::vector<vsdl::forms::FileDialogRequest> requests;
};

// Polls every 10 ms until `ready` holds, then runs `action` once; gives up after `timeoutMs`.
// With an `owner` the watch ends with it, so that one that may rightly never fire cannot reach
// into the next test.
void WhenReady(std::function<bool()> ready, std::function<void()> action, int timeoutMs = 10000,
               QObject* owner = nullptr);

// Runs `action` once the modal dialog on top is a T (for example the nested overwrite question).
template <typename T>
void WhenModalIs(std::function<void(T*)> action, int timeoutMs = 10000, QObject* owner = nullptr);

// exec()s `dialog` with `act` run on it once it is up; the dialog is closed afterwards if `act`
// left it open (also when a check inside it failed), so exec() always returns its result.
int ExecWhileUp(QDialog& dialog, const std::function<void(QDialog*)>& act);

// A BIN image built from a sample description.
QByteArray BuildBin(const QString& description);

// A fresh program folder (with a trailing separator) that is removed after the test.
class TempProgramFolder {
  public:
    TempProgramFolder();
    QString path() const;                     // with trailing separator
    QString file(const QString& name) const;  // path() + name
    bool write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;  // empty when missing
    bool exists(const QString& name) const;

  private:
    QTemporaryDir dir_;
};

// Port probes that find no port, so that a test never touches the machine's own serial ports.
std::function<std::unique_ptr<vsdl::download::IPortProbe>()> MakeNoPortProbes();

// The windows' context over a fresh folder, a message recorder and scripted file dialogs;
// Renew() (from a test's init()) gives every test new ones.
class FormFixture {
  protected:
    FormFixture() { Renew(); }
    void Renew();
    // Downloads go through the real QSerialPort adapter, over the folder's ports/com<n>.
    void UseRealPorts();

    std::unique_ptr<TempProgramFolder> folder_;
    std::unique_ptr<MessageRecorder> messages_;
    std::unique_ptr<ScriptedFileDialogs> dialogs_;
    vsdl::forms::FormContext context_;
};

// Sees every dialog (message boxes aside) when it is shown, remembers its class, and runs the
// action registered for that class once the dialog's own event loop is running.
class DialogWatcher final : public QObject {
  public:
    DialogWatcher();
    ~DialogWatcher() override;
    void on(const char* className, std::function<void(QDialog*)> action);
    QStringList shown;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::vector<std::pair<QString, std::function<void(QDialog*)>>> actions_;
};

template <typename T>
void WhenModalIs(std::function<void(T*)> action, int timeoutMs, QObject* owner) {
    WhenReady([] { return qobject_cast<T*>(QApplication::activeModalWidget()) != nullptr; },
              [action] { action(qobject_cast<T*>(QApplication::activeModalWidget())); }, timeoutMs,
              owner);
}

}  // namespace vsdl::testing
