#include "workbook/Workbook.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "common/AtomicFile.h"
#include "common/Paths.h"
#include "conversion/Decoder.h"
#include "conversion/modConvert.h"

#if VSDL_WITH_XLSX
#include <xlsxwriter.h>
#endif

namespace vsdl::workbook {

using conversion::ExportResult;

#if VSDL_WITH_XLSX

namespace {

using conversion::CalendarTime;
using conversion::ConvertOutcome;
using conversion::DataSetHeader;
using conversion::DecodedRecord;

constexpr std::array<const char*, 8> kDataColumns = {
    "data_set", "record", "time", "reading", "status", "unit", "temperature", "temperature_unit"};
constexpr std::array<const char*, 11> kSetColumns = {
    "set_index", "data_set",  "strategy", "method", "interval", "interval_seconds",
    "unit",      "unit_code", "start",    "end",    "records"};

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long DaysFromCivil(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// A spreadsheet's date-time number: days since 1899-12-30 (right from March 1900 on, and the
// logger's years are 1930 to 2029) with the time of day as the fraction.
double SerialOf(const CalendarTime& t) {
    constexpr long kEpoch = -25569;  // DaysFromCivil(1899, 12, 30)
    const long days = DaysFromCivil(t.year, t.month, t.day) - kEpoch;
    return static_cast<double>(days) + (t.hour * 3600 + t.minute * 60 + t.second) / 86400.0;
}

// What the "Data sets" sheet lists: the headers' texts are copied, as they live only as long as
// the decoder's call.
struct SetRow {
    std::uint32_t index = 0;
    int number = 0;
    std::string strategy, method, interval, unit;
    int intervalSeconds = 0;
    int unitCode = 0;
    std::optional<CalendarTime> start, end;
    std::int64_t records = 0;
};

class WorkbookWriter final : public conversion::DecodeReader {
  public:
    WorkbookWriter(const std::string& path, std::string tmpFolder, bool large,
                   std::int64_t recordsPerSheet, const bool* stop)
        : tmpFolder_(std::move(tmpFolder)), recordsPerSheet_(recordsPerSheet), stop_(stop) {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = tmpFolder_.data();
        // Zip64 only where the file could pass 4 GB: some readers do not take it.
        options.use_zip64 = large ? LXW_TRUE : LXW_FALSE;
        book_ = workbook_new_opt(path.c_str(), &options);
        if (book_ == nullptr) return;
        bold_ = workbook_add_format(book_);
        format_set_bold(bold_);
        time_ = workbook_add_format(book_);
        format_set_num_format(time_, "yyyy-mm-dd hh:mm:ss");
        NewDataSheet();
    }
    ~WorkbookWriter() override {
        // Closing writes the file; without Finish the caller has failed anyway.
        if (book_ != nullptr) workbook_close(book_);
    }
    WorkbookWriter(const WorkbookWriter&) = delete;
    WorkbookWriter& operator=(const WorkbookWriter&) = delete;

    bool ok() const { return book_ != nullptr && error_ == LXW_NO_ERROR; }
    bool stopped() const { return stop_ != nullptr && *stop_; }
    // A stopped export is given up without zipping what was written so far.
    void Discard() {
        if (book_ != nullptr) lxw_workbook_free(book_);
        book_ = nullptr;
    }
    std::string reason() const {
        return book_ == nullptr ? "the workbook could not be started" : lxw_strerror(error_);
    }
    std::int64_t records() const { return records_; }

    bool NextDataSet() override { return true; }
    bool DataSet(const DataSetHeader& h) override {
        SetRow set;
        set.index = static_cast<std::uint32_t>(sets_.size() + 1);
        set.number = h.number;
        set.strategy = h.strategy;
        set.method = h.method;
        set.interval = h.interval;
        set.intervalSeconds = h.intervalSeconds;
        set.unit = conversion::PlainUnit(h.unit);
        set.unitCode = h.unitCode;
        if (h.startValid && conversion::IsValidTime(h.start)) set.start = h.start;
        if (conversion::IsValidTime(h.end)) set.end = h.end;
        sets_.push_back(std::move(set));
        return ok();
    }
    bool Record(const DecodedRecord& r) override {
        if (row_ > recordsPerSheet_) NewDataSheet();
        SetRow& set = sets_.back();
        ++set.records;
        ++records_;
        Number(0, set.number);
        Number(1, r.counter);
        if (conversion::IsValidTime(r.when)) Number(2, SerialOf(r.when), time_);
        if (r.inRange) Number(3, r.Reading());
        Text(4, r.inRange ? "ok" : "out of range");
        if (!set.unit.empty()) Text(5, set.unit.c_str());
        if (r.hasTemperature) {
            Number(6, r.Temperature());
            Text(7, r.temperatureUnit == "(F)" ? "F" : "C");
        }
        ++row_;
        return ok() && !stopped();
    }

    // Writes the "Data sets" sheet and the file; false when the file could not be written.
    bool Finish() {
        if (book_ == nullptr) return false;
        EndDataSheet();
        sheet_ = workbook_add_worksheet(book_, "Data sets");
        if (sheet_ == nullptr) return false;
        worksheet_set_column(sheet_, 2, 4, 12, nullptr);
        worksheet_set_column(sheet_, 8, 9, 20, nullptr);
        Header(kSetColumns.data(), kSetColumns.size());
        row_ = 1;
        for (const SetRow& set : sets_) {
            Number(0, set.index);
            Number(1, set.number);
            Text(2, set.strategy.c_str());
            Text(3, set.method.c_str());
            Text(4, set.interval.c_str());
            Number(5, set.intervalSeconds);
            if (!set.unit.empty()) Text(6, set.unit.c_str());
            Number(7, set.unitCode);
            if (set.start) Number(8, SerialOf(*set.start), time_);
            if (set.end) Number(9, SerialOf(*set.end), time_);
            Number(10, static_cast<double>(set.records));
            ++row_;
        }
        EndSheet(kSetColumns.size());
        lxw_workbook* book = book_;
        book_ = nullptr;
        const lxw_error closed = workbook_close(book);
        if (error_ == LXW_NO_ERROR) error_ = closed;
        return error_ == LXW_NO_ERROR;
    }

  private:
    void NewDataSheet() {
        EndDataSheet();
        ++dataSheets_;
        const std::string name =
            dataSheets_ == 1 ? "Data" : "Data (" + std::to_string(dataSheets_) + ")";
        sheet_ = workbook_add_worksheet(book_, name.c_str());
        if (sheet_ == nullptr) {
            error_ = LXW_ERROR_MEMORY_MALLOC_FAILED;
            return;
        }
        dataSheet_ = sheet_;
        // Widths before the first row: the constant-memory mode writes them with it.
        worksheet_set_column(sheet_, 2, 2, 20, nullptr);
        worksheet_set_column(sheet_, 4, 4, 12, nullptr);
        worksheet_set_column(sheet_, 6, 7, 12, nullptr);
        Header(kDataColumns.data(), kDataColumns.size());
        row_ = 1;
    }
    void EndDataSheet() {
        if (dataSheet_ == nullptr) return;
        sheet_ = dataSheet_;
        EndSheet(kDataColumns.size());
        dataSheet_ = nullptr;
    }
    // The header row stays in view and carries the filter over every row below it.
    void EndSheet(std::size_t columns) {
        worksheet_freeze_panes(sheet_, 1, 0);
        Check(worksheet_autofilter(sheet_, 0, 0, static_cast<lxw_row_t>(row_ - 1),
                                   static_cast<lxw_col_t>(columns - 1)));
    }
    void Header(const char* const* names, std::size_t count) {
        for (std::size_t c = 0; c < count; ++c) {
            Check(worksheet_write_string(sheet_, 0, static_cast<lxw_col_t>(c), names[c], bold_));
        }
    }
    void Number(int column, double value, lxw_format* format = nullptr) {
        Check(worksheet_write_number(sheet_, static_cast<lxw_row_t>(row_),
                                     static_cast<lxw_col_t>(column), value, format));
    }
    void Text(int column, const char* text) {
        Check(worksheet_write_string(sheet_, static_cast<lxw_row_t>(row_),
                                     static_cast<lxw_col_t>(column), text, nullptr));
    }
    void Check(lxw_error error) {
        if (error != LXW_NO_ERROR && error_ == LXW_NO_ERROR) error_ = error;
    }

    std::string tmpFolder_;
    std::int64_t recordsPerSheet_;
    const bool* stop_;
    lxw_workbook* book_ = nullptr;
    lxw_format* bold_ = nullptr;
    lxw_format* time_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;      // the sheet being written
    lxw_worksheet* dataSheet_ = nullptr;  // the data sheet not yet ended
    int dataSheets_ = 0;
    std::int64_t row_ = 0;
    std::int64_t records_ = 0;
    std::vector<SetRow> sets_;
    lxw_error error_ = LXW_NO_ERROR;
};

}  // namespace

bool Available() {
    return true;
}

ExportResult WriteWorkbook(conversion::ByteSource& bin, std::int64_t length,
                           const std::string& path, const std::string& tmpFolder,
                           const conversion::ConvertProgress& progress,
                           std::int64_t recordsPerSheet, const bool* stop) {
    constexpr std::int64_t kLarge = std::int64_t{128} << 20;
    WorkbookWriter writer(path, tmpFolder.empty() ? "." : tmpFolder, length > kLarge,
                          std::clamp<std::int64_t>(recordsPerSheet, 1, kRecordsPerSheet), stop);
    const conversion::DecodeResult decoded = conversion::Decode(bin, length, writer, progress);
    ExportResult result;
    result.outcome = decoded.outcome;
    result.failure = decoded.failure;
    result.bytesRead = decoded.bytesRead;
    result.records = writer.records();
    if (decoded.readerStopped && writer.stopped()) {
        writer.Discard();
        result.outcome = ConvertOutcome::Failed;
        result.stopped = true;
        return result;
    }
    if (result.outcome == ConvertOutcome::Corrupt) return result;
    // What was decoded before a failure is written all the same, as the report keeps it.
    if (!writer.Finish() || decoded.readerStopped) {
        result.outcome = ConvertOutcome::Failed;
        result.writeFailed = true;
        result.reason = writer.reason();
    }
    return result;
}

#else

bool Available() {
    return false;
}

ExportResult WriteWorkbook(conversion::ByteSource&, std::int64_t, const std::string&,
                           const std::string&, const conversion::ConvertProgress&, std::int64_t,
                           const bool*) {
    ExportResult result;
    result.outcome = conversion::ConvertOutcome::Failed;
    result.writeFailed = true;
    result.reason = kNotAvailable;
    return result;
}

#endif

conversion::ConvertResult RunWorkbookExport(const std::string& binPath, const std::string& outPath,
                                            const conversion::ConvertProgress& progress,
                                            bool replaceExisting, const bool* stop) {
    if (!Available()) {
        conversion::ConvertResult refused;
        refused.outcome = conversion::ConvertOutcome::Failed;
        refused.message = std::string(kNotAvailable);
        refused.prnName = paths::Split(outPath).name;
        return refused;
    }
    // The library's temporary files go beside the workbook, on the disk the user chose, and
    // not to a /tmp that may be held in memory.
    const std::string folder = paths::Split(outPath).folder;
    return conversion::RunExportWith(
        binPath, outPath,
        [&](conversion::ByteSource& source, std::int64_t length, ExportResult& exported) {
            return fileops::ReplaceFileByName(
                outPath,
                [&](const std::string& temp) {
                    exported = WriteWorkbook(source, length, temp, folder, progress,
                                             kRecordsPerSheet, stop);
                    return conversion::ExportIsKept(exported);
                },
                replaceExisting ? fileops::Existing::Replace : fileops::Existing::Keep);
        });
}

}  // namespace vsdl::workbook
