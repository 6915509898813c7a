#include "conversion/ConvertCore.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string_view>

#include "common/BinFormat.h"
#include "conversion/Digits.h"
#include "conversion/Failures.h"
#include "conversion/HeaderTexts.h"
#include "conversion/Record.h"
#include "conversion/RecordTexts.h"
#include "conversion/RunningTime.h"
#include "conversion/Unpack.h"

namespace vsdl::conversion {
namespace {

namespace bin = vsdl::binformat;

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

void WriteBanner(BufferedWriter& prn, std::string_view strategy) {
    for (std::string_view line : kBanner) prn.Line(line);
    prn.Line(kStrategyLabel, strategy);
    prn.Line("");
}

// How a run over the records ends.
enum class Stop { Finished, EndOfFile, Failed };

class Conversion {
  public:
    Conversion(ByteSource& bin, std::int64_t length, TextSink& prn, TextSink& csv,
               const ConvertProgress& progress)
        : in_(bin, length), length_(length), prn_(prn), csv_(csv), progress_(progress) {}

    // Runs everything after the marker check; returns the failure, if any.
    ConvertOutcome Run(Failure& failure) {
        std::uint8_t marker[3];
        if (!in_.Get(marker, 3)) return Unreadable(failure, ConvertOutcome::Corrupt);
        const bool timed = std::equal(bin::kTimedMark.begin(), bin::kTimedMark.end(), marker);
        const bool untimed = std::equal(bin::kUntimedMark.begin(), bin::kUntimedMark.end(), marker);
        if (!timed && !untimed) return ConvertOutcome::Corrupt;
        timed_ = timed;
        std::uint8_t setCount = 0;
        if (in_.Get(&setCount, 1)) {
            setCount_ = setCount;
            strategy_ = setCount == 0 ? kCycleText : kOneWayText;
            for (;;) {
                const Stop stop = DataSet(failure);
                if (stop == Stop::Failed) return ConvertOutcome::Failed;
                if (stop == Stop::EndOfFile) break;
                if (setNumber_ >= setCount_) break;
                prn_.Line(kEquals79);
                csv_.Line(kNewDataSetLine);
                if (!OutputOk(failure)) return ConvertOutcome::Failed;
            }
        }
        if (in_.failed()) {
            failure = Failure::CannotReadBin;
            return ConvertOutcome::Failed;
        }
        prn_.Line(kEquals79);
        return OutputOk(failure) ? ConvertOutcome::Completed : ConvertOutcome::Failed;
    }

    void Flush() {
        prn_.Flush();
        csv_.Flush();
    }
    std::int64_t BytesRead() const { return in_.Position(); }
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
        const std::array<char, kStampLength> startText = start.Text();
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
        const char* numberEnd = digits::PutDecimal(number, static_cast<std::uint32_t>(setNumber_));
        prn_.Line("");
        prn_.Line(kSetNumberLabel,
                  std::string_view(number, static_cast<std::size_t>(numberEnd - number)));
        prn_.Line("");
        prn_.Line(kMethodLabel, MethodFor(tail[2]));
        prn_.Line("");
        prn_.Line(kIntervalLabel, interval.text);
        prn_.Line("");
        prn_.Line(kUnitLabel, unit_, " ");
        prn_.Line("");
        // The start time becomes the running time only now, behind the unit line.
        if (!start.Into(running_)) {
            failure = Failure::InvalidStartTime;
            return Stop::Failed;
        }
        prn_.Line(kStartedLabel, std::string_view(startText.data(), kStampLength));
        prn_.Line(kEndedLabel, std::string_view(endText_.data(), kStampLength));
        prn_.Line("");
        prn_.Line(kEquals79);
        prn_.Line("");
        prn_.Line("");
        if (!OutputOk(failure)) return Stop::Failed;
        return Records(failure);
    }

    Stop Records(Failure& failure) {
        const int length = RecordLength(timed_, tempFlag_ != 0);
        RecordTexts r;
        r.length = length;
        char ts[kStampLength];
        char td[kLongStampLength];
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
                // The year keeps the last two digits of YearOffset + 90.
                PutStamp(ts, {month, day, yearOffset + 90, hour, minute, second});
            } else {
                running_.PutShort(ts);
            }
            if (tempFlag_ == 1 && HasTemperature(length)) {
                tempLength_ = static_cast<std::size_t>(
                    PutTemperature(temp_, tempTenths, fahrenheit == 1) - temp_);
                tempUnit_ = fahrenheit == 1 ? "(F)" : "(C)";
            }
            const char* readingEnd = PutReading(reading, value, decimals, negative);
            r.counter = counter;
            r.ts = std::string_view(ts, kStampLength);
            r.inRange = readingEnd != nullptr;
            r.reading = r.inRange ? std::string_view(reading,
                                                     static_cast<std::size_t>(readingEnd - reading))
                                  : std::string_view();
            if (!r.inRange && !timed_) {
                r.td = std::string_view(td, static_cast<std::size_t>(running_.PutLong(td) - td));
            }
            r.temp = std::string_view(temp_, tempLength_);
            r.unit = tempUnit_;
            prn_.Commit(PutPrnLine(prn_.Reserve(kMaxRecordLine), r));
            csv_.Commit(PutCsvLine(csv_.Reserve(kMaxRecordLine), r));
            if (!OutputOk(failure)) return Stop::Failed;

            const bool complete = std::memcmp(ts, endText_.data(), kStampLength) == 0;
            if (!complete && !running_.Add(intervalSeconds_)) {
                failure = Failure::Overflow;
                return Stop::Failed;
            }
            if (progress_) progress_(in_.Position(), length_);
            if (complete) return Stop::Finished;
            if (counter == std::numeric_limits<std::int32_t>::max()) {
                failure = Failure::Overflow;
                return Stop::Failed;
            }
        }
    }

    BufferedReader in_;
    std::int64_t length_;
    BufferedWriter prn_;
    BufferedWriter csv_;
    const ConvertProgress& progress_;
    bool timed_ = false;
    int setCount_ = 0;
    int setNumber_ = 0;
    std::string_view strategy_;
    std::string_view unit_;  // kept from set to set when a set's code has no text
    std::array<char, kStampLength> endText_{};
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
                           const std::string& prnName, const ConvertProgress& progress) {
    if (binLength < 0 || binLength > std::numeric_limits<std::int32_t>::max()) {
        return FailedResult(Failure::BinTooLarge, prnName);
    }
    Conversion conversion(bin, binLength, prn, csv, progress);
    Failure failure = Failure::CannotReadBin;
    ConvertOutcome outcome = conversion.Run(failure);
    conversion.Flush();
    if (outcome != ConvertOutcome::Failed && (conversion.PrnFailed() || conversion.CsvFailed())) {
        outcome = ConvertOutcome::Failed;
        failure = conversion.PrnFailed() ? Failure::CannotWritePrn : Failure::CannotWriteCsv;
    }
    ConvertResult result =
        outcome == ConvertOutcome::Failed ? FailedResult(failure, prnName) : ConvertResult{};
    result.outcome = outcome;
    result.prnName = prnName;
    result.bytesRead = conversion.BytesRead();
    result.length = binLength;
    if (outcome == ConvertOutcome::Completed)
        result.message = std::string(kCompletedText) + prnName;
    if (outcome == ConvertOutcome::Corrupt) result.message = std::string(kCorruptText);
    return result;
}

}  // namespace vsdl::conversion
