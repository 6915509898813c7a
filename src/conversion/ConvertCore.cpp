#include "conversion/ConvertCore.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <limits>
#include <vector>

#include "common/AppInfo.h"
#include "common/modGlobals.h"

namespace vsdl::conversion {

// ---------------------------------------------------------------------------------------------
// Failure catalogue

std::string_view FailureDescription(Failure failure) {
    switch (failure) {
        case Failure::CannotOpenBin:
            return "Cannot open the BIN file";
        case Failure::CannotReadLength:
            return "Cannot read the length of the BIN file";
        case Failure::BinTooLarge:
            return "The BIN file is too large to convert";
        case Failure::CannotReadBin:
            return "Cannot read the BIN file";
        case Failure::InvalidStartTime:
            return "Invalid start date or time";
        case Failure::InvalidEndTime:
            return "Invalid end date or time";
        case Failure::CannotCreatePrn:
            return "Cannot create the PRN file";
        case Failure::CannotCreateCsv:
            return "Cannot create the CSV file";
        case Failure::CannotWritePrn:
            return "Cannot write the PRN file";
        case Failure::CannotWriteCsv:
            return "Cannot write the CSV file";
        case Failure::Overflow:
            return "Overflow of the logging time";
        case Failure::InvalidBinName:
            return "The BIN file name has no extension";
    }
    return "Unknown failure";
}

std::string FailureMessage(Failure failure) {
    std::string text = "Error ";
    text += std::to_string(static_cast<int>(failure));
    text += ". ";
    text += FailureDescription(failure);
    text += ". ";
    text += appinfo::kProgramName;
    text += "\r\nThis BIN file is corrupted.";
    return text;
}

// ---------------------------------------------------------------------------------------------
// Header texts

Interval IntervalFor(int code) {
    static constexpr std::array<Interval, 14> kIntervals{{
        {"1  (SEC)", 1},
        {"2  (SEC)", 2},
        {"3  (SEC)", 3},
        {"5  (SEC)", 5},
        {"10  (SEC)", 10},
        {"20  (SEC)", 20},
        {"30  (SEC)", 30},
        {"1  (MIN)", 60},
        {"2  (MIN)", 120},
        {"3  (MIN)", 180},
        {"5  (MIN)", 300},
        {"10  (MIN)", 600},
        {"20  (MIN)", 1200},
        {"30  (MIN)", 1800},
    }};
    if (code >= 0 && code < static_cast<int>(kIntervals.size())) {
        return kIntervals[static_cast<std::size_t>(code)];
    }
    return {"N/A", 0};
}

std::string_view UnitFor(int code) {
    static constexpr std::array<std::string_view, 28> kUnits{
        "(   )",     "(FSU)",     "(QFT)",     "(PPM)",     "(PPB)",     "(PPT)",     "(mg / l)",
        "(mg / dl)", "(mg / ml)", "(mg / kg)", "(mg / g)",  "(ug / l)",  "(ug / ml)", "(ug / kg)",
        "(ug / g)",  "(ng / l)",  "(ng / ml)", "(ng / ul)", "(ng / kg)", "(ng / g)",  "(ng / mg)",
        "(pg / g)",  "(pg / mg)", "(pg / ug)", "(pg / ml)", "(pg / ul)", "(fg / ul)", "(fg / mg)"};
    if (code >= 0 && code < static_cast<int>(kUnits.size())) {
        return kUnits[static_cast<std::size_t>(code)];
    }
    if (code == 100) return "(RAW)";
    return {};
}

std::string_view MethodFor(int code) {
    if (code == 0) return "INSTANT";
    if (code == 1) return "AVERAGE";
    return "Unknown";
}

// ---------------------------------------------------------------------------------------------
// Record texts

namespace {

char* Put(char* out, std::string_view text) {
    // An empty view may have no data pointer at all; memcpy must not see it.
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

char* Put(char* out, const char* text, std::size_t size) {
    if (size != 0) std::memcpy(out, text, size);
    return out + size;
}

// Decimal without leading zeros (value >= 0).
char* PutDecimal(char* out, std::uint32_t value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) *out++ = digits[--n];
    return out;
}

char* PutCrLf(char* out) {
    out[0] = '\r';
    out[1] = '\n';
    return out + 2;
}

constexpr std::string_view kErrorText = "0.000 Error***";

}  // namespace

namespace {

constexpr std::array<char, 200> MakeDigitPairs() {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        pairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}
constexpr std::array<char, 200> kDigitPairs = MakeDigitPairs();

inline char* PutPair(char* out, unsigned v) {
    std::memcpy(out, &kDigitPairs[2 * v], 2);
    return out + 2;
}

}  // namespace

char* PutTwoDigits(char* out, int value) {
    return PutPair(out, static_cast<unsigned>(value < 0 ? -value : value) % 100);
}

char* PutReading(char* out, int reading, int decimals, int negative) {
    if (reading < 0 || reading > 1023 || decimals < 0 || decimals > 3) return nullptr;
    *out++ = negative == 1 ? '-' : ' ';
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
        out = PutPair(out, whole % 100);
    } else if (whole >= 100) {
        *out++ = static_cast<char>('0' + whole / 100);
        out = PutPair(out, whole % 100);
    } else if (whole >= 10) {
        out = PutPair(out, whole);
    } else {
        *out++ = static_cast<char>('0' + whole);
    }
    *out++ = '.';
    switch (decimals) {
        case 1:
            *out++ = static_cast<char>('0' + fraction);
            break;
        case 2:
            out = PutPair(out, fraction);
            break;
        case 3:
            *out++ = static_cast<char>('0' + fraction / 100);
            out = PutPair(out, fraction % 100);
            break;
        default:
            break;
    }
    return out;
}

