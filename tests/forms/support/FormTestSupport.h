// Helpers for driving the real windows in tests: messages and file dialogs that record and
// answer instead of waiting for a person, a way to answer the next modal dialog, and a fresh
// temporary program folder for every case.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <deque>
#include <functional>
#include <optional>

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

// Runs `action` on the next modal dialog that becomes active (polled every 10 ms, for at most
// `timeoutMs`); used to press a button of a nested dialog such as frmConfirmOverwrite.
void WhenModalAppears(std::function<void(QDialog*)> action, int timeoutMs = 10000);

// A fresh program folder (with a trailing separator) that is removed after the test.
class TempProgramFolder {
public:
    TempProgramFolder();
    QString path() const;                       // with trailing separator
    QString file(const QString& name) const;    // path() + name
    bool write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;  // empty when missing
    bool exists(const QString& name) const;

private:
    QTemporaryDir dir_;
};

// A FormContext over the recorder, the scripted dialogs and the folder.
vsdl::forms::FormContext MakeContext(const TempProgramFolder& folder, MessageRecorder& messages,
                                     ScriptedFileDialogs& dialogs);

}  // namespace vsdl::testing
