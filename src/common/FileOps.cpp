#include "common/FileOps.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>

#include "common/Paths.h"

namespace vsdl::fileops {
namespace {

namespace fs = std::filesystem;

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string ErrnoText(int err, const char* fallback) {
    return err != 0 ? std::string(std::strerror(err)) : std::string(fallback);
}

std::FILE* OpenFile(const fs::path& path, const char* mode) {
#ifdef _WIN32
    // The narrow fopen would read the path in the ANSI code page; our paths are UTF-8.
    std::wstring wmode(mode, mode + std::strlen(mode));
    return _wfopen(path.c_str(), wmode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

// A new, exclusively created file beside `target`; its path is returned in `temp`.
File CreateTempBeside(const fs::path& target, fs::path& temp, int& err) {
    std::random_device seed;
    std::mt19937 random(seed());
    const fs::path folder = target.parent_path();
    err = 0;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string name = "." + paths::FromFsPath(target.filename()) + "." +
                                 std::to_string(random() % 1000000) + ".part";
        temp = folder.empty() ? paths::ToFsPath(name) : folder / paths::ToFsPath(name);
        errno = 0;
        File file(OpenFile(temp, "wbx"));
        if (file) return file;
        err = errno;
        if (err != EEXIST) break;
    }
    return File();
}

}  // namespace

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

Result CopyFileReplacing(std::string_view source, std::string_view target) {
    Result result;
    const fs::path sourcePath = paths::ToFsPath(source);
    const fs::path targetPath = paths::ToFsPath(target);

    errno = 0;
    File in(OpenFile(sourcePath, "rb"));
    if (!in) {
        result.ok = false;
        result.reason = "cannot open " + std::string(source) + ": " +
                        ErrnoText(errno, "the file could not be opened");
        return result;
    }

    fs::path temp;
    int err = 0;
    File out = CreateTempBeside(targetPath, temp, err);
    if (!out) {
        result.ok = false;
        result.reason = ErrnoText(err, "a file could not be created in the folder");
        return result;
    }

    std::array<char, 64 * 1024> buffer{};
    for (;;) {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in.get());
        if (n > 0 && std::fwrite(buffer.data(), 1, n, out.get()) != n) {
            result.ok = false;
            result.reason = ErrnoText(errno, "the file could not be written");
            break;
        }
        if (n < buffer.size()) {
            if (std::ferror(in.get()) != 0) {
                result.ok = false;
                result.reason =
                    "cannot read " + std::string(source) + ": " + ErrnoText(errno, "read error");
            }
            break;
        }
    }
    if (result.ok) {
        errno = 0;
        const bool flushed = std::fflush(out.get()) == 0;
        const bool closed = std::fclose(out.release()) == 0;
        if (!flushed || !closed) {
            result.ok = false;
            result.reason = ErrnoText(errno, "the file could not be written");
        }
    }
    out.reset();
    std::error_code ec;
    if (result.ok) {
        fs::rename(temp, targetPath, ec);
        if (ec) {
            result.ok = false;
            result.reason = ec.message();
        }
    }
    if (!result.ok) fs::remove(temp, ec);
    return result;
}

}  // namespace vsdl::fileops