char* PutTemperature(char* out, int tempTenths, bool fahrenheit) {
    int tenths = tempTenths;
    if (fahrenheit) {
        // 18 * t + 3200 is always even, so its last digit is never 5: no ties to break.
        const int scaled = 18 * tempTenths + 3200;
        tenths = scaled / 10 + (scaled % 10 >= 5 ? 1 : 0);
    }
    if (tenths < 0) {
        *out++ = '-';
        tenths = -tenths;
    }
    const auto whole = static_cast<unsigned>(tenths / 10);
    if (whole >= 1000) {
        out = PutDecimal(out, whole);
    } else if (whole >= 100) {
        *out++ = static_cast<char>('0' + whole / 100 % 10);
        out = PutPair(out, whole % 100);
    } else if (whole >= 10) {
        out = PutPair(out, whole);
    } else {
        *out++ = static_cast<char>('0' + whole);
    }
    *out++ = '.';
    *out++ = static_cast<char>('0' + tenths % 10);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Running time

namespace {

int DaysInMonth(int year, int month) {
    using namespace std::chrono;
    const year_month_day_last last{
        std::chrono::year{year}, month_day_last{std::chrono::month{static_cast<unsigned>(month)}}};
    return static_cast<int>(static_cast<unsigned>(last.day()));
}

}  // namespace

bool RunningTime::Set(int month, int day, int year2, int hour, int minute, int second) {
    if (year2 < 0 || year2 > 99) return false;
    return SetFull(year2 < 30 ? 2000 + year2 : 1900 + year2, month, day, hour, minute, second);
}

bool RunningTime::SetFull(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1 || year > 9999) return false;
    if (month < 1 || month > 12) return false;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        return false;
    }
    Assign(year, month, day, hour, minute, second);
    return true;
}

void RunningTime::Assign(int year, int month, int day, int hour, int minute, int second) {
    year_ = year;
    month_ = month;
    day_ = day;
    hour_ = hour;
    minute_ = minute;
    second_ = second;
    PutPair(text_, static_cast<unsigned>(month_));
    PutPair(text_ + 3, static_cast<unsigned>(day_));
    PutPair(text_ + 6, static_cast<unsigned>(year_ % 100));
    PutPair(text_ + 9, static_cast<unsigned>(hour_));
    PutPair(text_ + 12, static_cast<unsigned>(minute_));
    PutPair(text_ + 15, static_cast<unsigned>(second_));
}

