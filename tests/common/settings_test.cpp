// serialport.cfg and lastbin.cfg: the reading rules, the port text conversion and the atomic,
// failure-reporting writes, on files in a fresh temporary folder.
#include "common/Settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#endif

#include "common/Paths.h"

namespace fs = std::filesystem;
using namespace vsdl::settings;

namespace {

class SettingsFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("vsdl-settings-" + std::string(info->name()) + "-" + std::to_string(counter++));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::string folder() const { return vsdl::paths::WithTrailingSeparator(dir_.string()); }

    void Write(std::string_view name, std::string_view bytes) const {
        std::ofstream out(dir_ / name, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    std::string Read(std::string_view name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::size_t FileCount() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

    fs::path dir_;
};

// ---- Reading -------------------------------------------------------------------------------

TEST_F(SettingsFiles, MissingFilesReadAsEmpty) {
    EXPECT_EQ(ReadSerialPortText(folder()), "");
    EXPECT_EQ(ReadLastBinPath(folder()), "");
}

TEST_F(SettingsFiles, EmptyAndBareLineEndReadAsEmpty) {
    Write(kSerialPortFile, "");
    Write(kLastBinFile, "");
    EXPECT_EQ(ReadSerialPortText(folder()), "");
    EXPECT_EQ(ReadLastBinPath(folder()), "");
    Write(kSerialPortFile, "\r\n");
    Write(kLastBinFile, "\r\n");
    EXPECT_EQ(ReadSerialPortText(folder()), "");
    EXPECT_EQ(ReadLastBinPath(folder()), "");
}

TEST_F(SettingsFiles, FolderOrFifoInPlaceOfFileReadsAsEmpty) {
    fs::create_directory(dir_ / kSerialPortFile);
    EXPECT_EQ(ReadSerialPortText(folder()), "");
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((dir_ / kLastBinFile).c_str(), 0600), 0);  // would block a reader
    EXPECT_EQ(ReadLastBinPath(folder()), "");
#endif
}

TEST_F(SettingsFiles, PortIsTheFirstFieldOfTheFirstLine) {
    Write(kSerialPortFile, "  3 ,9\r\n5\r\n");
    EXPECT_EQ(ReadSerialPortText(folder()), "3");
    Write(kSerialPortFile, "\"4,5\"6\r\n");
    EXPECT_EQ(ReadSerialPortText(folder()), "4,5");
    Write(kSerialPortFile, "7");  // no line end at all
    EXPECT_EQ(ReadSerialPortText(folder()), "7");
    Write(kSerialPortFile, "\"2\r\n3\"\r\n");  // an unclosed quote stops at the line end
    EXPECT_EQ(ReadSerialPortText(folder()), "2");
}

TEST(SettingsFields, LastBinValueIsTheFirstLineUnquotedAndTrimmed) {
    const std::pair<const char*, const char*> cases[] = {
        {"/data/Smith, J/Run1.BIN\r\n", "/data/Smith, J/Run1.BIN"},  // a comma stays
        {"\"D:\\data\\Run1.BIN\"\r\n", "D:\\data\\Run1.BIN"},
        {"  /data/Run1.BIN\r\n", "/data/Run1.BIN"},
        {"/data/Run1.BIN \t\r\n", "/data/Run1.BIN"},
        {"  \"/data/with space /Run1.BIN\" x,y\r\n", "/data/with space /Run1.BIN"},
        {"\"/a/b\r\n\"", "/a/b"},  // an unclosed quote stops at the line end
        {"D:\\data\\Run1.BIN\r\nD:\\other\\Run2.BIN\r\n", "D:\\data\\Run1.BIN"},
        {"/home/lab/run 1.bin\n/x\n", "/home/lab/run 1.bin"},
        {"   \r\n/x\r\n", ""},
    };
    for (const auto& [content, value] : cases) EXPECT_EQ(LastBinValue(content), value) << content;
}

TEST(SettingsFields, FirstFieldCutsAtCommaAndLineEnd) {
    EXPECT_EQ(FirstField("D:\\a,b\\x.BIN\r\n"), "D:\\a");
    EXPECT_EQ(FirstField("\t 12  \r\n"), "12");
    EXPECT_EQ(FirstField(""), "");
    EXPECT_EQ(FirstField("\"\""), "");
}

// ---- Writing -------------------------------------------------------------------------------

TEST_F(SettingsFiles, PortWriteIsOneLineWithCrLf) {
    const WriteResult result = WriteSerialPort(folder(), 12);
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(Read(kSerialPortFile), "12\r\n");
    EXPECT_EQ(result.path, folder() + std::string(kSerialPortFile));
    EXPECT_EQ(FileCount(), 1u) << "the temporary file must not be left behind";
}

TEST_F(SettingsFiles, WriteReplacesLongerOldContent) {
    Write(kSerialPortFile, "12345,6789\r\nmore\r\n");
    ASSERT_TRUE(WriteSerialPort(folder(), 3).ok);
    EXPECT_EQ(Read(kSerialPortFile), "3\r\n");
}

TEST_F(SettingsFiles, RoundTrips) {
    for (const std::string path :
         {"D:\\data\\Run1.BIN", "/data/Smith, J/Run2.BIN", "/tmp/with space/~tempidl.bin", ""}) {
        ASSERT_TRUE(WriteLastBinPath(folder(), path).ok);
        EXPECT_EQ(Read(kLastBinFile), path + "\r\n");
        EXPECT_EQ(ReadLastBinPath(folder()), path);
    }
    for (const std::int32_t port : {1, 7, 12, 256}) {
        ASSERT_TRUE(WriteSerialPort(folder(), port).ok);
        EXPECT_EQ(PortNumberFromText(ReadSerialPortText(folder())), port);
    }
}

TEST_F(SettingsFiles, MissingFolderFailsWithFileAndReason) {
    const std::string missing = folder() + "no-such-folder/";
    const WriteResult result = WriteSerialPort(missing, 3);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.path, missing + std::string(kSerialPortFile));
    EXPECT_FALSE(result.reason.empty());
    const std::string message = WriteFailureMessage(result);
    EXPECT_NE(message.find(result.path), std::string::npos) << message;
    EXPECT_NE(message.find(result.reason), std::string::npos) << message;
    EXPECT_FALSE(fs::exists(missing));
}

TEST(SettingsMessages, FailureNamesFileThenReason) {
    WriteResult failed;
    failed.ok = false;
    failed.path = "/opt/VSDownload/serialport.cfg";
    failed.reason = "Read-only file system";
    EXPECT_EQ(WriteFailureMessage(failed),
              "The file /opt/VSDownload/serialport.cfg could not be written.\n"
              "Read-only file system");
}

TEST_F(SettingsFiles, FolderThatIsAFileFails) {
    // Running as root, permissions do not stop a write; a regular file in the folder's place does.
    Write("plainfile", "x");
    const WriteResult result = WriteLastBinPath(folder() + "plainfile/", "/a/b.BIN");
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_EQ(Read("plainfile"), "x");
}

TEST_F(SettingsFiles, FailedReplaceLeavesTheOldEntryAndNoTemporaryFile) {
    // A non-empty folder named like the settings file cannot be replaced by the new file.
    fs::create_directories(dir_ / kLastBinFile / "inside");
    const WriteResult result = WriteLastBinPath(folder(), "/a/b.BIN");
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(fs::is_directory(dir_ / kLastBinFile / "inside"));
    EXPECT_EQ(FileCount(), 1u) << "the temporary file must be removed";
}

#ifndef _WIN32
TEST_F(SettingsFiles, InterruptedWriteLeavesTheOldFileIntact) {
    Write(kLastBinFile, "/old/Run1.BIN\r\n");
    // Let the process write at most 4 bytes to any file: the new line is cut off mid-way, as by
    // a full disk.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4;
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const WriteResult result = WriteLastBinPath(folder(), "/new/a much longer path/Run2.BIN");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_EQ(Read(kLastBinFile), "/old/Run1.BIN\r\n");
    EXPECT_EQ(ReadLastBinPath(folder()), "/old/Run1.BIN");
    EXPECT_EQ(FileCount(), 1u);
}
#endif

// ---- Port text to port number --------------------------------------------------------------

TEST(PortNumber, LeadingNumberRoundedHalfToEven) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"2.5", 2},    {"3.5", 4}, {"0.5", 0}, {"2.51", 3},
        {"2.4999", 2}, {"7", 7},   {"5.", 5},  {".6", 1},
    };
    for (const auto& [text, port] : cases) EXPECT_EQ(PortNumberFromText(text), port) << text;
}

