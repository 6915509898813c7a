#include "conversion/ConvertCore.h"

#include <cstring>
#include <limits>
#include <string_view>

#include "conversion/Decoder.h"
#include "conversion/Digits.h"
#include "conversion/Failures.h"
#include "conversion/HeaderTexts.h"
#include "conversion/Record.h"
#include "conversion/RecordTexts.h"

namespace vsdl::conversion {
namespace {

void WriteBanner(BufferedWriter& prn, std::string_view strategy) {
    for (std::string_view line : kBanner) prn.Line(line);
    prn.Line(kStrategyLabel, strategy);
    prn.Line("");
}

// A record's time as the report shows it, "mm/dd/yy hh:mm:ss", kept from record to record: most
// steps change only the seconds, whose two digits are then all that is written again.
class StampText {
  public:
    std::string_view For(const CalendarTime& t) {
        if (!valid_ || t.minute != last_.minute || t.hour != last_.hour || t.day != last_.day ||
            t.month != last_.month || t.year != last_.year) {
            valid_ = true;
            last_ = t;
            PutStamp(text_, {t.month, t.day, t.year, t.hour, t.minute, t.second});
        } else if (t.second != last_.second) {
            last_.second = t.second;
            digits::PutPair(text_ + 15, static_cast<unsigned>(t.second) % 100);
        }
        return {text_, kStampLength};
    }

  private:
    bool valid_ = false;
    CalendarTime last_;
    char text_[kStampLength] = {};
};

std::string_view Text(const char* begin, const char* end) {
    return {begin, static_cast<std::size_t>(end - begin)};
}

// The PRN report and the CSV file of a decoded image.
class ReportWriter final : public DecodeReader {
  public:
    ReportWriter(TextSink& prn, TextSink& csv) : prn_(prn), csv_(csv) {}

    bool DataSet(const DataSetHeader& h) override {
        texts_.length = h.recordLength;
        // A set whose unit code the logger does not use shows the unit of the set before it.
        if (h.unitKnown) unit_ = h.unit.empty() ? "(   )" : "(" + std::string(h.unit) + ")";
        if (h.number <= 1) WriteBanner(prn_, h.strategy);
        char number[12];  // a byte has three digits; room for any number
        const char* numberEnd = digits::PutDecimal(number, static_cast<std::uint32_t>(h.number));
        prn_.Line("");
        prn_.Line(kSetNumberLabel,
                  std::string_view(number, static_cast<std::size_t>(numberEnd - number)));
        prn_.Line("");
        prn_.Line(kMethodLabel, h.method);
        prn_.Line("");
        prn_.Line(kIntervalLabel, h.interval);
        prn_.Line("");
        prn_.Line(kUnitLabel, unit_, " ");
        prn_.Line("");
        // An invalid start time ends the report here: the decoding fails with it.
        if (!h.startValid) return true;
        char start[kStampLength], end[kStampLength];
        prn_.Line(kStartedLabel, Text(start, PutStamp(start, h.startStamp)));
        prn_.Line(kEndedLabel, Text(end, PutStamp(end, h.endStamp)));
        prn_.Line("");
        prn_.Line(kEquals79);
        prn_.Line("");
        prn_.Line("");
        return Ok();
    }

    bool Record(const DecodedRecord& d) override {
        // Temperature texts are those a record last had; a set that does not convert
        // temperatures shows the last ones of the sets before it.
        if (d.hasTemperature) {
            texts_.temp = Text(temperature_, PutTemperature(temperature_, d.temperatureTenths));
            texts_.unit = d.fahrenheit ? "(F)" : "(C)";
        }
        texts_.counter = d.counter;
        texts_.ts = stamp_.For(d.when);
        texts_.inRange = d.inRange;
        if (d.inRange) {
            texts_.reading = Text(reading_, PutReading(reading_, d.value, d.decimals, d.negative));
        } else if (!IsTimed(texts_.length)) {
            const CalendarTime& t = d.when;
            texts_.td = Text(
                longTime_,
                PutStamp(longTime_, {t.month, t.day, t.year, t.hour, t.minute, t.second}, true));
        }
        prn_.Commit(PutPrnLine(prn_.Reserve(kMaxRecordLine), texts_));
        csv_.Commit(PutCsvLine(csv_.Reserve(kMaxRecordLine), texts_));
        return Ok();
    }

    bool NextDataSet() override {
        prn_.Line(kEquals79);
        csv_.Line(kNewDataSetLine);
        return Ok();
    }

    // The closing line after the last set.
    bool Finish() {
        prn_.Line(kEquals79);
        return Ok();
    }

    void Flush() {
        prn_.Flush();
        csv_.Flush();
    }
    bool Ok() const { return !prn_.failed() && !csv_.failed(); }
    Failure WriteFailure() const {
        return prn_.failed() ? Failure::CannotWritePrn : Failure::CannotWriteCsv;
    }

  private:
    BufferedWriter prn_;
    BufferedWriter csv_;
    std::string unit_;
    RecordTexts texts_;  // views into the buffers below; length and temperature stay
    StampText stamp_;
    char reading_[12] = {};
    char longTime_[kLongStampLength] = {};
    char temperature_[8] = {};  // the last temperature text, kept from set to set
};

}  // namespace

ConvertResult ConvertImage(ByteSource& bin, std::int64_t binLength, TextSink& prn, TextSink& csv,
                           const std::string& prnName, const ConvertProgress& progress) {
    if (binLength < 0 || binLength > std::numeric_limits<std::int32_t>::max()) {
        return FailedResult(Failure::BinTooLarge, prnName);
    }
    ReportWriter writer(prn, csv);
    const DecodeResult decoded = Decode(bin, binLength, writer, progress);
    ConvertOutcome outcome = decoded.outcome;
    Failure failure = decoded.readerStopped ? writer.WriteFailure() : decoded.failure;
    if (outcome == ConvertOutcome::Completed && !writer.Finish()) {
        outcome = ConvertOutcome::Failed;
        failure = writer.WriteFailure();
    }
    writer.Flush();
    if (outcome != ConvertOutcome::Failed && !writer.Ok()) {
        outcome = ConvertOutcome::Failed;
        failure = writer.WriteFailure();
    }
    ConvertResult result =
        outcome == ConvertOutcome::Failed ? FailedResult(failure, prnName) : ConvertResult{};
    result.outcome = outcome;
    result.outputName = prnName;
    result.bytesRead = decoded.bytesRead;
    result.length = binLength;
    if (outcome == ConvertOutcome::Completed)
        result.message = std::string(kCompletedText) + prnName;
    if (outcome == ConvertOutcome::Corrupt) result.message = std::string(kCorruptText);
    return result;
}

}  // namespace vsdl::conversion
