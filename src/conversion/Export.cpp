#include "conversion/Export.h"

#include <cstring>

#include "common/Paths.h"
#include "conversion/Digits.h"

namespace vsdl::conversion {
namespace {

using digits::Put;
using digits::PutDecimal;
using digits::PutPair;

constexpr std::size_t kMaxRow = 384;  // the longest row or JSON record, with room to spare

char* PutIso(char* out, const CalendarTime& t) {
    if (!IsValidTime(t)) return out;
    out = PutPair(out, static_cast<unsigned>(t.year / 100));
    out = PutPair(out, static_cast<unsigned>(t.year % 100));
    *out++ = '-';
    out = PutPair(out, static_cast<unsigned>(t.month));
    *out++ = '-';
    out = PutPair(out, static_cast<unsigned>(t.day));
    *out++ = 'T';
    out = PutPair(out, static_cast<unsigned>(t.hour));
    *out++ = ':';
    out = PutPair(out, static_cast<unsigned>(t.minute));
    *out++ = ':';
    return PutPair(out, static_cast<unsigned>(t.second));
}

// A CSV field, quoted when it holds a comma, a quote or a line break (RFC 4180).
char* PutCsvField(char* out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return Put(out, text);
    *out++ = '"';
    for (char c : text) {
        if (c == '"') *out++ = '"';
        *out++ = c;
    }
    *out++ = '"';
    return out;
}

// A JSON string of the image's texts (ASCII); quotes and backslashes are escaped.
char* PutJsonString(char* out, std::string_view text) {
    *out++ = '"';
    for (char c : text) {
        if (c == '"' || c == '\\') *out++ = '\\';
        *out++ = c;
    }
    *out++ = '"';
    return out;
}

// A header's time as a JSON string, null when there is none.
char* PutJsonTime(char* out, const CalendarTime& t, bool valid) {
    if (!valid || !IsValidTime(t)) return Put(out, "null");
    *out++ = '"';
    out = PutIso(out, t);
    *out++ = '"';
    return out;
}

std::string_view TemperatureUnit(const DecodedRecord& r) {
    return r.temperatureUnit == "(F)" ? "F" : "C";
}

// A record's time as ISO text, kept from record to record: most steps change only the seconds,
// whose two digits are then all that is written again.
class IsoText {
  public:
    // Empty when the time is no real date and time.
    std::string_view For(const CalendarTime& t) {
        if (valid_ && t.year == last_.year && t.month == last_.month && t.day == last_.day &&
            t.hour == last_.hour && t.minute == last_.minute) {
            if (t.second < 0 || t.second > 59) return {};
            PutPair(text_ + 17, static_cast<unsigned>(t.second));
            last_.second = t.second;
            return {text_, sizeof text_};
        }
        last_ = t;
        valid_ = PutIso(text_, t) != text_;
        return valid_ ? std::string_view(text_, sizeof text_) : std::string_view();
    }

  private:
    CalendarTime last_;
    bool valid_ = false;
    char text_[19] = {};
};

// A record counter's decimal text, counted up in place when it follows the last one.
class CounterText {
  public:
    std::string_view For(std::int32_t n) {
        if (n > 1 && n == last_ + 1) {
            std::size_t at = sizeof digits_;
            while (at > begin_ && digits_[at - 1] == '9') digits_[--at] = '0';
            if (at > begin_) {
                ++digits_[at - 1];
            } else {
                digits_[--begin_] = '1';
            }
        } else {
            char text[12];
            const std::size_t length =
                static_cast<std::size_t>(PutDecimal(text, static_cast<std::uint32_t>(n)) - text);
            begin_ = sizeof digits_ - length;
            std::memcpy(digits_ + begin_, text, length);
        }
        last_ = n;
        return {digits_ + begin_, sizeof digits_ - begin_};
    }

