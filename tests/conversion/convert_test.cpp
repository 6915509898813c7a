// Whole conversions in memory. Each case is a readable image description (tests/conversion/cases
// and the samples) with the reports it must give, byte for byte; "# expect ..." lines in the
// description name another outcome or the bytes the conversion reads. What a description cannot
// say (cut images, failing streams, the progress) follows as code.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
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
    if (r.outcome == ConvertOutcome::Failed) return "failed " + std::to_string(r.failureNumber);
    return r.outcome == ConvertOutcome::Corrupt ? "corrupt" : "completed";
}

// One description with its reports: a case of tests/conversion/cases or a sample.
struct CaseFile {
    fs::path folder;
    std::string name;  // the description's name without ".txt"
    std::string test;  // the test's name: the samples' begin with "Sample_"
};

std::vector<CaseFile> CaseFiles() {
    std::vector<CaseFile> files;
    for (const auto& [folder, prefix] :
         {std::pair{fs::path(VSDL_TESTS_DIR) / "conversion" / "cases", ""},
          std::pair{fs::path(VSDL_SAMPLES_DIR), "Sample_"}}) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            if (entry.path().extension() != ".txt") continue;
            const std::string name = entry.path().stem().string();
            files.push_back({.folder = folder, .name = name, .test = prefix + name});
        }
    }
    return files;
}

void PrintTo(const CaseFile& c, std::ostream* os) {
    *os << c.test;
}

class ConversionCase : public ::testing::TestWithParam<CaseFile> {};

TEST_P(ConversionCase, GivesItsReports) {
    const auto& [folder, name, test] = GetParam();
    const std::string description = ReadFile(folder / (name + ".txt"));
    const MemoryRun run = Convert(Build(description), name + ".PRN");
    EXPECT_EQ(run.prn, ReadFile(folder / (name + ".PRN")));
    EXPECT_EQ(run.csv, ReadFile(folder / (name + ".CSV")));
    EXPECT_EQ(OutcomeText(run.result), Expect(description, "outcome", "completed"));
    if (run.result.outcome == ConvertOutcome::Completed) {
        EXPECT_EQ(run.result.message,
                  "The conversion has completed.  Your ASCII file is: " + name + ".PRN");
    }
    const std::string read = Expect(description, "bytes read", "");
    if (!read.empty()) {
        EXPECT_EQ(run.result.bytesRead, read == "all" ? run.result.length : std::stoll(read));
    }
    // A record is at least two bytes, and the progress only grows.
    EXPECT_LE(run.progress.size(), run.result.bytesRead / 2);
    EXPECT_TRUE(std::is_sorted(run.progress.begin(), run.progress.end()));
}

// Each file its own test, named after it: a failure names the case.
INSTANTIATE_TEST_SUITE_P(Conversion, ConversionCase, ::testing::ValuesIn(CaseFiles()),
                         [](const ::testing::TestParamInfo<CaseFile>& info) {
                             return info.param.test;
                         });

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

// Hands out its bytes once, then fails.
struct FailingSource : ByteSource {
    std::vector<std::uint8_t> good;
    bool done = false;
    bool Read(std::uint8_t* out, std::size_t max, std::size_t& got) override {
        if (std::exchange(done, true)) return false;
        got = std::min(max, good.size());
        std::copy_n(good.begin(), got, out);
        return true;
    }
};

// Takes `room` bytes, then refuses.
struct FullSink : TextSink {
    std::size_t room = 0;
    bool Write(const char*, std::size_t size) override {
        if (size > room) return false;
        room -= size;
        return true;
    }
};