bool RunningTime::Add(int seconds) {
    if (seconds <= 0) return true;  // the "N/A" interval: the time stands still
    if (second_ + seconds < 60) {
        second_ += seconds;
        PutPair(text_ + 15, static_cast<unsigned>(second_));
        return true;
    }
    int total = second_ + seconds;
    int second = total % 60;
    total = minute_ + total / 60;
    int minute = total % 60;
    total = hour_ + total / 60;
    int hour = total % 24;
    int carryDays = total / 24;
    int year = year_, month = month_, day = day_;
    while (carryDays > 0) {
        const int left = DaysInMonth(year, month) - day;
        if (carryDays <= left) {
            day += carryDays;
            break;
        }
        carryDays -= left + 1;
        day = 1;
        if (++month > 12) {
            month = 1;
            if (++year > 9999) return false;
        }
    }
    Assign(year, month, day, hour, minute, second);
    return true;
}

char* RunningTime::PutShort(char* out) const {
    std::memcpy(out, text_, sizeof text_);
    return out + sizeof text_;
}

char* RunningTime::PutLong(char* out) const {
    out = PutTwoDigits(out, month_);
    *out++ = '/';
    out = PutTwoDigits(out, day_);
    *out++ = '/';
    out = PutTwoDigits(out, year_ / 100);
    out = PutTwoDigits(out, year_ % 100);
    *out++ = ' ';
    out = PutTwoDigits(out, hour_);
    *out++ = ':';
    out = PutTwoDigits(out, minute_);
    *out++ = ':';
    return PutTwoDigits(out, second_);
}

// ---------------------------------------------------------------------------------------------
// Record lines

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
    out = Put(out, r.temp, r.tempLength);
    out = Put(out, between);
    return Put(out, r.unit, r.unitLength);
}

bool HasTemperature(const RecordTexts& r) {
    return r.length == 3 || r.length == 7;
}
bool IsTimed(const RecordTexts& r) {
    return r.length == 6 || r.length == 7;
}

}  // namespace

char* PutPrnLine(char* out, const RecordTexts& r) {
    if (r.reading != nullptr) {
        out = PutCounter(out, r.counter);
        out = Put(out, ": ");
        out = Put(out, r.ts, 17);
        out = Put(out, " = ");
        out = Put(out, r.reading, r.readingLength);
    } else if (IsTimed(r)) {
        *out++ = ' ';
        out = PutCounter(out, r.counter);
        out = Put(out, ": ");
        out = Put(out, r.ts, 17);
        out = Put(out, " =  ");
        out = Put(out, kErrorText);
    } else {
        out = PutCounter(out, r.counter);
        out = Put(out, ": ");
        out = Put(out, r.td, r.tdLength);
        out = Put(out, " =  ");
        out = Put(out, kErrorText);
    }
    if (HasTemperature(r)) out = PutTemperatureTail(out, r, " ");
    return PutCrLf(out);
}

char* PutCsvLine(char* out, const RecordTexts& r) {
    out = Put(out, r.ts, 8);
    out = Put(out, ", ");
    out = Put(out, r.ts + 9, 8);
    if (r.reading == nullptr) {
        out = Put(out, ", ");
        out = Put(out, kErrorText);
    } else {
        // The untimed record with temperature has the comma alone before its reading.
        out = Put(out, r.length == 3 ? "," : ", ");
        out = Put(out, r.reading, r.readingLength);
    }
    if (HasTemperature(r)) {
        out = Put(out, ", ");
        out = Put(out, r.temp, r.tempLength);
        out = Put(out, ", ");
        out = Put(out, r.unit, r.unitLength);
    }
    return PutCrLf(out);
}

// ---------------------------------------------------------------------------------------------
// Streams

bool MemorySource::Read(std::uint8_t* out, std::size_t max, std::size_t& got) {
    got = std::min(max, size_ - pos_);
    if (got != 0) std::memcpy(out, data_ + pos_, got);
    pos_ += got;
    return true;
}

