// Opening only ordinary files, replacing a file through a synced temporary file, and which
// existing file an overwrite question names.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "common/AtomicFile.h"
#include "common/FileOps.h"
#include "support/CoreTestSupport.h"

namespace {

using namespace vsdl::fileops;
using namespace vsdl::testing;

int Entries(const TempDir& dir) {
    return static_cast<int>(std::distance(fs::directory_iterator(dir.path()), {}));
}

TEST(FileOps, TheFileToBeReplacedIsTheOneThatWillBeWritten) {
    TempDir dir;
    WriteFile(dir / "RUN1.PRN", "x");
    fs::create_directory(dir.path() / "SUB.PRN");
    const std::string d = dir.str() + "/";
    const struct {
        std::string folder, name;
        std::optional<std::string> asked;  // the file the question names; none: no question
    } cases[] = {
#ifdef _WIN32
        // Any letter case counts, and the question names the lower-cased name, as ever.
        {.folder = d, .name = "RUN1.PRN", .asked = d + "run1.prn"},
        {.folder = dir.str(), .name = "run1.PRN", .asked = dir.str() + "\\run1.prn"},
#else
        {.folder = d, .name = "RUN1.PRN", .asked = d + "RUN1.PRN"},
        {.folder = dir.str(), .name = "RUN1.PRN", .asked = d + "RUN1.PRN"},
        // Where letter case counts, another case is another file.
        {.folder = d, .name = "run1.prn", .asked = std::nullopt},
#endif
        {.folder = d, .name = "SUB.PRN", .asked = std::nullopt},
        {.folder = d + "gone/", .name = "X.PRN", .asked = std::nullopt},
        {.folder = "", .name = "RUN1.PRN", .asked = std::nullopt}};
    for (const auto& [folder, name, asked] : cases) {
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(c));
        EXPECT_EQ(FileToBeReplaced(folder, name, lower), asked) << folder << name;
    }
}

TEST(FileOps, ACopyReplacesItsTargetOrLeavesItAsItWas) {
    TempDir dir;
    std::string bytes(200000, '\0');  // several buffers, not a multiple of one
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 131 + 7) % 256);
    WriteFile(dir / "src.bin", bytes);
    WriteFile(dir / "empty.bin", "");
    WriteFile(dir / "old.bin", std::string(300000, 'o'));
    fs::create_directory(dir.path() / "taken.bin");
    ASSERT_TRUE(CopyFileReplacing(dir / "src.bin", dir / "old.bin").ok);
    EXPECT_EQ(ReadFile(dir / "old.bin"), bytes);
    ASSERT_TRUE(CopyFileReplacing(dir / "empty.bin", dir / "new.bin").ok);
    EXPECT_EQ(ReadFile(dir / "new.bin"), "");
    const Result missing = CopyFileReplacing(dir / "nothing.bin", dir / "old.bin");
    EXPECT_EQ(missing.reason,
              "cannot open " + (dir / "nothing.bin") + ": " + std::strerror(ENOENT));
    EXPECT_FALSE(CopyFileReplacing(dir / "src.bin", dir / "gone/copy.bin").ok);
    EXPECT_FALSE(CopyFileReplacing(dir / "src.bin", dir / "taken.bin").ok);
    EXPECT_EQ(ReadFile(dir / "old.bin"), bytes);
    EXPECT_EQ(Entries(dir), 5);  // no temporary file left behind
}