TEST(Conversion, ReadAndWriteErrorsAreFailures) {
    const std::vector<std::uint8_t> small = Build(
        "marker untimed\nsetcount 1\nset 1\nstart 01/01/05 00:00:00\nreading 0.01\nreading 0.02\n");
    FailingSource failing;
    failing.good.assign(small.begin(), small.end() - 2);
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
        FullSink tight;
        tight.room = full == 0 ? 1000 : 0;
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
        const ExportFormat format = file.ends_with(".tidy.json")    ? ExportFormat::Json
                                    : file.ends_with(".tidy.jsonl") ? ExportFormat::Jsonl
                                                                    : ExportFormat::Csv;
        if (format == ExportFormat::Csv && !file.ends_with(".tidy.csv")) continue;
        ++tables;
        const std::string bin = file.substr(0, file.find('.')) + ".BIN";
        const std::string image = ReadFile(entry.path().parent_path() / bin);
        MemorySource source(reinterpret_cast<const std::uint8_t*>(image.data()), image.size());
        StringSink out;
        const ExportResult result =
            ExportImage(source, static_cast<std::int64_t>(image.size()), out, format);
        EXPECT_EQ(result.outcome, ConvertOutcome::Completed) << file;
        std::string expected;
        for (char c : ReadFile(entry.path())) expected += c == '\n' ? kNewLine : std::string(1, c);
        EXPECT_EQ(out.text, expected) << file;
    }
    EXPECT_GE(tables, 6);
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

// Two sets of one number, as a damaged image has them, are told apart by their place; a unit
// code without a text by its code.
TEST(Export, SetsCarryTheirPlaceAndUnitCode) {
    const std::vector<std::uint8_t> bytes = Build(
        "marker untimed\nsetcount 8\nset 7\nunit 0\nreading 1\nset 7\nunit 50\n"
        "reading 2\ntrailer\n");
    const struct {
        ExportFormat format;
        std::vector<std::string> parts;  // each somewhere in the output
    } cases[] = {{.format = ExportFormat::Json,
                  .parts = {R"({"set_index": 2, "number": 7,)", R"("unit": "", "unit_code": 50,)"}},
                 {.format = ExportFormat::Jsonl,
                  .parts = {R"({"set_index":1,"data_set":7,"strategy":"ONE WAY",)",
                            R"("unit":"","unit_code":0,)",
                            R"({"set_index":2,"data_set":7,"record":1,"time":)"}}};
    for (const auto& [format, parts] : cases) {
        MemorySource source(bytes.data(), bytes.size());
        StringSink out;
        EXPECT_EQ(ExportImage(source, static_cast<std::int64_t>(bytes.size()), out, format).records,
                  2);
        for (const std::string& part : parts) {
            EXPECT_NE(out.text.find(part), std::string::npos) << part << "\n" << out.text;
        }
    }
}

TEST(Plot, TimeLabelsAreFewAndWholeOverAnySpan) {
    const auto at = [](int y, int mo, int d, int h = 0, int mi = 0, int se = 0) {
        return SecondsSinceEpoch({y, mo, d, h, mi, se});
    };
    // clang-format off
    const struct {
        double from, to;
        std::string labels;
    } cases[] = {
        {.from = at(2024, 3, 14, 9, 30, 15), .to = at(2024, 3, 14, 9, 30, 16),
         .labels = "09:30:15|09:30:16|"},
        {.from = at(2024, 3, 14, 9, 30), .to = at(2024, 3, 14, 9, 31, 40),
         .labels = "09:30:00|09:30:10|09:30:20|09:30:30|09:30:40|09:30:50|09:31:00|09:31:10|"
                   "09:31:20|09:31:30|09:31:40|"},
        {.from = at(2000, 1, 1), .to = at(2020, 1, 1),
         .labels = "2000|2002|2004|2006|2008|2010|2012|2014|2016|2018|2020|"},
        {.from = at(2024, 3, 14), .to = at(2024, 3, 15),
         .labels = "03-14 00:00|03-14 03:00|03-14 06:00|03-14 09:00|03-14 12:00|03-14 15:00|"
                   "03-14 18:00|03-14 21:00|03-15 00:00|"},
        // A span across New Year names the year, also in labels of seconds.
        {.from = at(2024, 12, 31, 23, 59, 50), .to = at(2025, 1, 1, 0, 0, 2),
         .labels = "2024-12-31 23:59:50|2024-12-31 23:59:52|2024-12-31 23:59:54|"
                   "2024-12-31 23:59:56|2024-12-31 23:59:58|2025-01-01 00:00:00|"
                   "2025-01-01 00:00:02|"},
        // Months and years begin on the 1st.
        {.from = at(2024, 3, 14), .to = at(2024, 9, 14),
         .labels = "2024-04|2024-05|2024-06|2024-07|2024-08|2024-09|"},
        {.from = at(2020, 1, 1), .to = at(2025, 1, 1),
         .labels = "2020-01|2020-07|2021-01|2021-07|2022-01|2022-07|2023-01|2023-07|2024-01|"
                   "2024-07|2025-01|"},
        {.from = at(1990, 1, 1), .to = at(2030, 1, 1),
         .labels = "1990|1995|2000|2005|2010|2015|2020|2025|2030|"},
        {.from = at(1990, 1, 1), .to = at(2053, 12, 31, 23, 59, 59),
         .labels = "1990|2000|2010|2020|2030|2040|2050|"},
        // Far beyond the calendar: no cast out of range, a few labels.
        {.from = -1e300, .to = 1e300, .labels = "1000|2000|3000|4000|5000|6000|7000|8000|9000|"},
        {.from = at(2024, 3, 14), .to = at(2024, 3, 14), .labels = ""},
    };
    // clang-format on
    for (const auto& c : cases) {
        std::string got;
        for (const TimeTick& tick : TimeTicks(c.from, c.to, kMostTimeTicks)) {
            got += tick.label + "|";
        }
        EXPECT_EQ(got, c.labels) << c.from;
    }
}

