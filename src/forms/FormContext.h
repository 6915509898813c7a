// What every window needs from outside: the folders of its files, where messages and file
// dialogs go, and how serial ports are made. The program passes the real ones; tests pass
// recorders, a temporary folder and ports on pseudo-terminals.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/AnyPort.h"
#include "download/SerialPort.h"

class QFileDialog;
class QMessageBox;
class QWidget;

namespace vsdl::forms {

// Every message to the user: a modal box with an OK button only, no icon, and the application
// title as its title.
class IMessages {
  public:
    virtual ~IMessages() = default;
    virtual void Show(QWidget* parent, const QString& text) = 0;
};

// The filter of every dialog that opens or saves a BIN image.
inline constexpr const char* kBinFilter = "Binary File (*.BIN)|*.BIN|All File (*.*)|*.*";

struct FileDialogRequest {
    QString folder;  // initial folder
    QString name;    // initial file name
    QString filter;  // "Binary File (*.BIN)|*.BIN|All File (*.*)|*.*"
    // Save dialogs: a name without one of the filters' suffixes gets the chosen filter's before
    // the dialog asks about replacing a file, so that it asks about the file that is written.
    bool suffixFromFilter = false;
};

// File dialogs: the chosen full path, or nullopt when the user cancelled.
class IFileDialogs {
  public:
    virtual ~IFileDialogs() = default;
    virtual std::optional<QString> OpenFile(QWidget* parent, const FileDialogRequest& request) = 0;
    virtual std::optional<QString> SaveFile(QWidget* parent, const FileDialogRequest& request) = 0;
};

struct FormContext {
    // ~tempidl.bin and downloads/: the program folder, or the user's data folder when the
    // program folder cannot be written (see common/Folders.h).
    QString dataFolder;  // with a trailing separator
    // serialport.cfg and lastbin.cfg: the data folder when empty.
    QString configFolder;
    QString SettingsFolder() const { return configFolder.isEmpty() ? dataFolder : configFolder; }
    QString saveFolder;             // where a download is first proposed to be saved
    IMessages* messages = nullptr;  // where Messages() shows; none: messages go nowhere
    // The message boxes every window shows its messages through.
    IMessages& Messages() const;
    IFileDialogs* fileDialogs = nullptr;
    std::function<std::unique_ptr<vsdl::download::IDownloadPort>()> makeDownloadPort;
    std::function<std::unique_ptr<vsdl::download::IPortProbe>()> makePortProbe;
    // "Any port" in serialport.cfg: every serial port of the system, closed.
    std::function<std::unique_ptr<vsdl::download::AnyPort>()> makeAnyPort;
    // The folders whose ports/com<n> links name COM ports, so that the port "any port" found
    // can be remembered by its number.
    std::vector<std::string> portFolders;
    // Shows a folder in the desktop's file manager; false when it could not.
    std::function<bool(const QString& folder)> openFolder;
    // <dataFolder>/downloads/: the copy of every download.
    QString KeptFolder() const;
};

// The program's own: QMessageBox and QFileDialog.
class QtMessages final : public IMessages {
  public:
    void Show(QWidget* parent, const QString& text) override;
    // The box Show runs: OK only, no icon (not even on the button), the application title,
    // and at least as wide as that title needs in a title bar.
    static std::unique_ptr<QMessageBox> Make(QWidget* parent, const QString& text);
    // Room beside the title in a title bar: the window's icon and its close box.
    static constexpr int kTitleBarExtras = 96;
};

class QtFileDialogs final : public IFileDialogs {
  public:
    // Offered in every file dialog's side bar, and where a dialog with no folder of its own
    // starts: the kept downloads.
    QString keptFolder;
    std::optional<QString> OpenFile(QWidget* parent, const FileDialogRequest& request) override;
    std::optional<QString> SaveFile(QWidget* parent, const FileDialogRequest& request) override;
    // The save dialog SaveFile runs, not yet shown.
    static std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* parent,
                                                       const FileDialogRequest& request);
};

}  // namespace vsdl::forms
