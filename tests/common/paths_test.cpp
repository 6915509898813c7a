// Splitting and joining of folder and file name with both separators, and the name helpers.
#include <gtest/gtest.h>

#include <clocale>
#include <initializer_list>
#include <string>

#include "common/Paths.h"

namespace {

using namespace vsdl::paths;

struct SplitCase {
    const char* path;
    Style style;
    const char* folder;
    const char* name;
};

void ExpectSplits(std::initializer_list<SplitCase> cases) {
    for (const SplitCase& c : cases) {
        const SplitPath s = Split(c.path, c.style);
        EXPECT_EQ(s.folder, c.folder) << c.path;
        EXPECT_EQ(s.name, c.name) << c.path;
    }
}

TEST(PathsSplit, WindowsStyleTakesEitherSeparator) {
    ExpectSplits({{"C:\\LOGS\\Idatalog.bin", Style::Windows, "C:\\LOGS\\", "Idatalog.bin"},
                  {"C:\\LOGS/sub/x.BIN", Style::Windows, "C:\\LOGS/sub/", "x.BIN"},
                  {"C:\\x.bin", Style::Windows, "C:\\", "x.bin"}});
}

TEST(PathsSplit, PosixStyleTakesOnlySlash) {
    ExpectSplits({{"/home/lab/run.BIN", Style::Posix, "/home/lab/", "run.BIN"},
                  // a backslash is part of a POSIX name
                  {"dir\\name.bin", Style::Posix, "", "dir\\name.bin"},
                  {"/x.bin", Style::Posix, "/", "x.bin"}});
}

TEST(PathsSplit, NoSeparatorMeansNoFolder) {
    ExpectSplits({{"DEMO.BIN", Style::Windows, "", "DEMO.BIN"},
                  {"", Style::Windows, "", ""},
                  {"DEMO.BIN", Style::Posix, "", "DEMO.BIN"},
                  {"", Style::Posix, "", ""},
                  {"C:\\LOGS\\", Style::Windows, "C:\\LOGS\\", ""}});
}

TEST(PathsJoin, AddsTheStyleSeparatorOnlyWhenMissing) {
    EXPECT_EQ(Join("C:\\LOGS", "IDATALOG.PRN", Style::Windows), "C:\\LOGS\\IDATALOG.PRN");
    EXPECT_EQ(Join("C:\\", "IDATALOG.PRN", Style::Windows), "C:\\IDATALOG.PRN");
    EXPECT_EQ(Join("C:\\LOGS/", "X.CSV", Style::Windows), "C:\\LOGS/X.CSV");
    EXPECT_EQ(Join("/home/lab", "X.PRN", Style::Posix), "/home/lab/X.PRN");
    EXPECT_EQ(Join("/home/lab/", "X.PRN", Style::Posix), "/home/lab/X.PRN");
    EXPECT_EQ(Join("/", "X.PRN", Style::Posix), "/X.PRN");
    // A folder stored with the other system's separator does not get a second one.
    EXPECT_EQ(Join("C:\\LOGS\\", "X.PRN", Style::Posix), "C:\\LOGS\\X.PRN");
    EXPECT_EQ(Join(".", "X.PRN", Style::Posix), "./X.PRN");
}

TEST(PathsJoin, SplitThenJoinGivesThePathBack) {
    for (const char* path : {"C:\\LOGS\\a.bin", "C:\\a.bin", "\\\\server\\share\\a.bin"}) {
        const SplitPath s = Split(path, Style::Windows);
        EXPECT_EQ(Join(s.folder, s.name, Style::Windows), path);
    }
    for (const char* path : {"/a/b/c.bin", "/c.bin", "rel/c.bin"}) {
        const SplitPath s = Split(path, Style::Posix);
        EXPECT_EQ(Join(s.folder, s.name, Style::Posix), path);
    }
}

TEST(PathsJoin, NativeStyle) {
#ifdef _WIN32
    EXPECT_EQ(Separator(), '\\');
    EXPECT_EQ(Join("C:\\LOGS", "X.PRN"), "C:\\LOGS\\X.PRN");
#else
    EXPECT_EQ(Separator(), '/');
    EXPECT_EQ(Join("/tmp", "X.PRN"), "/tmp/X.PRN");
#endif
    EXPECT_EQ(WithTrailingSeparator("C:\\LOGS", Style::Windows), "C:\\LOGS\\");
    EXPECT_EQ(WithTrailingSeparator("/tmp/", Style::Posix), "/tmp/");
}

TEST(PathsNames, BinExtensionInAnyCase) {
    for (const char* name : {"DEMO.BIN", "demo.bin", "demo.bIn", ".BIN"}) {
        EXPECT_TRUE(HasBinExtension(name)) << name;
    }
    for (const char* name : {"DEMO.BIN.txt", "DEMOBIN", "BIN", ""}) {
        EXPECT_FALSE(HasBinExtension(name)) << name;
    }
}

TEST(PathsNames, CaseChangesTouchOnlyAsciiLetters) {
    // Whatever the user's locale, bytes of UTF-8 names must pass unchanged.
    std::setlocale(LC_ALL, "");
    const std::string name = "r\xC3\xA9sum\xC3\xA9-\xE9.bin";
    EXPECT_EQ(ToUpper(name), "R\xC3\xA9SUM\xC3\xA9-\xE9.BIN");
    EXPECT_EQ(ToLower("ABC\xC3\x89"), "abc\xC3\x89");
    for (int c = 128; c < 256; ++c) {
        const std::string byte(1, static_cast<char>(c));
        EXPECT_EQ(ToUpper(byte), byte) << c;
        EXPECT_EQ(ToLower(byte), byte) << c;
    }
    std::setlocale(LC_ALL, "C");
    EXPECT_TRUE(EqualsIgnoreCase("Idatalog.BIN", "IDATALOG.bin"));
    EXPECT_FALSE(EqualsIgnoreCase("a.bin", "a.bi"));
}

TEST(PathsFs, RoundTripThroughFilesystemPath) {
    const std::string text = "/tmp/r\xC3\xA9sum\xC3\xA9.BIN";
    EXPECT_EQ(FromFsPath(ToFsPath(text)), text);
}

TEST(PathsFs, ExecutableFolderEndsInASeparator) {
    const std::string folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(EndsWithSeparator(folder));
}

}  // namespace