bool StringSink::Write(const char* data, std::size_t size) {
    text.append(data, size);
    return true;
}

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

// Sequential reader over the BIN image, buffered; every byte handed out counts in gBytesRead.
class Reader {
  public:
    Reader(ByteSource& source, std::int64_t length)
        : source_(source), length_(length), buffer_(kBufferSize) {}

    // Position == length: nothing is left to read.
    bool AtEnd() const { return position_ >= length_; }
    bool failed() const { return failed_; }

    // Reads `count` bytes; false at the end of the file (or on a read error, see failed()).
    bool Get(std::uint8_t* out, int count) {
        const auto n = static_cast<std::size_t>(count);
        if (end_ - next_ >= n) {
            // The whole record is in the buffer: one copy, and the count moves on by its bytes
            // (nobody looks at it between two bytes of a record).
            std::memcpy(out, buffer_.data() + next_, n);
            next_ += n;
            position_ += count;
            gBytesRead = static_cast<std::int32_t>(position_);
            return true;
        }
        for (int i = 0; i < count; ++i) {
            if (next_ == end_ && !Refill()) return false;
            out[i] = buffer_[next_++];
            ++position_;
            gBytesRead = static_cast<std::int32_t>(position_);
        }
        return true;
    }

  private:
    bool Refill() {
        if (AtEnd() || failed_) return false;
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(buffer_.size()), length_ - position_));
        std::size_t got = 0;
        if (!source_.Read(buffer_.data(), wanted, got)) {
            failed_ = true;
            return false;
        }
        if (got == 0) {
            // The file became shorter while it was read: that is where it ends now.
            length_ = position_;
            return false;
        }
        next_ = 0;
        end_ = got;
        return true;
    }

    ByteSource& source_;
    std::int64_t length_;
    std::int64_t position_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::size_t next_ = 0;
    std::size_t end_ = 0;
    bool failed_ = false;
};

// Buffered text output; a failed write is remembered and checked by the caller.
class Writer {
  public:
    explicit Writer(TextSink& sink) : sink_(sink), buffer_(kBufferSize) {}

    // Room for `size` more characters.
    char* Reserve(std::size_t size) {
        if (buffer_.size() - used_ < size) Flush();
        return buffer_.data() + used_;
    }
    void Commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.data()); }

    void Line(std::string_view text) {
        char* out = Reserve(text.size() + 2);
        out = Put(out, text);
        Commit(PutCrLf(out));
    }
    void Line(std::string_view label, std::string_view value, std::string_view tail = {}) {
        char* out = Reserve(label.size() + value.size() + tail.size() + 2);
        out = Put(out, label);
        out = Put(out, value);
        out = Put(out, tail);
        Commit(PutCrLf(out));
    }

    void Flush() {
        if (used_ != 0 && !failed_ && !sink_.Write(buffer_.data(), used_)) failed_ = true;
        used_ = 0;
    }
    bool failed() const { return failed_; }

  private:
    TextSink& sink_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    bool failed_ = false;
};

// The six time bytes of a set header as their two-digit values.
struct HeaderTime {
    std::array<int, 6> v{};  // month, day, year, hour, minute, second

    // "mm/dd/yy hh:mm:ss": the report text; it also stands for the comparison text, which
    // only has three spaces where this has one.
    std::array<char, 17> Text() const {
        std::array<char, 17> t{};
        char* out = t.data();
        out = PutTwoDigits(out, v[0]);
        *out++ = '/';
        out = PutTwoDigits(out, v[1]);
        *out++ = '/';
        out = PutTwoDigits(out, v[2]);
        *out++ = ' ';
        out = PutTwoDigits(out, v[3]);
        *out++ = ':';
        out = PutTwoDigits(out, v[4]);
        *out++ = ':';
        PutTwoDigits(out, v[5]);
        return t;
    }
    bool Into(RunningTime& time) const {
        return time.Set(v[0] % 100, v[1] % 100, v[2] % 100, v[3] % 100, v[4] % 100, v[5] % 100);
    }
};

