// vsdl convert [-q] FILE.BIN...: the program's conversion, from the command line.
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "Terminal.h"
#include "common/Paths.h"
#include "conversion/modConvert.h"

namespace vsdl::tool {
namespace {

// The message of the conversion dialog for a name without the BIN extension.
constexpr const char* kNameMessage = "Your filename must end in .BIN";

}  // namespace

void HelpConvert() {
    std::cout
        << "Usage: vsdl convert [-q] FILE.BIN...\n"
        << "Converts each BIN memory image into its PRN report and CSV file, written beside it\n"
        << "with the upper-cased base name, as the program's conversion does.\n\n"
        << "  -q      print nothing but errors\n\n"
        << "Exit status: 0 when every file converted completely, 1 when any file was corrupt\n"
        << "or failed, 2 on a usage error.\n";
}

int RunConvert(const std::vector<std::string>& args) {
    bool quiet = false;
    bool optionsDone = false;
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (!optionsDone && a == "--") {
            optionsDone = true;
        } else if (!optionsDone && a == "-q") {
            quiet = true;
        } else if (!optionsDone && a.size() > 1 && a[0] == '-') {
            std::cerr << "vsdl convert: unknown option '" << a << "'\n"
                      << "Usage: vsdl convert [-q] FILE.BIN...\n";
            return kExitUsage;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        std::cerr << "vsdl convert: no BIN file given\nUsage: vsdl convert [-q] FILE.BIN...\n";
        return kExitUsage;
    }

    const bool terminal = !quiet && IsTerminal(stderr);
    int status = kExitOk;
    for (const std::string& file : files) {
        // With several files, an error names the file it belongs to.
        const std::string errorPrefix = files.size() > 1 ? file + ":\n" : std::string();
        const paths::SplitPath split = SplitCommandLinePath(file);
        if (!paths::HasBinExtension(split.name)) {
            std::cerr << errorPrefix << kNameMessage << "\n";
            status = kExitFailed;
            continue;
        }
        ProgressLine progress(terminal, "Converting " + split.name);
        const conversion::ConvertResult result = conversion::RunConversion(
            split.folder, split.name,
            [&progress](std::int64_t read, std::int64_t length) { progress.Tick(read, length); });
        progress.Clear();
        if (result.outcome == conversion::ConvertOutcome::Completed) {
            if (!quiet) std::cout << ForTerminal(result.message) << std::endl;
        } else {
            std::cerr << errorPrefix << ForTerminal(result.message) << std::endl;
            status = kExitFailed;
        }
    }
    return status;
}

}  // namespace vsdl::tool
