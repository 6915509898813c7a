#include "common/FileOps.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace fs = std::filesystem;
using vsdl::fileops::CopyFileReplacing;
using vsdl::fileops::FolderHasFileIgnoreCase;

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

TEST_F(FileOpsTest, FindsNameInAnyLetterCase) {
    Write(At("Run1.BIN"), "x");
    EXPECT_TRUE(FolderHasFileIgnoreCase(Folder(), "run1.bin"));
    EXPECT_TRUE(FolderHasFileIgnoreCase(Folder(), "RUN1.BIN"));
    EXPECT_TRUE(FolderHasFileIgnoreCase(dir_.string(), "Run1.BIN"));  // no trailing separator
    EXPECT_FALSE(FolderHasFileIgnoreCase(Folder(), "run1.bi"));
    EXPECT_FALSE(FolderHasFileIgnoreCase(Folder(), "run2.bin"));
}

TEST_F(FileOpsTest, FoldersAndMissingFoldersHoldNoFile) {
    fs::create_directory(dir_ / "sub.bin");
    EXPECT_FALSE(FolderHasFileIgnoreCase(Folder(), "sub.bin"));
    EXPECT_FALSE(FolderHasFileIgnoreCase(Folder() + "gone/", "x.bin"));
    EXPECT_FALSE(FolderHasFileIgnoreCase("", "x.bin"));
    EXPECT_FALSE(FolderHasFileIgnoreCase(Folder(), ""));
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
