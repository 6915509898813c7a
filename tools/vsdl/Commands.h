// vsdl's subcommands. Each lives in its own source file and registers itself with a
// CommandRegistrar at start-up, so main() needs no list of its own.
#pragma once

#include <string>
#include <vector>

namespace vsdl::tool {

// Exit codes shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct Command {
    std::string name;
    std::string synopsis;  // one line: "convert [-q] FILE.BIN..."
    std::string summary;   // one line: what it does
    // Runs with the arguments after the subcommand name; returns the exit code.
    int (*run)(const std::vector<std::string>& args);
    // Prints the subcommand's full help to stdout.
    void (*help)();
};

std::vector<Command>& Registry();

struct CommandRegistrar {
    explicit CommandRegistrar(Command command) { Registry().push_back(std::move(command)); }
};

}  // namespace vsdl::tool
