// serialport.cfg and lastbin.cfg: where they live, the reading rules, the port texts, and
// writes that fail with the file and the reason and leave the old file as it was.
#include "common/Settings.h"

#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/Folders.h"
#include "common/Paths.h"
#include "support/CoreTestSupport.h"

namespace {

using namespace vsdl::settings;
using namespace vsdl::testing;

TEST(Settings, TheyLiveBesideTheProgramUnlessItsFolderCannotBeWritten) {
    using vsdl::folders::Choose;
    const std::string sep(1, vsdl::paths::Separator());  // added where a folder lacks one
    const vsdl::folders::ProgramFolders beside = Choose("/opt/vs", true, "/home/u/data/", "/d/");
    EXPECT_EQ(beside.data, "/opt/vs" + sep);
    EXPECT_EQ(beside.save, "/opt/vs" + sep);
    EXPECT_EQ(beside.ports, std::vector<std::string>{"/opt/vs" + sep});
    EXPECT_EQ(beside.config, "/opt/vs" + sep);
    const vsdl::folders::ProgramFolders user = Choose("/usr/bin/", false, "/home/u/data", "/d/");
    EXPECT_EQ(user.data, "/home/u/data" + sep);
    EXPECT_EQ(user.save, "/d/");
    EXPECT_EQ(user.ports, (std::vector<std::string>{"/home/u/data" + sep, "/usr/bin/"}));
    EXPECT_EQ(user.config, "/home/u/data" + sep);
    EXPECT_EQ(Choose("/usr/bin", false, "/home/u/data/", "").save, "/home/u/data/");
    EXPECT_EQ(Choose("/usr/bin", false, "/home/u/data/", "", "/home/u/.config/VS").config,
              "/home/u/.config/VS" + sep);

    TempDir dir;
    // The package's layout is told by /usr/libexec/vsdownload beside /usr/bin.
    fs::create_directories(dir.path() / "usr" / "bin");
    EXPECT_FALSE(vsdl::folders::InstalledSystemWide((dir.path() / "usr" / "bin").string()));
    fs::create_directories(dir.path() / "usr" / "libexec" / "vsdownload");
    EXPECT_TRUE(vsdl::folders::InstalledSystemWide((dir.path() / "usr" / "bin" / "").string()));
    EXPECT_FALSE(vsdl::folders::InstalledSystemWide((dir.path() / "usr").string()));
    fs::remove_all(dir.path() / "usr");
    EXPECT_TRUE(vsdl::folders::CanWrite(dir.str()));
    EXPECT_TRUE(fs::is_empty(dir.path()));  // the probe is gone again
    EXPECT_FALSE(vsdl::folders::CanWrite(dir / "missing"));
    EXPECT_FALSE(vsdl::folders::CanWrite(""));
#ifndef _WIN32
    // Root writes anywhere: a folder without write permission stops only other users.
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ(vsdl::folders::CanWrite(dir.str()), ::geteuid() == 0);
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::add);
#endif
}

// Settings an earlier version kept in the data folder are still read: carried over into the
// settings folder, never over a file that is already there.
TEST(Settings, EarlierSettingsAreCarriedOver) {
    TempDir temp;
    const fs::path dir = temp.path();
    fs::create_directories(dir / "data");
    fs::create_directories(dir / "config");
    WriteFile(dir / "data" / "serialport.cfg", "3\r\n");
    WriteFile(dir / "data" / "lastbin.cfg", "/old/Run1.BIN\r\n");
    WriteFile(dir / "config" / "lastbin.cfg", "/new/Run2.BIN\r\n");
    const auto folders = vsdl::folders::Choose("/usr/bin", false, (dir / "data").string(), "",
                                               (dir / "config").string());
    vsdl::folders::CarrySettingsOver(folders);
    EXPECT_EQ(ReadSerialPortText(folders.config), "3");
    EXPECT_EQ(ReadLastBinPath(folders.config), "/new/Run2.BIN");
    EXPECT_TRUE(fs::exists(dir / "data" / "serialport.cfg"));
}

