// RunConversion on real files: names, folders, replaced files and failures of the file system.
#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#endif

#include "TestSupport.h"
#include "common/Paths.h"

namespace {

using namespace vsdl::conversion;
using namespace vsdl::conversion::testing;

std::vector<std::uint8_t> SmallImage() {
    sample::Image image = Untimed(1);
    image.items = {Set(1, {12, 3, 5, 14, 22, 10}, 0), Rec(123, 2),
                   sample::RawBytes{{sample::kEndMark.begin(), sample::kEndMark.end()}}};
    return sample::Build(image);
}

class Files : public ::testing::Test {
  protected:
    TempDir dir;
};

TEST_F(Files, NamesAreTheUpperCasedBaseNameBesideTheBin) {
    WriteFile(dir.path() / "Idatalog.bin", SmallImage());
    for (const std::string& folder : {dir.str(), dir.str() + "/"}) {
        const ConvertResult result = RunConversion(folder, "Idatalog.bin");
        ASSERT_EQ(result.outcome, ConvertOutcome::Completed) << result.message;
        EXPECT_EQ(result.message,
                  "The conversion has completed.  Your ASCII file is: IDATALOG.PRN");
        EXPECT_EQ(result.prnName, "IDATALOG.PRN");
        const ReportPaths paths = ReportPathsFor(folder, "Idatalog.bin");
        EXPECT_EQ(paths.prn, dir.str() + "/IDATALOG.PRN");
        EXPECT_EQ(paths.csv, dir.str() + "/IDATALOG.CSV");
        EXPECT_EQ(result.length, static_cast<std::int64_t>(SmallImage().size()));
        EXPECT_EQ(ReadFile(dir.path() / "IDATALOG.CSV"), "12/03/05, 14:22:10,  1.23\r\n");
        EXPECT_NE(ReadFile(dir.path() / "IDATALOG.PRN")
                      .find("\r\n00001: 12/03/05 14:22:10 =  1.23\r\n" + kEquals + "\r\n"),
                  std::string::npos);
    }
}

TEST_F(Files, OnlyTheLastFourCharactersAreCut) {
    WriteFile(dir.path() / "run.2.Bin", SmallImage());
    const ConvertResult result = RunConversion(dir.str(), "run.2.Bin");
    ASSERT_EQ(result.outcome, ConvertOutcome::Completed) << result.message;
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "RUN.2.PRN"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "RUN.2.CSV"));
}

TEST_F(Files, ExistingReportsAreReplacedAndEmptiedForACorruptFile) {
    WriteFile(dir.path() / "X.PRN", std::string(100000, 'p'));
    WriteFile(dir.path() / "X.CSV", std::string(100000, 'c'));
    WriteFile(dir.path() / "x.bin", std::string("\x3C\x3C\x3D\x01", 4));
    const ConvertResult result = RunConversion(dir.str(), "x.bin");
    EXPECT_EQ(result.outcome, ConvertOutcome::Corrupt);
    EXPECT_EQ(result.message, "This BIN is corrupt");
    EXPECT_EQ(std::filesystem::file_size(dir.path() / "X.PRN"), 0u);
    EXPECT_EQ(std::filesystem::file_size(dir.path() / "X.CSV"), 0u);
}

TEST_F(Files, MissingBinFileFails) {
    const ConvertResult result = RunConversion(dir.str(), "NONE.BIN");
    EXPECT_EQ(result.failureNumber, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "NONE.PRN"));
}

