#include "conversion/RecordTexts.h"

#include <string_view>

#include "conversion/Digits.h"

namespace vsdl::conversion {
namespace {

constexpr std::string_view kErrorText = "0.000 Error***";

using digits::Put;
using digits::PutCrLf;

// The number of a reading in range: its digits with `decimals` of them behind the full stop,
// which stands alone after a whole number when `lonePoint` ("1023."). A template, so that each
// caller gets its own copy without a call.
template <bool lonePoint>
char* PutNumber(char* out, int reading, int decimals) {
    unsigned whole = static_cast<unsigned>(reading);
    unsigned fraction = 0;
    switch (decimals) {  // constant divisors: no division instruction
        case 1:
            whole = static_cast<unsigned>(reading) / 10;
            fraction = static_cast<unsigned>(reading) % 10;
            break;
        case 2:
            whole = static_cast<unsigned>(reading) / 100;
            fraction = static_cast<unsigned>(reading) % 100;
            break;
        case 3:
            whole = static_cast<unsigned>(reading) / 1000;
            fraction = static_cast<unsigned>(reading) % 1000;
            break;
        default:
            break;
    }
    if (whole >= 1000) {
        *out++ = static_cast<char>('0' + whole / 1000);
        *out++ = static_cast<char>('0' + whole / 100 % 10);
        out = digits::PutPair(out, whole % 100);
    } else if (whole >= 100) {
        *out++ = static_cast<char>('0' + whole / 100);
        out = digits::PutPair(out, whole % 100);
    } else if (whole >= 10) {
        out = digits::PutPair(out, whole);
    } else {
        *out++ = static_cast<char>('0' + whole);
    }
    if (decimals != 0 || lonePoint) *out++ = '.';
    switch (decimals) {
        case 1:
            *out++ = static_cast<char>('0' + fraction);
            break;
        case 2:
            out = digits::PutPair(out, fraction);
            break;
        case 3:
            *out++ = static_cast<char>('0' + fraction / 100);
            out = digits::PutPair(out, fraction % 100);
            break;
        default:
            break;
    }
    return out;
}

}  // namespace

char* PutReading(char* out, int reading, int decimals, bool negative) {
    if (!ReadingInRange(reading, decimals)) return nullptr;
    *out++ = negative ? '-' : ' ';
    return PutNumber<true>(out, reading, decimals);
}

char* PutPlainReading(char* out, int reading, int decimals, bool negative) {
    if (!ReadingInRange(reading, decimals)) return nullptr;
    if (negative) *out++ = '-';
    return PutNumber<false>(out, reading, decimals);
}

int TenthsInUnit(int celsiusTenths, bool fahrenheit) {
    if (!fahrenheit) return celsiusTenths;
    // 18 * t + 3200 is always even, so its last digit is never 5: no ties to break.
    const int scaled = 18 * celsiusTenths + 3200;
    return scaled / 10 + (scaled % 10 >= 5 ? 1 : 0);
}

char* PutTemperature(char* out, int tenths) {
    if (tenths < 0) {
        *out++ = '-';
        tenths = -tenths;
    }
    const auto whole = static_cast<unsigned>(tenths / 10);
    if (whole >= 1000) {
        out = digits::PutDecimal(out, whole);
    } else if (whole >= 100) {
        *out++ = static_cast<char>('0' + whole / 100 % 10);
        out = digits::PutPair(out, whole % 100);
    } else if (whole >= 10) {
        out = digits::PutPair(out, whole);
    } else {
        *out++ = static_cast<char>('0' + whole);
    }
    *out++ = '.';
    *out++ = static_cast<char>('0' + tenths % 10);
    return out;
}

namespace {

char* PutCounter(char* out, std::int32_t counter) {
    unsigned v =
        static_cast<unsigned>(counter < 0 ? -static_cast<std::int64_t>(counter) : counter) %
        100000u;
    for (int i = 4; i >= 0; --i) {
        out[i] = static_cast<char>('0' + v % 10);
        v /= 10;
    }
    return out + 5;
}

char* PutTemperatureTail(char* out, const RecordTexts& r, std::string_view between) {
    out = Put(out, "   ");
    out = Put(out, r.temp);
    out = Put(out, between);
    return Put(out, r.unit);
}

}  // namespace

char* PutPrnLine(char* out, const RecordTexts& r) {
    if (r.inRange) {
        out = PutCounter(out, r.counter);
        out = Put(out, ": ");
        out = digits::PutFixed<kStampLength>(out, r.ts.data());
        out = Put(out, " = ");
        out = Put(out, r.reading);
    } else if (IsTimed(r.length)) {
        *out++ = ' ';
        out = PutCounter(out, r.counter);
        out = Put(out, ": ");
        out = digits::PutFixed<kStampLength>(out, r.ts.data());
        out = Put(out, " =  ");
        out = Put(out, kErrorText);
    } else {
        out = PutCounter(out, r.counter);
        out = Put(out, ": ");
        out = Put(out, r.td);
        out = Put(out, " =  ");
        out = Put(out, kErrorText);
    }
    if (HasTemperature(r.length)) out = PutTemperatureTail(out, r, " ");
    return PutCrLf(out);
}

char* PutCsvLine(char* out, const RecordTexts& r) {
    // The date and the time of the stamp, without the blank between them.
    out = digits::PutFixed<8>(out, r.ts.data());
    out = Put(out, ", ");
    out = digits::PutFixed<8>(out, r.ts.data() + 9);
    if (!r.inRange) {
        out = Put(out, ", ");
        out = Put(out, kErrorText);
    } else {
        // The untimed record with temperature has the comma alone before its reading.
        out = Put(out, r.length == 3 ? "," : ", ");
        out = Put(out, r.reading);
    }
    if (HasTemperature(r.length)) {
        out = Put(out, ", ");
        out = Put(out, r.temp);
        out = Put(out, ", ");
        out = Put(out, r.unit);
    }
    return PutCrLf(out);
}

}  // namespace vsdl::conversion
