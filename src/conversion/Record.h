// One record as the conversion writes it: what its PRN and CSV lines are made of, and the record
// rules the decoder shares with them (lengths, stamp fields, the reading's range). Below the
// decoder, the record texts and the converter.
#pragma once

#include <cstdint>
#include <string_view>

namespace vsdl::conversion {

// Records with a time stamp are 6 or 7 bytes long, those without 2 or 3; the odd lengths carry
// a temperature.
constexpr int RecordLength(bool timed, bool temperature) {
    return (timed ? 6 : 2) + (temperature ? 1 : 0);
}
constexpr bool IsTimed(int length) {
    return length == 6 || length == 7;
}
constexpr bool HasTemperature(int length) {
    return length == 3 || length == 7;
}

// A date and time as its six fields, as the reports show them (each by its last two digits).
struct Stamp {
    int month, day, year, hour, minute, second;
};

// Whether a reading can be shown: the digits 0-1023 with 0-3 decimals. With fields taken from
// bytes it always can; the report keeps error lines for one that cannot.
constexpr bool ReadingInRange(int reading, int decimals) {
    return reading >= 0 && reading <= 1023 && decimals >= 0 && decimals <= 3;
}

struct RecordTexts {
    int length = 2;            // record length: 2, 3, 6 or 7
    std::int32_t counter = 1;  // record counter of the data set (CNT shows its last 5 digits)
    std::string_view ts;       // TS: "mm/dd/yy hh:mm:ss", always 17 characters
    std::string_view td;       // TD: running time, in the error lines of 2- and 3-byte records
    bool inRange = true;       // false: the error lines, with "0.000 Error***"
    std::string_view reading;  // SIGN NUM when in range
    std::string_view temp;     // TEMP (may be empty)
    std::string_view unit;     // TU: "(C)", "(F)" or empty
};

}  // namespace vsdl::conversion
