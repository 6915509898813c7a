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

// The PRN report and the CSV file of a decoded image.
class ReportWriter final : public DecodeReader {
  public:
    ReportWriter(TextSink& prn, TextSink& csv) : prn_(prn), csv_(csv) {}

    bool DataSet(const DataSetHeader& h) override {
        texts_.length = h.recordLength;
        // A set whose unit code has no text shows the unit of the set before it.
        if (!h.unit.empty()) unit_ = h.unit;
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
        prn_.Line(kStartedLabel, h.startText);
        prn_.Line(kEndedLabel, h.endText);
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
            texts_.temp = d.temperature;  // stays valid until the next temperature
            texts_.unit = d.temperatureUnit;
        }
        texts_.counter = d.counter;
        texts_.ts = d.time;
        texts_.td = d.longTime;
        texts_.inRange = d.inRange;
        texts_.reading = d.reading;
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
    std::string_view unit_;
    RecordTexts texts_;  // what stays from record to record: length, temperature texts
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
    result.prnName = prnName;
    result.bytesRead = decoded.bytesRead;
    result.length = binLength;
    if (outcome == ConvertOutcome::Completed)
        result.message = std::string(kCompletedText) + prnName;
    if (outcome == ConvertOutcome::Corrupt) result.message = std::string(kCorruptText);
    return result;
}

}  // namespace vsdl::conversion
