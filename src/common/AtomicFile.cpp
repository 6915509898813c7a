#include "common/AtomicFile.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/syscall.h>
#endif
#endif

#include "common/Paths.h"

namespace vsdl::fileops {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32

FilePtr OpenWide(const fs::path& path, const wchar_t* mode) {
    return FilePtr(_wfopen(path.c_str(), mode));
}

bool SyncFile(std::FILE* f) {
    return _commit(_fileno(f)) == 0;
}

void SyncFolder(const fs::path&) {
    // MoveFileEx with MOVEFILE_WRITE_THROUGH has already flushed the rename.
}

bool RenameReplacing(const fs::path& from, const fs::path& to, std::string& reason) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    reason = std::system_category().message(static_cast<int>(GetLastError()));
    return false;
}

// Without MOVEFILE_REPLACE_EXISTING the move fails when `to` is there, however it came there.
bool RenameKeeping(const fs::path& from, const fs::path& to, std::string& reason, bool& existed) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
    const DWORD err = GetLastError();
    existed = err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS;
    reason = existed ? ErrorText(EEXIST) : std::system_category().message(static_cast<int>(err));
    return false;
}

unsigned long ProcessId() {
    return GetCurrentProcessId();
}

bool ProcessRunning(unsigned long pid) {
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    // Refused access is a process of another user, and it runs.
    if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) return {};
    return paths::FromFsPath(fs::path(std::wstring(name, size)));
}

#else

bool SyncFile(std::FILE* f) {
    return ::fsync(::fileno(f)) == 0;
}

// Makes the rename itself survive a power cut; a folder that cannot be synced is no failure of
// the write, which has already taken place.
void SyncFolder(const fs::path& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool RenameReplacing(const fs::path& from, const fs::path& to, std::string& reason) {
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    reason = ErrorText(errno);
    return false;
}

// Puts `from` in place as `to` only while `to` is not there: checked and done in one step by the
// system, so that of two writers at once only one succeeds.
bool RenameKeeping(const fs::path& from, const fs::path& to, std::string& reason, bool& existed) {
#ifdef __linux__
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    const int err = errno;
    if (err != EINVAL && err != ENOSYS) {
        existed = err == EEXIST;
        reason = ErrorText(err);
        return false;
    }
#endif
    // A file system without that rename: a second name, which never replaces anything, and
    // the temporary name goes.
    if (::link(from.c_str(), to.c_str()) != 0) {
        existed = errno == EEXIST;
        reason = ErrorText(errno);
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

unsigned long ProcessId() {
    return static_cast<unsigned long>(::getpid());
}

bool ProcessRunning(unsigned long pid) {
    // EPERM: the process of another user, which runs.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

std::string HostName() {
    std::array<char, 256> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0) return {};
    return name.data();
}

// The unfinished files of this moment, where a signal handler can find them: fixed
// storage, taken and given back through lock-free atomics, which is all a handler may touch.
struct UnfinishedSlot {
    std::atomic<bool> taken{false};
    std::atomic<bool> ready{false};
    std::atomic<bool> folder{false};
    char path[4096] = {};
};

// Empties and removes the folder `path` with system calls alone, as a signal handler may: its
// files are listed with getdents64 (where there is no such call, only an empty folder goes).
void RemoveFolderNow(const char* path) {
#ifdef __linux__
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        // struct linux_dirent64: inode, offset, record length, type, the name.
        constexpr std::size_t kLengthAt = 16;
        constexpr std::size_t kNameAt = 19;
        alignas(8) char entries[4096];
        // Removing files while they are listed may skip some: listed again until none is left.
        for (bool removed = true; removed;) {
            removed = false;
            ::lseek(fd, 0, SEEK_SET);
            for (long n; (n = ::syscall(SYS_getdents64, fd, entries, sizeof entries)) > 0;) {
                for (long at = 0; at < n;) {
                    unsigned short length = 0;
                    std::memcpy(&length, entries + at + kLengthAt, sizeof length);
                    const char* name = entries + at + kNameAt;
                    if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
                        ::unlinkat(fd, name, 0) == 0) {
                        removed = true;
                    }
                    at += length;
                }
            }
        }
        ::close(fd);
    }
#endif
    ::rmdir(path);
}

std::array<UnfinishedSlot, kUnfinishedFilesAtOnce> gUnfinished;
// Threads between making a file and listing it (EndingSignalsHeld): a handler running in
// another thread (the one that takes the signals while workers hold them) waits for them.
std::atomic<int> gMaking{0};

extern "C" void RemoveUnfinishedAndEnd(int sig) {
    RemoveUnfinishedFiles();
    // The handler was reset to the default action on entry: this ends the program as the
    // signal would have.
    ::raise(sig);
}

#endif

// The system's rule for a folder that anyone may write to but only owners may delete from
// (/tmp): a link there is followed only by its owner, or when the folder's owner made it.
// Otherwise another user's link could make this program write a file the user chose.
bool MayFollow([[maybe_unused]] const fs::path& link) {
#ifdef _WIN32
    return true;
#else
    struct stat own {};
    struct stat folder {};
    const fs::path parent = link.parent_path();
    if (::lstat(link.c_str(), &own) != 0 ||
        ::stat(parent.empty() ? "." : parent.c_str(), &folder) != 0) {
        return true;  // gone meanwhile: the write itself finds out
    }
    const bool open = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !open || own.st_uid == ::geteuid() || own.st_uid == folder.st_uid;
#endif
}

// Follows symbolic links from `path` to the file they finally name (which need not exist).
bool ResolveLinks(fs::path path, fs::path& resolved, std::string& reason) {
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(path, ec);
        if (ec || !fs::is_symlink(status)) {
            resolved = path;
            return true;
        }
        if (!MayFollow(path)) {
            reason = ErrorText(EACCES) +
                     " (a link of another user in a folder that anyone may write to is not "
                     "followed)";
            return false;
        }
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) {
            reason = ec.message();
            return false;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    reason = ErrorText(ELOOP);
    return false;
}

// Temporary names: ".vsdl-HHHHHHHH-PPPPPPPPPP-RRRRRR.part", this computer's tag (the names on a
// shared folder come from several computers, whose process ids say nothing here), the process
// id and a random number. Of fixed length, so that any target name that fits the folder fits.
constexpr std::string_view kTempPrefix = ".vsdl-";
constexpr std::string_view kTempSuffix = ".part";
constexpr std::size_t kTempNameLength =
    kTempPrefix.size() + 8 + 1 + 10 + 1 + 6 + kTempSuffix.size();

std::string HostTag() {
    std::uint32_t hash = 2166136261U;  // FNV-1a
    for (const char c : HostName()) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619U;
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%08x", static_cast<unsigned>(hash));
    return text.data();
}

std::string TempName(std::uint32_t random) {
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%s-%010lu-%06x", HostTag().c_str(), ProcessId(),
                  static_cast<unsigned>(random & 0xFFFFFFU));
    return std::string(kTempPrefix) + text.data() + std::string(kTempSuffix);
}

