// The conversion on real files: the report names beside the BIN file, what the file system can
// refuse (nothing but an ordinary file is read, a report that cannot be made or written), the
// samples' BIN files as the generator makes them, and `vsdl convert` and `vsdl export` on top
// of it all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#endif

#include "common/AtomicFile.h"
#include "common/Paths.h"
#include "conversion/modConvert.h"
#include "instrument/BinBuilder.h"
#include "support/CoreTestSupport.h"

namespace {

using namespace vsdl::conversion;
using namespace vsdl::testing;
namespace sample = vsdl::instrument::sample;

const fs::path kSamples = VSDL_SAMPLES_DIR;

std::vector<std::uint8_t> Small() {
    return sample::Build(sample::Parse(
        "marker untimed\nsetcount 1\nset 1\nstart 12/03/05 14:22:10\nreading 1.23\ntrailer\n"));
}

TEST(Files, ReportsAreTheUpperCasedBaseNameBesideTheBin) {
    TempDir dir;
    WriteFile(dir.path() / "run.2.Bin", Small());
    WriteFile(dir.path() / "RUN.2.PRN", std::string(100000, 'p'));  // replaced, not appended to
    for (const std::string& folder : {dir.str(), dir.str() + "/"}) {
        const ConvertResult result = RunConversion(folder, "run.2.Bin");
        EXPECT_EQ(result.message, "The conversion has completed.  Your ASCII file is: RUN.2.PRN");
        EXPECT_EQ(ReportPathsFor(folder, "run.2.Bin").csv, vsdl::paths::Join(folder, "RUN.2.CSV"));
        EXPECT_EQ(ReadFile(dir.path() / "RUN.2.CSV"), "12/03/05, 14:22:10,  1.23\r\n");
        const std::string prn = ReadFile(dir.path() / "RUN.2.PRN");
        EXPECT_EQ(prn.substr(0, 81), std::string(79, '*') + "\r\n");
        EXPECT_TRUE(prn.ends_with("\r\n00001: 12/03/05 14:22:10 =  1.23\r\n" +
                                  std::string(79, '=') + "\r\n"));
    }
    // An empty folder is the current one.
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    EXPECT_EQ(RunConversion("", "run.2.Bin").outcome, ConvertOutcome::Completed);
    EXPECT_EQ(ReportPathsFor("", "run.2.Bin").prn, "RUN.2.PRN");
    fs::current_path(before);
    EXPECT_EQ(RunConversion(dir.str(), "BIN").failureNumber, 12);
    // A name outside the Windows code page (UTF-8), and one in Latin-1 bytes that is no UTF-8.
    for (const std::string name : {"\xCE\x94\xCE\xBF\xCE\xBA.bin", "\xE9t\xE9.bin"}) {
        WriteFile(vsdl::paths::ToFsPath(vsdl::paths::Join(dir.str(), name)), Small());
        EXPECT_EQ(RunConversion(dir.str(), name).outcome, ConvertOutcome::Completed) << name;
    }
}

TEST(Files, WhatTheFileSystemRefusesIsAFailure) {
    TempDir dir;
    fs::create_directory(dir.path() / "D.BIN");
    WriteFile(dir.path() / "Y.BIN", Small());
    fs::create_directory(dir.path() / "Y.CSV");
    WriteFile(dir.path() / "Z.BIN", Small());
    fs::create_directory(dir.path() / "Z.PRN");
    // Sparse files of the largest length the conversion takes (all zeros: corrupt) and one more.
    WriteFile(dir.path() / "MAX.BIN", "");
    fs::resize_file(dir.path() / "MAX.BIN", 0x7FFFFFFF);
    WriteFile(dir.path() / "BIG.BIN", "");
    fs::resize_file(dir.path() / "BIG.BIN", 0x80000000);
    // clang-format off
    const struct {
        const char* name;
        int failure;
    } cases[] = {{.name = "NONE.BIN", .failure = 1}, {.name = "D.BIN", .failure = 1},
                 {.name = "Y.BIN", .failure = 8},    {.name = "Z.BIN", .failure = 7},
                 {.name = "MAX.BIN", .failure = 0},  {.name = "BIG.BIN", .failure = 3}};
    // clang-format on
    for (const auto& [name, failure] : cases) {
        EXPECT_EQ(RunConversion(dir.str(), name).failureNumber, failure) << name;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "NONE.PRN"));
    EXPECT_TRUE(fs::exists(dir.path() / "Y.PRN"));  // the PRN file is made first
#ifndef _WIN32
    // A FIFO would wait for a writer for ever; a device never ends; a FIFO as the report is not
    // written to either.
    ASSERT_EQ(::mkfifo((dir.path() / "F.BIN").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir.path() / "ZERO.BIN");
    WriteFile(dir.path() / "P.BIN", Small());
    ASSERT_EQ(::mkfifo((dir.path() / "P.PRN").c_str(), 0600), 0);
    EXPECT_EQ(RunConversion(dir.str(), "F.BIN").failureNumber, 1);
    EXPECT_EQ(RunConversion(dir.str(), "ZERO.BIN").failureNumber, 1);
    EXPECT_EQ(RunConversion(dir.str(), "P.BIN").failureNumber, 7);
    {
        // A disk that is full: the report does not fit.
        fs::remove(dir.path() / "Z.PRN");
        const FileSizeLimit full(100);
        EXPECT_EQ(RunConversion(dir.str(), "Z.BIN").failureNumber, 9);
    }
#endif
}

#ifndef _WIN32
// Ctrl+C or a kill in the middle leaves no report that could end in a cut number.
TEST(Files, AConversionEndedByASignalLeavesNoReport) {
    TempDir dir;
    fs::copy_file(kSamples / "DEMO.BIN", dir.path() / "DEMO.BIN");
    EXPECT_EQ(WaitStatusOfChild([&] {
                  vsdl::fileops::CleanUpOnSignals();
                  RunConversion(dir.str(), "DEMO.BIN", [](std::int64_t read, std::int64_t length) {
                      if (2 * read > length) ::raise(SIGTERM);
                  });
              }),
              SIGTERM);
    EXPECT_FALSE(fs::exists(dir.path() / "DEMO.PRN") || fs::exists(dir.path() / "DEMO.CSV"));
}
#endif

#ifdef __linux__
// A signal as the second report is made leaves neither report, and no old one beside nothing.
TEST(Files, ASignalAsAReportIsMadeLeavesNoReport) {
    TempDir dir;
    fs::copy_file(kSamples / "DEMO.BIN", dir.path() / "DEMO.BIN");
    WriteFile(dir.path() / "DEMO.CSV", "old");
    const int status = WaitStatusWithSignalAtCreate(
        [&] {
            vsdl::fileops::CleanUpOnSignals();
            RunConversion(dir.str(), "DEMO.BIN");
        },
        "DEMO.CSV", SIGTERM);
    if (status == -1) GTEST_SKIP() << "no process tracing here";
    EXPECT_EQ(status, SIGTERM);
    EXPECT_FALSE(fs::exists(dir.path() / "DEMO.PRN") || fs::exists(dir.path() / "DEMO.CSV"));
}
#endif

TEST(Files, TheSamplesAreWhatTheGeneratorMakes) {
    int samples = 0;
    for (const auto& entry : fs::directory_iterator(kSamples)) {
        if (entry.path().extension() != ".txt") continue;
        ++samples;
        fs::path bin = entry.path();
        bin.replace_extension(".BIN");
        const auto built = sample::Build(sample::Parse(ReadFile(entry.path())));
        EXPECT_EQ(std::string(built.begin(), built.end()), ReadFile(bin)) << bin;
    }
    EXPECT_GE(samples, 4);
}

#if defined(VSDL_EXE) && !defined(_WIN32)
struct ToolRun {
    int status = -1;
    std::string out, err;
};

ToolRun Vsdl(const TempDir& dir, const std::string& args) {
    const std::string command =
        "cd '" + dir.str() + "' && '" VSDL_EXE "' " + args + " >vsdl.out 2>vsdl.err </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir.path() / "vsdl.out"),
            ReadFile(dir.path() / "vsdl.err")};
}

