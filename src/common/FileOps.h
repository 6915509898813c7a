// File operations of the save step: whether a folder already holds a name (letter case
// ignored), and a copy that replaces its target atomically. Standard library only.
#pragma once

#include <string>
#include <string_view>

namespace vsdl::fileops {

struct Result {
    bool ok = true;
    std::string reason;  // what went wrong, in the system's words, when !ok
};

// True when `folder` lists an ordinary file whose name equals `name`, letter case ignored.
// A folder that cannot be listed (empty text, missing, unreadable) holds nothing.
bool FolderHasFileIgnoreCase(std::string_view folder, std::string_view name);

// Copies `source` to `target`, replacing a file of that name. The bytes go to a new temporary
// file in the target's folder first, which is then renamed over the target, so a copy that
// fails part-way leaves an existing target exactly as it was and no temporary file behind.
Result CopyFileReplacing(std::string_view source, std::string_view target);

}  // namespace vsdl::fileops