// The process that made `name`, when it is a temporary name of ours made on this computer.
std::optional<unsigned long> TempNameProcess(std::string_view name, const std::string& hostTag) {
    if (name.size() != kTempNameLength || name.substr(0, kTempPrefix.size()) != kTempPrefix ||
        name.substr(name.size() - kTempSuffix.size()) != kTempSuffix) {
        return std::nullopt;
    }
    const std::string_view fields = name.substr(kTempPrefix.size());
    if (fields.substr(0, 8) != hostTag || fields[8] != '-' || fields[19] != '-')
        return std::nullopt;
    unsigned long pid = 0;
    for (const char c : fields.substr(9, 10)) {
        if (c < '0' || c > '9') return std::nullopt;
        pid = pid * 10 + static_cast<unsigned long>(c - '0');
    }
    return pid;
}

// A new, exclusively created file beside `target`; its path is returned in `temp`.
FilePtr CreateTempBeside(const fs::path& target, fs::path& temp, std::string& reason) {
    std::random_device seed;
    std::mt19937 random(seed());
    const fs::path folder = target.parent_path();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string name = TempName(static_cast<std::uint32_t>(random()));
        temp = folder.empty() ? paths::ToFsPath(name) : folder / paths::ToFsPath(name);
        errno = 0;
#ifdef _WIN32
        FilePtr file = OpenWide(temp, L"wbx");
        if (file) return file;
        const int err = errno;
#else
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            std::FILE* file = ::fdopen(fd, "wb");
            if (file != nullptr) return FilePtr(file);
            reason = ErrorText(errno);
            ::close(fd);
            return nullptr;
        }
        const int err = errno;
#endif
        if (err != EEXIST) {
            reason = ErrorText(err, "a file could not be created in the folder");
            return nullptr;
        }
    }
    reason = ErrorText(EEXIST);
    return nullptr;
}

// What a target that is about to be replaced must be: absent, or an ordinary file that may be
// written. Its permissions (and owner) pass to the new file.
struct ExistingTarget {
    bool exists = false;
#ifdef _WIN32
    fs::perms perms = fs::perms::none;
#else
    struct stat st {};
#endif
};