const std::string_view kStars(
    "*******************************************************************************");
const std::string_view kEquals(
    "===============================================================================");

void WriteBanner(Writer& prn, std::string_view strategy) {
    prn.Line(kStars);
    prn.Line("");
    prn.Line("                      ***********************************");
    prn.Line("                      *                                 *");
    prn.Line("                      *  V A L D O R     S E N S I N G  *");
    prn.Line("                      *                                 *");
    prn.Line("                      ***********************************");
    prn.Line("");
    prn.Line("                       FLUOROMETER INTERNAL DATA LOGGER");
    prn.Line("");
    prn.Line("                              DATA OUTPUT PROGRAM");
    prn.Line("");
    prn.Line(kStars);
    prn.Line("");
    prn.Line("DATA LOGGING STRATEGY:  ", strategy);
    prn.Line("");
}

// How a run over the records ends.
enum class Stop { Finished, EndOfFile, Failed };

class Conversion {
  public:
    Conversion(ByteSource& bin, std::int64_t length, TextSink& prn, TextSink& csv,
               const std::function<void()>& yield)
        : in_(bin, length), prn_(prn), csv_(csv), yield_(yield) {}

    // Runs everything after the marker check; returns the failure, if any.
    ConvertOutcome Run(Failure& failure) {
        std::uint8_t marker[3];
        if (!in_.Get(marker, 3)) return Unreadable(failure, ConvertOutcome::Corrupt);
        const bool timed = marker[0] == 0x3C && marker[1] == 0x3C && marker[2] == 0x3C;
        const bool untimed = marker[0] == 0xC3 && marker[1] == 0xC3 && marker[2] == 0xC3;
        if (!timed && !untimed) return ConvertOutcome::Corrupt;
        timed_ = timed;
        std::uint8_t setCount = 0;
        if (in_.Get(&setCount, 1)) {
            setCount_ = setCount;
            strategy_ = setCount == 0 ? "CYCLE" : "ONE WAY";
            for (;;) {
                const Stop stop = DataSet(failure);
                if (stop == Stop::Failed) return ConvertOutcome::Failed;
                if (stop == Stop::EndOfFile) break;
                if (setNumber_ >= setCount_) break;
                prn_.Line(kEquals);
                csv_.Line("***New Data Set Started***");
                if (!OutputOk(failure)) return ConvertOutcome::Failed;
            }
        }
        if (in_.failed()) {
            failure = Failure::CannotReadBin;
            return ConvertOutcome::Failed;
        }
        prn_.Line(kEquals);
        return OutputOk(failure) ? ConvertOutcome::Completed : ConvertOutcome::Failed;
    }

    void Flush() {
        prn_.Flush();
        csv_.Flush();
    }
    bool PrnFailed() const { return prn_.failed(); }
    bool CsvFailed() const { return csv_.failed(); }

  private:
    ConvertOutcome Unreadable(Failure& failure, ConvertOutcome otherwise) {
        if (in_.failed()) {
            failure = Failure::CannotReadBin;
            return ConvertOutcome::Failed;
        }
        return otherwise;
    }

    bool OutputOk(Failure& failure) {
        if (prn_.failed()) {
            failure = Failure::CannotWritePrn;
            return false;
        }
        if (csv_.failed()) {
            failure = Failure::CannotWriteCsv;
            return false;
        }
        return true;
    }

    Stop EndOrReadFailure(Failure& failure) {
        if (in_.failed()) {
            failure = Failure::CannotReadBin;
            return Stop::Failed;
        }
        return Stop::EndOfFile;
    }

