// Helpers for driving the real windows in tests: messages and file dialogs that record and
// answer instead of waiting for a person, a way to answer the next modal dialog, and a fresh
// temporary program folder for every case.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "forms/FormContext.h"

namespace vsdl::testing {

// Records every message instead of showing a box; an optional hook runs at each message
// (for example to press Cancel from inside the modal loop).
class MessageRecorder final : public vsdl::forms::IMessages {
  public:
    void Show(QWidget* parent, const QString& text) override;
    QStringList texts;
    std::function<void(const QString&)> onShow;
};

// Answers file dialogs from a queue: a path, or nullopt for "cancelled". An empty queue
// answers "cancelled". Every request is kept for the test to inspect.
class ScriptedFileDialogs final : public vsdl::forms::IFileDialogs {
  public:
    std::optional<QString> OpenFile(QWidget* parent,
                                    const vsdl::forms::FileDialogRequest& request) override;
    std::optional<QString> SaveFile(QWidget* parent,
                                    const vsdl::forms::FileDialogRequest& request) override;
    std::deque<std::optional<QString>> answers;
    std::vector<vsdl::forms::FileDialogRequest> requests;

  private:
    std::optional<QString> Next(const vsdl::forms::FileDialogRequest& request);
};

// Runs `action` on the first active modal dialog that `accepts` (polled every 10 ms, for at most
// `timeoutMs`; nothing runs when none turns up in time). With an `owner` the watch ends with it,
// so that one that may rightly never fire cannot outlive its test.
void WhenModalMatches(std::function<bool(QDialog*)> accepts, std::function<void(QDialog*)> action,
                      int timeoutMs, QObject* owner = nullptr);

// Runs `action` on the next modal dialog that becomes active; used to press a button of a
// nested dialog such as frmConfirmOverwrite.
void WhenModalAppears(std::function<void(QDialog*)> action, int timeoutMs = 10000);

// Runs `action` once the modal dialog on top is a T (for example the nested overwrite question,
// not the dialog under it).
template <typename T>
void WhenModalIs(std::function<void(T*)> action, int timeoutMs = 10000, QObject* owner = nullptr) {
    WhenModalMatches([](QDialog* dialog) { return qobject_cast<T*>(dialog) != nullptr; },
                     [action](QDialog* dialog) { action(qobject_cast<T*>(dialog)); }, timeoutMs,
                     owner);
}

// exec()s `dialog` with `act` run on it once it is up. The dialog is closed afterwards if `act`
// left it open (also when a check inside `act` failed), so exec() always returns; its result
// is returned.
int ExecWhileUp(QDialog& dialog, const std::function<void(QDialog*)>& act);

// Image bytes as a QByteArray, and a BIN image built from a sample description.
QByteArray ToBytes(const std::vector<std::uint8_t>& bytes);
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

// A port probe that opens the ports listed in `state->openable` and records every call, so a
// test can check that each opened port is closed again. The state outlives each probe made.
struct FakePortState {
    std::set<int> openable;              // port numbers that open
    std::vector<int> probed;             // every number set, in order
    int openNow = 0;                     // ports currently held open
    int maxOpenAtOnce = 0;               // most ports held open at the same time
    std::map<int, std::string> devices;  // DeviceName() per port ("" when not listed)
};

class FakePortProbe final : public vsdl::download::IPortProbe {
  public:
    explicit FakePortProbe(std::shared_ptr<FakePortState> state) : state_(std::move(state)) {}
    ~FakePortProbe() override;
    void SetPortNumber(std::int16_t number) override;
    void Open() override;
    bool IsOpen() const override { return open_; }
    void Close() override;
    std::string DeviceName() const override;

  private:
    std::shared_ptr<FakePortState> state_;
    int number_ = 0;
    bool open_ = false;
};

// A factory for FormContext::makePortProbe over one shared state.
std::function<std::unique_ptr<vsdl::download::IPortProbe>()> MakeFakeProbeFactory(
    std::shared_ptr<FakePortState> state);

// A FormContext over the recorder, the scripted dialogs and the folder.
vsdl::forms::FormContext MakeContext(const TempProgramFolder& folder, MessageRecorder& messages,
                                     ScriptedFileDialogs& dialogs);

// What a window test builds its windows over: a program folder, a message recorder, scripted
// file dialogs and the FormContext over them. Renew() (from a test's init()) gives every test
// fresh ones, so that no test sees another's files or messages.
class FormFixture {
  protected:
    FormFixture() { Renew(); }
    void Renew();

    std::unique_ptr<TempProgramFolder> folder_;
    std::unique_ptr<MessageRecorder> messages_;
    std::unique_ptr<ScriptedFileDialogs> dialogs_;
    vsdl::forms::FormContext context_;
};

}  // namespace vsdl::testing
