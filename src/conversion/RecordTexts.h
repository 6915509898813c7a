// The texts of one record and its PRN and CSV lines. Writers return the end of what they wrote;
// none writes a terminator.
#pragma once

#include <cstddef>

#include "conversion/Digits.h"
#include "conversion/Record.h"

namespace vsdl::conversion {

// A date and time, each field (never negative) as its last two digits: "mm/dd/yy hh:mm:ss", or
// with the year's four digits "mm/dd/yyyy hh:mm:ss". The one time-stamp formatter of the
// reports; inline, as it runs for every timed record.
inline constexpr std::size_t kStampLength = 17;
inline constexpr std::size_t kLongStampLength = 19;
inline char* PutStamp(char* out, const Stamp& s, bool fourDigitYear = false) {
    const auto two = [](char* at, int v) {
        return digits::PutPair(at, static_cast<unsigned>(v) % 100);
    };
    out = two(out, s.month);
    *out++ = '/';
    out = two(out, s.day);
    *out++ = '/';
    if (fourDigitYear) out = two(out, s.year / 100);
    out = two(out, s.year);
    *out++ = ' ';
    out = two(out, s.hour);
    *out++ = ':';
    out = two(out, s.minute);
    *out++ = ':';
    return two(out, s.second);
}

// Sign text and number text of a reading ("-0.005", " 1023."), at most 9 characters. Returns
// nullptr, writing nothing, when the reading is out of range (Reading outside 0-1023 or
// Decimals outside 0-3): the record then gets its error lines.
char* PutReading(char* out, int reading, int decimals, bool negative);
// The same as a plain decimal for other programs: no blank for the plus sign, no full stop
// after a whole number ("12.34", "1023", "-0.005").
char* PutPlainReading(char* out, int reading, int decimals, bool negative);

// A temperature of `celsiusTenths` tenths of a degree Celsius in tenths of the unit's degree.
// Fahrenheit is computed exactly: tenths = (18 * t + 3200) / 10, rounded.
int TenthsInUnit(int celsiusTenths, bool fahrenheit);

// Temperature text with one decimal and the full stop ("25.3", "0.5", "77.5"); at most 5
// characters, in the unit of TenthsInUnit.
char* PutTemperature(char* out, int tenths);

// Longest line either writer produces, CR LF included.
inline constexpr std::size_t kMaxRecordLine = 96;

char* PutPrnLine(char* out, const RecordTexts& r);
char* PutCsvLine(char* out, const RecordTexts& r);

}  // namespace vsdl::conversion