TEST_F(Files, AnythingButAnOrdinaryFileAsBinFailsWithoutWaiting) {
    std::filesystem::create_directory(dir.path() / "D.BIN");
    EXPECT_EQ(RunConversion(dir.str(), "D.BIN").failureNumber, 1);
#ifndef _WIN32
    // A FIFO would wait for a writer for ever; a device never ends.
    ASSERT_EQ(::mkfifo((dir.path() / "F.BIN").c_str(), 0600), 0);
    EXPECT_EQ(RunConversion(dir.str(), "F.BIN").failureNumber, 1);
    std::filesystem::create_symlink("/dev/zero", dir.path() / "Z.BIN");
    EXPECT_EQ(RunConversion(dir.str(), "Z.BIN").failureNumber, 1);
    // Nor is a FIFO in the report's place written to.
    WriteFile(dir.path() / "P.BIN", SmallImage());
    ASSERT_EQ(::mkfifo((dir.path() / "P.PRN").c_str(), 0600), 0);
    EXPECT_EQ(RunConversion(dir.str(), "P.BIN").failureNumber, 7);
#endif
}

TEST_F(Files, CsvThatCannotBeCreatedFailsAfterThePrnIsCreated) {
    WriteFile(dir.path() / "Y.BIN", SmallImage());
    std::filesystem::create_directory(dir.path() / "Y.CSV");
    const ConvertResult result = RunConversion(dir.str(), "Y.BIN");
    EXPECT_EQ(result.failureNumber, 8);
    EXPECT_EQ(result.message,
              "Error 8. Cannot create the CSV file. VSDownload\r\nThis BIN file is corrupted.");
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "Y.PRN"));
}

TEST_F(Files, PrnThatCannotBeCreatedFails) {
    WriteFile(dir.path() / "Z.BIN", SmallImage());
    std::filesystem::create_directory(dir.path() / "Z.PRN");
    EXPECT_EQ(RunConversion(dir.str(), "Z.BIN").failureNumber, 7);
}

TEST_F(Files, EmptyFolderIsTheCurrentFolder) {
    WriteFile(dir.path() / "Here.bin", SmallImage());
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const ConvertResult result = RunConversion("", "Here.bin");
    std::filesystem::current_path(before);
    EXPECT_EQ(result.outcome, ConvertOutcome::Completed) << result.message;
    EXPECT_EQ(ReportPathsFor("", "Here.bin").prn, "HERE.PRN");
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "HERE.PRN"));
}

TEST_F(Files, NameShorterThanItsExtensionFails) {
    EXPECT_EQ(RunConversion(dir.str(), "BIN").failureNumber, 12);
}

#ifndef _WIN32
TEST_F(Files, FullDiskIsAFailureNotACompletion) {
    WriteFile(dir.path() / "full.bin", SmallImage());
    // At most 100 bytes a file, as on a disk that is full: the report does not fit.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 100;
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const ConvertResult result = RunConversion(dir.str(), "full.bin");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(result.outcome, ConvertOutcome::Failed);
    EXPECT_EQ(result.failureNumber, 9) << result.message;
}
#endif

TEST_F(Files, LargeImageStreamsThroughTheBuffers) {
    // More than a few buffers of input and output: the whole file is read and written.
    sample::Image image = Untimed(1);
    image.items = {SetWithEnd(1, {1, 1, 5, 0, 0, 0}, {1, 1, 5, 0, 0, 0}, 1)};
    const int records = 100000;
    for (int i = 0; i < records; ++i) image.items.push_back(Rec(i % 1024, i % 4));
    // End time 1 s after the start is passed at once by 2 s steps and never met again.
    std::get<sample::SetHeader>(image.items[0]).end = {1, 1, 5, 0, 0, 1};
    WriteFile(dir.path() / "BIG.BIN", sample::Build(image));
    const ConvertResult result = RunConversion(dir.str(), "BIG.BIN");
    ASSERT_EQ(result.outcome, ConvertOutcome::Completed);
    const auto csv = Lines(ReadFile(dir.path() / "BIG.CSV"));
    ASSERT_EQ(csv.size(), static_cast<std::size_t>(records));
    EXPECT_EQ(csv[0], "01/01/05, 00:00:00,  0.");
    EXPECT_EQ(csv[99999], "01/03/05, 07:33:18,  0.671");  // 99999 * 2 s later
    EXPECT_EQ(result.bytesRead, result.length);
}

}  // namespace