    Stop DataSet(Failure& failure) {
        std::uint8_t head[13];
        if (!in_.Get(head, 13)) return EndOrReadFailure(failure);
        setNumber_ = head[0];
        HeaderTime start, end;
        for (int i = 0; i < 6; ++i) {
            start.v[static_cast<std::size_t>(i)] = head[1 + i];
            end.v[static_cast<std::size_t>(i)] = head[7 + i];
        }
        const std::array<char, 17> startText = start.Text();
        endText_ = end.Text();
        RunningTime check;
        if (!end.Into(check)) {
            failure = Failure::InvalidEndTime;
            return Stop::Failed;
        }
        std::uint8_t tail[4];
        if (!in_.Get(tail, 4)) return EndOrReadFailure(failure);
        const Interval interval = IntervalFor(tail[0]);
        intervalSeconds_ = interval.seconds;
        tempFlag_ = tail[1];
        const std::string_view unit = UnitFor(tail[3]);
        if (!unit.empty()) unit_ = unit;

        if (setNumber_ <= 1) WriteBanner(prn_, strategy_);
        char number[4];
        const char* numberEnd = PutDecimal(number, setNumber_);
        prn_.Line("");
        prn_.Line("DATA SET NO:            ",
                  std::string_view(number, static_cast<std::size_t>(numberEnd - number)));
        prn_.Line("");
        prn_.Line("DATA LOGGING METHOD:    ", MethodFor(tail[2]));
        prn_.Line("");
        prn_.Line("DATA LOGGING INTERVAL:  ", interval.text);
        prn_.Line("");
        prn_.Line("DATA LOGGING UNIT:      ", unit_, " ");
        prn_.Line("");
        if (!start.Into(running_)) {
            failure = Failure::InvalidStartTime;
            return Stop::Failed;
        }
        prn_.Line("DATA LOGGING STARTED:  ", std::string_view(startText.data(), 17));
        prn_.Line("DATA LOGGING ENDED:    ", std::string_view(endText_.data(), 17));
        prn_.Line("");
        prn_.Line(kEquals);
        prn_.Line("");
        prn_.Line("");
        if (!OutputOk(failure)) return Stop::Failed;
        return Records(failure);
    }

    Stop Records(Failure& failure) {
        const int length = (timed_ ? 6 : 2) + (tempFlag_ != 0 ? 1 : 0);
        RecordTexts r;
        r.length = length;
        char ts[17];
        char td[19];
        char reading[12];
        std::int16_t b[7];
        std::uint8_t bytes[7];
        for (std::int32_t counter = 1;; ++counter) {
            if (in_.AtEnd()) return Stop::EndOfFile;
            if (!in_.Get(bytes, length)) return EndOrReadFailure(failure);
            for (int i = 0; i < length; ++i) b[i] = bytes[i];
            std::int16_t hour = 0, minute = 0, second = 0, month = 0, day = 0, yearOffset = 0;
            std::int16_t tempTenths = 0, fahrenheit = 0, negative = 0, decimals = 0, value = 0;
            switch (length) {
                case 2:
                    Unpack2Byte(b[0], b[1], negative, decimals, value);
                    break;
                case 3:
                    Unpack3Byte(b[0], b[1], b[2], tempTenths, fahrenheit, negative, decimals,
                                value);
                    break;
                case 6:
                    Unpack6Byte(b[0], b[1], b[2], b[3], b[4], b[5], hour, minute, second, month,
                                day, yearOffset, negative, decimals, value);
                    break;
                default:
                    Unpack7Byte(b[0], b[1], b[2], b[3], b[4], b[5], b[6], hour, minute, second,
                                month, day, yearOffset, tempTenths, fahrenheit, negative, decimals,
                                value);
                    break;
            }
            if (timed_) {
                // Every field is below 64 from the decoders; the year keeps its last two digits.
                PutPair(ts, static_cast<unsigned>(month));
                ts[2] = '/';
                PutPair(ts + 3, static_cast<unsigned>(day));
                ts[5] = '/';
                PutPair(ts + 6, static_cast<unsigned>(yearOffset + 90) % 100);
                ts[8] = ' ';
                PutPair(ts + 9, static_cast<unsigned>(hour));
                ts[11] = ':';
                PutPair(ts + 12, static_cast<unsigned>(minute));
                ts[14] = ':';
                PutPair(ts + 15, static_cast<unsigned>(second));
            } else {
                running_.PutShort(ts);
            }
            if (tempFlag_ == 1 && (length == 3 || length == 7)) {
                tempLength_ = static_cast<std::size_t>(
                    PutTemperature(temp_, tempTenths, fahrenheit == 1) - temp_);
                tempUnit_ = fahrenheit == 1 ? "(F)" : "(C)";
            }
            const char* readingEnd = PutReading(reading, value, decimals, negative);
            r.counter = counter;
            r.ts = ts;
            r.reading = readingEnd != nullptr ? reading : nullptr;
            r.readingLength =
                readingEnd != nullptr ? static_cast<std::size_t>(readingEnd - reading) : 0;
            if (readingEnd == nullptr && !timed_) {
                r.td = td;
                r.tdLength = static_cast<std::size_t>(running_.PutLong(td) - td);
            }
            r.temp = temp_;
            r.tempLength = tempLength_;
            r.unit = tempUnit_.data();
            r.unitLength = tempUnit_.size();
            prn_.Commit(PutPrnLine(prn_.Reserve(kMaxRecordLine), r));
            csv_.Commit(PutCsvLine(csv_.Reserve(kMaxRecordLine), r));
            if (!OutputOk(failure)) return Stop::Failed;

            const bool complete = std::memcmp(ts, endText_.data(), 17) == 0;
            if (!complete && !running_.Add(intervalSeconds_)) {
                failure = Failure::Overflow;
                return Stop::Failed;
            }
            if (yield_) yield_();
            if (complete) return Stop::Finished;
            if (counter == std::numeric_limits<std::int32_t>::max()) {
                failure = Failure::Overflow;
                return Stop::Failed;
            }
        }
    }

