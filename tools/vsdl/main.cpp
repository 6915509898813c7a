// vsdl: the command-line side of VSDownload (convert, export, plot, download, simulate).
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

#ifdef VSDL_WITH_QT
constexpr bool kWithQt = true;
#else
constexpr bool kWithQt = false;
#endif
#ifdef _WIN32
constexpr bool kWithPty = false;
#else
constexpr bool kWithPty = true;
#endif

// Every command, in the order --help lists them.
const Command kCommands[] = {
    {"convert", "convert [-q] [--jobs N] FILE.BIN|FOLDER...",
     "converts BIN memory images into their PRN reports and CSV files", &RunConvert, &HelpConvert},
    {"export", "export FILE.BIN [-o OUT|-] [--format csv|json|jsonl|xlsx] [--force] [-q]",
     "writes the readings as a tidy table (CSV, workbook, JSON) for spreadsheets and scripts",
     &RunExport, &HelpExport},
    {"plot", "plot FILE.BIN -o PICTURE.png|svg [--set N] [--size WxH] [--force] [-q]",
     "draws the readings against time into a picture, without a display", &RunPlot, &HelpPlot,
     kWithQt},
    {"download", "download [--port N|any | --device PATH] [--out FILE.BIN [--force]] [--convert]",
     "receives the instrument's memory image over a serial port", &RunDownload, &HelpDownload,
     kWithQt},
    {"simulate", "simulate IMAGE.BIN --link PATH [--rate BAUD] [--text LINE]... [--repeat] [...]",
     "plays the instrument on a pseudo-terminal for downloads without an instrument", &RunSimulate,
     &HelpSimulate, kWithPty},
};

void PrintUsage(std::ostream& out) {
    out << "Usage: vsdl COMMAND [OPTIONS]...\n"
        << "The command-line side of VSDownload, " << appinfo::kTitle << ".\n\n"
        << "Commands:\n";
    for (const Command& c : kCommands) {
        if (c.available) out << "  " << c.synopsis << "\n      " << c.summary << "\n";
    }
    out << "\n  vsdl COMMAND --help   shows the options of one command (also: vsdl help COMMAND)\n"
        << "  vsdl --version        shows the version\n\n"
        << "Exit status: 0 when the command did what was asked, 1 when it failed, 2 on a usage\n"
        << "error.\n";
}

const Command* Find(const std::string& name) {
    for (const Command& c : kCommands) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

int UsageError(const std::string& problem) {
    std::cerr << "vsdl: " << problem << "\nTry 'vsdl --help' for more information.\n";
    return kExitUsage;
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
    if (first == "--help" || first == "-h" || (first == "help" && args.size() == 1)) {
        PrintUsage(std::cout);
        return kExitOk;
    }
    if (first == "--version") {
        std::cout << "vsdl (" << vsdl::appinfo::kProgramName << ") "
                  << vsdl::appinfo::VersionNumber() << "\n";
        return kExitOk;
    }
    if (first == "help") {
        const Command* command = Find(args[1]);
        if (command == nullptr || args.size() > 2) {
            return UsageError(command == nullptr ? "unknown command '" + args[1] + "'"
                                                 : "help takes one command");
        }
        command->help();
        return kExitOk;
    }
    if (const Command* command = Find(first)) {
        return command->run({args.begin() + 1, args.end()});
    }
    if (first.size() > 1 && first[0] == '-') return UsageError("unknown option '" + first + "'");
    return UsageError("unknown command '" + first + "'");
}
