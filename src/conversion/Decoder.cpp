#include "conversion/Decoder.h"

#include <algorithm>
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

// The six time bytes of a set header, as stored.
bool SetRunningTime(RunningTime& time, const Stamp& s) {
    return time.Set(s.month % 100, s.day % 100, s.year % 100, s.hour % 100, s.minute % 100,
                    s.second % 100);
}

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
        header_.startStamp = {head[1], head[2], head[3], head[4], head[5], head[6]};
        header_.endStamp = {head[7], head[8], head[9], head[10], head[11], head[12]};
        const Stamp& e = header_.endStamp;
        // A set ends at the record whose time shows the end time: the last two digits of each
        // field.
        end_ = {e.month % 100, e.day % 100,    e.year % 100,
                e.hour % 100,  e.minute % 100, e.second % 100};
        RunningTime check;
        if (!SetRunningTime(check, header_.endStamp)) return Failed(Failure::InvalidEndTime);
        std::uint8_t tail[4];
        if (!in_.Get(tail, 4)) return EndOrReadFailure();
        const Interval interval = IntervalFor(tail[0]);
        const int tempFlag = tail[1];
        const Unit unit = UnitFor(tail[3]);

        header_.method = MethodFor(tail[2]);
        header_.interval = interval.text;
        header_.intervalSeconds = interval.seconds;
        header_.unit = unit.name;
        header_.unitKnown = unit.known;
        header_.unitCode = tail[3];
        header_.recordLength = RecordLength(header_.timed, tempFlag != 0);
        header_.temperatures = tempFlag == 1;
        header_.end = CalendarOf(check);
        // The start time becomes the running time.
        header_.startValid = SetRunningTime(running_, header_.startStamp);
        if (header_.startValid) header_.start = CalendarOf(running_);
        if (!reader_.DataSet(header_)) {
            readerStopped_ = true;
            return Stop::Failed;
        }
        if (!header_.startValid) return Failed(Failure::InvalidStartTime);
        return Records();
    }

    // Whether a record at `t` is the set's last: its time shows the header's end time.
    bool AtEnd(const CalendarTime& t) const {
        return t.second == end_.second && t.minute == end_.minute && t.hour == end_.hour &&
               t.day == end_.day && t.month == end_.month && t.year % 100 == end_.year;
    }

    Stop Records() {
        const bool timed = header_.timed;
        const int length = header_.recordLength;
        DecodedRecord r;
        std::int16_t b[7];
        std::uint8_t bytes[8];  // the longest record is 7; one more for vectorised copies
        r.hasTemperature = header_.temperatures;
        for (std::int32_t counter = 1;; ++counter) {
            if (in_.AtEnd()) return Stop::EndOfFile;
            if (!in_.Get(bytes, length)) return EndOrReadFailure();
            for (int i = 0; i < length; ++i) b[i] = bytes[i];
            RecordFields f;
            switch (length) {
                case 2:
                    f = Unpack2Byte(b[0], b[1]);
                    break;
                case 3:
                    f = Unpack3Byte(b[0], b[1], b[2]);
                    break;
                case 6:
                    f = Unpack6Byte(b[0], b[1], b[2], b[3], b[4], b[5]);
                    break;
                default:
                    f = Unpack7Byte(b[0], b[1], b[2], b[3], b[4], b[5], b[6]);
                    break;
            }
            if (timed) {
                // The stamp's own year runs on to 2053, past the two-digit rule of the header
                // times; the report shows its last two digits.
                r.when = {
                    kFirstStampYear + f.yearOffset, f.month, f.day, f.hour, f.minute, f.second};
            } else {
                r.when = CalendarOf(running_);
            }
            if (r.hasTemperature) {
                r.fahrenheit = f.fahrenheit == 1;
                r.temperatureTenths = TenthsInUnit(f.tempTenths, r.fahrenheit);
            }
            r.counter = counter;
            r.value = f.reading;
            r.decimals = f.decimals;
            r.negative = f.negative == 1;
            r.inRange = ReadingInRange(f.reading, f.decimals);
            if (!reader_.Record(r)) {
                readerStopped_ = true;
                return Stop::Failed;
            }

            const bool complete = AtEnd(r.when);
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
    Stamp end_{};  // the end time's fields as a record's time shows them
    RunningTime running_;
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