    Reader in_;
    Writer prn_;
    Writer csv_;
    const std::function<void()>& yield_;
    bool timed_ = false;
    int setCount_ = 0;
    int setNumber_ = 0;
    std::string_view strategy_;
    std::string_view unit_;  // kept from set to set when a set's code has no text
    std::array<char, 17> endText_{};
    int intervalSeconds_ = 0;
    int tempFlag_ = 0;
    RunningTime running_;
    // Temperature texts last set by a record; kept when a set does not convert temperatures.
    char temp_[8] = {};
    std::size_t tempLength_ = 0;
    std::string_view tempUnit_;
};

}  // namespace

ConvertResult ConvertImage(ByteSource& bin, std::int64_t binLength, TextSink& prn, TextSink& csv,
                           const std::string& prnName, const std::function<void()>& yield) {
    ConvertResult result;
    result.prnName = prnName;
    gBytesRead = 0;
    if (binLength < 0 || binLength > std::numeric_limits<std::int32_t>::max()) {
        gFileLength = 0;
        result.outcome = ConvertOutcome::Failed;
        result.failureNumber = static_cast<int>(Failure::BinTooLarge);
        result.message = FailureMessage(Failure::BinTooLarge);
        return result;
    }
    gFileLength = static_cast<std::int32_t>(binLength);

    Conversion conversion(bin, binLength, prn, csv, yield);
    Failure failure = Failure::CannotReadBin;
    ConvertOutcome outcome = conversion.Run(failure);
    conversion.Flush();
    if (outcome != ConvertOutcome::Failed && (conversion.PrnFailed() || conversion.CsvFailed())) {
        outcome = ConvertOutcome::Failed;
        failure = conversion.PrnFailed() ? Failure::CannotWritePrn : Failure::CannotWriteCsv;
    }
    result.outcome = outcome;
    switch (outcome) {
        case ConvertOutcome::Completed:
            result.message = std::string(kCompletedText) + prnName;
            break;
        case ConvertOutcome::Corrupt:
            result.message = std::string(kCorruptText);
            break;
        case ConvertOutcome::Failed:
            result.failureNumber = static_cast<int>(failure);
            result.message = FailureMessage(failure);
            break;
    }
    return result;
}

}  // namespace vsdl::conversion
