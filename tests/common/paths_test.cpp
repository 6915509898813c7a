// Splitting and joining of folder and file name with both separators, and the name helpers.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "common/AppInfo.h"
#include "common/BinFormat.h"
#include "common/Paths.h"
#include "common/StartupArgs.h"

namespace {

using namespace vsdl::paths;
constexpr Style W = Style::Windows;
constexpr Style P = Style::Posix;

TEST(Paths, SplitAndJoinWithEitherSeparator) {
    const std::tuple<const char*, Style, const char*, const char*> splits[] = {
        {"C:\\LOGS\\Idatalog.bin", W, "C:\\LOGS\\", "Idatalog.bin"},
        {"C:\\LOGS/sub/x.BIN", W, "C:\\LOGS/sub/", "x.BIN"},
        {"C:\\x.bin", W, "C:\\", "x.bin"},
        {"/home/lab/run.BIN", P, "/home/lab/", "run.BIN"},
        {"/run.BIN", P, "/", "run.BIN"},
        {"dir\\name.bin", P, "", "dir\\name.bin"},  // a backslash is part of a POSIX name
        {"DEMO.BIN", W, "", "DEMO.BIN"},
        {"C:\\LOGS\\", W, "C:\\LOGS\\", ""}};
    for (const auto& [path, style, folder, name] : splits) {
        const SplitPath s = Split(path, style);
        EXPECT_EQ(s.folder + "|" + s.name, std::string(folder) + "|" + name) << path;
        if (!s.folder.empty()) {
            EXPECT_EQ(Join(s.folder, s.name, style), path);
        }
    }
    const std::tuple<const char*, const char*, Style, const char*> joins[] = {
        {"C:\\LOGS", "X.PRN", W, "C:\\LOGS\\X.PRN"},
        {"C:\\", "X.PRN", W, "C:\\X.PRN"},
        {"/home/lab", "X.PRN", P, "/home/lab/X.PRN"},
        {"/", "X.PRN", P, "/X.PRN"},
        // A folder stored with the other system's separator does not get a second one.
        {"C:\\LOGS\\", "X.PRN", P, "C:\\LOGS\\X.PRN"}};
    for (const auto& [folder, name, style, path] : joins)
        EXPECT_EQ(Join(folder, name, style), path);
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

TEST(Paths, VersionTexts) {
    using vsdl::appinfo::Version;
    EXPECT_EQ(vsdl::appinfo::MainCaption(Version{2, 1, 0}),
              "Valdor Sensing Download Program Version 2.1");
    EXPECT_EQ(vsdl::appinfo::VersionText(Version{2, 10, 3}), "Version 2.10.3");
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