  private:
    std::int32_t last_ = 0;
    char digits_[11] = {};
    std::size_t begin_ = sizeof digits_;
};

// What both formats share: the buffered output and the set's texts.
class TidyWriter : public DecodeReader {
  public:
    TidyWriter(TextSink& out, const bool* stop) : out_(out), stop_(stop) {}
    bool NextDataSet() override { return true; }
    // Writes what closes the output and hands everything to the sink; false when it failed.
    virtual bool Finish() {
        out_.Flush();
        return !out_.failed();
    }
    std::int64_t records() const { return records_; }

  protected:
    void Text(std::string_view text) { out_.Commit(Put(out_.Reserve(text.size()), text)); }
    void KeepSet(const DataSetHeader& h) {
        setLength_ =
            static_cast<std::size_t>(PutDecimal(set_, static_cast<std::uint32_t>(h.number)) - set_);
        ++setIndex_;
        unit_ = PlainUnit(h.unit);
        // Unit texts are a few characters; quoted, each may double.
        char field[64];
        unitField_.assign(field, PutCsvField(field, unit_.substr(0, 30)));
        unitJson_.assign(field, PutJsonString(field, unit_.substr(0, 30)));
    }
    std::string_view set() const { return {set_, setLength_}; }
    // What a record's writer returns: false to end the decoding.
    bool GoOn() const { return !out_.failed() && (stop_ == nullptr || !*stop_); }
    // The set's place in the file, 1, 2, ...: two sets of a damaged image may share a number.
    std::uint32_t setIndex() const { return setIndex_; }

    // The set's own fields as JSON members, "key": value with `colon` and `comma` between them.
    char* PutSetFields(char* out, const DataSetHeader& h, std::string_view colon,
                       std::string_view comma) const {
        const auto key = [&](char* at, std::string_view name) {
            return Put(Put(Put(Put(Put(at, comma), "\""), name), "\""), colon);
        };
        out = key(out, "strategy");
        out = PutJsonString(out, h.strategy);
        out = key(out, "method");
        out = PutJsonString(out, h.method);
        out = key(out, "interval");
        out = PutJsonString(out, h.interval);
        out = key(out, "interval_seconds");
        out = PutDecimal(out, static_cast<std::uint32_t>(h.intervalSeconds));
        out = key(out, "unit");
        out = Put(out, unitJson_);
        out = key(out, "unit_code");
        out = PutDecimal(out, static_cast<std::uint32_t>(h.unitCode));
        out = key(out, "timed");
        out = Put(out, h.timed ? "true" : "false");
        out = key(out, "temperatures");
        out = Put(out, h.temperatures ? "true" : "false");
        out = key(out, "start");
        out = PutJsonTime(out, h.start, h.startValid);
        out = key(out, "end");
        return PutJsonTime(out, h.end, true);
    }

    BufferedWriter out_;
    std::string_view unit_;
    std::string unitField_;  // the unit as a CSV field
    std::string unitJson_;   // the unit as a JSON string
    IsoText time_;
    CounterText counter_;
    std::int64_t records_ = 0;

