// vsdl: the command-line side of VSDownload (convert, export, plot, download, simulate).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "common/AppInfo.h"
#include "common/AtomicFile.h"
#include "common/Paths.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace vsdl::tool {

namespace {

// Every command, in the order --help lists them.
const Command kCommands[] = {
    {"convert", "convert [-q] FILE.BIN...",
     "converts BIN memory images into their PRN reports and CSV files", &RunConvert, &HelpConvert},
    {"export", "export FILE.BIN [-o OUT|-] [--format csv|json|jsonl|xlsx] [--force]",
     "writes the readings as a tidy table (CSV, workbook, JSON) for spreadsheets and scripts",
     &RunExport, &HelpExport},
    {"plot", "plot FILE.BIN -o PICTURE.png|svg [--set N] [--size WxH] [--force]",
     "draws the readings against time into a picture, without a display", &RunPlot, &HelpPlot},
    {"download", "download [--port N | --device PATH] [--out FILE.BIN [--force]] [--convert]",
     "receives the instrument's memory image over a serial port", &RunDownload, &HelpDownload},
    {"simulate", "simulate IMAGE.BIN --link PATH [--rate BAUD] [--text LINE]... [--repeat] [...]",
     "plays the instrument on a pseudo-terminal for downloads without an instrument", &RunSimulate,
     &HelpSimulate},
};

void PrintUsage(std::ostream& out) {
    out << "Usage: vsdl COMMAND [OPTIONS]...\n"
        << "The command-line side of VSDownload, " << appinfo::kTitle << ".\n\n"
        << "Commands:\n";
    for (const Command& c : kCommands) {
        out << "  " << c.synopsis << "\n      " << c.summary << "\n";
    }
    out << "\n  vsdl COMMAND --help   shows the options of one command\n"
        << "  vsdl --version        shows the version\n";
}

}  // namespace
}  // namespace vsdl::tool

// The arguments as UTF-8, as every path of ours is: on Windows the narrow argv holds them in
// the ANSI code page, which cannot say every file name.
static std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR) SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i) {
        args.push_back(vsdl::paths::FromFsPath(std::filesystem::path(wide[i])));
    }
    LocalFree(wide);
    return args;
#else
    return {argv + 1, argv + argc};
#endif
}

int main(int argc, char** argv) {
    using namespace vsdl::tool;
    vsdl::fileops::CleanUpOnSignals();
    const std::vector<std::string> args = Arguments(argc, argv);
    if (args.empty()) {
        PrintUsage(std::cerr);
        return kExitUsage;
    }
    const std::string& first = args.front();
    if (first == "--help" || first == "-h" || first == "help") {
        PrintUsage(std::cout);
        return kExitOk;
    }
    if (first == "--version") {
        std::cout << "vsdl (" << vsdl::appinfo::kProgramName << ") "
                  << vsdl::appinfo::VersionNumber() << "\n";
        return kExitOk;
    }
    for (const Command& c : kCommands) {
        if (first != c.name) continue;
        std::vector<std::string> rest(args.begin() + 1, args.end());
        if (std::find(rest.begin(), rest.end(), "--help") != rest.end()) {
            c.help();
            return kExitOk;
        }
        return c.run(rest);
    }
    std::cerr << "vsdl: unknown command '" << first << "'\n\n";
    PrintUsage(std::cerr);
    return kExitUsage;
}
