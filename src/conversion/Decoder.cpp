#include "conversion/Decoder.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <limits>

#include "common/BinFormat.h"
#include "conversion/HeaderTexts.h"
#include "conversion/Record.h"
#include "conversion/RecordTexts.h"
#include "conversion/RunningTime.h"
#include "conversion/Unpack.h"

namespace vsdl::conversion {

bool IsValidTime(const CalendarTime& t) {
    // Most stamps are settled without the calendar: days up to 28 are in every month.
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
        t.minute > 59 || t.second < 0 || t.second > 59 || t.year < 1 || t.year > 9999) {
        return false;
    }
    if (t.day <= 28) return true;
    RunningTime check;
    return check.SetFull(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

double DecodedRecord::Reading() const {
    constexpr double kScale[] = {1.0, 10.0, 100.0, 1000.0};
    const double magnitude = value / kScale[std::clamp(decimals, 0, 3)];
    return negative ? -magnitude : magnitude;
}

namespace {

namespace bin = vsdl::binformat;

// A time stamp's six-bit YearOffset counts from this year (1990 to 2053).
constexpr int kFirstStampYear = 1990;

// The six time bytes of a set header as their two-digit values.
struct HeaderTime {
    std::array<int, 6> v{};  // month, day, year, hour, minute, second

    // "mm/dd/yy hh:mm:ss": the report text; it also stands for the comparison text, which
    // only has three spaces where this has one.
    std::array<char, kStampLength> Text() const {
        std::array<char, kStampLength> t{};
        PutStamp(t.data(), {v[0], v[1], v[2], v[3], v[4], v[5]});
        return t;
    }
    bool Into(RunningTime& time) const {
        return time.Set(v[0] % 100, v[1] % 100, v[2] % 100, v[3] % 100, v[4] % 100, v[5] % 100);
    }
};

CalendarTime CalendarOf(const RunningTime& t) {
    return {t.year(), t.month(), t.day(), t.hour(), t.minute(), t.second()};
}

// How a run over the records ends.
enum class Stop { Finished, EndOfFile, Failed };

class Decoding {
  public:
    Decoding(ByteSource& bin, std::int64_t length, DecodeReader& reader,
             const ConvertProgress& progress)
        : in_(bin, length), length_(length), reader_(reader), progress_(progress) {}

    ConvertOutcome Run() {
        std::uint8_t marker[3];
        if (!in_.Get(marker, 3)) return Unreadable(ConvertOutcome::Corrupt);
        const bool timed = std::equal(bin::kTimedMark.begin(), bin::kTimedMark.end(), marker);
        const bool untimed = std::equal(bin::kUntimedMark.begin(), bin::kUntimedMark.end(), marker);
        if (!timed && !untimed) return ConvertOutcome::Corrupt;
        header_.timed = timed;
        std::uint8_t setCount = 0;
        if (in_.Get(&setCount, 1)) {
            header_.strategy = setCount == 0 ? kCycleText : kOneWayText;
            for (;;) {
                const Stop stop = DataSet();
                if (stop == Stop::Failed) return ConvertOutcome::Failed;
                if (stop == Stop::EndOfFile) break;
                if (header_.number >= setCount) break;
                if (!reader_.NextDataSet()) return ReaderStopped();
            }
        }
        if (in_.failed()) return Fail(Failure::CannotReadBin);
        return ConvertOutcome::Completed;
    }

    Failure failure() const { return failure_; }
    bool readerStopped() const { return readerStopped_; }
    std::int64_t BytesRead() const { return in_.Position(); }

  private:
    ConvertOutcome Fail(Failure failure) {
        failure_ = failure;
        return ConvertOutcome::Failed;
    }
    ConvertOutcome ReaderStopped() {
        readerStopped_ = true;
        return ConvertOutcome::Failed;
    }
    ConvertOutcome Unreadable(ConvertOutcome otherwise) {
        return in_.failed() ? Fail(Failure::CannotReadBin) : otherwise;
    }
    Stop Failed(Failure failure) {
        Fail(failure);
        return Stop::Failed;
    }
    Stop EndOrReadFailure() {
        return in_.failed() ? Failed(Failure::CannotReadBin) : Stop::EndOfFile;
    }

    Stop DataSet() {
        std::uint8_t head[13];
        if (!in_.Get(head, 13)) return EndOrReadFailure();
        header_.number = head[0];
        HeaderTime start, end;
        for (int i = 0; i < 6; ++i) {
            start.v[static_cast<std::size_t>(i)] = head[1 + i];
            end.v[static_cast<std::size_t>(i)] = head[7 + i];
        }
        startText_ = start.Text();
        endText_ = end.Text();
        RunningTime check;
        if (!end.Into(check)) return Failed(Failure::InvalidEndTime);
        std::uint8_t tail[4];
        if (!in_.Get(tail, 4)) return EndOrReadFailure();
        const Interval interval = IntervalFor(tail[0]);
        const int tempFlag = tail[1];

        header_.method = MethodFor(tail[2]);
        header_.interval = interval.text;
        header_.intervalSeconds = interval.seconds;
        header_.unit = UnitFor(tail[3]);
        header_.unitCode = tail[3];
        header_.recordLength = RecordLength(header_.timed, tempFlag != 0);
        header_.temperatures = tempFlag == 1;
        header_.startText = std::string_view(startText_.data(), kStampLength);
        header_.endText = std::string_view(endText_.data(), kStampLength);
        header_.end = CalendarOf(check);
        // The start time becomes the running time.
        header_.startValid = start.Into(running_);
        if (header_.startValid) header_.start = CalendarOf(running_);
        if (!reader_.DataSet(header_)) {
            readerStopped_ = true;
            return Stop::Failed;
        }
        if (!header_.startValid) return Failed(Failure::InvalidStartTime);
        return Records();
    }

    Stop Records() {
        const bool timed = header_.timed;
        const int length = header_.recordLength;
        const bool temperatures = header_.temperatures;
        DecodedRecord r;
        char ts[kStampLength];
        char td[kLongStampLength];
        char reading[12];
        std::int16_t b[7];
        std::uint8_t bytes[8];  // the longest record is 7; one more for vectorised copies
        r.time = std::string_view(ts, kStampLength);
        r.hasTemperature = temperatures;
        for (std::int32_t counter = 1;; ++counter) {
            if (in_.AtEnd()) return Stop::EndOfFile;
            if (!in_.Get(bytes, length)) return EndOrReadFailure();
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
            if (timed) {
                // The report's text keeps the last two digits of YearOffset + 90; the stamp's
                // own year runs on to 2053, past the two-digit rule of the header times.
                PutStamp(ts, {month, day, yearOffset + 90, hour, minute, second});
                r.when = {kFirstStampYear + yearOffset, month, day, hour, minute, second};
            } else {
                running_.PutShort(ts);
                r.when = CalendarOf(running_);
            }
            if (temperatures) {
                const bool f = fahrenheit == 1;
                r.temperatureTenths = TenthsInUnit(tempTenths, f);
                r.temperature = std::string_view(
                    temp_,
                    static_cast<std::size_t>(PutTemperature(temp_, r.temperatureTenths) - temp_));
                r.temperatureUnit = f ? "(F)" : "(C)";
            }
            const char* readingEnd = PutReading(reading, value, decimals, negative);
            r.counter = counter;
            r.value = value;
            r.decimals = decimals;
            r.negative = negative == 1;
            r.inRange = readingEnd != nullptr;
            r.reading = r.inRange ? std::string_view(reading,
                                                     static_cast<std::size_t>(readingEnd - reading))
                                  : std::string_view();
            r.longTime =
                !r.inRange && !timed
                    ? std::string_view(td, static_cast<std::size_t>(running_.PutLong(td) - td))
                    : std::string_view();
            if (!reader_.Record(r)) {
                readerStopped_ = true;
                return Stop::Failed;
            }

            const bool complete = std::memcmp(ts, endText_.data(), kStampLength) == 0;
            if (!complete && !running_.Add(header_.intervalSeconds))
                return Failed(Failure::Overflow);
            if (progress_) progress_(in_.Position(), length_);
            if (complete) return Stop::Finished;
            if (counter == std::numeric_limits<std::int32_t>::max()) {
                return Failed(Failure::Overflow);
            }
        }
    }

    BufferedReader in_;
    std::int64_t length_;
    DecodeReader& reader_;
    const ConvertProgress& progress_;
    DataSetHeader header_;
    std::array<char, kStampLength> startText_{};
    std::array<char, kStampLength> endText_{};
    RunningTime running_;
    char temp_[8] = {};  // the last temperature text, kept from set to set
    Failure failure_ = Failure::CannotReadBin;
    bool readerStopped_ = false;
};

}  // namespace

DecodeResult Decode(ByteSource& bin, std::int64_t length, DecodeReader& reader,
                    const ConvertProgress& progress) {
    Decoding decoding(bin, length, reader, progress);
    DecodeResult result;
    result.outcome = decoding.Run();
    result.failure = decoding.failure();
    result.readerStopped = decoding.readerStopped();
    result.bytesRead = decoding.BytesRead();
    return result;
}

}  // namespace vsdl::conversion