// A folder: its BIN files in any letter case, several at once, said in the order of their names;
// an image cut short converts as far as it goes, with a warning. What cannot be converted is
// said with the system's reason, and only a corrupt file is called corrupt.
TEST(VsdlConvert, ConvertsFilesAndFoldersAndSaysWhatWentWrong) {
    TempDir dir;
    const std::string demo = ReadFile(kSamples / "DEMO.BIN");
    fs::create_directory(dir.path() / "logs");
    for (const char* name : {"a.bin", "B.Bin", "C.BIN", "d.bin"}) {
        WriteFile(dir.path() / "logs" / name, demo);
    }
    WriteFile(dir.path() / "logs" / "cut.BIN", demo.substr(0, demo.size() - 3));
    WriteFile(dir.path() / "logs" / "bad.BIN", "\x3C\x3C\x3D\x01");
    WriteFile(dir.path() / "logs" / "notes.txt", "not an image");
    const ToolRun run = Vsdl(dir, "convert --jobs=3 logs");
    EXPECT_EQ(run.status, 1);
    std::string out;
    for (const char* name : {"B", "C", "A", "CUT", "D"}) {
        out += "The conversion has completed.  Your ASCII file is: " + std::string(name) + ".PRN\n";
    }
    EXPECT_EQ(run.out, out + "Converted 5 of 6 BIN files; 1 failed.\n");
    EXPECT_EQ(run.err,
              "logs/bad.BIN:\nThis BIN is corrupt\n"
              "logs/cut.BIN has no end mark: the image may have been cut short.\n");
    EXPECT_EQ(ReadFile(dir.path() / "logs" / "D.CSV"), ReadFile(kSamples / "DEMO.CSV"));

    fs::create_directory(dir.path() / "empty");
    fs::copy_file(kSamples / "DEMO.BIN", dir.path() / "DEMO.DAT");
    const ToolRun refused = Vsdl(dir, "convert -q missing.BIN DEMO.DAT empty logs/a.bin");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err,
              "Cannot open missing.BIN: No such file or directory.\n"
              "DEMO.DAT:\nYour filename must end in .BIN\nempty holds no BIN file.\n");
    EXPECT_FALSE(fs::exists(dir.path() / "DEMO.PRN"));
}

