// Reading, temperature, two-digit and header texts, and the failure messages.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "conversion/Failures.h"
#include "conversion/HeaderTexts.h"
#include "conversion/RecordTexts.h"
#include "conversion/RunningTime.h"

namespace {

using namespace vsdl::conversion;

std::string ReadingText(int reading, int decimals, int negative) {
    char buffer[16];
    char* end = PutReading(buffer, reading, decimals, negative);
    return end == nullptr ? std::string("<error>") : std::string(buffer, end);
}

std::string TempText(int tenths, bool fahrenheit) {
    char buffer[16];
    return std::string(buffer, PutTemperature(buffer, tenths, fahrenheit));
}

std::string Two(int value) {
    char buffer[2];
    PutTwoDigits(buffer, value);
    return std::string(buffer, 2);
}

TEST(ReadingText, DecimalsPlaceTheFullStop) {
    // reading, decimals, negative, text
    const std::tuple<int, int, int, const char*> cases[] = {
        {1023, 0, 0, " 1023."}, {1023, 3, 0, " 1.023"}, {5, 3, 1, "-0.005"}, {347, 2, 0, " 3.47"},
        {682, 2, 0, " 6.82"},   {341, 1, 1, "-34.1"},   {0, 0, 0, " 0."},    {0, 3, 0, " 0.000"},
        {40, 1, 0, " 4.0"},     {100, 2, 1, "-1.00"},
    };
    for (const auto& [reading, decimals, negative, text] : cases) {
        EXPECT_EQ(ReadingText(reading, decimals, negative), text) << reading << "/" << decimals;
    }
}

TEST(ReadingText, OutOfRangeGivesNoText) {
    EXPECT_EQ(ReadingText(1024, 0, 0), "<error>");
    EXPECT_EQ(ReadingText(-1, 0, 0), "<error>");
    EXPECT_EQ(ReadingText(1, 4, 0), "<error>");
}

TEST(TemperatureText, CelsiusAndExactFahrenheit) {
    // tenths, Fahrenheit, text. 1023 F: 18 * 1023 + 3200 = 21614 -> 2161.4; 1 F: 3218 -> 321.8
    // rounds up; 3 F: 3254 -> 325.4 rounds down; 12345 is beyond what a record holds.
    const std::tuple<int, bool, const char*> cases[] = {
        {253, false, "25.3"}, {253, true, "77.5"},      {5, false, "0.5"},     {0, false, "0.0"},
        {0, true, "32.0"},    {1023, false, "102.3"},   {1023, true, "216.1"}, {1, true, "32.2"},
        {3, true, "32.5"},    {12345, false, "1234.5"}, {99, false, "9.9"},    {90, false, "9.0"},
    };
    for (const auto& [tenths, fahrenheit, text] : cases) {
        EXPECT_EQ(TempText(tenths, fahrenheit), text) << tenths << (fahrenheit ? " F" : " C");
    }
}

TEST(TemperatureText, FahrenheitMatchesTheFormulaForEveryValue) {
    for (int t = 0; t <= 1023; ++t) {
        const long scaled = 18L * t + 3200;  // hundredths of a degree Fahrenheit
        const long tenths = (scaled + 5) / 10;
        const std::string expected =
            std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
        ASSERT_EQ(TempText(t, true), expected) << t;
    }
}

TEST(TwoDigitText, KeepsTheLastTwoDigits) {
    // The last five are years: YearOffset + 90.
    const std::pair<int, const char*> cases[] = {
        {7, "07"},      {23, "23"},      {103, "03"},     {0, "00"},       {0 + 90, "90"},
        {9 + 90, "99"}, {10 + 90, "00"}, {15 + 90, "05"}, {63 + 90, "53"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(Two(value), text) << value;
}

TEST(HeaderTexts, IntervalTable) {
    EXPECT_EQ(IntervalFor(0).text, "1  (SEC)");
    EXPECT_EQ(IntervalFor(0).seconds, 1);
    EXPECT_EQ(IntervalFor(3).text, "5  (SEC)");
    EXPECT_EQ(IntervalFor(6).seconds, 30);
    EXPECT_EQ(IntervalFor(7).text, "1  (MIN)");
    EXPECT_EQ(IntervalFor(11).text, "10  (MIN)");
    EXPECT_EQ(IntervalFor(13).text, "30  (MIN)");
    EXPECT_EQ(IntervalFor(13).seconds, 1800);
    EXPECT_EQ(IntervalFor(14).text, "N/A");
    EXPECT_EQ(IntervalFor(14).seconds, 0);
    EXPECT_EQ(IntervalFor(255).text, "N/A");
}

TEST(HeaderTexts, UnitAndMethodTables) {
    const std::pair<int, const char*> units[] = {
        {0, "(   )"},      {1, "(FSU)"},   {7, "(mg / dl)"}, {14, "(ug / g)"}, {20, "(ng / mg)"},
        {27, "(fg / mg)"}, {100, "(RAW)"}, {28, ""},         {99, ""},         {101, ""},
    };
    for (const auto& [code, text] : units) EXPECT_EQ(UnitFor(code), text) << code;
    EXPECT_EQ(MethodFor(0), "INSTANT");
    EXPECT_EQ(MethodFor(1), "AVERAGE");
    EXPECT_EQ(MethodFor(2), "Unknown");
}

TEST(FailureCatalogue, MessageForm) {
    EXPECT_EQ(FailureMessage(Failure::InvalidEndTime),
              "Error 6. Invalid end date or time. VSDownload\r\nThis BIN file is corrupted.");
    EXPECT_EQ(FailureMessage(Failure::CannotOpenBin),
              "Error 1. Cannot open the BIN file. VSDownload\r\nThis BIN file is corrupted.");
}

TEST(FailureCatalogue, NumbersAreStableAndDescriptionsDistinct) {
    std::set<std::string_view> seen;
    for (int n = 1; n <= 12; ++n) {
        const auto failure = static_cast<Failure>(n);
        const std::string message = FailureMessage(failure);
        EXPECT_EQ(message.rfind("Error " + std::to_string(n) + ". ", 0), 0u) << message;
        EXPECT_NE(FailureDescription(failure), "Unknown failure");
        EXPECT_TRUE(seen.insert(FailureDescription(failure)).second) << message;
    }
    EXPECT_EQ(static_cast<int>(Failure::InvalidStartTime), 5);
    EXPECT_EQ(static_cast<int>(Failure::CannotWriteCsv), 10);
}

}  // namespace
