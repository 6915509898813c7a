// The checked-in samples: each BIN is what the generator makes of its description, and both
// RunConversion and `vsdl convert` turn it into the golden PRN and CSV byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

using namespace vsdl::conversion;
using namespace vsdl::conversion::testing;

const std::filesystem::path kSamples = VSDL_SAMPLES_DIR;

std::vector<std::string> SampleNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(kSamples)) {
        if (entry.path().extension() == ".txt") names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Samples, TheSetIsComplete) {
    const auto names = SampleNames();
    EXPECT_GE(names.size(), 4u);
    EXPECT_NE(std::find(names.begin(), names.end(), "DEMO"), names.end());
    for (const std::string& name : names) {
        for (const char* ext : {".BIN", ".PRN", ".CSV"}) {
            EXPECT_TRUE(std::filesystem::exists(kSamples / (name + ext))) << name << ext;
        }
    }
}

TEST(Samples, BinsAreWhatTheGeneratorMakes) {
    for (const std::string& name : SampleNames()) {
        const std::string description = ReadFile(kSamples / (name + ".txt"));
        const std::vector<std::uint8_t> built = sample::Build(sample::Parse(description));
        const std::string bin = ReadFile(kSamples / (name + ".BIN"));
        EXPECT_EQ(std::string(built.begin(), built.end()), bin) << name;
        // Every sample ends with the logger's end mark.
        ASSERT_GE(bin.size(), 6u);
        EXPECT_EQ(bin.substr(bin.size() - 6), "\xC9\x96\x6C\xA5\x5A\xC3") << name;
    }
}

TEST(Samples, RunConversionReproducesTheGoldenFiles) {
    for (const std::string& name : SampleNames()) {
        TempDir dir;
        std::filesystem::copy_file(kSamples / (name + ".BIN"), dir.path() / (name + ".BIN"));
        const ConvertResult result = RunConversion(dir.str(), name + ".BIN");
        EXPECT_EQ(result.outcome, ConvertOutcome::Completed) << name << ": " << result.message;
        EXPECT_EQ(ReadFile(dir.path() / (name + ".PRN")), ReadFile(kSamples / (name + ".PRN")))
            << name;
        EXPECT_EQ(ReadFile(dir.path() / (name + ".CSV")), ReadFile(kSamples / (name + ".CSV")))
            << name;
    }
}

TEST(Samples, DemoIsATypicalDownload) {
    const std::string bin = ReadFile(kSamples / "DEMO.BIN");
    ASSERT_GE(bin.size(), 4u);
    EXPECT_EQ(bin.substr(0, 4), std::string("\xC3\xC3\xC3\x02", 4));  // untimed, one-way, 2 sets
    TempDir dir;
    std::filesystem::copy_file(kSamples / "DEMO.BIN", dir.path() / "DEMO.BIN");
    const ConvertResult result = RunConversion(dir.str(), "DEMO.BIN");
    ASSERT_EQ(result.outcome, ConvertOutcome::Completed);
    const auto csv = Lines(ReadFile(dir.path() / "DEMO.CSV"));
    EXPECT_GE(csv.size(), 200u);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), "***New Data Set Started***"), 1);
    EXPECT_EQ(result.bytesRead, result.length - 6);  // everything but the end mark
}

#if defined(VSDL_EXE) && !defined(_WIN32)

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

ToolRun Vsdl(const TempDir& dir, const std::string& args) {
    const std::string command =
        "cd '" + dir.str() + "' && '" VSDL_EXE "' " + args + " >vsdl.out 2>vsdl.err </dev/null";
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadFile(dir.path() / "vsdl.out");
    run.err = ReadFile(dir.path() / "vsdl.err");
    return run;
}