// Every command reads its command line alike: -h, --opt=value, -- before a file name, one
// wording for what it does not know, and 2 for every usage error.
TEST(VsdlCommandLine, EveryCommandReadsItsLineAlike) {
    TempDir dir;
    fs::copy_file(kSamples / "DEMO.BIN", dir.path() / "-R.BIN");
    // clang-format off
    struct Row {
        const char* args;
        int status;
        const char* out = "";  // the start of stdout
        const char* err = "";  // the start of stderr
    };
    const Row rows[] = {
        {.args = "convert -h", .status = 0, .out = "Usage: vsdl convert [-q]"},
        {.args = "help export", .status = 0, .out = "Usage: vsdl export FILE.BIN"},
        {.args = "download -h", .status = 0, .out = "Usage: vsdl download"},
        {.args = "--version", .status = 0, .out = "vsdl (VSDownload) "},
        {.args = "convert -q --jobs=1 -- -R.BIN", .status = 0},
        {.args = "convert -x A.BIN", .status = 2,
         .err = "vsdl convert: unknown option '-x'\nUsage: vsdl convert [-q] [--jobs N] "
                "FILE.BIN|FOLDER...\nTry 'vsdl convert --help' for more information.\n"},
        {.args = "convert --jobs 0 A.BIN", .status = 2, .err = "vsdl convert: --jobs"},
        {.args = "convert -q", .status = 2, .err = "vsdl convert: no BIN file given"},
        {.args = "export -R.BIN", .status = 2, .err = "vsdl export: unknown option '-R"},
        {.args = "export A.BIN -o", .status = 2, .err = "vsdl export: -o needs a value"},
        // The picture's name is checked before the image is read.
        {.args = "plot A.BIN -o x.jpg", .status = 2, .err = "vsdl plot: PICTURE must"},
        {.args = "plot A.BIN -o=x.png --size=1x1", .status = 2, .err = "vsdl plot: --size"},
        {.args = "simulate X.BIN --link=l --rate=x", .status = 2, .err = "vsdl simulate: --rate"},
        {.args = "help nope", .status = 2, .err = "vsdl: unknown command 'nope'"},
        {.args = "--bogus", .status = 2, .err = "vsdl: unknown option '--bogus'"},
    };
    // clang-format on
    for (const Row& row : rows) {
        const ToolRun run = Vsdl(dir, row.args);
        EXPECT_EQ(run.status, row.status) << row.args << "\n" << run.err;
        // An empty text is no output at all; any other is how the output begins.
        for (const auto& [got, want] :
             {std::pair{run.out, std::string(row.out)}, std::pair{run.err, std::string(row.err)}}) {
            EXPECT_EQ(want.empty() ? got : got.substr(0, want.size()), want) << row.args;
        }
    }
}

