// Builds BIN memory images, as the logger would hand them to the download, from a readable
// description. The samples in samples/*.txt are made with it, and tests and benchmarks use it
// to make the images they need.
//
// Description, one item per line ("#" starts a comment):
//   marker timed | untimed | XX XX XX     3C 3C 3C, C3 C3 C3, or any three bytes (hex)
//   setcount N                            SetCount byte (0 = cycle logging)
//   set N                                 a set header with SetNumber N; the lines after it
//     start mm/dd/yy hh:mm:ss             up to the first record fill it in. The numbers are
//     end mm/dd/yy hh:mm:ss | last        the header's bytes as they stand (0-255, unchecked);
//     interval CODE                       "end last" is the time of the set's last record.
//     temperature FLAG                    Defaults: start 01/01/00 00:00:00, end last,
//     method CODE                         interval 0, temperature 0, method 0, unit 0.
//     unit CODE
//   reading VALUE [TEMP]                  one record: VALUE like 1.23, -0.005 or 347. (the
//                                         digits after the point are the decimals); TEMP
//                                         like 25.3C (Celsius) or 25.3C/F (the logger's 25.3
//                                         Celsius, to be shown in Fahrenheit)
//   walk COUNT VALUE [TEMP] [seed N]      COUNT records wandering from VALUE (and TEMP) in
//                                         small steps, repeatable from the seed
//   at mm/dd/yy hh:mm:ss                  time stamp of the next record (years 1990-2053;
//                                         later records follow it by the interval)
//   bytes XX XX ...                       raw bytes (hex)
//   trailer                               the end mark C9 96 6C A5 5A C3
// Records are 2, 3, 6 or 7 bytes long as the marker and the set's temperature flag say; the
// records of a set get the set's start time and then one interval more each.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/BinFormat.h"

namespace vsdl::instrument::sample {

using binformat::kEndMark;

// The fields of one record as the decoders give them back.
struct RecordFields {
    int hour = 0, minute = 0, second = 0, month = 1, day = 1, yearOffset = 0;
    int tempTenths = 0, fahrenheit = 0, negative = 0, decimals = 0, reading = 0;
};

// Packs a record of 2, 3, 6 or 7 bytes (fields are masked to their widths).
std::vector<std::uint8_t> PackRecord(int length, const RecordFields& fields);

struct SetHeader {
    int number = 1;
    std::array<int, 6> start{1, 1, 0, 0, 0, 0};  // month, day, year, hour, minute, second
    std::array<int, 6> end{1, 1, 0, 0, 0, 0};
    bool endAtLastRecord = true;
    int interval = 0, temperature = 0, method = 0, unit = 0;
};

struct Record {
    int reading = 0;  // magnitude 0-1023
    int decimals = 0;
    bool negative = false;
    int tempTenths = 0;
    bool fahrenheit = false;
    bool stamped = false;        // true: `stamp` holds the time (timed files)
    std::array<int, 6> stamp{};  // month, day, four-digit year, hour, minute, second
};

struct RawBytes {
    std::vector<std::uint8_t> bytes;
};

using Item = std::variant<SetHeader, Record, RawBytes>;

struct Image {
    std::array<std::uint8_t, 3> marker = binformat::kUntimedMark;
    bool hasSetCount = true;
    int setCount = 1;
    std::vector<Item> items;
};

// The image's bytes. Throws std::invalid_argument when a start time of a set with records is no
// valid date (the records' times follow from it) or a record's year is outside 1990-2053.
std::vector<std::uint8_t> Build(const Image& image);

// Reads a description; throws std::invalid_argument("line N: ...") on a mistake.
Image Parse(std::string_view description);

}  // namespace vsdl::instrument::sample
