// Whole conversions in memory. Each case is a readable image description (tests/conversion/cases
// and the samples) with the reports it must give, byte for byte; "# expect ..." lines in the
// description name another outcome or the bytes the conversion reads. What a description cannot
// say (cut images, failing streams, the progress) follows as code.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/Paths.h"
#include "common/modGlobals.h"
#include "conversion/ConvertCore.h"
#include "conversion/Export.h"
#include "conversion/PlotData.h"
#include "conversion/modConvert.h"
#include "instrument/BinBuilder.h"
#include "support/CoreTestSupport.h"

namespace {

using namespace vsdl::conversion;
using namespace vsdl::testing;
namespace sample = vsdl::instrument::sample;

struct MemoryRun {
    ConvertResult result;
    std::string prn, csv;
    std::vector<std::int64_t> progress;  // bytes read at each record
};

MemoryRun Convert(const std::vector<std::uint8_t>& bytes, const std::string& prnName = "X.PRN") {
    MemoryRun run;
    MemorySource source(bytes.data(), bytes.size());
    StringSink prn, csv;
    run.result =
        ConvertImage(source, static_cast<std::int64_t>(bytes.size()), prn, csv, prnName,
                     [&run](std::int64_t read, std::int64_t) { run.progress.push_back(read); });
    run.prn = prn.text;
    run.csv = csv.text;
    return run;
}

std::vector<std::uint8_t> Build(const std::string& description) {
    return sample::Build(sample::Parse(description));
}

// The value of a "# expect <what>: <value>" line, or `otherwise`.
std::string Expect(const std::string& description, const std::string& what,
                   const std::string& otherwise) {
    const std::string key = "# expect " + what + ": ";
    const std::size_t at = description.find(key);
    if (at == std::string::npos) return otherwise;
    const std::size_t from = at + key.size();
    return description.substr(from, description.find('\n', from) - from);
}

std::string OutcomeText(const ConvertResult& r) {
    switch (r.outcome) {
        case ConvertOutcome::Completed:
            return "completed";
        case ConvertOutcome::Corrupt:
            return "corrupt";
        case ConvertOutcome::Failed:
            return "failed " + std::to_string(r.failureNumber);
    }
    return "?";
}

void RunCases(const fs::path& folder) {
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".txt") continue;
        ++cases;
        const std::string name = entry.path().stem().string();
        const std::string description = ReadFile(entry.path());
        const MemoryRun run = Convert(Build(description), name + ".PRN");
        const fs::path expected = folder / name;
        EXPECT_EQ(run.prn, ReadFile(expected.string() + ".PRN")) << name;
        EXPECT_EQ(run.csv, ReadFile(expected.string() + ".CSV")) << name;
        EXPECT_EQ(OutcomeText(run.result), Expect(description, "outcome", "completed")) << name;
        if (run.result.outcome == ConvertOutcome::Completed) {
            EXPECT_EQ(run.result.message,
                      "The conversion has completed.  Your ASCII file is: " + name + ".PRN");
        }
        const std::string read = Expect(description, "bytes read", "");
        if (!read.empty()) {
            EXPECT_EQ(run.result.bytesRead, read == "all" ? run.result.length : std::stoll(read))
                << name;
        }
        // A record is at least two bytes, and the progress only grows.
        EXPECT_LE(run.progress.size(), run.result.bytesRead / 2) << name;
        EXPECT_TRUE(std::is_sorted(run.progress.begin(), run.progress.end())) << name;
    }
    EXPECT_GT(cases, 3) << folder;
}

TEST(Conversion, EachCaseGivesItsReports) {
    RunCases(fs::path(VSDL_TESTS_DIR) / "conversion" / "cases");
}

TEST(Conversion, EachSampleGivesItsGoldenReports) {
    RunCases(VSDL_SAMPLES_DIR);
}

TEST(Conversion, AHeaderCutShortEndsLikeTheEndOfTheFile) {
    const std::vector<std::uint8_t> full =
        Build("marker untimed\nsetcount 1\nset 1\nstart 01/01/05 00:00:00\nreading 0.01\n");
    // Shorter than a marker is corrupt; the marker alone, and cuts inside the time bytes and
    // inside the last four header bytes end the conversion.
    for (std::size_t keep : {0u, 2u, 3u, 4u, 5u, 10u, 17u, 18u, 20u}) {
        const MemoryRun run = Convert({full.begin(), full.begin() + static_cast<long>(keep)});
        EXPECT_EQ(run.result.outcome,
                  keep < 3 ? ConvertOutcome::Corrupt : ConvertOutcome::Completed)
            << keep;
        EXPECT_EQ(run.prn, keep < 3 ? "" : std::string(79, '=') + "\r\n") << keep;
        EXPECT_EQ(run.csv, "") << keep;
        EXPECT_EQ(run.result.bytesRead, static_cast<std::int64_t>(keep));
    }
}