#ifndef _WIN32
TEST(FileOps, LinksPermissionsAndTwoWritersAtOnce) {
    TempDir dir;
    WriteFile(dir / "src.bin", "new");
    fs::create_directory(dir.path() / "real");
    WriteFile(dir / "real/settings.cfg", "old");
    fs::permissions(dir / "real/settings.cfg", fs::perms(0664));
    fs::create_symlink("real/settings.cfg", dir.path() / "link.cfg");
    // A link is written through and stays; the file keeps its permissions.
    ASSERT_TRUE(CopyFileReplacing(dir / "src.bin", dir / "link.cfg").ok);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir.path() / "link.cfg")));
    EXPECT_EQ(ReadFile(dir / "real/settings.cfg"), "new");
    EXPECT_EQ(fs::status(dir / "real/settings.cfg").permissions(), fs::perms(0664));
    // A file its owner made read-only is not replaced, whoever writes.
    fs::permissions(dir / "real/settings.cfg", fs::perms(0444));
    EXPECT_EQ(CopyFileReplacing(dir / "src.bin", dir / "link.cfg").reason, std::strerror(EACCES));
    fs::permissions(dir / "real/settings.cfg", fs::perms(0644));

    const std::string a(20000, 'a'), b(30000, 'b');
    std::atomic<int> failures{0};
    const auto writer = [&](const std::string& text) {
        for (int i = 0; i < 50; ++i) {
            const Result r = ReplaceFileContents(dir / "one.cfg", [&](std::FILE* f) {
                return std::fwrite(text.data(), 1, text.size(), f) == text.size();
            });
            if (!r.ok) ++failures;
        }
    };
    std::thread first(writer, a), second(writer, b);
    first.join();
    second.join();
    EXPECT_EQ(failures, 0);
    const std::string last = ReadFile(dir / "one.cfg");
    EXPECT_TRUE(last == a || last == b);
    EXPECT_EQ(Entries(dir), 4);
}

TEST(FileOps, NothingButAnOrdinaryFileIsOpenedAndNothingBlocks) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_directory(dir.path() / "folder");
    std::string reason;
    for (const char* name : {"fifo", "folder", "missing"}) {
        EXPECT_FALSE(OpenForReading(dir / name, reason)) << name;
        EXPECT_FALSE(reason.empty()) << name;
    }
    EXPECT_FALSE(CreateForWriting(dir / "fifo", reason));
    EXPECT_FALSE(CreateForWriting(dir / "folder", reason));
    EXPECT_EQ(reason, std::strerror(EISDIR));
    // Without following links only a link is called one; other failures keep their reason.
    EXPECT_FALSE(CreateForWriting(dir / "gone/x", reason, false));
    EXPECT_EQ(reason, std::strerror(ENOENT));
    EXPECT_FALSE(ReadFileStart(dir / "fifo", 10).has_value());
    WriteFile(dir / "ten", "0123456789");
    EXPECT_EQ(ReadFileStart(dir / "ten", 4), "0123");
    const FilePtr made = CreateForWriting(dir / "ten", reason);
    ASSERT_TRUE(made);
    EXPECT_EQ(FileLength(made.get()), 0);  // emptied
}

// Ctrl+C, a kill or a closed terminal in the middle of a large write ends the program as ever
// but leaves the old file and nothing else; a signal the user has ignored (nohup) changes
// nothing, and a file size limit is a failure with its reason, not the end of the program.
TEST(FileOps, ASignalInTheMiddleOfAWriteLeavesNoTemporaryFile) {
    const struct {
        int signal;
        bool ignored = false;      // by the user
        int waitStatus;            // the writer's: a signal's number, or its exit code times 256
        const char* file = "old";  // afterwards
    } cases[] = {{.signal = SIGINT, .waitStatus = SIGINT},
                 {.signal = SIGTERM, .waitStatus = SIGTERM},
                 {.signal = SIGHUP, .waitStatus = SIGHUP},
                 {.signal = SIGHUP, .ignored = true, .waitStatus = 0, .file = "half and the rest"},
                 {.signal = SIGXFSZ, .waitStatus = 1 * 256}};
    for (const auto& [signal, ignored, waitStatus, file] : cases) {
        TempDir dir;
        WriteFile(dir / "out.csv", "old");
        const int status = WaitStatusOfChild([&] {
            std::signal(signal, ignored ? SIG_IGN : SIG_DFL);
            rlimit small{};
            ::getrlimit(RLIMIT_FSIZE, &small);
            small.rlim_cur = 2;
            if (signal == SIGXFSZ) ::setrlimit(RLIMIT_FSIZE, &small);
            CleanUpOnSignals();
            const Result r = ReplaceFileContents(dir / "out.csv", [&](std::FILE* f) {
                if (std::fputs("half", f) < 0 || std::fflush(f) != 0) return false;
                if (signal != SIGXFSZ) ::raise(signal);
                return std::fputs(" and the rest", f) >= 0;
            });
            ::_exit(r.ok ? 0 : r.reason == std::strerror(EFBIG) ? 1 : 2);
        });
        EXPECT_EQ(status, waitStatus) << signal;
        EXPECT_EQ(ReadFile(dir / "out.csv"), file) << signal;
        EXPECT_EQ(Entries(dir), 1) << signal;
    }
}

