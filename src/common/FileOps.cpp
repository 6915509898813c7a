#include "common/FileOps.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
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

constexpr const char* kNotOrdinary = "Not an ordinary file (a FIFO, a device or a socket)";

#ifdef _WIN32

// True when `folder` lists an ordinary file whose name equals `name`, letter case ignored.
bool FolderHasFileIgnoreCase(std::string_view folder, std::string_view name) {
    if (folder.empty() || name.empty()) return false;
    std::error_code ec;
    fs::directory_iterator it(paths::ToFsPath(folder), ec);
    if (ec) return false;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) return false;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        if (paths::EqualsIgnoreCase(paths::FromFsPath(it->path().filename()), name)) return true;
    }
    return false;
}

std::optional<std::string> RefusedKind(const fs::file_status& status) {
    if (!fs::exists(status) || fs::is_regular_file(status)) return std::nullopt;
    return NotOrdinaryReason(fs::is_directory(status));
}

FilePtr OpenWide(const fs::path& path, const wchar_t* mode) {
    return FilePtr(_wfopen(path.c_str(), mode));
}

#else

std::string RefusedMode(mode_t mode) {
    return NotOrdinaryReason(S_ISDIR(mode));
}

// An open file descriptor as a stdio stream; the descriptor is closed when that fails.
FilePtr Stream(int fd, const char* mode, std::string& reason) {
    std::FILE* f = ::fdopen(fd, mode);
    if (f == nullptr) {
        reason = ErrorText(errno);
        ::close(fd);
    }
    return FilePtr(f);
}

// The descriptor back to blocking reads and writes once it is known to be an ordinary file.
void MakeBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

#endif

}  // namespace

std::string NotOrdinaryReason(bool folder) {
    return folder ? ErrorText(EISDIR) : std::string(kNotOrdinary);
}

std::string NotWrittenText(std::string_view what, std::string_view reason) {
    std::string text(what);
    text += " could not be written.\n";
    text += reason;
    return text;
}

std::string ErrorText(int err, const char* fallback) {
    return err != 0 ? std::string(std::strerror(err)) : std::string(fallback);
}

FilePtr OpenForReading(std::string_view path, std::string& reason) {
    const fs::path p = paths::ToFsPath(path);
#ifdef _WIN32
    std::error_code ec;
    const fs::file_status status = fs::status(p, ec);
    if (!fs::exists(status)) {
        reason = ErrorText(ENOENT);
        return nullptr;
    }
    if (auto refused = RefusedKind(status)) {
        reason = *refused;
        return nullptr;
    }
    errno = 0;
    FilePtr file = OpenWide(p, L"rb");
    if (!file) reason = ErrorText(errno, "the file could not be opened");
    return file;
#else
    // Looked at before it is opened: opening a device can already disturb it.
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        reason = RefusedMode(st.st_mode);
        return nullptr;
    }
    const int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = ErrorText(errno);
        return nullptr;
    }
    // Looked at again: the name may have been given to something else in between.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = RefusedMode(st.st_mode);
        ::close(fd);
        return nullptr;
    }
    MakeBlocking(fd);
    return Stream(fd, "rb", reason);
#endif
}

FilePtr CreateForWriting(std::string_view path, std::string& reason, bool followLinks) {
    const fs::path p = paths::ToFsPath(path);
#ifdef _WIN32
    std::error_code ec;
    const fs::file_status status = followLinks ? fs::status(p, ec) : fs::symlink_status(p, ec);
    if (!followLinks && fs::is_symlink(status)) {
        reason = ErrorText(ELOOP);
        return nullptr;
    }
    if (auto refused = RefusedKind(status)) {
        reason = *refused;
        return nullptr;
    }
    errno = 0;
    FilePtr file = OpenWide(p, L"wb");
    if (!file) reason = ErrorText(errno, "the file could not be created");
    return file;
#else
    struct stat st {};
    const int looked = followLinks ? ::stat(p.c_str(), &st) : ::lstat(p.c_str(), &st);
    if (looked == 0 && S_ISLNK(st.st_mode)) {
        reason = "Is a symbolic link";
        return nullptr;
    }
    if (looked == 0 && !S_ISREG(st.st_mode)) {
        reason = RefusedMode(st.st_mode);
        return nullptr;
    }
    // Not truncated on opening: only an ordinary file is emptied, below.
    const int flags = O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW);
    const int fd = ::open(p.c_str(), flags, 0666);
    if (fd < 0) {
        const int err = errno;
        reason = err == ENXIO                   ? std::string(kNotOrdinary)
                 : err == ELOOP && !followLinks ? std::string("Is a symbolic link")
                                                : ErrorText(err);
        return nullptr;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = RefusedMode(st.st_mode);
        ::close(fd);
        return nullptr;
    }
    if (::ftruncate(fd, 0) != 0) {
        reason = ErrorText(errno);
        ::close(fd);
        return nullptr;
    }
    MakeBlocking(fd);
    return Stream(fd, "wb", reason);
#endif
}

std::optional<std::int64_t> FileLength(std::FILE* file) {
#ifdef _WIN32
    const __int64 length = _filelengthi64(_fileno(file));
    if (length < 0) return std::nullopt;
    return static_cast<std::int64_t>(length);
#else
    struct stat st {};
    if (::fstat(::fileno(file), &st) != 0) return std::nullopt;
    return static_cast<std::int64_t>(st.st_size);
#endif
}

std::optional<std::string> ReadFileStart(std::string_view path, std::size_t maxBytes) {
    std::string reason;
    const FilePtr file = OpenForReading(path, reason);
    if (!file) return std::nullopt;
    std::string text(maxBytes, '\0');
    const std::size_t got = std::fread(text.data(), 1, maxBytes, file.get());
    if (got < maxBytes && std::ferror(file.get()) != 0) return std::nullopt;
    text.resize(got);
    return text;
}

std::optional<std::string> FileToBeReplaced(std::string_view folder, std::string_view name,
                                            std::string_view windowsName) {
#ifdef _WIN32
    if (!FolderHasFileIgnoreCase(folder, name)) return std::nullopt;
    return paths::Join(folder, windowsName);
#else
    (void)windowsName;
    if (folder.empty() || name.empty()) return std::nullopt;
    const std::string path = paths::Join(folder, name);
    std::error_code ec;
    if (!fs::is_regular_file(paths::ToFsPath(path), ec)) return std::nullopt;
    // On a file system that ignores letter case the name found may be spelt otherwise.
    fs::directory_iterator it(paths::ToFsPath(folder), ec);
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        const std::string entry = paths::FromFsPath(it->path().filename());
        std::error_code same;
        if (paths::EqualsIgnoreCase(entry, name) && fs::equivalent(it->path(), path, same)) {
            return paths::Join(folder, entry);
        }
    }
    return path;
#endif
}

bool SameFile(std::string_view a, std::string_view b) {
    std::error_code ec;
    const bool same = fs::equivalent(paths::ToFsPath(a), paths::ToFsPath(b), ec);
    return !ec && same;
}

}  // namespace vsdl::fileops
