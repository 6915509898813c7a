// The inside of the conversion: failure catalogue, the texts of one record, the running time,
// and the conversion of a byte stream into two text streams. RunConversion wraps this with
// files; the tests and the fuzz target drive it directly with memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "conversion/modConvert.h"

namespace vsdl::conversion {

// ---------------------------------------------------------------------------------------------
// Failure catalogue. The numbers are stable: they reach users in messages and support notes.
enum class Failure : int {
    CannotOpenBin = 1,
    CannotReadLength = 2,
    BinTooLarge = 3,
    CannotReadBin = 4,
    InvalidStartTime = 5,
    InvalidEndTime = 6,
    CannotCreatePrn = 7,
    CannotCreateCsv = 8,
    CannotWritePrn = 9,
    CannotWriteCsv = 10,
    Overflow = 11,
    InvalidBinName = 12,
};

// Plain description of a failure, e.g. "Invalid start date or time".
std::string_view FailureDescription(Failure failure);

// "Error N. description. VSDownload\r\nThis BIN file is corrupted."
std::string FailureMessage(Failure failure);

inline constexpr std::string_view kCompletedText =
    "The conversion has completed.  Your ASCII file is: ";
inline constexpr std::string_view kCorruptText = "This BIN is corrupt";

// ---------------------------------------------------------------------------------------------
// Texts of the header block.
struct Interval {
    std::string_view text;  // "1  (SEC)" ... "30  (MIN)", "N/A"
    int seconds;            // 0 for "N/A"
};
Interval IntervalFor(int code);
// Unit text for a unit code; empty for a code without a text.
std::string_view UnitFor(int code);
std::string_view MethodFor(int code);

// ---------------------------------------------------------------------------------------------
// Texts of one record. Writers return the end of what they wrote; none writes a terminator.

// Two decimal digits: the last two of "0" followed by the value (5 -> 05, 103 -> 03).
char* PutTwoDigits(char* out, int value);

// Sign text and number text of a reading ("-0.005", " 1023."), at most 9 characters. Returns
// nullptr, writing nothing, when the reading is out of range (Reading outside 0-1023 or
// Decimals outside 0-3): the record then gets its error lines.
char* PutReading(char* out, int reading, int decimals, int negative);

// Temperature text with one decimal and the full stop ("25.3", "0.5", "77.5"); at most 5
// characters. Fahrenheit is computed exactly: tenths = (18 * t + 3200) / 10, rounded.
char* PutTemperature(char* out, int tempTenths, bool fahrenheit);

// ---------------------------------------------------------------------------------------------
// The running time: the date and time that gives untimed records their time.
class RunningTime {
  public:
    // Reads month/day/two-digit year and hour:minute:second (each 0-99), the year with the
    // pivot 00-29 -> 2000-2029, 30-99 -> 1930-1999. False when it is no valid date and time.
    bool Set(int month, int day, int year2, int hour, int minute, int second);
    // The same with a four-digit year (1-9999).
    bool SetFull(int year, int month, int day, int hour, int minute, int second);
    // Adds up to a day of seconds with the calendar. False, leaving the time unchanged, when
    // the result would pass 12/31/9999 23:59:59.
    bool Add(int seconds);
    // "mm/dd/yy hh:mm:ss" (17 characters).
    char* PutShort(char* out) const;
    // "mm/dd/yyyy hh:mm:ss" (19 characters): the time in the error lines of untimed records.
    char* PutLong(char* out) const;

    int year() const { return year_; }
    int month() const { return month_; }
    int day() const { return day_; }
    int hour() const { return hour_; }
    int minute() const { return minute_; }
    int second() const { return second_; }

  private:
    // Takes a checked date and time and renders its text.
    void Assign(int year, int month, int day, int hour, int minute, int second);

    int year_ = 2000, month_ = 1, day_ = 1, hour_ = 0, minute_ = 0, second_ = 0;
    // "mm/dd/yy hh:mm:ss", kept up to date: most steps only touch the seconds.
    char text_[17] = {'0', '1', '/', '0', '1', '/', '0', '0', ' ',
                      '0', '0', ':', '0', '0', ':', '0', '0'};
};

// Everything one record's lines are made of.
struct RecordTexts {
    int length = 2;            // record length: 2, 3, 6 or 7
    std::int32_t counter = 1;  // record counter of the data set (CNT shows its last 5 digits)
    const char* ts = nullptr;  // TS: 17 characters "mm/dd/yy hh:mm:ss"
    const char* td = nullptr;  // TD: running time, used by error lines of 2- and 3-byte records
    std::size_t tdLength = 0;
    const char* reading = nullptr;  // SIGN NUM; nullptr when out of range (error lines)
    std::size_t readingLength = 0;
    const char* temp = nullptr;  // TEMP (may be empty)
    std::size_t tempLength = 0;
    const char* unit = nullptr;  // TU: "(C)", "(F)" or empty
    std::size_t unitLength = 0;
};

// Longest line either writer produces, CR LF included.
inline constexpr std::size_t kMaxRecordLine = 96;

char* PutPrnLine(char* out, const RecordTexts& r);
char* PutCsvLine(char* out, const RecordTexts& r);

// ---------------------------------------------------------------------------------------------
// Streams the conversion reads and writes; virtual calls happen per buffer, not per byte.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Reads up to `max` bytes into `out`, setting `got` (0 at the end). False on a read error.
    virtual bool Read(std::uint8_t* out, std::size_t max, std::size_t& got) = 0;
};

class TextSink {
  public:
    virtual ~TextSink() = default;
    // Writes all `size` bytes; false on a write error.
    virtual bool Write(const char* data, std::size_t size) = 0;
};

// Converts the BIN image `bin` of `binLength` bytes into `prn` and `csv`. Sets gFileLength and
// gBytesRead and keeps gBytesRead current; calls `yield` after every record. `prnName` goes into
// the completion message. Every buffered line is handed to the sinks before it returns, also
// after a failure.
ConvertResult ConvertImage(ByteSource& bin, std::int64_t binLength, TextSink& prn, TextSink& csv,
                           const std::string& prnName, const std::function<void()>& yield);

// Simple in-memory streams (tests, fuzzing).
class MemorySource : public ByteSource {
  public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Read(std::uint8_t* out, std::size_t max, std::size_t& got) override;

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

class StringSink : public TextSink {
  public:
    bool Write(const char* data, std::size_t size) override;
    std::string text;
};

}  // namespace vsdl::conversion