// A process killed while it writes leaves its temporary file; the next write into that folder
// removes it, but never the one of a process that still writes (here: this one).
TEST(FileOps, TemporaryFilesOfEndedProcessesAreRemoved) {
    TempDir dir;
    const auto write = [&](const char* name, const std::function<void()>& meanwhile) {
        return ReplaceFileContents(dir / name, [&](std::FILE* f) {
            meanwhile();
            return std::fputs("x", f) >= 0;
        });
    };
    EXPECT_EQ(WaitStatusOfChild([&] { write("big.csv", [] { ::raise(SIGKILL); }); }), SIGKILL);
    ASSERT_EQ(Entries(dir), 1);
    EXPECT_TRUE(write("a.csv", [&] {
                    EXPECT_TRUE(write("b.csv", [] {}).ok);
                    EXPECT_EQ(Entries(dir), 2);
                }).ok);
    EXPECT_EQ(Entries(dir), 2);
}

// A library's own temporary files, in a folder of their own: a signal removes it with all in
// it (more files than one listing holds), and one that a kill left goes with the next write.
TEST(FileOps, ALibrarysFolderGoesWithASignalOrTheNextWrite) {
    TempDir dir;
    const auto fillThenRaise = [&](int files, int signal) {
        const UnfinishedFolder scratch(dir / "book.xlsx");
        for (int i = 0; i < files; ++i) {
            WriteFile(fs::path(scratch.path()) / ("tmp.library-file-" + std::to_string(i)), "x");
        }
        ::raise(signal);
    };
    EXPECT_EQ(WaitStatusOfChild([&] {
                  CleanUpOnSignals();
                  fillThenRaise(300, SIGTERM);
              }),
              SIGTERM);
    EXPECT_EQ(Entries(dir), 0);
    EXPECT_EQ(WaitStatusOfChild([&] { fillThenRaise(3, SIGKILL); }), SIGKILL);
    EXPECT_EQ(Entries(dir), 1);
    EXPECT_TRUE(ReplaceFileContents(dir / "a.csv", [](std::FILE* f) {
                    return std::fputs("x", f) >= 0;
                }).ok);
    EXPECT_EQ(Entries(dir), 1);
}

// vsdl convert --jobs: workers hold the ending signals and the main thread takes them; a signal
// it takes while a worker makes a report waits until the report is listed, then removes it.
TEST(FileOps, ASignalTakenByAnotherThreadWaitsForAFileBeingMade) {
    TempDir dir;
    EXPECT_EQ(WaitStatusOfChild([&] {
                  CleanUpOnSignals();
                  std::thread worker([&] {
                      sigset_t ending;
                      sigemptyset(&ending);
                      sigaddset(&ending, SIGTERM);
                      ::pthread_sigmask(SIG_BLOCK, &ending, nullptr);
                      std::optional<UnfinishedFile> listed;
                      {
                          const EndingSignalsHeld held;
                          WriteFile(dir / "RUN1.PRN", "part");
                          ::kill(::getpid(), SIGTERM);  // taken by the main thread at once
                          std::this_thread::sleep_for(std::chrono::milliseconds(200));
                          listed.emplace(dir / "RUN1.PRN");
                      }
                      std::this_thread::sleep_for(std::chrono::seconds(5));
                  });
                  worker.join();
              }),
              SIGTERM);
    EXPECT_EQ(Entries(dir), 0);
}

