// The pieces of a report, each against a table: the record decoders, the reading, temperature
// and time texts, the header texts, the failure catalogue, the running time and the record lines.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "conversion/Failures.h"
#include "conversion/HeaderTexts.h"
#include "conversion/RecordTexts.h"
#include "conversion/RunningTime.h"
#include "conversion/Unpack.h"

namespace {

using namespace vsdl::conversion;

RecordFields Unpack(const std::vector<int>& b) {
    const auto in = [&b](std::size_t i) { return static_cast<std::int16_t>(b[i]); };
    switch (b.size()) {
        case 2:
            return Unpack2Byte(in(0), in(1));
        case 3:
            return Unpack3Byte(in(0), in(1), in(2));
        case 6:
            return Unpack6Byte(in(0), in(1), in(2), in(3), in(4), in(5));
        default:
            return Unpack7Byte(in(0), in(1), in(2), in(3), in(4), in(5), in(6));
    }
}

std::array<int, 11> All(const RecordFields& f) {
    return {f.hour,       f.minute,     f.second,   f.month,    f.day,    f.yearOffset,
            f.tempTenths, f.fahrenheit, f.negative, f.decimals, f.reading};
}

TEST(Texts, DecodersTakeEachFieldFromItsBits) {
    // One case a row, its fields in the order of the record's bits.
    // clang-format off
    const struct {
        std::vector<int> bytes;
        RecordFields fields;
    } cases[] = {
        // Alternating bits; the 6-byte layout is the 7-byte one without its temperature.
        {.bytes = {170, 170, 170, 170, 170, 170, 170},
         .fields = {.hour = 21, .minute = 21, .second = 21, .month = 5, .day = 10,
                    .yearOffset = 42, .tempTenths = 682, .fahrenheit = 1, .decimals = 2,
                    .reading = 682}},
        {.bytes = {85, 85, 85, 85, 85, 85, 85},
         .fields = {.hour = 10, .minute = 42, .second = 42, .month = 10, .day = 21,
                    .yearOffset = 21, .tempTenths = 341, .negative = 1, .decimals = 1,
                    .reading = 341}},
        // One time field at a time at its maximum: none leaks into a neighbour.
        {.bytes = {0xF8, 0, 0, 0, 0, 0}, .fields = {.hour = 31}},
        {.bytes = {0x07, 0xE0, 0, 0, 0, 0}, .fields = {.minute = 63}},
        {.bytes = {0, 0x1F, 0x80, 0, 0, 0}, .fields = {.second = 63}},
        {.bytes = {0, 0, 0x78, 0, 0, 0}, .fields = {.month = 15}},
        {.bytes = {0, 0, 0x07, 0xC0, 0, 0}, .fields = {.day = 31}},
        {.bytes = {0, 0, 0, 0x3F, 0, 0}, .fields = {.yearOffset = 63}},
        {.bytes = {0x3F, 0x68, 123},
         .fields = {.tempTenths = 253, .fahrenheit = 1, .decimals = 2, .reading = 123}},
        {.bytes = {0xFF, 0xFF, 0xFF},
         .fields = {.tempTenths = 1023, .fahrenheit = 1, .negative = 1, .decimals = 3,
                    .reading = 1023}},
        // Bits 7-5 of the reading's first byte carry nothing.
        {.bytes = {0x03, 0xFF}, .fields = {.reading = 1023}},
        {.bytes = {0x0F, 0xFF}, .fields = {.decimals = 3, .reading = 1023}},
        {.bytes = {0xE0 | 0x1C, 0x05}, .fields = {.negative = 1, .decimals = 3, .reading = 5}},
    };
    // clang-format on
    for (const auto& c : cases) EXPECT_EQ(All(Unpack(c.bytes)), All(c.fields)) << c.bytes.size();
}

std::string Text(const char* end, const char* buffer) {
    return end == nullptr ? "" : std::string(buffer, static_cast<std::size_t>(end - buffer));
}

TEST(Texts, ReadingAndTemperatureTexts) {
    const struct {
        int reading, decimals;
        bool negative;
        const char* text;   // the report's; empty: out of range, nothing written
        const char* plain;  // the export's
    } readings[] = {
        {.reading = 1023, .decimals = 0, .negative = false, .text = " 1023.", .plain = "1023"},
        {.reading = 1023, .decimals = 3, .negative = false, .text = " 1.023", .plain = "1.023"},
        {.reading = 5, .decimals = 3, .negative = true, .text = "-0.005", .plain = "-0.005"},
        {.reading = 347, .decimals = 2, .negative = false, .text = " 3.47", .plain = "3.47"},
        {.reading = 341, .decimals = 1, .negative = true, .text = "-34.1", .plain = "-34.1"},
        {.reading = 0, .decimals = 0, .negative = false, .text = " 0.", .plain = "0"},
        {.reading = 0, .decimals = 0, .negative = true, .text = "-0.", .plain = "-0"},
        {.reading = 100, .decimals = 2, .negative = true, .text = "-1.00", .plain = "-1.00"},
        {.reading = 1024, .decimals = 0, .negative = false, .text = "", .plain = ""},
        {.reading = -1, .decimals = 0, .negative = false, .text = "", .plain = ""},
        {.reading = 1, .decimals = 4, .negative = false, .text = "", .plain = ""}};
    for (const auto& r : readings) {
        char b[16];
        EXPECT_EQ(Text(PutReading(b, r.reading, r.decimals, r.negative), b), r.text) << r.reading;
        EXPECT_EQ(Text(PutPlainReading(b, r.reading, r.decimals, r.negative), b), r.plain)
            << r.reading;
    }

    // Fahrenheit exact: (18 t + 3200) / 10, rounded.
    const struct {
        int tenths;  // of a degree Celsius
        const char *celsius, *fahrenheit;
    } temperatures[] = {{.tenths = 253, .celsius = "25.3", .fahrenheit = "77.5"},
                        {.tenths = 0, .celsius = "0.0", .fahrenheit = "32.0"},
                        {.tenths = 5, .celsius = "0.5", .fahrenheit = "32.9"},
                        {.tenths = 99, .celsius = "9.9", .fahrenheit = "49.8"},
                        {.tenths = 90, .celsius = "9.0", .fahrenheit = "48.2"},
                        {.tenths = 1023, .celsius = "102.3", .fahrenheit = "216.1"},
                        {.tenths = 1, .celsius = "0.1", .fahrenheit = "32.2"},
                        {.tenths = 3, .celsius = "0.3", .fahrenheit = "32.5"},
                        {.tenths = 12345, .celsius = "1234.5", .fahrenheit = "2254.1"},
                        {.tenths = -15, .celsius = "-1.5", .fahrenheit = "29.3"},
                        {.tenths = -200, .celsius = "-20.0", .fahrenheit = "-4.0"}};
    for (const auto& t : temperatures) {
        char b[16];
        EXPECT_EQ(Text(PutTemperature(b, TenthsInUnit(t.tenths, false)), b), t.celsius);
        EXPECT_EQ(Text(PutTemperature(b, TenthsInUnit(t.tenths, true)), b), t.fahrenheit);
    }
}

TEST(Texts, HeaderTextsAndFailureCatalogue) {
    // Every code's text names the seconds that step the running time, the steps grow, and past
    // the table there is none.
    int previous = 0;
    for (int code = 0; code < 14; ++code) {
        const Interval i = IntervalFor(code);
        const bool minutes = i.text.ends_with("  (MIN)");
        EXPECT_TRUE(minutes || i.text.ends_with("  (SEC)")) << code;
        EXPECT_EQ(i.seconds, std::stoi(std::string(i.text)) * (minutes ? 60 : 1)) << code;
        EXPECT_GT(i.seconds, previous) << code;
        previous = i.seconds;
    }
    EXPECT_EQ(previous, 1800);
    for (int code : {14, 255}) {
        EXPECT_EQ(IntervalFor(code).text, "N/A");
        EXPECT_EQ(IntervalFor(code).seconds, 0);
    }
    const struct {
        int code;
        const char* name;
        bool known;
    } units[] = {{.code = 0, .name = "", .known = true},
                 {.code = 7, .name = "mg / dl", .known = true},
                 {.code = 27, .name = "fg / mg", .known = true},
                 {.code = 100, .name = "RAW", .known = true},
                 {.code = 28, .name = "", .known = false},
                 {.code = 101, .name = "", .known = false},
                 {.code = -1, .name = "", .known = false}};
    for (const auto& u : units) {
        EXPECT_EQ(UnitFor(u.code).name, u.name) << u.code;
        EXPECT_EQ(UnitFor(u.code).known, u.known) << u.code;
    }
    EXPECT_EQ(std::string(MethodFor(0)) + std::string(MethodFor(1)) + std::string(MethodFor(2)),
              "INSTANTAVERAGEUnknown");

    EXPECT_EQ(FailureMessage(Failure::InvalidEndTime),
              "Error 6. Invalid end date or time. VSDownload\r\nThis BIN file is corrupted.");
    std::set<std::string_view> seen;
    for (int n = 1; n <= 12; ++n) {
        const std::string message = FailureMessage(static_cast<Failure>(n));
        EXPECT_EQ(message.rfind("Error " + std::to_string(n) + ". ", 0), 0u) << message;
        EXPECT_TRUE(seen.insert(FailureDescription(static_cast<Failure>(n))).second) << message;
    }
}

std::string Long(const RunningTime& t) {
    char buffer[kLongStampLength];
    const Stamp s{t.month(), t.day(), t.year(), t.hour(), t.minute(), t.second()};
    return std::string(buffer, PutStamp(buffer, s, true));
}

TEST(Texts, RunningTimeChecksAndAddsWithTheCalendar) {
    // clang-format off
    const struct {
        std::array<int, 6> fields;  // month day year hour minute second, two-digit year
        const char* text = nullptr;  // none: no valid time
    } sets[] = {
        // The 00-29 / 30-99 pivot.
        {.fields = {7, 4, 30, 1, 2, 3}, .text = "07/04/1930 01:02:03"},
        {.fields = {7, 4, 29, 1, 2, 3}, .text = "07/04/2029 01:02:03"},
        {.fields = {2, 29, 0, 0, 0, 0}, .text = "02/29/2000 00:00:00"},
        {.fields = {12, 31, 5, 23, 59, 59}, .text = "12/31/2005 23:59:59"},
        {.fields = {13, 1, 5, 0, 0, 0}}, {.fields = {0, 1, 5, 0, 0, 0}},
        {.fields = {1, 0, 5, 0, 0, 0}},  {.fields = {4, 31, 5, 0, 0, 0}},
        {.fields = {2, 29, 99, 0, 0, 0}}, {.fields = {2, 29, 30, 0, 0, 0}},
        {.fields = {1, 1, 5, 24, 0, 0}}, {.fields = {1, 1, 5, 0, 60, 0}},
        {.fields = {1, 1, 5, 0, 0, 60}}, {.fields = {1, 1, 100, 0, 0, 0}}};
    // clang-format on
    for (const auto& c : sets) {
        const auto& f = c.fields;
        RunningTime t;
        const bool valid = t.Set(f[0], f[1], f[2], f[3], f[4], f[5]);
        EXPECT_EQ(valid, c.text != nullptr) << f[0] << "/" << f[1] << "/" << f[2];
        // A failed Set leaves the time as it was.
        EXPECT_EQ(Long(t), valid ? c.text : "01/01/2000 00:00:00");
    }

    const struct {
        std::array<int, 6> from;
        int seconds;
        const char* text;
    } steps[] = {{.from = {12, 31, 99, 23, 59, 59}, .seconds = 1, .text = "01/01/2000 00:00:00"},
                 {.from = {2, 28, 0, 23, 59, 59}, .seconds = 1, .text = "02/29/2000 00:00:00"},
                 {.from = {2, 28, 99, 23, 59, 59}, .seconds = 1, .text = "03/01/1999 00:00:00"},
                 {.from = {4, 30, 5, 23, 30, 0}, .seconds = 1800, .text = "05/01/2005 00:00:00"},
                 {.from = {1, 31, 5, 23, 59, 30}, .seconds = 60, .text = "02/01/2005 00:00:30"},
                 {.from = {6, 15, 5, 10, 59, 50}, .seconds = 20, .text = "06/15/2005 11:00:10"},
                 {.from = {6, 15, 5, 10, 59, 30}, .seconds = 20, .text = "06/15/2005 10:59:50"},
                 {.from = {3, 4, 5, 6, 7, 8}, .seconds = 0, .text = "03/04/2005 06:07:08"}};
    for (const auto& c : steps) {
        const auto& f = c.from;
        RunningTime t;
        ASSERT_TRUE(t.Set(f[0], f[1], f[2], f[3], f[4], f[5]));
        ASSERT_TRUE(t.Add(c.seconds));
        EXPECT_EQ(Long(t), c.text);
    }

    // A year of 30-minute steps from a leap year's start lands exactly 366 days later.
    RunningTime year;
    ASSERT_TRUE(year.Set(1, 1, 8, 0, 0, 0));
    for (int i = 0; i < 366 * 48; ++i) ASSERT_TRUE(year.Add(1800));
    EXPECT_EQ(Long(year), "01/01/2009 00:00:00");

    RunningTime last;
    ASSERT_TRUE(last.SetFull(9999, 12, 31, 23, 59, 58));
    EXPECT_TRUE(last.Add(1));
    EXPECT_FALSE(last.Add(1));
    EXPECT_EQ(Long(last), "12/31/9999 23:59:59");
}

TEST(Texts, RecordLinesOfEveryLengthInAndOutOfRange) {
    RecordTexts r;
    r.ts = "12/03/05 14:22:10";
    r.td = "12/03/2005 14:22:10";
    r.temp = "25.3";
    r.unit = "(C)";
    const auto lines = [&r](int length, std::int32_t counter, std::string_view reading) {
        r.length = length;
        r.counter = counter;
        r.inRange = !reading.empty();
        r.reading = reading;
        char prn[kMaxRecordLine];
        char csv[kMaxRecordLine];
        return std::string(prn, PutPrnLine(prn, r)) + std::string(csv, PutCsvLine(csv, r));
    };
    // clang-format off
    const struct {
        int length;
        std::int32_t counter;
        const char* reading;  // empty: out of range
        const char* lines;    // the PRN line, then the CSV line
    } cases[] = {
        {.length = 2, .counter = 1, .reading = " 1.23",
         .lines = "00001: 12/03/05 14:22:10 =  1.23\r\n12/03/05, 14:22:10,  1.23\r\n"},
        {.length = 3, .counter = 1, .reading = " 1.23",
         .lines = "00001: 12/03/05 14:22:10 =  1.23   25.3 (C)\r\n"
                  "12/03/05, 14:22:10, 1.23, 25.3, (C)\r\n"},
        {.length = 3, .counter = 1, .reading = "-0.005",
         .lines = "00001: 12/03/05 14:22:10 = -0.005   25.3 (C)\r\n"
                  "12/03/05, 14:22:10,-0.005, 25.3, (C)\r\n"},
        {.length = 7, .counter = 100000, .reading = " 1.23",
         .lines = "00000: 12/03/05 14:22:10 =  1.23   25.3 (C)\r\n"
                  "12/03/05, 14:22:10,  1.23, 25.3, (C)\r\n"},
        {.length = 2, .counter = 7, .reading = "",
         .lines = "00007: 12/03/2005 14:22:10 =  0.000 Error***\r\n"
                  "12/03/05, 14:22:10, 0.000 Error***\r\n"},
        {.length = 3, .counter = 123456, .reading = "",
         .lines = "23456: 12/03/2005 14:22:10 =  0.000 Error***   25.3 (C)\r\n"
                  "12/03/05, 14:22:10, 0.000 Error***, 25.3, (C)\r\n"},
        {.length = 6, .counter = 7, .reading = "",
         .lines = " 00007: 12/03/05 14:22:10 =  0.000 Error***\r\n"
                  "12/03/05, 14:22:10, 0.000 Error***\r\n"},
        {.length = 7, .counter = 2147483647, .reading = "",
         .lines = " 83647: 12/03/05 14:22:10 =  0.000 Error***   25.3 (C)\r\n"
                  "12/03/05, 14:22:10, 0.000 Error***, 25.3, (C)\r\n"}};
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(lines(c.length, c.counter, c.reading), c.lines) << c.length << " " << c.reading;
    }
    r.temp = "216.1";
    r.unit = "(F)";
    EXPECT_LE(lines(7, 1, "-1023.").size(), 2 * kMaxRecordLine);
}

}  // namespace