TEST(PortNumber, TextAroundTheNumber) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"03", 3}, {" 3 ", 3}, {"2abc", 2}, {"12", 12}, {"COM3", 0}, {"", 0}, {".", 0}, {"-2", -2},
    };
    for (const auto& [text, port] : cases) EXPECT_EQ(PortNumberFromText(text), port) << text;
}

TEST(PortNumber, OutOfRangeGivesZero) {
    const std::pair<std::string, std::int32_t> cases[] = {
        {"2147483647", 2147483647},
        {"2147483648", 0},
        {std::string(400, '9'), 0},
        {"0." + std::string(400, '0') + "1", 0},
    };
    for (const auto& [text, port] : cases) EXPECT_EQ(PortNumberFromText(text), port) << text;
}

TEST(PortEntry, WhatTheDownloadWouldUseIsAccepted) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"03", 3},  {" 3 ", 3}, {"12", 12}, {"\t5", 5},  {"2.5", 2},
        {"3.5", 4}, {"+3", 3},  {"3.0", 3}, {" 03 ", 3}, {"12abc", 12},
    };
    for (const auto& [text, port] : cases) EXPECT_EQ(PortEntry(text), port) << text;
    for (const char* text : {"", "  ", "COM3", "0", "-1", "0.4", "99999999999", "."}) {
        EXPECT_FALSE(PortEntry(text).has_value()) << text;
    }
}

}  // namespace
