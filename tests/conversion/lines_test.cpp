// The PRN and CSV lines of one record, normal and error, for every record length.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "conversion/Failures.h"
#include "conversion/HeaderTexts.h"
#include "conversion/RecordTexts.h"
#include "conversion/RunningTime.h"

namespace {

using namespace vsdl::conversion;

struct Texts {
    std::string ts = "12/03/05 14:22:10";
    std::string td = "12/03/2005 14:22:10";
    std::string reading = " 1.23";
    bool inRange = true;
    std::string temp = "25.3";
    std::string unit = "(C)";
};

RecordTexts Make(int length, std::int32_t counter, const Texts& t) {
    RecordTexts r;
    r.length = length;
    r.counter = counter;
    r.ts = t.ts;
    r.td = t.td;
    r.inRange = t.inRange;
    r.reading = t.reading;
    r.temp = t.temp;
    r.unit = t.unit;
    return r;
}

std::string Prn(int length, std::int32_t counter, const Texts& t) {
    char buffer[kMaxRecordLine];
    return std::string(buffer, PutPrnLine(buffer, Make(length, counter, t)));
}

std::string Csv(int length, const Texts& t) {
    char buffer[kMaxRecordLine];
    return std::string(buffer, PutCsvLine(buffer, Make(length, 1, t)));
}

TEST(RecordLines, NormalLines) {
    const Texts t;
    EXPECT_EQ(Prn(2, 1, t), "00001: 12/03/05 14:22:10 =  1.23\r\n");
    EXPECT_EQ(Csv(2, t), "12/03/05, 14:22:10,  1.23\r\n");
    EXPECT_EQ(Prn(3, 1, t), "00001: 12/03/05 14:22:10 =  1.23   25.3 (C)\r\n");
    EXPECT_EQ(Csv(3, t), "12/03/05, 14:22:10, 1.23, 25.3, (C)\r\n");
    EXPECT_EQ(Prn(6, 1, t), "00001: 12/03/05 14:22:10 =  1.23\r\n");
    EXPECT_EQ(Csv(6, t), "12/03/05, 14:22:10,  1.23\r\n");
    EXPECT_EQ(Prn(7, 1, t), "00001: 12/03/05 14:22:10 =  1.23   25.3 (C)\r\n");
    EXPECT_EQ(Csv(7, t), "12/03/05, 14:22:10,  1.23, 25.3, (C)\r\n");
}

TEST(RecordLines, NegativeReadingInAThreeByteCsvLineFollowsTheComma) {
    Texts t;
    t.reading = "-0.005";
    EXPECT_EQ(Csv(3, t), "12/03/05, 14:22:10,-0.005, 25.3, (C)\r\n");
    EXPECT_EQ(Csv(2, t), "12/03/05, 14:22:10, -0.005\r\n");
    EXPECT_EQ(Prn(2, 1, t), "00001: 12/03/05 14:22:10 = -0.005\r\n");
}

TEST(RecordLines, ErrorLines) {
    Texts t;
    t.inRange = false;
    EXPECT_EQ(Prn(2, 7, t), "00007: 12/03/2005 14:22:10 =  0.000 Error***\r\n");
    EXPECT_EQ(Prn(3, 7, t), "00007: 12/03/2005 14:22:10 =  0.000 Error***   25.3 (C)\r\n");
    EXPECT_EQ(Prn(6, 7, t), " 00007: 12/03/05 14:22:10 =  0.000 Error***\r\n");
    EXPECT_EQ(Prn(7, 7, t), " 00007: 12/03/05 14:22:10 =  0.000 Error***   25.3 (C)\r\n");
    EXPECT_EQ(Csv(2, t), "12/03/05, 14:22:10, 0.000 Error***\r\n");
    EXPECT_EQ(Csv(3, t), "12/03/05, 14:22:10, 0.000 Error***, 25.3, (C)\r\n");
    EXPECT_EQ(Csv(6, t), "12/03/05, 14:22:10, 0.000 Error***\r\n");
    EXPECT_EQ(Csv(7, t), "12/03/05, 14:22:10, 0.000 Error***, 25.3, (C)\r\n");
}

TEST(RecordLines, CounterShowsItsLastFiveDigits) {
    const Texts t;
    EXPECT_EQ(Prn(2, 99999, t).substr(0, 7), "99999: ");
    EXPECT_EQ(Prn(2, 100000, t).substr(0, 7), "00000: ");
    EXPECT_EQ(Prn(2, 123456, t).substr(0, 7), "23456: ");
    EXPECT_EQ(Prn(2, 2147483647, t).substr(0, 7), "83647: ");
}

TEST(RecordLines, EmptyTemperatureTextsStillKeepTheirSeparators) {
    Texts t;
    t.temp.clear();
    t.unit.clear();
    EXPECT_EQ(Prn(3, 1, t), "00001: 12/03/05 14:22:10 =  1.23    \r\n");
    EXPECT_EQ(Csv(7, t), "12/03/05, 14:22:10,  1.23, , \r\n");
}

TEST(RecordLines, LongestLinesFitTheReservedRoom) {
    Texts t;
    t.reading = "-1023.";
    t.temp = "216.1";
    t.unit = "(F)";
    EXPECT_LE(Prn(7, 1, t).size(), kMaxRecordLine);
    t.inRange = false;
    EXPECT_LE(Prn(3, 1, t).size(), kMaxRecordLine);
    EXPECT_LE(Csv(3, t).size(), kMaxRecordLine);
}

}  // namespace
