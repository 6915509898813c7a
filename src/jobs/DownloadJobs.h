// The jobs of a download that the download window and `vsdl download` both run: the session (the
// data folder's lock, the port read from its text and opened, the loop) and the save of its image
// (the target rules, the overwrite policy, lastbin.cfg). Standard library only: each front end
// supplies its ports, the user's own folders and how it answers the overwrite question, and shows
// the texts made here as it shows anything (a message box, a line on stderr).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/Folders.h"
#include "download/AnyPort.h"
#include "download/DownloadLoop.h"
#include "download/SerialPort.h"
#include "download/TempFile.h"

namespace vsdl::jobs {

// How a front end makes its ports, each closed. One left empty is a port it cannot make.
struct PortMakers {
    std::function<std::unique_ptr<download::IDownloadPort>()> numbered;  // gets SetPortNumber
    std::function<std::unique_ptr<download::IDownloadPort>(const std::string& device)> device;
    std::function<std::unique_ptr<download::AnyPort>()> any;
};

class DownloadSession {
  public:
    enum class Step {
        Ready,             // the step is done; go on
        Busy,              // another download holds the data folder's temporary file
        LockFailed,        // its lock file could not be used (or belongs to another user)
        PortNotAvailable,  // the port could not be made, opened or prepared
    };

    // Takes the lock on <data folder>/~tempidl.bin, before anything touches that file or a port.
    // When another user's files keep this user out of a shared folder, moves to `ownFolders()`
    // (the user's own) and says so in Notice().
    Step Lock(const folders::ProgramFolders& where,
              const std::function<folders::ProgramFolders()>& ownFolders);

    // Opens the port: `device` when given, else the port `portText` names ("" reads
    // serialport.cfg in the settings folder, and COM1 when that says nothing).
    Step OpenPort(const std::string& portText, const std::string& device, const PortMakers& make);

    // Runs the download on the open port into the temporary file, keeping a copy of every image
    // in downloads/; closes the port. The lock stays until Release() (or the end of the session).
    download::DownloadSummary Run(download::DownloadUi& ui, download::DownloadControl& control);

    // Lets the next download use the temporary file: the image is saved or given up.
    void Release();

    const folders::ProgramFolders& Folders() const { return where_; }
    const std::string& TempFile() const { return tempFile_; }
    // Said when the session moved to the user's own folders; "" otherwise.
    const std::string& Notice() const { return notice_; }
    // What a step that did not succeed says: the busy text, the lock file's fault, or that the
    // port is not available with the device and the system's reason on a second line.
    const std::string& Failure() const { return failure_; }
    // "Listening on COM1: /dev/ttyUSB0", "Listening on /dev/pts/3", or for any port
    // "Listening on every port: a, b." and the ports that could not be opened.
    std::string ListeningLine() const;
    // The listening "any port", to be told when the instrument is found; nullptr otherwise.
    download::AnyPort* Any() const { return any_; }
    // The COM number of the device the instrument was found on, when one names it.
    std::optional<std::int32_t> NumberOf(const std::string& device) const;
    // "The instrument is on COM1: /dev/ttyUSB0; the other ports are closed."
    std::string FoundText(const std::string& device) const;

  private:
    folders::ProgramFolders where_;
    std::string tempFile_;
    download::TempFileLock lock_;
    std::unique_ptr<download::IDownloadPort> port_;
    download::AnyPort* any_ = nullptr;
    std::string portText_;
    std::string device_;
    std::string notice_;
    std::string failure_;
};

// Where a finished download goes and what is asked on the way.
struct SaveRequest {
    std::string dataFolder;      // holds ~tempidl.bin
    std::string settingsFolder;  // where lastbin.cfg records the saved file; "" records nothing
    std::string folder;          // the chosen file: its folder (with or without a separator)
    std::string name;            //   and its name
    // Asked, with the file's name, before an existing file is replaced; true replaces it. Unset
    // never replaces one.
    std::function<bool(const std::string& existing)> mayReplace;
};

struct SaveOutcome {
    enum class End {
        Saved,     // copied (or the temporary file itself chosen) and recorded
        Declined,  // a file of that name is there and was to be kept: nothing changed
        Failed,    // the copy failed (the target is as it was) or lastbin.cfg could not be written
    };
    End end = End::Saved;
    std::string saved;  // the path recorded in lastbin.cfg
    // The temporary file itself was chosen: nothing was copied, and it is recorded in lower case.
    bool temporaryFile = false;
    bool copied = false;  // the image is in `saved`, also when lastbin.cfg then failed
    std::string message;  // what failed, for Failed
};

// Saves the image of the data folder's temporary file under the chosen name. Choosing the
// temporary file itself keeps it where it is; the same name in another folder is an ordinary
// target, copied there. The copy goes through a temporary file beside the target, so a failure
// leaves an existing file as it was; a file made there since the question is asked about too.
SaveOutcome SaveDownload(const SaveRequest& request);

// "The download could not be saved as <file>: <reason>."
std::string SaveFailedText(const std::string& file, const std::string& reason);

}  // namespace vsdl::jobs