TEST(VsdlExport, WritesTheTableBesideTheBinAndNeverOverAFile) {
    TempDir dir;
    fs::create_directory(dir.path() / "logs");
    fs::copy_file(kSamples / "DEMO.BIN", dir.path() / "logs" / "Run1.bin");
    WriteFile(dir.path() / "BAD.BIN", "\x3C\x3C\x3D\x01");
    WriteFile(dir.path() / "START.BIN",
              sample::Build(sample::Parse(ReadFile(fs::path(VSDL_TESTS_DIR) / "conversion" /
                                                   "cases" / "BAD_START_TIME.txt"))));
    ToolRun run = Vsdl(dir, "export logs/Run1.bin");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "The export has completed.  Your file is: Run1.tidy.csv\n");
    const std::string golden = ReadFile(kSamples / "DEMO.tidy.csv");
    EXPECT_EQ(ReadFile(dir.path() / "logs" / "Run1.tidy.csv"), golden);

    WriteFile(dir.path() / "logs" / "Run1.tidy.csv", "mine");
    run = Vsdl(dir, "export -q logs/Run1.bin");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "logs/Run1.tidy.csv exists. Add --force to replace it.\n");
    EXPECT_EQ(Vsdl(dir, "export -q --force logs/Run1.bin -o logs/Run1.tidy.csv").status, 0);
    EXPECT_EQ(ReadFile(dir.path() / "logs" / "Run1.tidy.csv"), golden);
    EXPECT_EQ(Vsdl(dir, "export -q --force logs/Run1.bin -o logs/../logs/Run1.bin").status, 2);
    // View Data's Export takes any name from its save dialog.
    const std::string bin = (dir.path() / "logs" / "Run1.bin").string();
    EXPECT_EQ(RunExport(bin, bin, ExportFormat::Csv).outcome, ConvertOutcome::Failed);
    EXPECT_EQ(ReadFile(dir.path() / "logs" / "Run1.bin"), ReadFile(kSamples / "DEMO.BIN"));
    // The format follows the name, in any letter case.
    EXPECT_EQ(Vsdl(dir, "export -q logs/Run1.bin -o sets.JSON").status, 0);
    EXPECT_EQ(ReadFile(dir.path() / "sets.JSON").substr(0, 15), "{\n  \"data_sets\"");
    EXPECT_EQ(Vsdl(dir, "export -q logs/Run1.bin -o book.xlsx").status, 0);
    EXPECT_EQ(ReadFile(dir.path() / "book.xlsx").substr(0, 2), "PK");

    // -o -: the table on standard output and nothing else, and no file anywhere.
    run = Vsdl(dir, "export logs/Run1.bin -o -");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, golden);
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(fs::exists(dir.path() / "-"));
    // A reader that stops early ends it quietly, by SIGPIPE or, where that is ignored, alike.
    WriteFile(dir.path() / "BIG.BIN",
              sample::Build(sample::Parse("marker untimed\nsetcount 1\nset 1\n"
                                          "walk 30000 1.25 seed 1\ntrailer\n")));
    for (const std::string trap : {"", "trap '' PIPE; "}) {
        const std::string command = "cd '" + dir.str() + "' && { " + trap +
                                    "'" VSDL_EXE
                                    "' export BIG.BIN -o - 2>vsdl.err; echo $? >status; } | "
                                    "head -c 1 >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(ReadFile(dir.path() / "status"), "141\n") << trap;
        EXPECT_EQ(ReadFile(dir.path() / "vsdl.err"), "") << trap;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "BIG.tidy.csv"));

    // A file that is no image leaves nothing; a fault keeps what came before it.
    run = Vsdl(dir, "export BAD.BIN");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "This BIN is corrupt\n");
    EXPECT_FALSE(fs::exists(dir.path() / "BAD.tidy.csv"));
    run = Vsdl(dir, "export START.BIN");  // no trailer either
    EXPECT_EQ(run.status, 1);
    const std::string cut = "START.BIN has no end mark: the image may have been cut short.\n";
    EXPECT_EQ(run.err.substr(0, cut.size() + 9), cut + "Error 5. ");
    EXPECT_EQ(ReadFile(dir.path() / "START.tidy.csv").find("data_set,record,"), 0u);

    for (const char* usage : {"export", "export --format xml logs/Run1.bin", "export A.BIN B.BIN",
                              "export -o", "export logs/Run1.bin -o - --format xlsx"}) {
        EXPECT_EQ(Vsdl(dir, usage).status, 2) << usage;
    }
}
#endif

}  // namespace
