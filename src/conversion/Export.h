// The tidy export of a BIN image, for spreadsheets and scripts: one row per record with a header
// row (CSV), the data sets with their records (JSON), or one object per line, each set's before
// its records (JSON Lines). Times are ISO 8601 with four-digit years, readings plain decimals
// with a full stop, out-of-range readings empty (null) with their status. The workbook (Xlsx) is
// written by the workbook library (src/workbook), not here. Standard library only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "conversion/ConvertResult.h"
#include "conversion/Decoder.h"
#include "conversion/Streams.h"

namespace vsdl::conversion {

enum class ExportFormat { Csv, Json, Jsonl, Xlsx };

// The format a file name asks for by its ending (any letter case): .json, .jsonl, .xlsx, else CSV.
ExportFormat ExportFormatFor(std::string_view path);

inline constexpr std::string_view kTidyCsvHeader =
    "data_set,record,time,reading,status,unit,temperature,temperature_unit";

// Lines end as text files do on this system.
#ifdef _WIN32
inline constexpr std::string_view kNewLine = "\r\n";
#else
inline constexpr std::string_view kNewLine = "\n";
#endif

// "2024-03-14T09:30:00"; empty when the time is no real date and time.
std::string IsoTime(const CalendarTime& t);
// A unit text without its parentheses and blanks: "(mg / l)" -> "mg / l", "(   )" -> "".
std::string_view PlainUnit(std::string_view unit);
// The reading as a plain decimal: " 12.34" -> "12.34", " 1023." -> "1023", "-0.005".
std::string_view PlainReading(std::string_view reading);

// Exports the image `bin` of `length` bytes to `out` in a text format (Xlsx writes nothing and
// fails as a write would). The outcome is the conversion's: Corrupt
// for a wrong marker (nothing written), Failed with the conversion's failure (what came before
// it is written), and a write failure of `out` is Failed with `writeFailure`'s text.
struct ExportResult {
    ConvertOutcome outcome = ConvertOutcome::Completed;
    Failure failure = Failure::CannotReadBin;  // when Failed and !writeFailed
    bool writeFailed = false;
    bool stopped = false;  // ended early by `stop` (Failed)
    std::string reason;    // a writer's own words for a write failure, when it has them
    std::int64_t bytesRead = 0;
    std::int64_t records = 0;
};
// `stop` (when given) ends the export at the next record once it is true.
ExportResult ExportImage(ByteSource& bin, std::int64_t length, TextSink& out, ExportFormat format,
                         const ConvertProgress& progress = {}, const bool* stop = nullptr);

}  // namespace vsdl::conversion
