// The temporary download file ~tempidl.bin in the program folder: its path, the lock that keeps a
// second download (another copy of the program, or vsdl) out of it while one runs and until its
// image is saved, and the checks a file must pass before a download is saved under its name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/AtomicFile.h"

namespace vsdl::download {

// <dataFolder>/~tempidl.bin
std::string TempFilePath(std::string_view dataFolder);

// An exclusive lock on the temporary file, held from before the file is emptied until the image
// has been saved (or the download given up). It lives in <temp file>.lock, a file the system
// locks for the process, so a program that crashes lets go of it at once. The file is removed
// when the lock is let go, also on SIGINT, SIGTERM and SIGHUP; one left by a kill or a power
// cut is harmless and is used again. In a folder shared by several users another user's lock
// file serves too (it can be locked through reading); another user's temporary file that this
// user may not write cannot be used.
class TempFileLock {
  public:
    enum class Outcome {
        Locked,   // this process now holds the lock
        Busy,     // another download holds it
        Failed,   // the lock file could not be made (Reason() says why)
        Foreign,  // the temporary file or its lock belongs to another user and cannot be reused
    };

    TempFileLock() = default;
    ~TempFileLock();
    TempFileLock(const TempFileLock&) = delete;
    TempFileLock& operator=(const TempFileLock&) = delete;

    Outcome Acquire(const std::string& tempFile);
    void Release();
    bool Held() const;
    const std::string& Reason() const { return reason_; }
    const std::string& LockPath() const { return lockPath_; }

  private:
    std::string lockPath_;
    std::string reason_;
    std::optional<fileops::UnfinishedFile> unfinished_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// "Another download is using <temp file>. Wait until it has finished, then try again."
std::string BusyText(const std::string& tempFile);

// "The lock file <lock file> cannot be used: <reason>."
std::string LockFailedText(const std::string& lockFile, const std::string& reason);

// What a download says when it moves from `tempFile`, which another user's files keep it from,
// to the data folder `instead`.
std::string ForeignText(const std::string& tempFile, const std::string& instead);

struct SaveTargetCheck {
    std::string problem;  // why the download cannot be saved there; empty when it can
    bool exists = false;  // an ordinary file of that name is there and would be replaced
};

// Looks at `target` before a download is saved there: its folder must exist and be writable, and
// it must be neither a folder nor the temporary file itself.
SaveTargetCheck CheckSaveTarget(const std::string& target, const std::string& tempFile);

}  // namespace vsdl::download
