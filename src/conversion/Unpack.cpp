#include "conversion/Unpack.h"

// Every field is taken with a truncating division by a power of two and a mask; for byte
// inputs nothing can overflow.

void Unpack2Byte(std::int16_t b1, std::int16_t b2, std::int16_t& Negative, std::int16_t& Decimals,
                 std::int16_t& Reading) {
    Negative = static_cast<std::int16_t>((b1 / 16) & 1);
    Decimals = static_cast<std::int16_t>((b1 / 4) & 3);
    Reading = static_cast<std::int16_t>((b1 & 3) * 256 + b2);
}

void Unpack3Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t& TempTenths,
                 std::int16_t& Fahrenheit, std::int16_t& Negative, std::int16_t& Decimals,
                 std::int16_t& Reading) {
    TempTenths = static_cast<std::int16_t>(b1 * 4 + b2 / 64);
    Fahrenheit = static_cast<std::int16_t>((b2 / 32) & 1);
    Unpack2Byte(b2, b3, Negative, Decimals, Reading);
}

namespace {

void UnpackStamp(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t b4,
                 std::int16_t& Hour, std::int16_t& Minute, std::int16_t& Second,
                 std::int16_t& Month, std::int16_t& Day, std::int16_t& YearOffset) {
    Hour = static_cast<std::int16_t>(b1 / 8);
    Minute = static_cast<std::int16_t>((b1 & 7) * 8 + b2 / 32);
    Second = static_cast<std::int16_t>((b2 & 31) * 2 + b3 / 128);
    Month = static_cast<std::int16_t>((b3 / 8) & 15);
    Day = static_cast<std::int16_t>((b3 & 7) * 4 + b4 / 64);
    YearOffset = static_cast<std::int16_t>(b4 & 63);
}

}  // namespace

void Unpack6Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t b4,
                 std::int16_t b5, std::int16_t b6, std::int16_t& Hour, std::int16_t& Minute,
                 std::int16_t& Second, std::int16_t& Month, std::int16_t& Day,
                 std::int16_t& YearOffset, std::int16_t& Negative, std::int16_t& Decimals,
                 std::int16_t& Reading) {
    UnpackStamp(b1, b2, b3, b4, Hour, Minute, Second, Month, Day, YearOffset);
    Unpack2Byte(b5, b6, Negative, Decimals, Reading);
}

void Unpack7Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t b4,
                 std::int16_t b5, std::int16_t b6, std::int16_t b7, std::int16_t& Hour,
                 std::int16_t& Minute, std::int16_t& Second, std::int16_t& Month, std::int16_t& Day,
                 std::int16_t& YearOffset, std::int16_t& TempTenths, std::int16_t& Fahrenheit,
                 std::int16_t& Negative, std::int16_t& Decimals, std::int16_t& Reading) {
    UnpackStamp(b1, b2, b3, b4, Hour, Minute, Second, Month, Day, YearOffset);
    Unpack3Byte(b5, b6, b7, TempTenths, Fahrenheit, Negative, Decimals, Reading);
}
