// Helpers shared by vsdl's subcommands for writing to a terminal.
#pragma once

#include <cstdio>
#include <string>

#include "common/Paths.h"

namespace vsdl::tool {

// True when `stream` is a terminal (progress lines are drawn only there).
bool IsTerminal(std::FILE* stream);

// Message boxes put a CR LF between lines; a terminal wants a plain line feed.
std::string ForTerminal(std::string text);

// Splits a BIN path given on the command line; a bare name is in the current folder.
paths::SplitPath SplitCommandLinePath(const std::string& path);

}  // namespace vsdl::tool
