// The one way the program replaces a file (settings, a saved download, a sample): the new content
// goes to a new temporary file beside it, is flushed and synced to the disk, and is renamed over
// the old file, and the folder is synced; any failure leaves the old file as it was and no
// temporary file behind. Standard library (and the system's own calls) only.
#pragma once

#include <cstdio>
#include <functional>
#include <string_view>

#include "common/FileOps.h"

namespace vsdl::fileops {

// Replaces `target` with what `write` puts into the temporary file that takes its place (it
// returns false, with errno set, when it fails). A symbolic link is written through: the file it
// names is replaced and the link stays. An existing target must be an ordinary file that may be
// written (a file without any write permission is not replaced behind its owner's back); the new
// file keeps its permissions. Safe against a second writer of the same file at the same time:
// each write has its own temporary name and the last rename wins.
Result ReplaceFileContents(std::string_view target, const std::function<bool(std::FILE*)>& write);

// Copies `source` to `target` through ReplaceFileContents.
Result CopyFileReplacing(std::string_view source, std::string_view target);

// While it lives, a signal that ends the program (see CleanUpOnSignals) first removes the file
// at `path`: for a file that is of no use unless it is complete. A path too long or more such
// files at once than there is room for are simply not removed.
class UnfinishedFile {
  public:
    explicit UnfinishedFile(std::string_view path);
    ~UnfinishedFile();
    UnfinishedFile(const UnfinishedFile&) = delete;
    UnfinishedFile& operator=(const UnfinishedFile&) = delete;

  private:
    void* slot_ = nullptr;
};

// For a program's start: SIGINT, SIGTERM and SIGHUP, where they would end the program anyway,
// first remove every UnfinishedFile, among them the temporary file of every replacement in
// progress, so that Ctrl+C, a kill or a closed terminal in the middle of a large write leaves
// no hidden file behind; and a file size limit makes a write fail with its reason instead of
// ending the program. On Windows an open file cannot be removed and there is no such limit:
// nothing is done there.
void CleanUpOnSignals();

}  // namespace vsdl::fileops
