// The tidy export as a spreadsheet workbook (.xlsx): a "Data" sheet with the tidy table (times
// as date-time cells, readings and temperatures as numbers, which carry no locale), continued on
// "Data (2)" and so on when a sheet is full, and a "Data sets" sheet with one row per set.
// Written with libxlsxwriter in its constant-memory mode: the memory does not grow with the
// image. A build without libxlsxwriter has no workbook and says so.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "conversion/ConvertResult.h"
#include "conversion/Export.h"
#include "conversion/Streams.h"

namespace vsdl::workbook {

// False when this build was made without libxlsxwriter; then the export says so in these words.
bool Available();
inline constexpr std::string_view kNotAvailable =
    "This build cannot write workbooks (.xlsx): it was made without libxlsxwriter. Export to "
    "CSV or JSON Lines instead, or use a build with libxlsxwriter.";

// The records a data sheet holds under its header row.
inline constexpr std::int64_t kRecordsPerSheet = 1048576 - 1;

// Writes the workbook of the image `bin` of `length` bytes to the file `path`, with the
// library's temporary files in `tmpFolder` (empty: the current folder), and a new data sheet
// after every `recordsPerSheet` records. Outcome as ExportImage's; a write failure has the
// library's words in `reason`.
conversion::ExportResult WriteWorkbook(conversion::ByteSource& bin, std::int64_t length,
                                       const std::string& path, const std::string& tmpFolder,
                                       const conversion::ConvertProgress& progress = {},
                                       std::int64_t recordsPerSheet = kRecordsPerSheet,
                                       const bool* stop = nullptr);

// RunExport for the workbook: the BIN file `binPath` to `outPath`, through a temporary file
// beside it; the result and its message, the replace rule and the stop flag as RunExport's.
conversion::ConvertResult RunWorkbookExport(const std::string& binPath, const std::string& outPath,
                                            const conversion::ConvertProgress& progress = {},
                                            bool replaceExisting = true,
                                            const bool* stop = nullptr);

}  // namespace vsdl::workbook
