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
#include "instrument/BinBuilder.h"

namespace {

using namespace vsdl::conversion;
using Fields = std::vector<int>;

// Every decoder's fields in the order of its parameters, from the record's bytes.
Fields Decode(const std::vector<int>& b) {
    std::int16_t f[11] = {};
    const auto in = [&b](std::size_t i) { return static_cast<std::int16_t>(b[i]); };
    switch (b.size()) {
        case 2:
            Unpack2Byte(in(0), in(1), f[0], f[1], f[2]);
            return {f, f + 3};
        case 3:
            Unpack3Byte(in(0), in(1), in(2), f[0], f[1], f[2], f[3], f[4]);
            return {f, f + 5};
        case 6:
            Unpack6Byte(in(0), in(1), in(2), in(3), in(4), in(5), f[0], f[1], f[2], f[3], f[4],
                        f[5], f[6], f[7], f[8]);
            return {f, f + 9};
        default:
            Unpack7Byte(in(0), in(1), in(2), in(3), in(4), in(5), in(6), f[0], f[1], f[2], f[3],
                        f[4], f[5], f[6], f[7], f[8], f[9], f[10]);
            return {f, f + 11};
    }
}

TEST(Texts, DecodersTakeEachFieldFromItsBits) {
    const std::pair<std::vector<int>, Fields> cases[] = {
        // hour minute second month day yearOffset [temp F] negative decimals reading
        {{170, 170, 170, 170, 170, 170}, {21, 21, 21, 5, 10, 42, 0, 2, 682}},
        {{85, 85, 85, 85, 85, 85}, {10, 42, 42, 10, 21, 21, 1, 1, 341}},
        {{170, 170, 170, 170, 170, 170, 170}, {21, 21, 21, 5, 10, 42, 682, 1, 0, 2, 682}},
        {{85, 85, 85, 85, 85, 85, 85}, {10, 42, 42, 10, 21, 21, 341, 0, 1, 1, 341}},
        // One time field at a time at its maximum: none leaks into a neighbour.
        {{0xF8, 0, 0, 0, 0, 0}, {31, 0, 0, 0, 0, 0, 0, 0, 0}},
        {{0x07, 0xE0, 0, 0, 0, 0}, {0, 63, 0, 0, 0, 0, 0, 0, 0}},
        {{0, 0x1F, 0x80, 0, 0, 0}, {0, 0, 63, 0, 0, 0, 0, 0, 0}},
        {{0, 0, 0x78, 0, 0, 0}, {0, 0, 0, 15, 0, 0, 0, 0, 0}},
        {{0, 0, 0x07, 0xC0, 0, 0}, {0, 0, 0, 0, 31, 0, 0, 0, 0}},
        {{0, 0, 0, 0x3F, 0, 0}, {0, 0, 0, 0, 0, 63, 0, 0, 0}},
        // temp F negative decimals reading
        {{0x3F, 0x68, 123}, {253, 1, 0, 2, 123}},
        {{0xFF, 0xFF, 0xFF}, {1023, 1, 1, 3, 1023}},
        // negative decimals reading; bits 7-5 of the first byte carry nothing
        {{0x03, 0xFF}, {0, 0, 1023}},
        {{0x0F, 0xFF}, {0, 3, 1023}},
        {{0xE0 | 0x1C, 0x05}, {1, 3, 5}},
    };
    for (const auto& [bytes, fields] : cases) EXPECT_EQ(Decode(bytes), fields) << bytes.size();

    // The image builder packs what the decoders unpack, for every length.
    const vsdl::instrument::sample::RecordFields f{23, 59, 58, 12, 31, 63, 1023, 1, 1, 3, 1000};
    for (int length : {2, 3, 6, 7}) {
        const auto packed = vsdl::instrument::sample::PackRecord(length, f);
        const Fields back = Decode({packed.begin(), packed.end()});
        EXPECT_EQ(back.back(), 1000) << length;
        EXPECT_EQ(back[back.size() - 2], 3) << length;
        if (length >= 6) {
            EXPECT_EQ(Fields(back.begin(), back.begin() + 6), (Fields{23, 59, 58, 12, 31, 63}));
        }
    }
}

std::string Text(char* (*put)(char*, int, int, int), int a, int b, int c) {
    char buffer[16];
    char* end = put(buffer, a, b, c);
    return end == nullptr ? std::string("<out of range>") : std::string(buffer, end);
}

char* Temperature(char* out, int tenths, int fahrenheit, int) {
    return PutTemperature(out, TenthsInUnit(tenths, fahrenheit == 1));
}

char* TwoDigits(char* out, int value, int, int) {
    return PutTwoDigits(out, value);
}

TEST(Texts, ReadingTemperatureAndTwoDigitTexts) {
    const std::tuple<int, int, int, const char*> readings[] = {
        // reading decimals negative
        {1023, 0, 0, " 1023."},     {1023, 3, 0, " 1.023"},         {5, 3, 1, "-0.005"},
        {347, 2, 0, " 3.47"},       {341, 1, 1, "-34.1"},           {0, 0, 0, " 0."},
        {0, 3, 0, " 0.000"},        {100, 2, 1, "-1.00"},           {199, 0, 0, " 199."},
        {999, 0, 0, " 999."},       {1024, 0, 0, "<out of range>"}, {-1, 0, 0, "<out of range>"},
        {1, 4, 0, "<out of range>"}};
    for (const auto& [r, d, n, text] : readings) EXPECT_EQ(Text(PutReading, r, d, n), text) << r;

    const std::tuple<int, int, const char*> temperatures[] = {
        // tenths Fahrenheit; Fahrenheit exact: (18 t + 3200) / 10, rounded
        {253, 0, "25.3"}, {253, 1, "77.5"}, {5, 0, "0.5"},        {0, 1, "32.0"},
        {99, 0, "9.9"},   {90, 0, "9.0"},   {1023, 0, "102.3"},   {1023, 1, "216.1"},
        {1, 1, "32.2"},   {3, 1, "32.5"},   {12345, 0, "1234.5"}, {-15, 0, "-1.5"},
        {-200, 1, "-4.0"}};
    for (const auto& [t, f, text] : temperatures) EXPECT_EQ(Text(Temperature, t, f, 0), text) << t;
    for (int t = 0; t <= 1023; ++t) {
        const long tenths = (18L * t + 3200 + 5) / 10;
        ASSERT_EQ(Text(Temperature, t, 1, 0),
                  std::to_string(tenths / 10) + "." + std::to_string(tenths % 10));
    }

    const std::pair<int, const char*> twoDigits[] = {
        {7, "07"}, {103, "03"}, {99, "99"}, {100, "00"}, {153, "53"}};
    for (const auto& [v, text] : twoDigits) EXPECT_EQ(Text(TwoDigits, v, 0, 0), text) << v;
}

TEST(Texts, HeaderTextsAndFailureCatalogue) {
    // Every code: its seconds step the running time.
    const std::tuple<int, const char*, int> intervals[] = {
        {0, "1  (SEC)", 1},      {1, "2  (SEC)", 2},      {2, "3  (SEC)", 3},
        {3, "5  (SEC)", 5},      {4, "10  (SEC)", 10},    {5, "20  (SEC)", 20},
        {6, "30  (SEC)", 30},    {7, "1  (MIN)", 60},     {8, "2  (MIN)", 120},
        {9, "3  (MIN)", 180},    {10, "5  (MIN)", 300},   {11, "10  (MIN)", 600},
        {12, "20  (MIN)", 1200}, {13, "30  (MIN)", 1800}, {14, "N/A", 0},
        {255, "N/A", 0}};
    for (const auto& [code, text, seconds] : intervals) {
        EXPECT_EQ(IntervalFor(code).text, text) << code;
        EXPECT_EQ(IntervalFor(code).seconds, seconds) << code;
    }
    const std::pair<int, const char*> units[] = {
        {0, "(   )"}, {7, "(mg / dl)"}, {27, "(fg / mg)"}, {100, "(RAW)"}, {28, ""}, {101, ""}};
    for (const auto& [code, text] : units) EXPECT_EQ(UnitFor(code), text) << code;
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
    return std::string(buffer, t.PutLong(buffer));
}

TEST(Texts, RunningTimeChecksAndAddsWithTheCalendar) {
    const std::pair<std::array<int, 6>, const char*> sets[] = {
        // month day year hour minute second, with the 00-29 / 30-99 pivot
        {{7, 4, 30, 1, 2, 3}, "07/04/1930 01:02:03"},
        {{7, 4, 29, 1, 2, 3}, "07/04/2029 01:02:03"},
        {{2, 29, 0, 0, 0, 0}, "02/29/2000 00:00:00"},
        {{12, 31, 5, 23, 59, 59}, "12/31/2005 23:59:59"},
        {{13, 1, 5, 0, 0, 0}, nullptr},
        {{0, 1, 5, 0, 0, 0}, nullptr},
        {{1, 0, 5, 0, 0, 0}, nullptr},
        {{4, 31, 5, 0, 0, 0}, nullptr},
        {{2, 29, 99, 0, 0, 0}, nullptr},
        {{2, 29, 30, 0, 0, 0}, nullptr},
        {{1, 1, 5, 24, 0, 0}, nullptr},
        {{1, 1, 5, 0, 60, 0}, nullptr},
        {{1, 1, 5, 0, 0, 60}, nullptr},
        {{1, 1, 100, 0, 0, 0}, nullptr}};
    for (const auto& [f, text] : sets) {
        RunningTime t;
        const bool valid = t.Set(f[0], f[1], f[2], f[3], f[4], f[5]);
        EXPECT_EQ(valid, text != nullptr) << f[0] << "/" << f[1] << "/" << f[2];
        // A failed Set leaves the time as it was.
        EXPECT_EQ(Long(t), valid ? text : "01/01/2000 00:00:00");
    }

    const std::tuple<std::array<int, 6>, int, const char*> steps[] = {
        {{12, 31, 99, 23, 59, 59}, 1, "01/01/2000 00:00:00"},
        {{2, 28, 0, 23, 59, 59}, 1, "02/29/2000 00:00:00"},
        {{2, 28, 99, 23, 59, 59}, 1, "03/01/1999 00:00:00"},
        {{4, 30, 5, 23, 30, 0}, 1800, "05/01/2005 00:00:00"},
        {{1, 31, 5, 23, 59, 30}, 60, "02/01/2005 00:00:30"},
        {{6, 15, 5, 10, 59, 50}, 20, "06/15/2005 11:00:10"},
        {{3, 4, 5, 6, 7, 8}, 0, "03/04/2005 06:07:08"}};
    for (const auto& [f, seconds, text] : steps) {
        RunningTime t;
        ASSERT_TRUE(t.Set(f[0], f[1], f[2], f[3], f[4], f[5]));
        ASSERT_TRUE(t.Add(seconds));
        EXPECT_EQ(Long(t), text);
        char shortText[kStampLength];
        t.PutShort(shortText);
        EXPECT_EQ(std::string(shortText, kStampLength), std::string(text).erase(6, 2));
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
    const std::tuple<int, std::int32_t, const char*, const char*> cases[] = {
        {2, 1, " 1.23", "00001: 12/03/05 14:22:10 =  1.23\r\n12/03/05, 14:22:10,  1.23\r\n"},
        {3, 1, " 1.23",
         "00001: 12/03/05 14:22:10 =  1.23   25.3 (C)\r\n12/03/05, 14:22:10, 1.23, 25.3, (C)\r\n"},
        {3, 1, "-0.005",
         "00001: 12/03/05 14:22:10 = -0.005   25.3 (C)\r\n12/03/05, 14:22:10,-0.005, 25.3, "
         "(C)\r\n"},
        {7, 100000, " 1.23",
         "00000: 12/03/05 14:22:10 =  1.23   25.3 (C)\r\n12/03/05, 14:22:10,  1.23, 25.3, (C)\r\n"},
        {2, 7, "",
         "00007: 12/03/2005 14:22:10 =  0.000 Error***\r\n"
         "12/03/05, 14:22:10, 0.000 Error***\r\n"},
        {3, 123456, "",
         "23456: 12/03/2005 14:22:10 =  0.000 Error***   25.3 (C)\r\n"
         "12/03/05, 14:22:10, 0.000 Error***, 25.3, (C)\r\n"},
        {6, 7, "",
         " 00007: 12/03/05 14:22:10 =  0.000 Error***\r\n"
         "12/03/05, 14:22:10, 0.000 Error***\r\n"},
        {7, 2147483647, "",
         " 83647: 12/03/05 14:22:10 =  0.000 Error***   25.3 (C)\r\n"
         "12/03/05, 14:22:10, 0.000 Error***, 25.3, (C)\r\n"}};
    for (const auto& [length, counter, reading, text] : cases) {
        EXPECT_EQ(lines(length, counter, reading), text) << length << " " << reading;
    }
    r.temp = "216.1";
    r.unit = "(F)";
    EXPECT_LE(lines(7, 1, "-1023.").size(), 2 * kMaxRecordLine);
}

}  // namespace
