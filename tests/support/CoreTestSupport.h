// What the tests of the cores (common, conversion, download) share: a fresh folder per test,
// whole files, CR LF lines, a file-size limit that plays a full disk, a child process, and memory
// images with the byte streams an instrument sends for them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#endif
#ifdef __linux__
#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#endif

#include "common/BinFormat.h"

namespace vsdl::testing {

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir() {
        std::random_device rd;
        path_ = fs::temp_directory_path() /
                ("vsdl-test-" + std::to_string(rd()) + "-" + std::to_string(rd()));
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    const std::string text = ReadFile(path);
    return {text.begin(), text.end()};
}

template <typename Bytes>
void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline void WriteFile(const fs::path& path, const char* text) {
    WriteFile(path, std::string(text));
}

#ifndef _WIN32
// While it lives, no file of this process may grow beyond `bytes`: a disk that fills up.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit small = saved_;
        small.rlim_cur = bytes;
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};
#endif

#ifndef _WIN32
// Runs `body` in a child process, which ends with exit status 0 when it returns; the child's
// wait status: the number of the signal that ended it, or its exit status times 256.
inline int WaitStatusOfChild(const std::function<void()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        body();
        ::_exit(0);
    }
    int status = -1;
    if (child > 0) ::waitpid(child, &status, 0);
    return status;
}
#endif

#ifdef __linux__
// As WaitStatusOfChild, but the child gets `sig` the moment its first creating open of a path
// ending in `nameEnd` returns, before its next instruction: the moment between making a file
// and registering it. `body` may exec another program. -1 when the child cannot be traced here.
inline int WaitStatusWithSignalAtCreate(const std::function<void()>& body,
                                        const std::string& nameEnd, int sig) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) ::_exit(99);
        ::raise(SIGSTOP);
        body();
        ::_exit(0);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFSTOPPED(status)) return -1;
    ::ptrace(PTRACE_SETOPTIONS, child, nullptr,
             PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL);
    const std::string memory = "/proc/" + std::to_string(child) + "/mem";
    bool creating = false;
    bool sent = false;
    long pass = 0;  // a signal the child got, handed on to it
    for (;;) {
        if (::ptrace(PTRACE_SYSCALL, child, nullptr, reinterpret_cast<void*>(pass)) != 0) return -1;
        pass = 0;
        if (::waitpid(child, &status, 0) != child) return -1;
        if (WIFEXITED(status)) return WEXITSTATUS(status) == 99 ? -1 : status;
        if (WIFSIGNALED(status)) return status;
        if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
            if (WSTOPSIG(status) != SIGTRAP) pass = WSTOPSIG(status);
            continue;
        }
        __ptrace_syscall_info info{};
        ::ptrace(PTRACE_GET_SYSCALL_INFO, child, sizeof info, &info);
        if (info.op == PTRACE_SYSCALL_INFO_ENTRY) {
            creating = false;
            if (sent || info.entry.nr != SYS_openat || (info.entry.args[2] & O_CREAT) == 0)
                continue;
            std::string path(4096, '\0');
            std::ifstream mem(memory, std::ios::binary);
            mem.seekg(static_cast<std::streamoff>(info.entry.args[1]));
            mem.read(path.data(), static_cast<std::streamsize>(path.size()));
            path.resize(std::strlen(path.c_str()));
            creating = path.size() >= nameEnd.size() &&
                       path.compare(path.size() - nameEnd.size(), nameEnd.size(), nameEnd) == 0;
        } else if (info.op == PTRACE_SYSCALL_INFO_EXIT && creating && info.exit.rval >= 0) {
            ::kill(child, sig);
            sent = true;
        }
    }
}
#endif

// A download's memory image of `size` bytes: sync mark, SetCount, a 17-byte set header, data
// and the end marker. The data never holds 0xC9, so the marker occurs only at the end.
inline std::vector<std::uint8_t> MakeImage(std::size_t size, bool timed = false,
                                           unsigned seed = 7) {
    const std::uint8_t mark = timed ? 0x3C : 0xC3;
    std::vector<std::uint8_t> image = {mark, mark, mark, 1, 1, 1, 2, 3, 4, 5, 6,
                                       1,    2,    3,    4, 5, 7, 0, 0, 0, 1};
    std::mt19937 rng(seed);
    const auto& end = binformat::kEndMark;
    while (image.size() + end.size() < size) {
        const auto b = static_cast<std::uint8_t>(rng() & 0xFF);
        image.push_back(b == 0xC9 ? 0x00 : b);
    }
    image.insert(image.end(), end.begin(), end.end());
    return image;
}

// What the instrument sends for `image`: the handshake, the blocks each followed by its
// checksum (block `badBlock`, counted from 1, with a wrong one), the partial block and a final
// byte.
inline std::vector<std::uint8_t> InstrumentStream(const std::vector<std::uint8_t>& image,
                                                  int badBlock = 0, std::uint8_t finalByte = 0x5F) {
    const auto& hs = binformat::kHandshake;
    std::vector<std::uint8_t> s(hs.begin(), hs.end());
    const std::size_t block = binformat::kBlockSize;
    std::size_t at = 0;
    for (int n = 1; image.size() - at >= block; ++n, at += block) {
        s.insert(s.end(), image.begin() + static_cast<std::ptrdiff_t>(at),
                 image.begin() + static_cast<std::ptrdiff_t>(at + block));
        const std::uint8_t sum = binformat::BlockChecksum(image.data() + at, block);
        s.push_back(n == badBlock ? static_cast<std::uint8_t>(sum + 1) : sum);
    }
    if (at < image.size()) {
        s.insert(s.end(), image.begin() + static_cast<std::ptrdiff_t>(at), image.end());
        s.push_back(finalByte);
    }
    return s;
}

}  // namespace vsdl::testing
