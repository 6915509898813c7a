// VSDownload's own command line: --help, --version and one BIN file to start with (a file
// manager's "Open with"). Qt takes its own options (-platform, -style ...) before these are read.
#pragma once

#include <string>
#include <vector>

namespace vsdl::startup {

enum class Action { Run, Help, Version, UsageError };

struct Request {
    Action action = Action::Run;
    std::string binFile;  // the file named on the command line, as given; empty when none
    std::string error;    // what was wrong, for UsageError
};

// `args` are the arguments after the program's name.
Request ParseArguments(const std::vector<std::string>& args);

// The text of --help.
std::string HelpText();

}  // namespace vsdl::startup
