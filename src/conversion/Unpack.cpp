#include "conversion/Unpack.h"

// Every field is taken with a truncating division by a power of two and a mask; for byte
// inputs nothing can overflow.

namespace vsdl::conversion {
namespace {

// The reading part, the same in every length: the last two bytes of the record.
void PutReadingFields(RecordFields& f, std::int16_t b1, std::int16_t b2) {
    f.negative = static_cast<std::int16_t>((b1 / 16) & 1);
    f.decimals = static_cast<std::int16_t>((b1 / 4) & 3);
    f.reading = static_cast<std::int16_t>((b1 & 3) * 256 + b2);
}

// The temperature byte and the reading that follows it: the last three bytes of the record.
void PutTemperatureFields(RecordFields& f, std::int16_t b1, std::int16_t b2, std::int16_t b3) {
    f.tempTenths = static_cast<std::int16_t>(b1 * 4 + b2 / 64);
    f.fahrenheit = static_cast<std::int16_t>((b2 / 32) & 1);
    PutReadingFields(f, b2, b3);
}

// The time stamp, one big-endian 32-bit word in the first four bytes.
void PutStampFields(RecordFields& f, std::int16_t b1, std::int16_t b2, std::int16_t b3,
                    std::int16_t b4) {
    f.hour = static_cast<std::int16_t>(b1 / 8);
    f.minute = static_cast<std::int16_t>((b1 & 7) * 8 + b2 / 32);
    f.second = static_cast<std::int16_t>((b2 & 31) * 2 + b3 / 128);
    f.month = static_cast<std::int16_t>((b3 / 8) & 15);
    f.day = static_cast<std::int16_t>((b3 & 7) * 4 + b4 / 64);
    f.yearOffset = static_cast<std::int16_t>(b4 & 63);
}

}  // namespace

RecordFields Unpack2Byte(std::int16_t b1, std::int16_t b2) {
    RecordFields f;
    PutReadingFields(f, b1, b2);
    return f;
}

RecordFields Unpack3Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3) {
    RecordFields f;
    PutTemperatureFields(f, b1, b2, b3);
    return f;
}

RecordFields Unpack6Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t b4,
                         std::int16_t b5, std::int16_t b6) {
    RecordFields f;
    PutStampFields(f, b1, b2, b3, b4);
    PutReadingFields(f, b5, b6);
    return f;
}

RecordFields Unpack7Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t b4,
                         std::int16_t b5, std::int16_t b6, std::int16_t b7) {
    RecordFields f;
    PutStampFields(f, b1, b2, b3, b4);
    PutTemperatureFields(f, b5, b6, b7);
    return f;
}

}  // namespace vsdl::conversion