// Another user's link in a folder anyone may write to is not followed, even by root.
TEST(FileOps, AnotherUsersLinkInAStickyFolderIsNotFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a link to another user";
    TempDir dir;
    fs::create_directory(dir.path() / "tmp");
    fs::permissions(dir.path() / "tmp", fs::perms(01777));
    WriteFile(dir / "victim", "theirs");
    fs::create_symlink(dir / "victim", dir.path() / "tmp" / "out.csv");
    ASSERT_EQ(::lchown((dir / "tmp/out.csv").c_str(), 65534, 65534), 0);
    const Result r = ReplaceFileContents(dir / "tmp/out.csv",
                                         [](std::FILE* f) { return std::fputs("x", f) >= 0; });
    EXPECT_EQ(r.reason.substr(0, std::strlen(std::strerror(EACCES))), std::strerror(EACCES));
    EXPECT_EQ(ReadFile(dir / "victim"), "theirs");
}
#endif

#ifdef __linux__
// A signal as the temporary file is made waits until the file is known to the handler.
TEST(FileOps, ASignalAsTheTemporaryFileIsMadeLeavesNoTemporaryFile) {
    TempDir dir;
    WriteFile(dir / "out.csv", "old");
    const int status = WaitStatusWithSignalAtCreate(
        [&] {
            CleanUpOnSignals();
            ReplaceFileContents(dir / "out.csv",
                                [](std::FILE* f) { return std::fputs("new", f) >= 0; });
        },
        ".part", SIGTERM);
    if (status == -1) GTEST_SKIP() << "no process tracing here";
    EXPECT_EQ(status, SIGTERM);
    EXPECT_EQ(ReadFile(dir / "out.csv"), "old");
    EXPECT_EQ(Entries(dir), 1);
}
#endif

// Without replacing, a file that is there first stays: also one that another writer puts there
// while this one writes. A name as long as a folder allows can be written.
TEST(FileOps, AFileThatIsThereFirstIsKeptWhenAsked) {
    TempDir dir;
    WriteFile(dir / "old.csv", "old");
    const std::string longest(255, 'n');
    const struct {
        std::string name;
        Existing existing = Existing::Keep;   // whether to replace
        const char* madeMeanwhile = nullptr;  // by another writer while this one writes
        bool ok;
        const char* after;
    } cases[] = {{.name = "new.csv", .ok = true, .after = "new"},
                 {.name = "old.csv", .ok = false, .after = "old"},
                 {.name = "race.csv", .madeMeanwhile = "other", .ok = false, .after = "other"},
                 {.name = "race2.csv",
                  .existing = Existing::Replace,
                  .madeMeanwhile = "other",
                  .ok = true,
                  .after = "new"},
                 {.name = longest, .ok = true, .after = "new"}};
    for (const auto& [name, existing, madeMeanwhile, ok, after] : cases) {
        const Result r = ReplaceFileContents(
            dir / name,
            [&](std::FILE* f) {
                if (madeMeanwhile != nullptr) WriteFile(dir / name, madeMeanwhile);
                return std::fputs("new", f) >= 0;
            },
            existing);
        EXPECT_EQ(r.ok, ok) << name << r.reason;
        EXPECT_EQ(r.existed, !ok) << name;
        EXPECT_EQ(ReadFile(dir / name), after) << name;
    }
    EXPECT_EQ(Entries(dir), 5);  // no temporary file left behind
}

}  // namespace