TEST(Conversion, TheProgressFollowsEveryRecord) {
    const MemoryRun run = Convert(Build(
        "marker timed\nsetcount 2\nset 1\ntemperature 1\nreading 0.01 20.0C\nreading 0.02 20.0C\n"
        "reading 0.03 20.0C\nset 2\nreading 0.04\nreading 0.05\ntrailer\n"));
    EXPECT_EQ(run.progress,
              (std::vector<std::int64_t>{4 + 17 + 7, 4 + 17 + 14, 4 + 17 + 21, 4 + 17 + 21 + 17 + 6,
                                         4 + 17 + 21 + 17 + 12}));
    EXPECT_EQ(run.result.bytesRead, run.result.length - 6);
}

// Hands out its bytes once, then fails.
class FailingSource : public ByteSource {
  public:
    explicit FailingSource(std::vector<std::uint8_t> good) : good_(std::move(good)) {}
    bool Read(std::uint8_t* out, std::size_t max, std::size_t& got) override {
        if (done_) return false;
        done_ = true;
        got = std::min(max, good_.size());
        std::copy_n(good_.begin(), got, out);
        return true;
    }

  private:
    std::vector<std::uint8_t> good_;
    bool done_ = false;
};

// Takes `room` bytes, then refuses.
class FullSink : public TextSink {
  public:
    explicit FullSink(std::size_t room) : room_(room) {}
    bool Write(const char*, std::size_t size) override {
        if (size > room_) return false;
        room_ -= size;
        return true;
    }

  private:
    std::size_t room_;
};

TEST(Conversion, ReadAndWriteErrorsAreFailures) {
    const std::vector<std::uint8_t> small = Build(
        "marker untimed\nsetcount 1\nset 1\nstart 01/01/05 00:00:00\nreading 0.01\nreading 0.02\n");
    FailingSource failing({small.begin(), small.end() - 2});
    StringSink prn, csv;
    ConvertResult result =
        ConvertImage(failing, static_cast<std::int64_t>(small.size()), prn, csv, "X.PRN");
    EXPECT_EQ(result.failureNumber, 4);
    EXPECT_EQ(csv.text, "01/01/05, 00:00:00,  0.01\r\n");  // what came before is written

    const std::vector<std::uint8_t> big = Build(
        "marker untimed\nsetcount 1\nset 1\nend 01/01/05 00:00:01\ninterval 14\n"
        "walk 5000 5.00\n");
    for (int full : {0, 1}) {
        MemorySource source(big.data(), big.size());
        FullSink tight(full == 0 ? 1000 : 0);
        StringSink other;
        result = ConvertImage(source, static_cast<std::int64_t>(big.size()),
                              full == 0 ? static_cast<TextSink&>(tight) : other,
                              full == 1 ? static_cast<TextSink&>(tight) : other, "X.PRN");
        EXPECT_EQ(result.failureNumber, full == 0 ? 9 : 10);
        // The run stops soon after the first failed write, not at the end of the file.
        EXPECT_LT(result.bytesRead, result.length);
    }
}

// ConvertBINtoPRN shows exactly one message, yields after every record and leaves the figures
// for the dialog's bar in the program-wide variables.
class RecordingNotifier : public ConvertNotifier {
  public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void Yield() override { ++yields; }
    std::vector<std::string> messages;
    int yields = 0;
};

TEST(Conversion, ConvertBINtoPRNShowsTheOutcomeOnceAndKeepsTheFigures) {
    TempDir dir;
    const std::vector<std::uint8_t> bytes = Build(
        "marker untimed\nsetcount 1\nset 1\nreading 0.01\nreading 0.02\nreading 0.03\n"
        "trailer\n");
    WriteFile(dir.path() / "Run.bin", bytes);
    RecordingNotifier notifier;
    ConvertBINtoPRN(dir.str(), "Run.bin", notifier);
    EXPECT_EQ(
        notifier.messages,
        (std::vector<std::string>{"The conversion has completed.  Your ASCII file is: RUN.PRN"}));
    EXPECT_EQ(notifier.yields, 3);
    EXPECT_EQ(gFileLength, static_cast<std::int32_t>(bytes.size()));
    EXPECT_EQ(gBytesRead, gFileLength - 6);
    EXPECT_EQ(gPrnFile, vsdl::paths::Join(dir.str(), "RUN.PRN"));
    EXPECT_EQ(gCsvFile, vsdl::paths::Join(dir.str(), "RUN.CSV"));

    RecordingNotifier missing;
    ConvertBINtoPRN(dir.str(), "Gone.BIN", missing);
    EXPECT_EQ(missing.messages,
              (std::vector<std::string>{
                  "Error 1. Cannot open the BIN file. VSDownload\r\nThis BIN file is corrupted."}));
    EXPECT_EQ(missing.yields, 0);
    EXPECT_EQ(gFileLength, 0);
    // A name too short to hold ".BIN" names no reports.
    RecordingNotifier bare;
    ConvertBINtoPRN(dir.str(), "BIN", bare);
    EXPECT_EQ(gPrnFile, "");
}

