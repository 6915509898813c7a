// Splitting and joining of folder and file name with both separators, and the name helpers.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "common/BinFormat.h"
#include "common/Paths.h"
#include "common/StartupArgs.h"

namespace {

using namespace vsdl::paths;
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
        {.path = "C:\\x.bin", .style = W, .folder = "C:\\", .name = "x.bin"},
        {.path = "/home/lab/run.BIN", .style = P, .folder = "/home/lab/", .name = "run.BIN"},
        {.path = "/run.BIN", .style = P, .folder = "/", .name = "run.BIN"},
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