TEST(Settings, FilesAreReadByTheirRules) {
    // clang-format off
    const struct {
        const char* in;    // the file
        const char* port;  // serialport.cfg's value
        const char* last;  // lastbin.cfg's value
    } cases[] = {
        {.in = "", .port = "", .last = ""},
        {.in = "\r\n", .port = "", .last = ""},
        {.in = "  3 ,9\r\n5\r\n", .port = "3", .last = "3 ,9"},
        {.in = "\"4,5\"6\r\n", .port = "4,5", .last = "4,5"},
        {.in = "7", .port = "7", .last = "7"},
        // An unclosed quote stops at the line end.
        {.in = "\"2\r\n3\"\r\n", .port = "2", .last = "2"},
        {.in = "/data/Smith, J/Run1.BIN\r\n", .port = "/data/Smith",
         .last = "/data/Smith, J/Run1.BIN"},
        {.in = "\"D:\\data\\Run1.BIN\"\r\n", .port = "D:\\data\\Run1.BIN",
         .last = "D:\\data\\Run1.BIN"},
        {.in = "  /data/Run1.BIN \t\r\n", .port = "/data/Run1.BIN", .last = "/data/Run1.BIN"},
        {.in = "  \"/data/with space /R.BIN\" x,y\r\n", .port = "/data/with space /R.BIN",
         .last = "/data/with space /R.BIN"},
        {.in = "D:\\a\\R.BIN\r\nD:\\b\\S.BIN\r\n", .port = "D:\\a\\R.BIN", .last = "D:\\a\\R.BIN"},
        {.in = "/home/lab/run 1.bin\n/x\n", .port = "/home/lab/run 1.bin",
         .last = "/home/lab/run 1.bin"},
        {.in = "   \r\n/x\r\n", .port = "", .last = ""}};
    // clang-format on
    TempDir dir;
    const std::string folder = dir.str() + "/";
    EXPECT_EQ(ReadSerialPortText(folder) + ReadLastBinPath(folder), "");  // missing
    for (const auto& [content, port, path] : cases) {
        WriteFile(dir.path() / kSerialPortFile, content);
        WriteFile(dir.path() / kLastBinFile, content);
        EXPECT_EQ(ReadSerialPortText(folder), port) << content;
        EXPECT_EQ(ReadLastBinPath(folder), path) << content;
    }
    // A folder or a FIFO in a settings file's place reads as missing, and never blocks.
    fs::remove(dir.path() / kSerialPortFile);
    fs::create_directory(dir.path() / kSerialPortFile);
    EXPECT_EQ(ReadSerialPortText(folder), "");
#ifndef _WIN32
    fs::remove(dir.path() / kLastBinFile);
    ASSERT_EQ(::mkfifo((dir.path() / kLastBinFile).c_str(), 0600), 0);
    EXPECT_EQ(ReadLastBinPath(folder), "");
#endif
}

TEST(Settings, WritesAreOneLineAndFailWithTheFileAndTheReason) {
    TempDir dir;
    const std::string folder = dir.str() + "/";
    WriteFile(dir.path() / kSerialPortFile, "12345,6789\r\nmore\r\n");
    const WriteResult port = WriteSerialPort(folder, 12);
    ASSERT_TRUE(port.ok) << port.reason;
    EXPECT_EQ(ReadFile(dir.path() / kSerialPortFile), "12\r\n");
    for (const std::string path : {"D:\\data\\Run1.BIN", "/data/Smith, J/Run2.BIN", ""}) {
        ASSERT_TRUE(WriteLastBinPath(folder, path).ok);
        EXPECT_EQ(ReadFile(dir.path() / kLastBinFile), path + "\r\n");
        EXPECT_EQ(ReadLastBinPath(folder), path);
    }
    const WriteResult missing = WriteSerialPort(folder + "no-such-folder/", 3);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(WriteFailureMessage(missing),
              "The file " + folder + "no-such-folder/serialport.cfg could not be written.\n" +
                  missing.reason);
    EXPECT_FALSE(missing.reason.empty());
    // A non-empty folder in lastbin.cfg's place is left as it was, and no temporary file.
    fs::remove(dir.path() / kLastBinFile);
    fs::create_directories(dir.path() / kLastBinFile / "inside");
    EXPECT_FALSE(WriteLastBinPath(folder, "/a/b.BIN").ok);
    EXPECT_TRUE(fs::is_directory(dir.path() / kLastBinFile / "inside"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);
#ifndef _WIN32
    fs::remove_all(dir.path() / kLastBinFile);
    WriteFile(dir.path() / kLastBinFile, "/old/Run1.BIN\r\n");
    {
        const FileSizeLimit full(4);  // the new line is cut off mid-way, as by a full disk
        EXPECT_FALSE(WriteLastBinPath(folder, "/new/a much longer path/Run2.BIN").ok);
    }
    EXPECT_EQ(ReadFile(dir.path() / kLastBinFile), "/old/Run1.BIN\r\n");
#endif
}

TEST(Settings, PortTextsGiveTheDownloadsPortNumber) {
    // clang-format off
    const struct {
        std::string text;
        std::int32_t port;
    } cases[] = {
        {.text = "2.5", .port = 2}, {.text = "3.5", .port = 4}, {.text = "0.5", .port = 0},
        {.text = "2.51", .port = 3}, {.text = "2.4999", .port = 2}, {.text = "5.", .port = 5},
        {.text = ".6", .port = 1}, {.text = "03", .port = 3}, {.text = " 3 ", .port = 3},
        {.text = "2abc", .port = 2}, {.text = "COM3", .port = 0}, {.text = "", .port = 0},
        {.text = ".", .port = 0}, {.text = "-2", .port = -2}, {.text = "+3", .port = 3},
        {.text = "2147483647", .port = 2147483647}, {.text = "2147483648", .port = 0},
        {.text = std::string(400, '9'), .port = 0},
        {.text = "0." + std::string(400, '0') + "1", .port = 0}};
    // clang-format on
    for (const auto& [text, port] : cases) {
        EXPECT_EQ(PortNumberFromText(text), port) << text;
        // Serial Port Setup stores what the download would use, when that is a port.
        EXPECT_EQ(PortEntry(text), port >= 1 ? std::optional<std::int32_t>(port) : std::nullopt)
            << text;
    }
}

}  // namespace
