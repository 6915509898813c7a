// modConvert: decoding of the logger's packed records (Unpack.h), the conversion of a BIN
// memory image file into its PRN report and CSV file, and its tidy export. Standard library
// only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/FileOps.h"

#include "conversion/ConvertResult.h"
#include "conversion/Export.h"
#include "conversion/Failures.h"
#include "conversion/Unpack.h"

namespace vsdl::conversion {

// A BIN file opened for one of the readers of its image: only an ordinary file, and one whose
// length fits the conversion's 32-bit count; `failure` says why not.
struct OpenedBin {
    fileops::FilePtr file;
    std::int64_t length = 0;
    std::optional<Failure> failure;
    std::string reason;  // the system's, when the file could not be opened
};
OpenedBin OpenBin(const std::string& path);

// The failed result for a BIN file that OpenBin could not open, naming the file and the reason.
ConvertResult OpenFailedResult(const OpenedBin& bin, const std::string& path,
                               std::string outputName);

// True when the image at `path` ends with the end mark, false when it does not; nothing when
// that cannot be read. The conversion reads to the end of the file either way: an image cut
// short converts as far as it goes.
std::optional<bool> EndsWithEndMark(const std::string& path);

// Where the conversion of folder + binFileName writes: beside the BIN file, with the upper-cased
// base name. An empty folder is the current one.
struct ReportPaths {
    std::string bin, prn, csv;
    std::string prnName;  // without folder, for the completion message
};
ReportPaths ReportPathsFor(const std::string& folder, const std::string& binFileName);

// Converts folder + binFileName into the PRN and CSV files beside it, calling `progress` (when
// set) after every record. Shows nothing and touches no program-wide variable; returns the
// outcome with the message the user is to see.
ConvertResult RunConversion(const std::string& folder, const std::string& binFileName,
                            const ConvertProgress& progress = {});

// The tidy export name beside a BIN file: Run1.bin -> Run1.tidy.csv (.tidy.json, .tidy.jsonl,
// and Run1.xlsx for the workbook, which is no plain table).
std::string ExportPathFor(const std::string& binPath, ExportFormat format);
std::string_view ExportExtension(ExportFormat format);

// Whether an export's file is put in place: not for a file that is no BIN image at all, nor
// when the writing failed.
bool ExportIsKept(const ExportResult& exported);

// Exports the BIN file `binPath` to `outPath`, replacing it through a temporary file beside it,
// so that a failure leaves an existing file as it was; nothing is made for a corrupt or unreadable
// BIN file. The result's message says how it ended, with the conversion's texts for the BIN
// file's faults; outputName holds the export's file name. Without `replaceExisting` a file that is
// there first (also one made by another program meanwhile) stays, and outputExisted is set.
// `stop` (when given) ends it at the next record once it is true: then nothing is written
// (stopped, Failed).
ConvertResult RunExport(const std::string& binPath, const std::string& outPath, ExportFormat format,
                        const ConvertProgress& progress = {}, bool replaceExisting = true,
                        const bool* stop = nullptr);

// RunExport's road for any writer: `write` exports the opened image, keeping its outcome in
// `exported`, and puts the file in place (fileops::ReplaceFileContents or ReplaceFileByName).
using ExportFileWriter =
    std::function<fileops::Result(ByteSource& bin, std::int64_t length, ExportResult& exported)>;
ConvertResult RunExportWith(const std::string& binPath, const std::string& outPath,
                            const ExportFileWriter& write);

}  // namespace vsdl::conversion

// Where ConvertBINtoPRN shows its messages and lets the user interface breathe.
class ConvertNotifier {
  public:
    virtual ~ConvertNotifier() = default;
    // Shows one message to the user (a message box in the program, a line in vsdl).
    virtual void ShowMessage(const std::string& text) = 0;
    // Called after every record; the dialog lets its event loop run from here.
    virtual void Yield() {}
};

// The conversion as the dialog calls it: runs RunConversion, keeps gPrnFile, gCsvFile,
// gFileLength and gBytesRead (which the dialog's bar reads) current, and shows its message.
void ConvertBINtoPRN(const std::string& folder, const std::string& binFileName,
                     ConvertNotifier& notifier);