// The tidy export of every sample, in the text mode of this system, against its golden table.
TEST(Export, EachSampleGivesItsGoldenTables) {
    int tables = 0;
    for (const auto& entry : fs::directory_iterator(VSDL_SAMPLES_DIR)) {
        const std::string file = entry.path().filename().string();
        const bool json = file.ends_with(".tidy.json");
        if (!json && !file.ends_with(".tidy.csv")) continue;
        ++tables;
        const std::string bin = file.substr(0, file.find('.')) + ".BIN";
        const std::string image = ReadFile(entry.path().parent_path() / bin);
        MemorySource source(reinterpret_cast<const std::uint8_t*>(image.data()), image.size());
        StringSink out;
        const ExportResult result = ExportImage(source, static_cast<std::int64_t>(image.size()),
                                                out, json ? ExportFormat::Json : ExportFormat::Csv);
        EXPECT_EQ(result.outcome, ConvertOutcome::Completed) << file;
        std::string expected;
        for (char c : ReadFile(entry.path())) {
            if (c == '\n')
                expected += kNewLine;
            else
                expected += c;
        }
        EXPECT_EQ(out.text, expected) << file;
    }
    EXPECT_GE(tables, 5);
}

// What the samples do not have: a time stamp that is no date, and years past 2029 (a stamp's
// year is 1990 + its six-bit YearOffset, 01/01 of offsets 0, 39, 40 and 63 here, not the
// two-digit rule of the header times).
TEST(Export, AStampHasItsOwnYearOrNoTime) {
    const std::vector<std::uint8_t> bytes = Build(
        "marker timed\nsetcount 1\nset 1\nunit 6\nend 12/31/24 00:00:00\n"
        "at 01/31/24 23:59:59\nreading 2.5\n"
        "bytes BF 7D 97 E2 18 FA\n"  // 02/31/24 23:59:59 = -2.50
        "bytes C0 00 0F E2 18 FA BF 80 0F E2 18 FA B8 1E 0F E2 18 FA\n"  // 24:00, 23:60, 23:00:60
        "bytes 00 00 08 40 00 05 00 00 08 67 00 05 00 00 08 68 00 05 00 00 08 7F 00 05\n");
    for (const ExportFormat format : {ExportFormat::Csv, ExportFormat::Json}) {
        MemorySource source(bytes.data(), bytes.size());
        StringSink out;
        const ExportResult result =
            ExportImage(source, static_cast<std::int64_t>(bytes.size()), out, format);
        EXPECT_EQ(result.outcome, ConvertOutcome::Completed);
        EXPECT_EQ(result.records, 9);
        const std::string nl(kNewLine);
        if (format == ExportFormat::Csv) {
            EXPECT_EQ(out.text, std::string(kTidyCsvHeader) + nl +
                                    "1,1,2024-01-31T23:59:59,2.5,ok,mg / l,," + nl +
                                    "1,2,,-2.50,ok,mg / l,," + nl + "1,3,,-2.50,ok,mg / l,," + nl +
                                    "1,4,,-2.50,ok,mg / l,," + nl + "1,5,,-2.50,ok,mg / l,," + nl +
                                    "1,6,1990-01-01T00:00:00,5,ok,mg / l,," + nl +
                                    "1,7,2029-01-01T00:00:00,5,ok,mg / l,," + nl +
                                    "1,8,2030-01-01T00:00:00,5,ok,mg / l,," + nl +
                                    "1,9,2053-01-01T00:00:00,5,ok,mg / l,," + nl);
        } else {
            EXPECT_NE(out.text.find("{\"record\": 2, \"time\": null, \"reading\": -2.50, "),
                      std::string::npos)
                << out.text;
        }
    }
}

TEST(Plot, TimeLabelsAreRoundStepsOfTheLoggersClock) {
    const double day = SecondsSinceEpoch({2024, 3, 14, 0, 0, 0});
    const std::tuple<double, double, std::string> cases[] = {
        {day + 9 * 3600 + 7, day + 9 * 3600 + 30, "09:00:10|09:00:15|09:00:20|09:00:25|09:00:30|"},
        {day, day + 50, "00:00:00|00:00:10|00:00:20|00:00:30|00:00:40|00:00:50|"},
        {day - 3600, day + 2 * 3600,
         "03-13 23:00|03-13 23:30|03-14 00:00|03-14 00:30|03-14 01:00|03-14 01:30|03-14 02:00|"},
        {day, day + 4 * 86400, "2024-03-14|2024-03-15|2024-03-16|2024-03-17|2024-03-18|"},
        // Steps of 30 and 365 days count from the clock's start, as all steps do.
        {day, day + 150 * 86400, "2024-03-18|2024-04-17|2024-05-17|2024-06-16|2024-07-16|"},
        {day, day + 5 * 365 * 86400, "2024-12-18|2025-12-18|2026-12-18|2027-12-18|2028-12-17|"},
        {day, day, ""}};
    for (const auto& [from, to, labels] : cases) {
        std::string got;
        for (const TimeTick& tick : TimeTicks(from, to, 6)) got += tick.label + "|";
        EXPECT_EQ(got, labels);
    }
}

}  // namespace
