#include "common/StartupArgs.h"

#include "common/AppInfo.h"

namespace vsdl::startup {

Request ParseArguments(const std::vector<std::string>& args) {
    Request request;
    bool filesOnly = false;
    for (const std::string& arg : args) {
        if (!filesOnly && (arg == "-h" || arg == "--help")) return {Action::Help, {}, {}};
        if (!filesOnly && (arg == "-v" || arg == "--version")) return {Action::Version, {}, {}};
        if (!filesOnly && arg == "--") {
            filesOnly = true;
            continue;
        }
        if (!filesOnly && arg.size() > 1 && arg[0] == '-') {
            return {Action::UsageError, {}, "unknown option '" + arg + "'"};
        }
        if (!request.binFile.empty()) {
            return {Action::UsageError, {}, "more than one file given ('" + arg + "')"};
        }
        request.binFile = arg;
    }
    return request;
}

std::string HelpText() {
    return "Usage: VSDownload [FILE.BIN]\n"
           "Downloads the fluorometer's data logger over a serial port and converts BIN images\n"
           "into PRN and CSV reports. With FILE.BIN, the program starts with that file as the\n"
           "last BIN file, so Convert and View Data propose it; lastbin.cfg is not changed.\n\n"
           "  -h, --help     shows this help and exits\n"
           "  -v, --version  shows the version and exits\n\n"
           "The command-line tool vsdl does the same jobs without windows (vsdl --help).\n";
}

}  // namespace vsdl::startup
