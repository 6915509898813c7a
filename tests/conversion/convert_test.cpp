// Whole conversions in memory: header blocks, data sets, messages, progress and the edges of
// the file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "common/modGlobals.h"

namespace {

using namespace vsdl::conversion;
using namespace vsdl::conversion::testing;
using sample::Image;

std::vector<std::string> Banner(const std::string& strategy) {
    const std::string pad22(22, ' ');
    return {kStars,
            "",
            pad22 + std::string(35, '*'),
            pad22 + "*" + std::string(33, ' ') + "*",
            pad22 + "*  V A L D O R     S E N S I N G  *",
            pad22 + "*" + std::string(33, ' ') + "*",
            pad22 + std::string(35, '*'),
            "",
            std::string(23, ' ') + "FLUOROMETER INTERNAL DATA LOGGER",
            "",
            std::string(30, ' ') + "DATA OUTPUT PROGRAM",
            "",
            kStars,
            "",
            "DATA LOGGING STRATEGY:  " + strategy,
            ""};
}

std::vector<std::string> SetBlock(const std::string& number, const std::string& method,
                                  const std::string& interval, const std::string& unit,
                                  const std::string& started, const std::string& ended) {
    return {"",
            "DATA SET NO:            " + number,
            "",
            "DATA LOGGING METHOD:    " + method,
            "",
            "DATA LOGGING INTERVAL:  " + interval,
            "",
            "DATA LOGGING UNIT:      " + unit + " ",
            "",
            "DATA LOGGING STARTED:  " + started,
            "DATA LOGGING ENDED:    " + ended,
            "",
            kEquals,
            "",
            ""};
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Lines of the PRN from the first record line on (after the first "=" line and two empties).
std::vector<std::string> RecordPart(const std::vector<std::string>& prn) {
    for (std::size_t i = 0; i + 2 < prn.size(); ++i) {
        if (prn[i] == kEquals && prn[i + 1].empty() && prn[i + 2].empty()) {
            return {prn.begin() + static_cast<std::ptrdiff_t>(i + 3), prn.end()};
        }
    }
    return {};
}

sample::RawBytes EndMark() {
    return {{sample::kEndMark.begin(), sample::kEndMark.end()}};
}

class Conversion : public ::testing::Test {};

// --- Whole reports --------------------------------------------------------------------------

TEST_F(Conversion, UntimedSetGivesBannerHeaderRecordsAndClosingLine) {
    Image image = Untimed(1);
    sample::SetHeader h = Set(1, {12, 3, 5, 14, 22, 10}, 0);
    h.unit = 3;
    image.items = {h, Rec(123, 2), Rec(5, 3, true)};
    const MemoryRun run = Convert(image);
    ASSERT_EQ(run.result.outcome, ConvertOutcome::Completed);
    EXPECT_EQ(run.result.message, "The conversion has completed.  Your ASCII file is: TEST.PRN");
    EXPECT_EQ(Lines(run.prn), Concat({Banner("ONE WAY"),
                                      SetBlock("1", "INSTANT", "1  (SEC)", "(PPM)",
                                               "12/03/05 14:22:10", "12/03/05 14:22:11"),
                                      {"00001: 12/03/05 14:22:10 =  1.23",
                                       "00002: 12/03/05 14:22:11 = -0.005", kEquals}}));
    EXPECT_EQ(run.csv, "12/03/05, 14:22:10,  1.23\r\n12/03/05, 14:22:11, -0.005\r\n");
}

TEST_F(Conversion, UntimedTemperatureRecordsInCelsiusAndFahrenheit) {
    Image image = Untimed(1);
    image.items = {Set(1, {12, 3, 5, 14, 22, 10}, 4, 1), Rec(123, 2, false, 253),
                   Rec(7, 1, true, 253, true)};
    const MemoryRun run = Convert(image);
    ASSERT_EQ(run.result.outcome, ConvertOutcome::Completed);
    EXPECT_EQ(RecordPart(Lines(run.prn)),
              (std::vector<std::string>{"00001: 12/03/05 14:22:10 =  1.23   25.3 (C)",
                                        "00002: 12/03/05 14:22:20 = -0.7   77.5 (F)", kEquals}));
    EXPECT_EQ(run.csv,
              "12/03/05, 14:22:10, 1.23, 25.3, (C)\r\n"
              "12/03/05, 14:22:20,-0.7, 77.5, (F)\r\n");
}

TEST_F(Conversion, TimedRecordsShowTheirOwnStampAndEndAtTheEndTime) {
    Image image = Timed(1);
    // Start and end times say 10:00:00 to 10:00:20 at 10 s; the records carry their own times.
    sample::SetHeader h = SetWithEnd(1, {1, 2, 95, 10, 0, 0}, {1, 2, 95, 10, 0, 20}, 4, 1);
    sample::Record a = Rec(1000, 0, false, 100);
    sample::Record b = Rec(1, 3, true, 101, true);
    sample::Record c = Rec(2, 3, false, 101, true);
    b.stamped = c.stamped = true;
    b.stamp = {1, 2, 1995, 10, 0, 13};  // off the running time: shown as stamped
    c.stamp = {1, 2, 1995, 10, 0, 20};  // the end time: the set is complete
    image.items = {h, a, b, c, Rec(3, 3), EndMark()};
    const MemoryRun run = Convert(image);
    ASSERT_EQ(run.result.outcome, ConvertOutcome::Completed);
    EXPECT_EQ(RecordPart(Lines(run.prn)),
              (std::vector<std::string>{"00001: 01/02/95 10:00:00 =  1000.   10.0 (C)",
                                        "00002: 01/02/95 10:00:13 = -0.001   50.2 (F)",
                                        "00003: 01/02/95 10:00:20 =  0.002   50.2 (F)", kEquals}));
    EXPECT_EQ(run.csv,
              "01/02/95, 10:00:00,  1000., 10.0, (C)\r\n"
              "01/02/95, 10:00:13, -0.001, 50.2, (F)\r\n"
              "01/02/95, 10:00:20,  0.002, 50.2, (F)\r\n");
    EXPECT_EQ(run.yields, 3);
}

// --- Data sets ------------------------------------------------------------------------------

TEST_F(Conversion, CycleLoggingConvertsOnlyTheFirstSet) {
    Image image = Untimed(0);
    image.items = {Set(7, {1, 1, 5, 0, 0, 0}, 0), Rec(1), Rec(2),
                   Set(8, {1, 1, 5, 1, 0, 0}, 0), Rec(3), EndMark()};
    const MemoryRun run = Convert(image);
    ASSERT_EQ(run.result.outcome, ConvertOutcome::Completed);
    const auto prn = Lines(run.prn);
    // Set 7 is above 1: no banner, so no strategy line either.
    EXPECT_EQ(prn, Concat({SetBlock("7", "INSTANT", "1  (SEC)", "(   )", "01/01/05 00:00:00",
                                    "01/01/05 00:00:01"),
                           {"00001: 01/01/05 00:00:00 =  0.01", "00002: 01/01/05 00:00:01 =  0.02",
                            kEquals}}));
    EXPECT_EQ(run.result.bytesRead, 4 + 17 + 2 * 2);
}

TEST_F(Conversion, CycleStrategyTextWithBanner) {
    Image image = Untimed(0);
    image.items = {Set(1, {1, 1, 5, 0, 0, 0}, 0), Rec(1), Set(2, {1, 1, 5, 1, 0, 0}, 0), Rec(3)};
    const auto prn = Lines(Convert(image).prn);
    ASSERT_GT(prn.size(), 15u);
    EXPECT_EQ(prn[14], "DATA LOGGING STRATEGY:  CYCLE");
    EXPECT_EQ(std::count(prn.begin(), prn.end(), "DATA SET NO:            2"), 0);
}

TEST_F(Conversion, OneWayConvertsBothSetsWithSeparators) {
    Image image = Untimed(2);
    sample::SetHeader second = Set(2, {1, 2, 5, 8, 0, 0}, 7);
    second.method = 1;
    second.unit = 6;
    image.items = {
        Set(1, {1, 1, 5, 0, 0, 0}, 0), Rec(1), Rec(2), second, Rec(3), Rec(4), EndMark()};
    const MemoryRun run = Convert(image);
    ASSERT_EQ(run.result.outcome, ConvertOutcome::Completed);
    EXPECT_EQ(
        Lines(run.prn),
        Concat(
            {Banner("ONE WAY"),
             SetBlock("1", "INSTANT", "1  (SEC)", "(   )", "01/01/05 00:00:00",
                      "01/01/05 00:00:01"),
             {"00001: 01/01/05 00:00:00 =  0.01", "00002: 01/01/05 00:00:01 =  0.02", kEquals},
             SetBlock("2", "AVERAGE", "1  (MIN)", "(mg / l)", "01/02/05 08:00:00",
                      "01/02/05 08:01:00"),
             {"00001: 01/02/05 08:00:00 =  0.03", "00002: 01/02/05 08:01:00 =  0.04", kEquals}}));
    EXPECT_EQ(run.csv,
              "01/01/05, 00:00:00,  0.01\r\n01/01/05, 00:00:01,  0.02\r\n"
              "***New Data Set Started***\r\n"
              "01/02/05, 08:00:00,  0.03\r\n01/02/05, 08:01:00,  0.04\r\n");
    // The end mark stays unread.
    EXPECT_EQ(run.result.bytesRead, 4 + 2 * (17 + 2 * 2));
    EXPECT_EQ(run.result.length, 4 + 2 * (17 + 2 * 2) + 6);
}

TEST_F(Conversion, FirstSetNumberedAboveTheCountIsTheOnlyOne) {
    Image image = Untimed(2);
    image.items = {Set(3, {1, 1, 5, 0, 0, 0}, 0), Rec(1), Set(4, {1, 1, 5, 0, 0, 0}, 0), Rec(2)};
    const MemoryRun run = Convert(image);
    ASSERT_EQ(run.result.outcome, ConvertOutcome::Completed);
    EXPECT_EQ(run.csv, "01/01/05, 00:00:00,  0.01\r\n");
    EXPECT_EQ(Lines(run.prn).front(), "");  // no banner for set 3
}

TEST_F(Conversion, SetNumberedZeroGetsTheBanner) {
    Image image = Untimed(1);
    image.items = {Set(0, {1, 1, 5, 0, 0, 0}, 0), Rec(1), Set(1, {1, 1, 5, 0, 0, 0}, 0), Rec(2)};
    const auto prn = Lines(Convert(image).prn);
    EXPECT_EQ(std::count(prn.begin(), prn.end(), kStars), 2 * 2);
    EXPECT_EQ(std::count(prn.begin(), prn.end(), "DATA LOGGING STRATEGY:  ONE WAY"), 2);
}

TEST_F(Conversion, FiveRecordsThenTheNextHeaderIsRead) {
    // Interval 1 s, end 4 s after the start: exactly five records, then a set header.
    Image image = Untimed(2);
    image.items = {SetWithEnd(1, {5, 5, 5, 5, 5, 0}, {5, 5, 5, 5, 5, 4}, 0),
                   Rec(1),
                   Rec(2),
                   Rec(3),
                   Rec(4),
                   Rec(5),
                   Rec(6),
                   Rec(7)};
    const MemoryRun run = Convert(image);
    ASSERT_EQ(run.result.outcome, ConvertOutcome::Completed);
    // The bytes of records 6 and 7 are only 4 bytes: a set header cut short ends the run.
    const auto prn = Lines(run.prn);
    EXPECT_EQ(RecordPart(prn),
              (std::vector<std::string>{
                  "00001: 05/05/05 05:05:00 =  0.01", "00002: 05/05/05 05:05:01 =  0.02",
                  "00003: 05/05/05 05:05:02 =  0.03", "00004: 05/05/05 05:05:03 =  0.04",
                  "00005: 05/05/05 05:05:04 =  0.05", kEquals, kEquals}));
    EXPECT_EQ(run.csv.substr(run.csv.size() - 30), "\r\n***New Data Set Started***\r\n");
    EXPECT_EQ(run.result.bytesRead, run.result.length);
}

TEST_F(Conversion, NeverMetEndTimeReadsOnToTheEndOfTheFile) {
    // Interval code 14 ("N/A"): the running time stands still and never reaches the end.
    Image image = Untimed(1);
    image.items = {SetWithEnd(1, {5, 5, 5, 5, 5, 0}, {5, 5, 5, 5, 5, 1}, 14), Rec(1), Rec(2),
                   Set(2, {5, 5, 5, 5, 5, 0}, 0), Rec(9)};
    const MemoryRun run = Convert(image);
    ASSERT_EQ(run.result.outcome, ConvertOutcome::Completed);
    const auto records = RecordPart(Lines(run.prn));
    // 2 records, then the 19 bytes of the header and record behind them as 9 records with one
    // byte left over, then the closing line.
    ASSERT_EQ(records.size(), 2u + 9u + 1u);
    for (std::size_t i = 0; i + 1 < records.size(); ++i) {
        EXPECT_EQ(records[i].substr(5, 22), ": 05/05/05 05:05:00 = ") << records[i];
    }
    EXPECT_EQ(records[9].substr(0, 5), "00010");
    EXPECT_EQ(records.back(), kEquals);
    EXPECT_NE(run.prn.find("DATA LOGGING INTERVAL:  N/A\r\n"), std::string::npos);
    EXPECT_EQ(run.result.bytesRead, run.result.length);
}

TEST_F(Conversion, RunningTimeCrossesTheCenturyAndLeapDay) {
    Image image = Untimed(2);
    image.items = {Set(1, {12, 31, 99, 23, 59, 59}, 0), Rec(1), Rec(2),
                   Set(2, {2, 28, 0, 23, 59, 59}, 0),   Rec(3), Rec(4)};
    const MemoryRun run = Convert(image);
    EXPECT_EQ(run.csv,
              "12/31/99, 23:59:59,  0.01\r\n01/01/00, 00:00:00,  0.02\r\n"
              "***New Data Set Started***\r\n"
              "02/28/00, 23:59:59,  0.03\r\n02/29/00, 00:00:00,  0.04\r\n");
}

TEST_F(Conversion, CounterRestartsInEverySet) {
    Image image = Untimed(2);
    image.items = {Set(1, {1, 1, 5, 0, 0, 0}, 0), Rec(1), Rec(2), Rec(3),
                   Set(2, {1, 1, 5, 0, 0, 0}, 0), Rec(4)};
    const auto records = RecordPart(Lines(Convert(image).prn));
    EXPECT_EQ(std::count_if(records.begin(), records.end(),
                            [](const std::string& l) { return l.rfind("00001: ", 0) == 0; }),
              2);
    const std::string prn = Convert(image).prn;
    EXPECT_NE(prn.find("\r\n\r\n\r\n00001: 01/01/05 00:00:00 =  0.04\r\n"), std::string::npos);
}

TEST_F(Conversion, TemperatureFlagTwoKeepsTheLastTemperatureTexts) {
    Image image = Untimed(3);
    // Set 1 shows temperatures, set 2 only carries them, set 3 has none.
    image.items = {Set(1, {1, 1, 5, 0, 0, 0}, 0, 1),
                   Rec(1, 2, false, 200),
                   Rec(2, 2, false, 210, true),
                   Set(2, {1, 1, 5, 0, 0, 0}, 0, 2),
                   Rec(3, 2, false, 999),
                   Set(3, {1, 1, 5, 0, 0, 0}, 0, 0),
                   Rec(4)};
    const MemoryRun run = Convert(image);
    EXPECT_EQ(run.csv,
              "01/01/05, 00:00:00, 0.01, 20.0, (C)\r\n01/01/05, 00:00:01, 0.02, 69.8, (F)\r\n"
              "***New Data Set Started***\r\n"
              "01/01/05, 00:00:00, 0.03, 69.8, (F)\r\n"
              "***New Data Set Started***\r\n"
              "01/01/05, 00:00:00,  0.04\r\n");
}

TEST_F(Conversion, TemperatureFlagTwoFirstLeavesTheTextsEmpty) {
    Image image = Timed(1);
    image.items = {Set(1, {1, 1, 5, 0, 0, 0}, 0, 2), Rec(3, 2, false, 999)};
    const MemoryRun run = Convert(image);
    EXPECT_EQ(run.csv, "01/01/05, 00:00:00,  0.03, , \r\n");
    EXPECT_EQ(RecordPart(Lines(run.prn)).front(), "00001: 01/01/05 00:00:00 =  0.03    ");
}

TEST_F(Conversion, UnknownUnitCodeKeepsThePreviousUnitText) {
    Image image = Untimed(3);
    sample::SetHeader a = Set(1, {1, 1, 5, 0, 0, 0}, 0);
    a.unit = 50;
    sample::SetHeader b = Set(2, {1, 1, 5, 0, 0, 0}, 0);
    b.unit = 100;
    sample::SetHeader c = Set(3, {1, 1, 5, 0, 0, 0}, 0);
    c.unit = 255;
    image.items = {a, Rec(1), b, Rec(2), c, Rec(3)};
    const std::string prn = Convert(image).prn;
    std::vector<std::string> units;
    for (const auto& line : Lines(prn)) {
        if (line.rfind("DATA LOGGING UNIT:", 0) == 0) units.push_back(line);
    }
    EXPECT_EQ(units, (std::vector<std::string>{
                         "DATA LOGGING UNIT:       ", "DATA LOGGING UNIT:      (RAW) ",
                         "DATA LOGGING UNIT:      (RAW) "}));
}

TEST_F(Conversion, HeaderBytesAreShownAsTwoDigits) {
    // Time bytes above 99 keep their last two digits in the texts (101 -> 01).
    Image image = Untimed(1);
    image.items = {SetWithEnd(1, {101, 102, 105, 110, 120, 130}, {1, 2, 5, 10, 20, 31}, 0), Rec(1),
                   Rec(2)};
    const MemoryRun run = Convert(image);
    ASSERT_EQ(run.result.outcome, ConvertOutcome::Completed);
    EXPECT_NE(run.prn.find("DATA LOGGING STARTED:  01/02/05 10:20:30\r\n"), std::string::npos);
    EXPECT_EQ(run.csv, "01/02/05, 10:20:30,  0.01\r\n01/02/05, 10:20:31,  0.02\r\n");
}

// --- Messages and failures ------------------------------------------------------------------

TEST_F(Conversion, WrongMarkerLeavesBothOutputsEmpty) {
    Image image = Untimed(1);
    image.marker = {0x3C, 0x3C, 0x3D};
    image.items = {Set(1, {1, 1, 5, 0, 0, 0}, 0), Rec(1)};
    const MemoryRun run = Convert(image);
    EXPECT_EQ(run.result.outcome, ConvertOutcome::Corrupt);
    EXPECT_EQ(run.result.message, "This BIN is corrupt");
    EXPECT_EQ(run.result.failureNumber, 0);
    EXPECT_TRUE(run.prn.empty());
    EXPECT_TRUE(run.csv.empty());
    EXPECT_EQ(run.yields, 0);
    EXPECT_EQ(run.result.bytesRead, 3);
}

TEST_F(Conversion, EveryOtherMarkerIsCorrupt) {
    for (const auto& marker : std::vector<std::array<std::uint8_t, 3>>{
             {0xC3, 0xC3, 0x3C}, {0x3C, 0xC3, 0xC3}, {0, 0, 0}, {0xC9, 0x96, 0x6C}}) {
        Image image = Untimed(1);
        image.marker = marker;
        EXPECT_EQ(Convert(image).result.outcome, ConvertOutcome::Corrupt);
    }
}

TEST_F(Conversion, InvalidEndTimeFailsBeforeAnythingOfItsSet) {
    Image image = Untimed(2);
    image.items = {Set(1, {1, 1, 5, 0, 0, 0}, 0), Rec(1),
                   SetWithEnd(2, {1, 1, 5, 0, 0, 0}, {13, 1, 5, 0, 0, 0}, 0), Rec(2)};
    const MemoryRun run = Convert(image);
    EXPECT_EQ(run.result.outcome, ConvertOutcome::Failed);
    EXPECT_EQ(run.result.failureNumber, 6);
    EXPECT_EQ(run.result.message,
              "Error 6. Invalid end date or time. VSDownload\r\nThis BIN file is corrupted.");
    // Set 1 and the separator stay; nothing of set 2, no closing line.
    const auto prn = Lines(run.prn);
    ASSERT_FALSE(prn.empty());
    EXPECT_EQ(prn.back(), kEquals);
    EXPECT_EQ(prn[prn.size() - 2], "00001: 01/01/05 00:00:00 =  0.01");
    EXPECT_EQ(run.csv, "01/01/05, 00:00:00,  0.01\r\n***New Data Set Started***\r\n");
    EXPECT_EQ(run.result.bytesRead, 4 + 17 + 2 + 13);
}

TEST_F(Conversion, InvalidEndTimeOfTheFirstSetWritesNothing) {
    for (const std::array<int, 6>& end : std::vector<std::array<int, 6>>{
             {13, 1, 5, 0, 0, 0}, {2, 29, 99, 0, 0, 0}, {1, 1, 5, 24, 0, 0}, {0, 1, 5, 0, 0, 0}}) {
        Image image = Untimed(1);
        image.items = {SetWithEnd(1, {1, 1, 5, 0, 0, 0}, end, 0), Rec(1)};
        const MemoryRun run = Convert(image);
        EXPECT_EQ(run.result.failureNumber, 6);
        EXPECT_TRUE(run.prn.empty());
        EXPECT_TRUE(run.csv.empty());
    }
}

TEST_F(Conversion, InvalidStartTimeFailsAfterTheUnitLine) {
    Image image = Untimed(1);
    sample::SetHeader h = SetWithEnd(1, {13, 1, 5, 0, 0, 0}, {1, 1, 5, 0, 0, 0}, 0);
    h.unit = 1;
    image.items = {h, Rec(1)};
    const MemoryRun run = Convert(image);
    EXPECT_EQ(run.result.outcome, ConvertOutcome::Failed);
    EXPECT_EQ(run.result.message,
              "Error 5. Invalid start date or time. VSDownload\r\nThis BIN file is corrupted.");
    const auto prn = Lines(run.prn);
    ASSERT_GE(prn.size(), 2u);
    EXPECT_EQ(prn[prn.size() - 2], "DATA LOGGING UNIT:      (FSU) ");
    EXPECT_EQ(prn.back(), "");
    EXPECT_TRUE(run.csv.empty());
    EXPECT_EQ(run.result.bytesRead, 4 + 17);
}

TEST_F(Conversion, RecordCutShortEndsLikeTheEndOfTheFile) {
    Image image = Timed(1);
    image.items = {Set(1, {1, 1, 5, 0, 0, 0}, 0), Rec(1), Rec(2)};
    std::vector<std::uint8_t> bytes = sample::Build(image);
    bytes.resize(bytes.size() - 3);  // half of the second record
    const MemoryRun run = Convert(bytes);
    ASSERT_EQ(run.result.outcome, ConvertOutcome::Completed);
    EXPECT_EQ(RecordPart(Lines(run.prn)),
              (std::vector<std::string>{"00001: 01/01/05 00:00:00 =  0.01", kEquals}));
    EXPECT_EQ(run.csv, "01/01/05, 00:00:00,  0.01\r\n");
    EXPECT_EQ(run.result.bytesRead, run.result.length);
}

TEST_F(Conversion, SetHeaderCutShortEndsLikeTheEndOfTheFile) {
    Image image = Untimed(1);
    image.items = {Set(1, {1, 1, 5, 0, 0, 0}, 0), Rec(1)};
    const std::vector<std::uint8_t> full = sample::Build(image);
    // Cut inside the time bytes and inside the last four header bytes.
    for (std::size_t keep : {4u, 5u, 10u, 17u, 18u, 20u}) {
        const std::vector<std::uint8_t> bytes(full.begin(),
                                              full.begin() + static_cast<std::ptrdiff_t>(keep));
        const MemoryRun run = Convert(bytes);
        EXPECT_EQ(run.result.outcome, ConvertOutcome::Completed) << keep;
        EXPECT_EQ(run.prn, kEquals + "\r\n") << keep;
        EXPECT_TRUE(run.csv.empty());
    }
}

TEST_F(Conversion, FileHeaderAlone) {
    const MemoryRun empty = Convert(std::vector<std::uint8_t>{});
    EXPECT_EQ(empty.result.outcome, ConvertOutcome::Corrupt);
    EXPECT_TRUE(empty.prn.empty());
    const MemoryRun marker = Convert(std::vector<std::uint8_t>{0xC3, 0xC3, 0xC3});
    EXPECT_EQ(marker.result.outcome, ConvertOutcome::Completed);
    EXPECT_EQ(marker.prn, kEquals + "\r\n");
}

TEST_F(Conversion, EmptySetAtTheEndOfTheFile) {
    Image image = Untimed(1);
    image.items = {Set(1, {1, 1, 5, 0, 0, 0}, 0)};
    const MemoryRun run = Convert(image);
    ASSERT_EQ(run.result.outcome, ConvertOutcome::Completed);
    EXPECT_EQ(RecordPart(Lines(run.prn)), (std::vector<std::string>{kEquals}));
    EXPECT_EQ(run.yields, 0);
}

TEST_F(Conversion, TooLargeFileFailsCleanly) {
    const std::vector<std::uint8_t> bytes{0xC3, 0xC3, 0xC3, 1};
    MemorySource source(bytes.data(), bytes.size());
    StringSink prn, csv;
    const ConvertResult result = ConvertImage(source, std::int64_t{1} << 31, prn, csv, "X.PRN", {});
    EXPECT_EQ(result.outcome, ConvertOutcome::Failed);
    EXPECT_EQ(result.failureNumber, 3);
    EXPECT_TRUE(prn.text.empty());
}

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

TEST_F(Conversion, ReadErrorIsAFailure) {
    Image image = Untimed(1);
    image.items = {Set(1, {1, 1, 5, 0, 0, 0}, 0), Rec(1), Rec(2)};
    const std::vector<std::uint8_t> bytes = sample::Build(image);
    FailingSource source({bytes.begin(), bytes.end() - 2});
    StringSink prn, csv;
    const ConvertResult result =
        ConvertImage(source, static_cast<std::int64_t>(bytes.size()), prn, csv, "X.PRN", {});
    EXPECT_EQ(result.outcome, ConvertOutcome::Failed);
    EXPECT_EQ(result.failureNumber, 4);
    // What was converted before the failure is written.
    EXPECT_EQ(csv.text, "01/01/05, 00:00:00,  0.01\r\n");
}

class FullSink : public TextSink {
  public:
    explicit FullSink(std::size_t room) : room_(room) {}
    bool Write(const char* data, std::size_t size) override {
        if (size > room_) return false;
        text.append(data, size);
        room_ -= size;
        return true;
    }
    std::string text;

  private:
    std::size_t room_;
};

TEST_F(Conversion, WriteErrorsAreFailures) {
    Image image = Untimed(1);
    image.items = {SetWithEnd(1, {1, 1, 5, 0, 0, 0}, {1, 1, 5, 0, 0, 1}, 14)};
    for (int i = 0; i < 5000; ++i) image.items.push_back(Rec(i % 1000));
    const std::vector<std::uint8_t> bytes = sample::Build(image);
    {
        MemorySource source(bytes.data(), bytes.size());
        FullSink prn(1000);
        StringSink csv;
        const ConvertResult result =
            ConvertImage(source, static_cast<std::int64_t>(bytes.size()), prn, csv, "X.PRN", {});
        EXPECT_EQ(result.failureNumber, 9);
        EXPECT_EQ(result.message,
                  "Error 9. Cannot write the PRN file. VSDownload\r\nThis BIN file is corrupted.");
    }
    {
        MemorySource source(bytes.data(), bytes.size());
        StringSink prn;
        FullSink csv(0);
        const ConvertResult result =
            ConvertImage(source, static_cast<std::int64_t>(bytes.size()), prn, csv, "X.PRN", {});
        EXPECT_EQ(result.failureNumber, 10);
        // The run stopped soon after the first failed write, not at the end of the file.
        EXPECT_LT(result.bytesRead, result.length);
    }
}

// --- Progress -------------------------------------------------------------------------------

TEST_F(Conversion, ProgressCountsEveryByteAndYieldsAfterEveryRecord) {
    Image image = Timed(2);
    image.items = {Set(1, {1, 1, 5, 0, 0, 0}, 0, 1), Rec(1), Rec(2), Rec(3),
                   Set(2, {1, 1, 5, 0, 0, 0}, 0, 0), Rec(4), Rec(5), EndMark()};
    const std::vector<std::uint8_t> bytes = sample::Build(image);
    std::vector<std::int64_t> seen;
    MemorySource source(bytes.data(), bytes.size());
    StringSink prn, csv;
    const std::int64_t length = static_cast<std::int64_t>(bytes.size());
    const ConvertResult result =
        ConvertImage(source, length, prn, csv, "X.PRN", [&](std::int64_t read, std::int64_t of) {
            EXPECT_EQ(of, length);
            seen.push_back(read);
        });
    EXPECT_EQ(seen, (std::vector<std::int64_t>{4 + 17 + 7, 4 + 17 + 14, 4 + 17 + 21,
                                               4 + 17 + 21 + 17 + 6, 4 + 17 + 21 + 17 + 12}));
    EXPECT_EQ(result.length, length);
    EXPECT_EQ(result.bytesRead, length - 6);
}

// ConvertBINtoPRN shows exactly one message and yields after every record.
class RecordingNotifier : public ConvertNotifier {
  public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void Yield() override { ++yields; }
    std::vector<std::string> messages;
    int yields = 0;
};

TEST_F(Conversion, ConvertBINtoPRNShowsTheOutcomeOnce) {
    TempDir dir;
    Image image = Untimed(1);
    image.items = {Set(1, {1, 1, 5, 0, 0, 0}, 0), Rec(1), Rec(2), Rec(3), EndMark()};
    WriteFile(dir.path() / "Run.bin", sample::Build(image));
    RecordingNotifier notifier;
    ConvertBINtoPRN(dir.str(), "Run.bin", notifier);
    EXPECT_EQ(
        notifier.messages,
        (std::vector<std::string>{"The conversion has completed.  Your ASCII file is: RUN.PRN"}));
    EXPECT_EQ(notifier.yields, 3);
    // The figures and names the dialog reads live in the program-wide variables.
    EXPECT_EQ(gFileLength, static_cast<std::int32_t>(sample::Build(image).size()));
    EXPECT_EQ(gBytesRead, gFileLength - 6);
    EXPECT_EQ(gPrnFile, dir.str() + "/RUN.PRN");
    EXPECT_EQ(gCsvFile, dir.str() + "/RUN.CSV");

    RecordingNotifier missing;
    ConvertBINtoPRN(dir.str(), "Gone.BIN", missing);
    EXPECT_EQ(missing.messages,
              (std::vector<std::string>{
                  "Error 1. Cannot open the BIN file. VSDownload\r\nThis BIN file is corrupted."}));
    EXPECT_EQ(missing.yields, 0);
}

}  // namespace