TEST(VsdlConvert, ReproducesTheGoldenFilesFromBareNames) {
    TempDir dir;
    std::string args = "convert";
    for (const std::string& name : SampleNames()) {
        std::filesystem::copy_file(kSamples / (name + ".BIN"), dir.path() / (name + ".BIN"));
        args += " " + name + ".BIN";
    }
    const ToolRun run = Vsdl(dir, args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    for (const std::string& name : SampleNames()) {
        EXPECT_NE(
            run.out.find("The conversion has completed.  Your ASCII file is: " + name + ".PRN\n"),
            std::string::npos);
        EXPECT_EQ(ReadFile(dir.path() / (name + ".PRN")), ReadFile(kSamples / (name + ".PRN")));
        EXPECT_EQ(ReadFile(dir.path() / (name + ".CSV")), ReadFile(kSamples / (name + ".CSV")));
    }
}

TEST(VsdlConvert, FolderOfAPathAndLowerCaseExtension) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "logs");
    std::filesystem::copy_file(kSamples / "TIMED.BIN", dir.path() / "logs" / "Run1.bin");
    const ToolRun run = Vsdl(dir, "convert -q logs/Run1.bin");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(ReadFile(dir.path() / "logs" / "RUN1.PRN"), ReadFile(kSamples / "TIMED.PRN"));
}

TEST(VsdlConvert, CorruptAndFailedFilesGiveExitOne) {
    TempDir dir;
    WriteFile(dir.path() / "BAD.BIN", std::string("\x3C\x3C\x3D\x01", 4));
    ToolRun run = Vsdl(dir, "convert BAD.BIN");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "This BIN is corrupt\n");
    EXPECT_EQ(run.out, "");

    // 13/01/05 as the end date: the failure message with its two lines.
    sample::Image image = Untimed(1);
    image.items = {SetWithEnd(1, {1, 1, 5, 0, 0, 0}, {13, 1, 5, 0, 0, 0}, 0), Rec(1)};
    WriteFile(dir.path() / "END.BIN", sample::Build(image));
    run = Vsdl(dir, "convert -q END.BIN");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "Error 6. Invalid end date or time. VSDownload\nThis BIN file is corrupted.\n");

    // One good file among bad ones still gives 1, and the good one is converted.
    std::filesystem::copy_file(kSamples / "DEMO.BIN", dir.path() / "DEMO.BIN");
    run = Vsdl(dir, "convert BAD.BIN DEMO.BIN missing.BIN");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Your ASCII file is: DEMO.PRN"), std::string::npos);
    EXPECT_NE(run.err.find("BAD.BIN:\nThis BIN is corrupt\n"), std::string::npos);
    EXPECT_NE(run.err.find("missing.BIN:\nError 1. Cannot open the BIN file."), std::string::npos);
}

TEST(VsdlConvert, NameWithoutBinExtensionIsNotConverted) {
    TempDir dir;
    std::filesystem::copy_file(kSamples / "DEMO.BIN", dir.path() / "DEMO.DAT");
    const ToolRun run = Vsdl(dir, "convert DEMO.DAT");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Your filename must end in .BIN\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "D.PRN"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "DEMO.PRN"));
}

TEST(VsdlConvert, UsageErrorsGiveExitTwo) {
    TempDir dir;
    EXPECT_EQ(Vsdl(dir, "convert").status, 2);
    EXPECT_EQ(Vsdl(dir, "convert -q").status, 2);
    const ToolRun unknown = Vsdl(dir, "convert -x A.BIN");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("Usage: vsdl convert [-q] FILE.BIN..."), std::string::npos);
    const ToolRun help = Vsdl(dir, "convert --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: vsdl convert [-q] FILE.BIN..."), std::string::npos);
    const ToolRun top = Vsdl(dir, "--help");
    EXPECT_EQ(top.status, 0);
    EXPECT_NE(top.out.find("convert [-q] FILE.BIN..."), std::string::npos);
    EXPECT_EQ(Vsdl(dir, "--version").out, "vsdl (VSDownload) 2.1.0\n");
}

#endif

}  // namespace
