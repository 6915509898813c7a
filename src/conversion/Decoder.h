// A BIN image decoded into its data sets and their records, handed one by one to a reader: the
// PRN/CSV report, the tidy export and the plot all read an image through Decode, so that the
// rules of the image live in one place. Texts are views into the decoder's buffers, valid until
// the reader returns (the temperature's longer, see there).
#pragma once

#include <cstdint>
#include <string_view>

#include "conversion/ConvertResult.h"
#include "conversion/Failures.h"
#include "conversion/Streams.h"

namespace vsdl::conversion {

// A date and time with a four-digit year. A set header's two-digit years 00-29 are 2000-2029
// and 30-99 are 1930-1999, as in the report's running time; a timed record's year is 1990 plus
// its YearOffset, 1990-2053.
struct CalendarTime {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// True when `t` is a real date and time (a timed record's stamp need not be).
bool IsValidTime(const CalendarTime& t);

struct DataSetHeader {
    int number = 0;              // the set's number byte
    bool timed = false;          // records carry their own time stamp
    std::string_view strategy;   // "CYCLE" or "ONE WAY"
    std::string_view method;     // method text of the method code
    std::string_view interval;   // "1  (SEC)" ... "N/A"
    int intervalSeconds = 0;     // 0 for "N/A"
    std::string_view unit;       // unit text of the unit code; empty for a code without one
    int unitCode = 0;            // the code itself: tells "no unit" from a code without a text
    int recordLength = 2;        // 2 or 3 bytes untimed, 6 or 7 timed
    bool temperatures = false;   // the records' temperatures are converted (3 and 7 bytes
                                 // always have the byte; only some sets convert it)
    std::string_view startText;  // "mm/dd/yy hh:mm:ss"
    std::string_view endText;    // "mm/dd/yy hh:mm:ss"
    bool startValid = true;      // false: the decoding fails after this header
    CalendarTime start, end;     // `start` only when startValid
};

struct DecodedRecord {
    std::int32_t counter = 1;   // 1, 2, ... within the data set
    std::string_view time;      // "mm/dd/yy hh:mm:ss"
    CalendarTime when;          // the same, the year in full (check IsValidTime when timed)
    std::string_view longTime;  // "mm/dd/yyyy hh:mm:ss" for an untimed record out of range
    bool inRange = true;        // the reading is 0-1023 with 0-3 decimals
    std::string_view reading;   // sign and number, " 12.34" or "-0.5", when in range
    int value = 0;              // the reading's digits, decimals and sign as stored
    int decimals = 0;
    bool negative = false;
    bool hasTemperature = false;  // this record carries a converted temperature
    // "25.3" (one decimal): a view into the decoder's own buffer, which keeps the last
    // temperature text until the next record with a temperature, also from set to set.
    std::string_view temperature;
    std::string_view temperatureUnit;  // "(C)" or "(F)"
    int temperatureTenths = 0;         // in the unit's tenths of a degree

    // The reading as a number (only when in range).
    double Reading() const;
    // The temperature in degrees of its unit (only with hasTemperature).
    double Temperature() const { return temperatureTenths / 10.0; }
};

// What reads a decoded image. Each call returns false to stop the decoding (its output failed).
class DecodeReader {
  public:
    virtual ~DecodeReader() = default;
    virtual bool DataSet(const DataSetHeader& header) = 0;
    virtual bool Record(const DecodedRecord& record) = 0;
    // The image announces one more data set; its header comes next, unless the image ends.
    virtual bool NextDataSet() = 0;
};

struct DecodeResult {
    ConvertOutcome outcome = ConvertOutcome::Completed;
    Failure failure = Failure::CannotReadBin;  // when Failed
    bool readerStopped = false;                // Failed because the reader returned false
    std::int64_t bytesRead = 0;
};

// Decodes the image `bin` of `length` bytes. Completed: every announced set decoded, or the
// image ended between records or sets. Calls `progress` (when set) after every record.
DecodeResult Decode(ByteSource& bin, std::int64_t length, DecodeReader& reader,
                    const ConvertProgress& progress = {});

}  // namespace vsdl::conversion
