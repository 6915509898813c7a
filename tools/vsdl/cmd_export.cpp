// vsdl export FILE.BIN [-o OUT|-] [--format csv|json|jsonl|xlsx] [--force] [-q]: the tidy
// table of a BIN image for spreadsheets and scripts.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "Commands.h"
#include "common/Paths.h"
#include "conversion/Failures.h"
#include "conversion/modConvert.h"
#include "terminal/CommandLine.h"
#include "terminal/Terminal.h"
#include "workbook/Workbook.h"

namespace vsdl::tool {
namespace {

constexpr const char* kUsage =
    "Usage: vsdl export FILE.BIN [-o OUT|-] [--format csv|json|jsonl|xlsx] [--force] [-q]\n";

// The exit status of a program ended by SIGPIPE, as a shell reports it.
constexpr int kExitBrokenPipe = 128 + 13;

// Standard output, which tells a reader that went away (`| head`) from a real write failure.
class StdoutSink final : public conversion::TextSink {
  public:
    bool Write(const char* data, std::size_t size) override {
        errno = 0;
        if (std::fwrite(data, 1, size, stdout) == size) return true;
        readerGone_ = errno == EPIPE;
        return false;
    }
    bool readerGone() const { return readerGone_; }

  private:
    bool readerGone_ = false;
};

// `-o -`: the table on standard output and nothing else; no file is made anywhere. A reader
// that stops reading ends the export quietly: SIGPIPE ends the program as it ends other tools,
// and where it is ignored, the failed write ends it with the same status.
int ExportToStdout(const std::string& bin, conversion::ExportFormat format, bool progressShown) {
    const conversion::OpenedBin opened = conversion::OpenBin(bin);
    if (opened.failure) {
        std::cerr << FailureText(conversion::OpenFailedResult(opened, bin, "-")) << "\n";
        return kExitFailed;
    }
#ifdef _WIN32
    // The lines end in CR LF already; text mode would add a second CR.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    ProgressLine progress(progressShown, "Exporting " + paths::Split(bin).name);
    conversion::FileSource source(opened.file.get());
    StdoutSink sink;
    const conversion::ExportResult result = conversion::ExportImage(
        source, opened.length, sink, format,
        [&progress](std::int64_t read, std::int64_t length) { progress.Tick(read, length); });
    progress.Clear();
    if (sink.readerGone()) return kExitBrokenPipe;
    conversion::ConvertResult read;
    read.outcome = result.outcome;
    read.bytesRead = result.bytesRead;
    std::cerr << CutShortWarning(bin, read);
    if (result.outcome == conversion::ConvertOutcome::Corrupt) {
        std::cerr << conversion::kCorruptText << "\n";
        return kExitFailed;
    }
    if (result.writeFailed) {
        std::cerr << "vsdl export: the standard output could not be written.\n";
        return kExitFailed;
    }
    if (result.outcome == conversion::ConvertOutcome::Failed) {
        std::cerr << ForTerminal(conversion::FailedResult(result.failure, "-").message) << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

void HelpExport() {
    std::cout
        << kUsage
        << "Writes the readings of a BIN memory image as a tidy table: one row per record\n"
        << "under the header row\n"
        << "  " << conversion::kTidyCsvHeader << "\n"
        << "with the time in ISO 8601 (2024-03-14T09:30:00), the reading as a plain decimal\n"
        << "(empty when it is out of range), its status (ok, out of range), the unit of the\n"
        << "data set and the temperature with its unit (C, F) when the set has one.\n\n"
        << "Formats:\n"
        << "  csv    UTF-8 with the lines of this system, numbers with a full stop: for scripts\n"
        << "         (and spreadsheets set to a full stop; else use xlsx)\n"
        << "  xlsx   a workbook: sheet \"Data\" (\"Data (2)\"... past 1 048 575 records) with\n"
        << "         date-time and number cells that every spreadsheet reads right, and sheet\n"
        << "         \"Data sets\" with one row per set\n"
        << "  json   the data sets with their fields and records, one document: small images\n"
        << "  jsonl  JSON Lines: a line with each set's fields, then one line per record; for\n"
        << "         large images and tools that read a line at a time\n"
        << "The sets' fields include set_index (1, 2, ... in the file: two sets of a damaged\n"
        << "image may share a number) and unit_code (the unit's code byte).\n\n"
        << "  -o OUT             the file to write (default: FILE.tidy.csv, .tidy.json,\n"
        << "                     .tidy.jsonl or FILE.xlsx beside FILE.BIN); an existing OUT is\n"
        << "                     refused without --force. -o - writes csv, json or jsonl to\n"
        << "                     standard output (messages go to standard error)\n"
        << "  --format FORMAT    csv, json, jsonl or xlsx (default: from OUT's extension, .json,\n"
        << "                     .jsonl, .xlsx, else csv)\n"
        << "  --force            replaces an existing OUT\n"
        << "  -q                 prints nothing but errors\n\n"
        << "OUT is written under a temporary name beside it and renamed when complete, so a\n"
        << "failure leaves an existing OUT as it was. Exit status: 0 when the export completed,\n"
        << "1 when the BIN file was corrupt or could not be read, or OUT could not be written\n"
        << "(what came before a fault in the BIN file is kept, as the conversion keeps it),\n"
        << "2 on a usage error or a refused OUT, 141 when the reader of standard output closed\n"
        << "it early (as `| head` does).\n";
}

int RunExport(const std::vector<std::string>& args) {
    CommandLine line("export", kUsage, &HelpExport);
    std::string bin, out, format;
    bool force = false;
    bool quiet = false;
    line.App().add_option("-o", out);
    line.App().add_option("--format", format);
    line.App().add_flag("--force", force);
    line.App().add_flag("-q", quiet);
    line.App().add_option("FILE", bin);
    if (const auto status = line.Parse(args)) return *status;
    if (bin.empty()) return line.Usage("no BIN file given");
    if (format.empty()) {
        switch (conversion::ExportFormatFor(out)) {
            case conversion::ExportFormat::Json:
                format = "json";
                break;
            case conversion::ExportFormat::Jsonl:
                format = "jsonl";
                break;
            case conversion::ExportFormat::Xlsx:
                format = "xlsx";
                break;
            case conversion::ExportFormat::Csv:
                format = "csv";
                break;
        }
    }
    using conversion::ExportFormat;
    ExportFormat kind = ExportFormat::Csv;
    if (format == "json") {
        kind = ExportFormat::Json;
    } else if (format == "jsonl") {
        kind = ExportFormat::Jsonl;
    } else if (format == "xlsx") {
        kind = ExportFormat::Xlsx;
    } else if (format != "csv") {
        return line.Usage("--format is csv, json, jsonl or xlsx, not '" + format + "'");
    }
    if (kind == ExportFormat::Xlsx && !workbook::Available()) {
        std::cerr << "vsdl export: " << workbook::kNotAvailable << "\n";
        return kExitFailed;
    }
    if (!paths::HasBinExtension(paths::Split(bin).name)) {
        std::cerr << conversion::kBinNameText << "\n";
        return kExitFailed;
    }
    const bool progressShown = !quiet && IsTerminal(stderr);
    if (out == "-") {
        if (kind == ExportFormat::Xlsx) {
            return line.Usage("a workbook is no stream: name its file with -o FILE.xlsx");
        }
        return ExportToStdout(bin, kind, progressShown);
    }
    if (out.empty()) out = conversion::ExportPathFor(bin, kind);

    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target = paths::ToFsPath(out);
    if (IsTheBinFile("export", out, bin)) return kExitUsage;
    if (fs::is_directory(target, ec)) {
        std::cerr << "vsdl export: " << out << " is a folder.\n";
        return kExitUsage;
    }
    if (!MayWrite(out, force)) return kExitUsage;

    ProgressLine progress(progressShown, "Exporting " + paths::Split(bin).name);
    const conversion::ConvertProgress tick = [&progress](std::int64_t read, std::int64_t length) {
        progress.Tick(read, length);
    };
    const conversion::ConvertResult result =
        kind == ExportFormat::Xlsx ? workbook::RunWorkbookExport(bin, out, tick, force)
                                   : conversion::RunExport(bin, out, kind, tick, force);
    progress.Clear();
    // Made by another program since the check above: refused all the same.
    if (result.outputExisted) return RefuseExisting(out);
    std::cerr << CutShortWarning(bin, result);
    if (result.outcome != conversion::ConvertOutcome::Completed) {
        std::cerr << FailureText(result) << "\n";
        return kExitFailed;
    }
    if (!quiet) std::cout << ForTerminal(result.message) << "\n";
    return kExitOk;
}

}  // namespace vsdl::tool
