#include "common/FileOps.h"
#include "common/AtomicFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <thread>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#endif

namespace fs = std::filesystem;
using vsdl::fileops::CopyFileReplacing;
using vsdl::fileops::FileToBeReplaced;

namespace {

class FileOpsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device seed;
        dir_ = fs::temp_directory_path() / ("vsdl-fileops-" + std::to_string(seed()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    std::string At(const std::string& name) const { return (dir_ / name).string(); }
    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    int EntryCount() const {
        return static_cast<int>(std::distance(fs::directory_iterator(dir_), {}));
    }
    std::string Folder() const { return dir_.string() + "/"; }

    fs::path dir_;
};

std::string BinaryBytes(std::size_t n) {
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 131 + 7) % 256);
    return bytes;
}

}  // namespace

TEST_F(FileOpsTest, TheFileToBeReplacedIsTheOneThatWillBeWritten) {
    Write(At("RUN1.PRN"), "x");
    Write(At("run2.prn"), "x");
    fs::create_directory(dir_ / "SUB.PRN");
    const std::string d = Folder();
    struct Case {
        std::string folder, name;
        std::optional<std::string> asked;
    };
    for (const Case& c :
         {Case{d, "RUN1.PRN", d + "RUN1.PRN"},
          Case{dir_.string(), "RUN1.PRN", d + "RUN1.PRN"},  // no separator
#ifdef _WIN32
          Case{d, "run1.PRN", d + "run1.prn"},
#else
          // Where letter case counts, another case is another file.
          Case{d, "RUN2.PRN", std::nullopt}, Case{d, "run1.prn", std::nullopt},
#endif
          Case{d, "SUB.PRN", std::nullopt}, Case{d + "gone/", "X.PRN", std::nullopt},
          Case{"", "RUN1.PRN", std::nullopt}}) {
        std::string windowsName = c.name;
        for (char& ch : windowsName) ch = static_cast<char>(std::tolower(ch));
        EXPECT_EQ(FileToBeReplaced(c.folder, c.name, windowsName), c.asked) << c.folder << c.name;
    }
}

TEST_F(FileOpsTest, CopiesToNewFileByteForByte) {
    const std::string bytes = BinaryBytes(200000);  // several buffers, not a multiple of one
    Write(At("src.bin"), bytes);
    const auto result = CopyFileReplacing(At("src.bin"), At("copy.bin"));
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(Read(At("copy.bin")), bytes);
    EXPECT_EQ(Read(At("src.bin")), bytes);
    EXPECT_EQ(EntryCount(), 2);  // no temporary file left
}

TEST_F(FileOpsTest, CopiesEmptyFile) {
    Write(At("src.bin"), "");
    ASSERT_TRUE(CopyFileReplacing(At("src.bin"), At("copy.bin")).ok);
    EXPECT_TRUE(fs::exists(At("copy.bin")));
    EXPECT_EQ(fs::file_size(At("copy.bin")), 0u);
}

TEST_F(FileOpsTest, ReplacesLongerExistingFile) {
    Write(At("src.bin"), "new");
    Write(At("old.bin"), std::string(5000, 'o'));
    ASSERT_TRUE(CopyFileReplacing(At("src.bin"), At("old.bin")).ok);
    EXPECT_EQ(Read(At("old.bin")), "new");
    EXPECT_EQ(EntryCount(), 2);
}

TEST_F(FileOpsTest, MissingSourceLeavesTargetAndNamesSource) {
    Write(At("old.bin"), "keep me");
    const auto result = CopyFileReplacing(At("nothing.bin"), At("old.bin"));
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.reason.find("nothing.bin"), std::string::npos) << result.reason;
    EXPECT_EQ(Read(At("old.bin")), "keep me");
    EXPECT_EQ(EntryCount(), 1);
}

TEST_F(FileOpsTest, MissingTargetFolderFailsWithReason) {
    Write(At("src.bin"), "data");
    const auto result = CopyFileReplacing(At("src.bin"), At("gone/copy.bin"));
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_FALSE(fs::exists(dir_ / "gone"));
}

TEST_F(FileOpsTest, TargetThatIsAFolderIsNotReplaced) {
    Write(At("src.bin"), "data");
    fs::create_directory(dir_ / "taken.bin");
    Write(At("taken.bin/inside"), "inside");
    const auto result = CopyFileReplacing(At("src.bin"), At("taken.bin"));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(Read(At("taken.bin/inside")), "inside");
    EXPECT_EQ(EntryCount(), 2);  // src.bin and the folder; the temporary file was removed
}

