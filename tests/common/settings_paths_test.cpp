// serialport.cfg and lastbin.cfg: where they live, the reading rules, the port texts, and
// writes that fail with the file and the reason and leave the old file as it was; and the path
// and name helpers under them (either separator, letter case) and the program's arguments.
#include "common/Settings.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/BinFormat.h"
#include "common/Folders.h"
#include "common/Paths.h"
#include "common/StartupArgs.h"
#include "support/CoreTestSupport.h"

namespace {

using namespace vsdl::paths;
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
        // An unclosed quote stops at the line end.
        {.in = "\"2\r\n3\"\r\n", .port = "2", .last = "2"},
        {.in = "/data/Smith, J/Run1.BIN\r\n", .port = "/data/Smith",
         .last = "/data/Smith, J/Run1.BIN"},
        {.in = "\"D:\\data\\Run1.BIN\"\r\n", .port = "D:\\data\\Run1.BIN",
         .last = "D:\\data\\Run1.BIN"},
        {.in = "  /data/Run1.BIN \t\r\n", .port = "/data/Run1.BIN", .last = "/data/Run1.BIN"},
        {.in = "  \"/data/with space /R.BIN\" x,y\r\n", .port = "/data/with space /R.BIN",
         .last = "/data/with space /R.BIN"},
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

constexpr Style W = Style::Windows;
constexpr Style P = Style::Posix;

TEST(Paths, SplitAndJoinWithEitherSeparator) {
    // clang-format off
    const struct {
        const char* path;
        Style style;
        const char *folder, *name;
    } splits[] = {
        {.path = "C:\\LOGS\\Idatalog.bin", .style = W, .folder = "C:\\LOGS\\",
         .name = "Idatalog.bin"},
        {.path = "C:\\LOGS/sub/x.BIN", .style = W, .folder = "C:\\LOGS/sub/", .name = "x.BIN"},
        {.path = "/home/lab/run.BIN", .style = P, .folder = "/home/lab/", .name = "run.BIN"},
        // A backslash is part of a POSIX name.
        {.path = "dir\\name.bin", .style = P, .folder = "", .name = "dir\\name.bin"},
        {.path = "DEMO.BIN", .style = W, .folder = "", .name = "DEMO.BIN"},
        {.path = "C:\\LOGS\\", .style = W, .folder = "C:\\LOGS\\", .name = ""}};
    // clang-format on
    for (const auto& [path, style, folder, name] : splits) {
        const SplitPath s = Split(path, style);
        EXPECT_EQ(s.folder + "|" + s.name, std::string(folder) + "|" + name) << path;
        if (!s.folder.empty()) {
            EXPECT_EQ(Join(s.folder, s.name, style), path);
        }
    }
    // clang-format off
    const struct {
        const char* folder;
        Style style;
        const char* path;  // of X.PRN in it
    } joins[] = {
        {.folder = "C:\\LOGS", .style = W, .path = "C:\\LOGS\\X.PRN"},
        {.folder = "C:\\", .style = W, .path = "C:\\X.PRN"},
        {.folder = "/home/lab", .style = P, .path = "/home/lab/X.PRN"},
        {.folder = "/", .style = P, .path = "/X.PRN"},
        // A folder stored with the other system's separator does not get a second one.
        {.folder = "C:\\LOGS\\", .style = P, .path = "C:\\LOGS\\X.PRN"}};
    // clang-format on
    for (const auto& [folder, style, path] : joins) EXPECT_EQ(Join(folder, "X.PRN", style), path);
    EXPECT_EQ(WithTrailingSeparator("C:\\LOGS", W), "C:\\LOGS\\");
    EXPECT_TRUE(EndsWithSeparator(ExecutableFolder()));
}

TEST(Paths, NamesAndTheirLetterCase) {
    for (const char* name : {"DEMO.BIN", "demo.bIn", ".BIN"}) EXPECT_TRUE(HasBinExtension(name));
    for (const char* name : {"DEMO.BIN.txt", "DEMOBIN", "BIN", ""})
        EXPECT_FALSE(HasBinExtension(name));
    EXPECT_EQ(vsdl::binformat::ReportName("Run1.bin", ".PRN"), "RUN1.PRN");
    // Whatever the user's locale, bytes of UTF-8 names pass unchanged.
    std::setlocale(LC_ALL, "");
    for (int c = 128; c < 256; ++c) {
        const std::string byte(1, static_cast<char>(c));
        EXPECT_EQ(ToUpper(byte) + ToLower(byte), byte + byte) << c;
    }
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(ToLower("ABC\xC3\x89"), "abc\xC3\x89");
    EXPECT_TRUE(EqualsIgnoreCase("Idatalog.BIN", "IDATALOG.bin"));
    EXPECT_FALSE(EqualsIgnoreCase("a.bin", "a.bi"));
    const std::string text = "/tmp/r\xC3\xA9sum\xC3\xA9.BIN";
    EXPECT_EQ(FromFsPath(ToFsPath(text)), text);
}

TEST(Paths, ProgramArguments) {
    using vsdl::startup::Action;
    struct Case {
        std::vector<std::string> args;
        Action action;
        std::string binFile;
    };
    const Case cases[] = {
        {.args = {}, .action = Action::Run, .binFile = ""},
        {.args = {"Run1.BIN"}, .action = Action::Run, .binFile = "Run1.BIN"},
        {.args = {"--", "-odd.BIN"}, .action = Action::Run, .binFile = "-odd.BIN"},
        {.args = {"Run1.BIN", "--version"}, .action = Action::Version, .binFile = ""},
        {.args = {"-h"}, .action = Action::Help, .binFile = ""},
        {.args = {"--", "--help"}, .action = Action::Run, .binFile = "--help"},
        {.args = {"--open"}, .action = Action::UsageError, .binFile = ""},
        {.args = {"a.BIN", "b.BIN"}, .action = Action::UsageError, .binFile = ""},
    };
    for (const Case& c : cases) {
        const vsdl::startup::Request request = vsdl::startup::ParseArguments(c.args);
        EXPECT_EQ(request.action, c.action) << c.args.size();
        EXPECT_EQ(request.binFile, c.binFile);
        EXPECT_EQ(request.error.empty(), c.action != Action::UsageError);
    }
}

}  // namespace