// An image of 300 000 one-second records, timed or untimed, each a reading of 5 but one of 1023.
std::string SpikeImage(const TempDir& dir, bool timed) {
    std::string description = std::string("marker ") + (timed ? "timed" : "untimed") +
                              "\nsetcount 1\nset 1\nstart 03/14/24 00:00:00\n" +
                              (timed ? "at 03/14/2024 00:00:00\n" : "");
    description += "walk 150000 5. seed 1\nreading 1023.\nwalk 149999 5. seed 2\ntrailer\n";
    const std::string path = dir / (timed ? "T.BIN" : "U.BIN");
    WriteFile(path, Build(description));
    return path;
}

TEST(Plot, AZoomedSpanIsDrawnFromItsOwnRecords) {
    TempDir dir;
    for (const bool timed : {false, true}) {
        const std::string path = SpikeImage(dir, timed);
        const PlotData whole = LoadPlotData(path, 1'000'000);  // every record
        const PlotData thinned = LoadPlotData(path, 2000);
        ASSERT_EQ(thinned.sets.size(), 1u);
        const PlotSet& set = thinned.sets[0];
        ASSERT_TRUE(set.thinned);
        const double t0 = set.startTime;
        const struct {
            double from, to;
            std::size_t points;  // records in the span, and one on either side
        } spans[] = {
            {.from = t0 + 149'900, .to = t0 + 150'200, .points = 301 + 2},
            {.from = t0 - 100, .to = t0 + 9, .points = 10 + 1},
            {.from = t0 + 299'990, .to = t0 + 400'000, .points = 1 + 10},
            {.from = t0 + 1000, .to = t0 + 200'000, .points = 2 * 500 + 2},
        };
        for (const auto& s : spans) {
            const PlotSpan span = LoadPlotSpan(path, set, s.from, s.to, 500);
            ASSERT_EQ(span.error, "");
            const std::vector<PlotPoint>& points = span.points.readings;
            EXPECT_EQ(points.size(), s.points) << timed << " " << s.from - t0;
            for (const PlotPoint& p : points) {
                const auto i = static_cast<std::size_t>(p.time - t0);
                ASSERT_LT(i, whole.sets[0].readings.size());
                EXPECT_EQ(whole.sets[0].readings[i].time, p.time);
                EXPECT_EQ(whole.sets[0].readings[i].value, p.value);
            }
            const bool spikeInView = s.from <= t0 + 150'000 && s.to >= t0 + 150'000;
            EXPECT_EQ(std::any_of(points.begin(), points.end(),
                                  [](const PlotPoint& p) { return p.value == 1023.0; }),
                      spikeInView);
        }
        // The span of a timed set is found without reading the whole set.
        if (timed) {
            EXPECT_LT(LoadPlotSpan(path, set, t0 + 10, t0 + 20, 500).recordsRead, 100);
        }
    }
}

}  // namespace
