// vsdl's subcommands: one source file each (cmd_<name>.cpp) with its Run and Help, and one
// table of them in main.cpp. Each reads its arguments with a CommandLine (terminal/CommandLine.h).
#pragma once

#include <string>
#include <vector>

#include "terminal/ExitCodes.h"

namespace vsdl::tool {

struct Command {
    const char* name;
    const char* synopsis;  // one line: "convert [-q] FILE.BIN..."
    const char* summary;   // one line: what it does
    // Runs with the arguments after the subcommand name; returns the exit code.
    int (*run)(const std::vector<std::string>& args);
    // Prints the subcommand's full help to stdout.
    void (*help)();
    // False when this build cannot do it (no Qt, no pseudo-terminals): --help leaves it out,
    // and running it says why it cannot run.
    bool available = true;
};

int RunConvert(const std::vector<std::string>& args);
void HelpConvert();
int RunExport(const std::vector<std::string>& args);
void HelpExport();
int RunPlot(const std::vector<std::string>& args);
void HelpPlot();
int RunDownload(const std::vector<std::string>& args);
void HelpDownload();
int RunSimulate(const std::vector<std::string>& args);
void HelpSimulate();

}  // namespace vsdl::tool