  private:
    const bool* stop_;
    char set_[12] = {};  // a byte has three digits; room for any number
    std::size_t setLength_ = 0;
    std::uint32_t setIndex_ = 0;
};

class TidyCsv final : public TidyWriter {
  public:
    TidyCsv(TextSink& out, const bool* stop) : TidyWriter(out, stop) {
        Text(kTidyCsvHeader);
        Text(kNewLine);
    }
    bool DataSet(const DataSetHeader& h) override {
        KeepSet(h);
        return !out_.failed();
    }
    bool Record(const DecodedRecord& r) override {
        ++records_;
        char* out = out_.Reserve(kMaxRow);
        out = Put(out, set());
        *out++ = ',';
        out = Put(out, counter_.For(r.counter));
        *out++ = ',';
        out = Put(out, time_.For(r.when));
        *out++ = ',';
        out =
            r.inRange ? Put(Put(out, PlainReading(r.reading)), ",ok,") : Put(out, ",out of range,");
        out = Put(out, unitField_);
        *out++ = ',';
        if (r.hasTemperature) {
            out = Put(out, r.temperature);
            *out++ = ',';
            out = Put(out, TemperatureUnit(r));
        } else {
            *out++ = ',';
        }
        out_.Commit(Put(out, kNewLine));
        return GoOn();
    }
};

// {"data_sets": [{"number": 1, ..., "records": [{"record": 1, ...}, ...]}, ...]}
class TidyJson final : public TidyWriter {
  public:
    TidyJson(TextSink& out, const bool* stop) : TidyWriter(out, stop) {
        Text("{");
        Text(kNewLine);
        Text("  \"data_sets\": [");
    }
    bool DataSet(const DataSetHeader& h) override {
        KeepSet(h);
        CloseSet();
        Text(sets_++ == 0 ? "" : ",");
        Text(kNewLine);
        char* out = out_.Reserve(kMaxRow * 2);
        out = Put(out, "    {\"set_index\": ");
        out = PutDecimal(out, setIndex());
        out = Put(out, ", \"number\": ");
        out = Put(out, set());
        out = PutSetFields(out, h, ": ", ", ");
        out = Put(out, ",");
        out = Put(out, kNewLine);
        out = Put(out, "     \"records\": [");
        out_.Commit(out);
        inSet_ = true;
        setRecords_ = 0;
        return !out_.failed();
    }
    bool Record(const DecodedRecord& r) override {
        ++records_;
        char* out = out_.Reserve(kMaxRow);
        if (setRecords_++ != 0) *out++ = ',';
        out = Put(out, kNewLine);
        out = Put(out, "      {\"record\": ");
        out = Put(out, counter_.For(r.counter));
        out = Put(out, ", \"time\": ");
        const std::string_view time = time_.For(r.when);
        out = time.empty() ? Put(out, "null") : Put(Put(Put(out, "\""), time), "\"");
        out = Put(out, ", \"reading\": ");
        out = Put(out, r.inRange ? PlainReading(r.reading) : "null");
        out = Put(out, r.inRange ? ", \"status\": \"ok\"" : ", \"status\": \"out of range\"");
        out = Put(out, ", \"temperature\": ");
        if (r.hasTemperature) {
            out = Put(out, r.temperature);
            out = Put(out, ", \"temperature_unit\": ");
            out = PutJsonString(out, TemperatureUnit(r));
        } else {
            out = Put(out, "null, \"temperature_unit\": null");
        }
        out_.Commit(Put(out, "}"));
        return GoOn();
    }
    bool Finish() override {
        CloseSet();
        Text(kNewLine);
        Text("  ]");
        Text(kNewLine);
        Text("}");
        Text(kNewLine);
        return TidyWriter::Finish();
    }

  private:
    void CloseSet() {
        if (!inSet_) return;
        if (setRecords_ != 0) {
            Text(kNewLine);
            Text("     ");
        }
        Text("]}");
        inSet_ = false;
    }

    int sets_ = 0;
    bool inSet_ = false;
    std::int64_t setRecords_ = 0;
};

// One object per line, compact, for readers that take a line at a time: the set's fields (with
// data_set, without record) before its records, then one line per record:
// {"set_index":1,"data_set":4,"record":1,"time":"...","reading":345,"status":"ok",...}
class TidyJsonLines final : public TidyWriter {
  public:
    using TidyWriter::TidyWriter;
    bool DataSet(const DataSetHeader& h) override {
        KeepSet(h);
        char* out = out_.Reserve(kMaxRow * 2);
        out = PutKeys(out);
        out = PutSetFields(out, h, ":", ",");
        out_.Commit(Put(Put(out, "}"), kNewLine));
        // The start of every record line, up to the record's number.
        char start[kMaxRow];
        recordStart_.assign(start, Put(PutKeys(start), ",\"record\":"));
        recordUnit_ = ",\"unit\":" + unitJson_;
        return !out_.failed();
    }
    bool Record(const DecodedRecord& r) override {
        ++records_;
        char* out = out_.Reserve(kMaxRow);
        out = Put(out, recordStart_);
        out = Put(out, counter_.For(r.counter));
        const std::string_view time = time_.For(r.when);
        out = time.empty() ? Put(out, ",\"time\":null")
                           : Put(Put(Put(out, ",\"time\":\""), time), "\"");
        out = Put(out, ",\"reading\":");
        out = Put(out, r.inRange ? PlainReading(r.reading) : "null");
        out = Put(out, r.inRange ? ",\"status\":\"ok\"" : ",\"status\":\"out of range\"");
        out = Put(out, recordUnit_);
        if (r.hasTemperature) {
            out = Put(Put(out, ",\"temperature\":"), r.temperature);
            out = Put(out, ",\"temperature_unit\":");
            out = PutJsonString(out, TemperatureUnit(r));
        } else {
            out = Put(out, ",\"temperature\":null,\"temperature_unit\":null");
        }
        out_.Commit(Put(Put(out, "}"), kNewLine));
        return GoOn();
    }