#ifndef _WIN32
TEST_F(FileOpsTest, AFlushThatFailsIsAFailure) {
    Write(At("src.bin"), BinaryBytes(300));  // fits the stream's buffer: only the flush writes
    Write(At("old.bin"), "old contents");
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 100;
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto result = CopyFileReplacing(At("src.bin"), At("old.bin"));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.reason, std::strerror(EFBIG));
    EXPECT_EQ(Read(At("old.bin")), "old contents");
    EXPECT_EQ(EntryCount(), 2);
}

TEST_F(FileOpsTest, ALinkIsWrittenThroughAndStays) {
    fs::create_directory(dir_ / "real");
    Write(At("real/settings.cfg"), "old");
    fs::create_symlink("real/settings.cfg", dir_ / "link.cfg");
    Write(At("src.bin"), "new");
    ASSERT_TRUE(CopyFileReplacing(At("src.bin"), At("link.cfg")).ok);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir_ / "link.cfg")));
    EXPECT_EQ(Read(At("real/settings.cfg")), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "real"), {}), 1);
}

TEST_F(FileOpsTest, PermissionsAreKeptAndAReadOnlyFileIsNotReplaced) {
    Write(At("src.bin"), "new");
    Write(At("shared.cfg"), "old");
    fs::permissions(At("shared.cfg"), fs::perms(0664));
    ASSERT_TRUE(CopyFileReplacing(At("src.bin"), At("shared.cfg")).ok);
    EXPECT_EQ(fs::status(At("shared.cfg")).permissions(), fs::perms(0664));

    Write(At("kept.cfg"), "old");
    fs::permissions(At("kept.cfg"), fs::perms(0444));
    const auto result = CopyFileReplacing(At("src.bin"), At("kept.cfg"));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.reason, std::strerror(EACCES));
    EXPECT_EQ(Read(At("kept.cfg")), "old");
    EXPECT_EQ(EntryCount(), 3);
}

TEST_F(FileOpsTest, TwoWritersAtOnceNeverFailNorMix) {
    const std::string a(20000, 'a');
    const std::string b(30000, 'b');
    std::atomic<int> failures{0};
    const auto writer = [&](const std::string& text) {
        for (int i = 0; i < 50; ++i) {
            const auto r = vsdl::fileops::ReplaceFile(At("one.cfg"), [&](std::FILE* f) {
                return std::fwrite(text.data(), 1, text.size(), f) == text.size();
            });
            if (!r.ok) ++failures;
        }
    };
    std::thread first(writer, a);
    std::thread second(writer, b);
    first.join();
    second.join();
    EXPECT_EQ(failures, 0);
    const std::string last = Read(At("one.cfg"));
    EXPECT_TRUE(last == a || last == b);
    EXPECT_EQ(EntryCount(), 1);
}

TEST_F(FileOpsTest, NothingButAnOrdinaryFileIsOpenedAndNothingBlocks) {
    ASSERT_EQ(::mkfifo(At("fifo").c_str(), 0600), 0);
    fs::create_directory(dir_ / "folder");
    std::string reason;
    for (const char* name : {"fifo", "folder", "missing"}) {
        EXPECT_FALSE(vsdl::fileops::OpenForReading(At(name), reason)) << name;
        EXPECT_FALSE(reason.empty()) << name;
    }
    EXPECT_FALSE(vsdl::fileops::CreateForWriting(At("fifo"), reason));
    EXPECT_FALSE(vsdl::fileops::ReadFileStart(At("fifo"), 10).has_value());
    EXPECT_FALSE(CopyFileReplacing(At("fifo"), At("copy.bin")).ok);
    EXPECT_TRUE(vsdl::fileops::CreateForWriting(At("new.bin"), reason));
}

TEST_F(FileOpsTest, ReadOnlyFolderLeavesExistingFileIntact) {
    Write(At("src.bin"), "new");
    fs::create_directory(dir_ / "ro");
    Write(At("ro/old.bin"), "old contents");
    fs::permissions(dir_ / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    if (std::ofstream(At("ro/probe")).good()) GTEST_SKIP() << "running with rights to write anyway";
    const auto result = CopyFileReplacing(At("src.bin"), At("ro/old.bin"));
    fs::permissions(dir_ / "ro", fs::perms::owner_all);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_EQ(Read(At("ro/old.bin")), "old contents");
}
#endif