bool CheckTarget(const fs::path& target, ExistingTarget& existing, std::string& reason) {
#ifdef _WIN32
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (!fs::exists(status)) return true;
    if (!fs::is_regular_file(status)) {
        reason = NotOrdinaryReason(fs::is_directory(status));
        return false;
    }
    if ((status.permissions() & fs::perms::owner_write) == fs::perms::none) {
        reason = ErrorText(EACCES);
        return false;
    }
    existing.exists = true;
    existing.perms = status.permissions();
    return true;
#else
    if (::stat(target.c_str(), &existing.st) != 0) {
        if (errno == ENOENT) return true;
        reason = ErrorText(errno);
        return false;
    }
    if (!S_ISREG(existing.st.st_mode)) {
        reason = NotOrdinaryReason(S_ISDIR(existing.st.st_mode));
        return false;
    }
    // A file its owner made read-only stays as it is, even for a user who could replace it.
    if ((existing.st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) {
        reason = ErrorText(EACCES);
        return false;
    }
    existing.exists = true;
    return true;
#endif
}

void KeepAttributes(std::FILE* temp, const fs::path& tempPath, const ExistingTarget& existing) {
    if (!existing.exists) return;
#ifdef _WIN32
    (void)temp;
    std::error_code ignored;
    fs::permissions(tempPath, existing.perms, ignored);
#else
    (void)tempPath;
    const int fd = ::fileno(temp);
    ::fchmod(fd, existing.st.st_mode & 07777);
    // Replaced by root, a user's file stays the user's.
    if (::geteuid() == 0) {
        if (::fchown(fd, existing.st.st_uid, existing.st.st_gid) != 0) {
            // Kept root's: the data matters more than the owner.
        }
    }
#endif
}

}  // namespace

void RemoveLeftTemporaries(std::string_view folder) {
    const std::string hostTag = HostTag();
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : paths::ToFsPath(folder), ec);
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        const std::optional<unsigned long> pid =
            TempNameProcess(paths::FromFsPath(it->path().filename()), hostTag);
        if (!pid || *pid == ProcessId() || ProcessRunning(*pid)) continue;
        std::error_code ignored;
        const fs::file_status status = it->symlink_status(ignored);
        if (fs::is_regular_file(status)) fs::remove(it->path(), ignored);
        // An UnfinishedFolder's, with the files a library made in it.
        if (fs::is_directory(status)) fs::remove_all(it->path(), ignored);
    }
}

namespace {

// ReplaceFileContents and ReplaceFileByName: `write` gets the open temporary file and its path.
Result ReplaceWith(std::string_view target,
                   const std::function<bool(std::FILE*, const fs::path&)>& write, Existing keep) {
    Result result;
    const auto fail = [&result](std::string reason) {
        result.ok = false;
        result.reason = std::move(reason);
        return result;
    };

    fs::path final;
    std::string reason;
    if (!ResolveLinks(paths::ToFsPath(target), final, reason)) return fail(reason);
    std::error_code ec;
    if (keep == Existing::Keep && fs::exists(fs::symlink_status(final, ec))) {
        result.existed = true;
        return fail(ErrorText(EEXIST));
    }
    ExistingTarget existing;
    if (!CheckTarget(final, existing, reason)) return fail(reason);

    RemoveLeftTemporaries(paths::FromFsPath(final.parent_path()));
    fs::path temp;
    FilePtr out;
    std::optional<UnfinishedFile> unfinished;
    {
        const EndingSignalsHeld held;
        out = CreateTempBeside(final, temp, reason);
        if (out) unfinished.emplace(paths::FromFsPath(temp));
    }
    if (!out) return fail(reason);
    KeepAttributes(out.get(), temp, existing);

    errno = 0;
    bool ok = write(out.get(), temp);
    if (ok) {
        errno = 0;
        ok = std::fflush(out.get()) == 0 && SyncFile(out.get());
    }
    if (!ok) reason = ErrorText(errno, "the file could not be written");
    errno = 0;
    const bool closed = std::fclose(out.release()) == 0;
    if (ok && !closed) {
        ok = false;
        reason = ErrorText(errno, "the file could not be written");
    }
    if (ok) {
        ok = keep == Existing::Replace ? RenameReplacing(temp, final, reason)
                                       : RenameKeeping(temp, final, reason, result.existed);
    }
    if (!ok) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return fail(reason);
    }
    SyncFolder(final.parent_path());
    return result;
}

}  // namespace

Result ReplaceFileContents(std::string_view target, const std::function<bool(std::FILE*)>& write,
                           Existing keep) {
    return ReplaceWith(
        target, [&write](std::FILE* out, const fs::path&) { return write(out); }, keep);
}