  private:
    char* PutKeys(char* out) const {
        out = Put(out, "{\"set_index\":");
        out = PutDecimal(out, setIndex());
        return Put(Put(out, ",\"data_set\":"), set());
    }

    std::string recordStart_;
    std::string recordUnit_;
};

ExportResult Run(TidyWriter& writer, ByteSource& bin, std::int64_t length,
                 const ConvertProgress& progress, const bool* stop) {
    const DecodeResult decoded = Decode(bin, length, writer, progress);
    ExportResult result;
    result.outcome = decoded.outcome;
    result.failure = decoded.failure;
    result.bytesRead = decoded.bytesRead;
    result.records = writer.records();
    // What was decoded before a failure is written all the same, as the report keeps it.
    if (!writer.Finish() || decoded.readerStopped) {
        result.outcome = ConvertOutcome::Failed;
        result.stopped = decoded.readerStopped && stop != nullptr && *stop;
        result.writeFailed = !result.stopped;
    }
    return result;
}

}  // namespace

std::string IsoTime(const CalendarTime& t) {
    char text[20];
    return std::string(text, static_cast<std::size_t>(PutIso(text, t) - text));
}

std::string_view PlainUnit(std::string_view unit) {
    if (unit.size() >= 2 && unit.front() == '(' && unit.back() == ')') {
        unit = unit.substr(1, unit.size() - 2);
    }
    const std::size_t first = unit.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return unit.substr(first, unit.find_last_not_of(' ') - first + 1);
}

std::string_view PlainReading(std::string_view reading) {
    if (!reading.empty() && reading.front() == ' ') reading.remove_prefix(1);
    if (!reading.empty() && reading.back() == '.') reading.remove_suffix(1);
    return reading;
}

ExportFormat ExportFormatFor(std::string_view path) {
    const auto endsWith = [path](std::string_view end) {
        return path.size() >= end.size() &&
               paths::EqualsIgnoreCase(path.substr(path.size() - end.size()), end);
    };
    if (endsWith(".json")) return ExportFormat::Json;
    if (endsWith(".jsonl")) return ExportFormat::Jsonl;
    if (endsWith(".xlsx")) return ExportFormat::Xlsx;
    return ExportFormat::Csv;
}

ExportResult ExportImage(ByteSource& bin, std::int64_t length, TextSink& out, ExportFormat format,
                         const ConvertProgress& progress, const bool* stop) {
    switch (format) {
        case ExportFormat::Csv: {
            TidyCsv csv(out, stop);
            return Run(csv, bin, length, progress, stop);
        }
        case ExportFormat::Json: {
            TidyJson json(out, stop);
            return Run(json, bin, length, progress, stop);
        }
        case ExportFormat::Jsonl: {
            TidyJsonLines lines(out, stop);
            return Run(lines, bin, length, progress, stop);
        }
        case ExportFormat::Xlsx:
            break;
    }
    ExportResult notText;
    notText.outcome = ConvertOutcome::Failed;
    notText.writeFailed = true;
    return notText;
}

}  // namespace vsdl::conversion
