// The record decoders of modConvert: the bytes of one packed record (0-255, in file order) split
// into its small unsigned fields. Standard library only.
#pragma once

#include <cstdint>

namespace vsdl::conversion {

// The fields of one record; those its length does not carry stay 0.
struct RecordFields {
    // The time stamp of the 6- and 7-byte records.
    std::int16_t hour = 0, minute = 0, second = 0, month = 0, day = 0, yearOffset = 0;
    // The temperature of the 3- and 7-byte records: tenths of a degree Celsius, and whether it
    // is to be shown in Fahrenheit.
    std::int16_t tempTenths = 0, fahrenheit = 0;
    // The reading of every record: sign, implied decimal places and the number's digits.
    std::int16_t negative = 0, decimals = 0, reading = 0;
};

RecordFields Unpack2Byte(std::int16_t b1, std::int16_t b2);
RecordFields Unpack3Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3);
RecordFields Unpack6Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t b4,
                         std::int16_t b5, std::int16_t b6);
RecordFields Unpack7Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t b4,
                         std::int16_t b5, std::int16_t b6, std::int16_t b7);

}  // namespace vsdl::conversion