Result ReplaceFileByName(std::string_view target,
                         const std::function<bool(const std::string& tempPath)>& write,
                         Existing keep) {
    // The writer's own handle writes the same file as ours, which then syncs it to the disk.
    return ReplaceWith(
        target,
        [&write](std::FILE*, const fs::path& temp) { return write(paths::FromFsPath(temp)); },
        keep);
}

Result CopyFileReplacing(std::string_view source, std::string_view target, Existing existing) {
    std::string reason;
    const FilePtr in = OpenForReading(source, reason);
    if (!in) {
        Result failed;
        failed.ok = false;
        failed.reason = "cannot open " + std::string(source) + ": " + reason;
        return failed;
    }
    bool readFailed = false;
    Result result = ReplaceFileContents(
        target,
        [&](std::FILE* out) {
            std::array<char, 64 * 1024> buffer{};
            for (;;) {
                const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in.get());
                if (n > 0 && std::fwrite(buffer.data(), 1, n, out) != n) return false;
                if (n < buffer.size()) {
                    readFailed = std::ferror(in.get()) != 0;
                    return !readFailed;
                }
            }
        },
        existing);
    if (readFailed) result.reason = "cannot read " + std::string(source) + ": " + result.reason;
    return result;
}

void RemoveUnfinishedFiles() {
#ifndef _WIN32
    // A few microseconds at most; bounded all the same (2 s), so that a handler never hangs.
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    for (timespec now = start; gMaking.load() > 0 && now.tv_sec - start.tv_sec < 2;) {
        ::clock_gettime(CLOCK_MONOTONIC, &now);
    }
    for (UnfinishedSlot& slot : gUnfinished) {
        if (!slot.ready) continue;
        if (slot.folder) {
            RemoveFolderNow(slot.path);
        } else {
            ::unlink(slot.path);
        }
    }
#endif
}

EndingSignalsHeld::EndingSignalsHeld() {
#ifndef _WIN32
    sigset_t ending;
    sigemptyset(&ending);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, sig);
    ::pthread_sigmask(SIG_BLOCK, &ending, &saved_);
    ++gMaking;
#endif
}

EndingSignalsHeld::~EndingSignalsHeld() {
#ifndef _WIN32
    --gMaking;
    ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
#endif
}

UnfinishedFile::UnfinishedFile([[maybe_unused]] std::string_view path,
                               [[maybe_unused]] bool folder) {
#ifndef _WIN32
    std::error_code ec;
    const fs::path given = paths::ToFsPath(path);
    const fs::path absolute = fs::absolute(given, ec);
    const std::string& text = (ec ? given : absolute).native();
    if (text.size() >= sizeof(UnfinishedSlot::path)) return;
    for (UnfinishedSlot& slot : gUnfinished) {
        bool free = false;
        if (!slot.taken.compare_exchange_strong(free, true)) continue;
        std::memcpy(slot.path, text.c_str(), text.size() + 1);
        slot.folder = folder;
        slot.ready = true;
        slot_ = &slot;
        return;
    }
#endif
}

UnfinishedFile::~UnfinishedFile() {
#ifndef _WIN32
    if (slot_ == nullptr) return;
    auto* slot = static_cast<UnfinishedSlot*>(slot_);
    slot->ready = false;
    slot->taken = false;
#endif
}

UnfinishedFolder::UnfinishedFolder(std::string_view target) {
    const fs::path beside = paths::ToFsPath(target).parent_path();
    RemoveLeftTemporaries(paths::FromFsPath(beside));
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 16 && path_.empty(); ++attempt) {
        const std::string name = TempName(static_cast<std::uint32_t>(random()));
        const fs::path folder = beside.empty() ? paths::ToFsPath(name) : beside / name;
        std::error_code ec;
        // Made and listed with the ending signals held, so that none lands in between.
        const EndingSignalsHeld held;
        if (!fs::create_directory(folder, ec) || ec) continue;
        path_ = paths::FromFsPath(folder);
        unfinished_ = std::make_unique<UnfinishedFile>(path_, true);
    }
}

UnfinishedFolder::~UnfinishedFolder() {
    if (path_.empty()) return;
    // Listed until it is gone: a signal in the middle still removes the rest.
    std::error_code ignored;
    fs::remove_all(paths::ToFsPath(path_), ignored);
    unfinished_.reset();
}

void CleanUpOnSignals() {
#ifndef _WIN32
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal that is ignored (nohup) or handled by the program keeps its action.
        struct sigaction current {};
        if (::sigaction(sig, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction cleanUp {};
        cleanUp.sa_handler = RemoveUnfinishedAndEnd;
        sigemptyset(&cleanUp.sa_mask);
        cleanUp.sa_flags = SA_RESETHAND;
        ::sigaction(sig, &cleanUp, nullptr);
    }
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

}  // namespace vsdl::fileops
