// The command line of one vsdl command, read with CLI11: -h/--help prints the command's own help,
// --opt=value and -- before file names work everywhere, and every usage problem is said the same
// way and ends with exit status 2.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <CLI/App.hpp>

namespace vsdl::tool {

// A count given as plain decimal digits, or -1 when it is not one (or beyond a billion).
int ParseCount(const std::string& text);

class CommandLine {
  public:
    // `command` is the command's name ("convert"), `usage` its "Usage: ..." lines, `help` prints
    // its full help to stdout.
    CommandLine(std::string command, std::string usage, void (*help)());

    // Where the command adds its options and its file names.
    CLI::App& App() { return app_; }

    // Reads `args`: nothing when the command is to run, else its exit status (0 after the help,
    // 2 after a usage problem, which has been said on stderr).
    std::optional<int> Parse(const std::vector<std::string>& args);

    // Says `problem` with the usage and the pointer to --help on stderr; the usage error's status.
    int Usage(const std::string& problem) const;

  private:
    std::string command_;
    std::string usage_;
    void (*help_)();
    bool helpAsked_ = false;
    CLI::App app_;
};

}  // namespace vsdl::tool
