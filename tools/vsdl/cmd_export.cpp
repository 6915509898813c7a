// vsdl export FILE.BIN [-o OUT] [--format csv|json] [--force] [-q]: the tidy table of a BIN
// image for spreadsheets and scripts.
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "Commands.h"
#include "Terminal.h"
#include "common/Paths.h"
#include "conversion/modConvert.h"

namespace vsdl::tool {
namespace {

constexpr const char* kUsage =
    "Usage: vsdl export FILE.BIN [-o OUT] [--format csv|json] [--force] [-q]\n";

int Usage(const std::string& problem) {
    std::cerr << "vsdl export: " << problem << "\n" << kUsage;
    return kExitUsage;
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
        << "data set and the temperature with its unit (C, F) when the set has one. The CSV is\n"
        << "UTF-8 with the lines of this system; JSON holds the data sets with their header\n"
        << "fields and their records.\n\n"
        << "  -o OUT             the file to write (default: FILE.tidy.csv or FILE.tidy.json\n"
        << "                     beside FILE.BIN); an existing OUT is refused without --force\n"
        << "  --format csv|json  the format (default: json for an OUT ending in .json, else csv)\n"
        << "  --force            replaces an existing OUT\n"
        << "  -q                 prints nothing but errors\n\n"
        << "OUT is written under a temporary name beside it and renamed when complete, so a\n"
        << "failure leaves an existing OUT as it was. Exit status: 0 when the export completed,\n"
        << "1 when the BIN file was corrupt or could not be read, or OUT could not be written\n"
        << "(what came before a fault in the BIN file is kept, as the conversion keeps it),\n"
        << "2 on a usage error or a refused OUT.\n";
}

int RunExport(const std::vector<std::string>& args) {
    OneFileArgs parsed;
    const std::string problem = ParseOneFileArgs(args, {"-o", "--format"}, parsed);
    if (!problem.empty()) return Usage(problem);
    const std::string& bin = parsed.bin;
    std::string out = parsed.values["-o"];
    std::string format = parsed.values["--format"];
    if (format.empty()) {
        format =
            conversion::ExportFormatFor(out) == conversion::ExportFormat::Json ? "json" : "csv";
    }
    if (format != "csv" && format != "json") {
        return Usage("--format is csv or json, not '" + format + "'");
    }
    const conversion::ExportFormat kind =
        format == "json" ? conversion::ExportFormat::Json : conversion::ExportFormat::Csv;
    if (!paths::HasBinExtension(paths::Split(bin).name)) {
        std::cerr << "Your filename must end in .BIN\n";
        return kExitFailed;
    }
    if (out.empty()) out = conversion::ExportPathFor(bin, kind);

    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target = paths::ToFsPath(out);
    if (fs::equivalent(target, paths::ToFsPath(bin), ec)) {
        std::cerr << "vsdl export: " << out << " is the BIN file itself.\n";
        return kExitUsage;
    }
    if (fs::is_directory(target, ec)) {
        std::cerr << "vsdl export: " << out << " is a folder.\n";
        return kExitUsage;
    }
    if (!MayWrite(out, parsed.force)) return kExitUsage;

    ProgressLine progress(!parsed.quiet && IsTerminal(stderr),
                          "Exporting " + paths::Split(bin).name);
    const conversion::ConvertResult result = conversion::RunExport(
        bin, out, kind,
        [&progress](std::int64_t read, std::int64_t length) { progress.Tick(read, length); },
        parsed.force);
    progress.Clear();
    // Made by another program since the check above: refused all the same.
    if (result.outputExisted) return RefuseExisting(out);
    if (result.outcome != conversion::ConvertOutcome::Completed) {
        std::cerr << ForTerminal(result.message) << "\n";
        return kExitFailed;
    }
    if (!parsed.quiet) std::cout << ForTerminal(result.message) << "\n";
    return kExitOk;
}

}  // namespace vsdl::tool
