#include "common/AtomicFile.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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

// The unfinished files of this moment, where a signal handler can find them: fixed
// storage, taken and given back through lock-free atomics, which is all a handler may touch.
struct UnfinishedSlot {
    std::atomic<bool> taken{false};
    std::atomic<bool> ready{false};
    char path[4096] = {};
};
std::array<UnfinishedSlot, 8> gUnfinished;

extern "C" void RemoveUnfinishedAndEnd(int sig) {
    for (UnfinishedSlot& slot : gUnfinished) {
        if (slot.ready) ::unlink(slot.path);
    }
    // The handler was reset to the default action on entry: this ends the program as the
    // signal would have.
    ::raise(sig);
}

#endif

// Follows symbolic links from `path` to the file they finally name (which need not exist).
bool ResolveLinks(fs::path path, fs::path& resolved, std::string& reason) {
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(path, ec);
        if (ec || !fs::is_symlink(status)) {
            resolved = path;
            return true;
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

// A new, exclusively created file beside `target`; its path is returned in `temp`.
FilePtr CreateTempBeside(const fs::path& target, fs::path& temp, std::string& reason) {
    std::random_device seed;
    std::mt19937 random(seed());
    const fs::path folder = target.parent_path();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string name = "." + paths::FromFsPath(target.filename()) + "." +
                                 std::to_string(random() % 1000000) + ".part";
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

Result ReplaceFileContents(std::string_view target, const std::function<bool(std::FILE*)>& write) {
    Result result;
    const auto fail = [&result](std::string reason) {
        result.ok = false;
        result.reason = std::move(reason);
        return result;
    };

    fs::path final;
    std::string reason;
    if (!ResolveLinks(paths::ToFsPath(target), final, reason)) return fail(reason);
    ExistingTarget existing;
    if (!CheckTarget(final, existing, reason)) return fail(reason);

    fs::path temp;
    FilePtr out = CreateTempBeside(final, temp, reason);
    if (!out) return fail(reason);
    const UnfinishedFile unfinished(paths::FromFsPath(temp));
    KeepAttributes(out.get(), temp, existing);

    errno = 0;
    bool ok = write(out.get());
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
    if (ok) ok = RenameReplacing(temp, final, reason);
    if (!ok) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return fail(reason);
    }
    SyncFolder(final.parent_path());
    return result;
}

Result CopyFileReplacing(std::string_view source, std::string_view target) {
    std::string reason;
    const FilePtr in = OpenForReading(source, reason);
    if (!in) {
        Result failed;
        failed.ok = false;
        failed.reason = "cannot open " + std::string(source) + ": " + reason;
        return failed;
    }
    bool readFailed = false;
    Result result = ReplaceFileContents(target, [&](std::FILE* out) {
        std::array<char, 64 * 1024> buffer{};
        for (;;) {
            const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in.get());
            if (n > 0 && std::fwrite(buffer.data(), 1, n, out) != n) return false;
            if (n < buffer.size()) {
                readFailed = std::ferror(in.get()) != 0;
                return !readFailed;
            }
        }
    });
    if (readFailed) result.reason = "cannot read " + std::string(source) + ": " + result.reason;
    return result;
}

UnfinishedFile::UnfinishedFile([[maybe_unused]] std::string_view path) {
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
