#include "download/TempFile.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/BinFormat.h"
#include "common/FileOps.h"
#include "common/Paths.h"

namespace vsdl::download {

namespace fs = std::filesystem;

std::string TempFilePath(std::string_view dataFolder) {
    return paths::Join(dataFolder, binformat::kTempFileName);
}

TempFileLock::~TempFileLock() {
    Release();
}

#ifdef _WIN32

TempFileLock::Outcome TempFileLock::Acquire(const std::string& tempFile) {
    Release();
    lockPath_ = tempFile + ".lock";
    // Opened without sharing: a second opener is refused until this handle closes, and the
    // file goes with the last handle, also when the program ends abnormally.
    for (int attempt = 0;; ++attempt) {
        HANDLE h = CreateFileW(paths::ToFsPath(lockPath_).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                               nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            handle_ = h;
            return Outcome::Locked;
        }
        const DWORD err = GetLastError();
        if (err == ERROR_SHARING_VIOLATION) return Outcome::Busy;
        // Access is denied for a moment while the holder's file is being deleted.
        if ((err == ERROR_ACCESS_DENIED || err == ERROR_DELETE_PENDING) && attempt < 8) {
            Sleep(25);
            continue;
        }
        reason_ = std::system_category().message(static_cast<int>(err));
        return Outcome::Failed;
    }
}

void TempFileLock::Release() {
    if (handle_ == nullptr) return;
    CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}

bool TempFileLock::Held() const {
    return handle_ != nullptr;
}

#else

namespace {

// What is wrong with the lock file's name, and what to do about it.
std::string LockProblem(int err) {
    switch (err) {
        case EISDIR:
            return "it is a folder; remove it, then try again";
        case ELOOP:
            return "it is a symbolic link; remove it, then try again";
        case ENXIO:
            return "it is not an ordinary file; remove it, then try again";
        default:
            return fileops::ErrorText(err);
    }
}

// The temporary file can be emptied and written by this user: absent, this user's own, or
// another's that this user may write.
bool Reusable(const std::string& tempFile) {
    struct stat st {};
    if (::lstat(tempFile.c_str(), &st) != 0) return true;
    return st.st_uid == ::geteuid() || ::access(tempFile.c_str(), W_OK) == 0;
}

}  // namespace

TempFileLock::Outcome TempFileLock::Acquire(const std::string& tempFile) {
    Release();
    lockPath_ = tempFile + ".lock";
    // Known to the signal handler as soon as it is there, so that SIGHUP does not leave it.
    const fileops::EndingSignalsHeld signalsHeld;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int flags = O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
        int fd = ::open(lockPath_.c_str(), O_RDWR | flags, 0644);
        // Another user's lock file: a lock taken through reading keeps everybody out as well.
        if (fd < 0 && errno == EACCES) fd = ::open(lockPath_.c_str(), O_RDONLY | flags, 0644);
        if (fd < 0) {
            if (errno == EACCES) return Outcome::Foreign;
            reason_ = LockProblem(errno);
            return Outcome::Failed;
        }
        struct stat held {};
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(fd);
            reason_ = LockProblem(ENXIO);
            return Outcome::Failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            if (err == EWOULDBLOCK) return Outcome::Busy;
            reason_ = fileops::ErrorText(err);
            return Outcome::Failed;
        }
        // The holder before us removes the file as it lets go; a lock on a removed file keeps
        // nobody out, so only the file that still has the name counts.
        struct stat named {};
        if (::lstat(lockPath_.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            fd_ = fd;
            unfinished_.emplace(lockPath_);
            if (Reusable(tempFile)) return Outcome::Locked;
            Release();
            return Outcome::Foreign;
        }
        ::close(fd);
    }
    reason_ = "the lock file keeps changing";
    return Outcome::Failed;
}

void TempFileLock::Release() {
    if (fd_ < 0) return;
    // Removed while still locked, so that nobody can lock the name in between.
    ::unlink(lockPath_.c_str());
    unfinished_.reset();
    ::close(fd_);
    fd_ = -1;
}

bool TempFileLock::Held() const {
    return fd_ >= 0;
}

#endif

std::string BusyText(const std::string& tempFile) {
    return "Another download is using " + tempFile +
           ". Wait until it has finished, then try again.";
}

std::string LockFailedText(const std::string& lockFile, const std::string& reason) {
    return "The lock file " + lockFile + " cannot be used: " + reason + ".";
}

std::string ForeignText(const std::string& tempFile, const std::string& instead) {
    return tempFile + " belongs to another user and cannot be used by this one; this download " +
           "uses the data folder " + instead + " instead.";
}

namespace {

// The path as it will be when written: links and ".." resolved as far as the path exists.
fs::path Resolved(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(paths::ToFsPath(path), ec);
    return ec ? fs::absolute(paths::ToFsPath(path), ec) : p;
}

bool FolderWritable(const fs::path& folder) {
#ifdef _WIN32
    (void)folder;
    return true;  // the rename reports a folder that cannot be written
#else
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
#endif
}

// Makes the file that is not there yet and removes it again: only that shows that its name
// fits the folder's file system (a name too long, a character it does not take).
std::string CannotCreate(const fs::path& target) {
#ifdef _WIN32
    const HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::system_category().message(static_cast<int>(GetLastError()));
    }
    CloseHandle(file);
#else
    const int fd =
        ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return errno == EEXIST ? std::string() : fileops::ErrorText(errno);
    ::close(fd);
    ::unlink(target.c_str());
#endif
    return {};
}

}  // namespace

SaveTargetCheck CheckSaveTarget(const std::string& target, const std::string& tempFile) {
    SaveTargetCheck check;
    if (target.empty()) {
        check.problem = "No file name was given.";
        return check;
    }
    const paths::SplitPath split = paths::Split(target);
    if (split.name.empty()) {
        check.problem = target + " names a folder, not a file.";
        return check;
    }
    const fs::path folder = paths::ToFsPath(split.folder.empty() ? "." : split.folder);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        check.problem = "The folder " + split.folder + " does not exist.";
        return check;
    }
    if (!FolderWritable(folder)) {
        check.problem = "The folder " + (split.folder.empty() ? "." : split.folder) +
                        " cannot be written: " + fileops::ErrorText(errno) + ".";
        return check;
    }
    const fs::file_status status = fs::status(paths::ToFsPath(target), ec);
    if (fs::is_directory(status)) {
        check.problem = target + " is a folder.";
        return check;
    }
    if (fileops::SameFile(target, tempFile) || Resolved(target) == Resolved(tempFile)) {
        check.problem = target + " is the temporary download file itself; choose another name.";
        return check;
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        check.problem = target + " is not an ordinary file.";
        return check;
    }
    check.exists = fs::exists(status);
    if (!check.exists && !fs::is_symlink(fs::symlink_status(paths::ToFsPath(target), ec))) {
        const std::string reason = CannotCreate(paths::ToFsPath(target));
        if (!reason.empty()) check.problem = target + " cannot be created: " + reason + ".";
    }
    return check;
}

}  // namespace vsdl::download
