// The one way the program replaces a file (settings, a saved download, a sample): the new content
// goes to a new temporary file beside it, is flushed and synced to the disk, and is renamed over
// the old file, and the folder is synced; any failure leaves the old file as it was and no
// temporary file behind. Standard library (and the system's own calls) only.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/FileOps.h"

namespace vsdl::fileops {

// Whether a file that is already there when the new one is put in place is replaced.
enum class Existing { Replace, Keep };

// Replaces `target` with what `write` puts into the temporary file that takes its place (it
// returns false, with errno set, when it fails). A symbolic link is written through: the file it
// names is replaced and the link stays; a link that another user owns in a folder anyone may
// write to (/tmp) is not followed, as the system itself would not follow it there. An existing
// target must be an ordinary file that may be written (a file without any write permission is
// not replaced behind its owner's back); the new file keeps its permissions. Safe against a
// second writer of the same file at the same time: each write has its own temporary name and
// the last rename wins; with Existing::Keep a file that is there first (even one made by
// another writer while this one wrote) stays, and the result is a failure with `existed` set.
// The temporary name is short and of fixed length (".vsdl-" host, process id, random, ".part"),
// so that a target whose name is as long as the system allows can be written; the temporary
// files that this program's processes on this computer left in the folder (killed, crashed, a
// power cut) are removed first, those of a running process are not.
Result ReplaceFileContents(std::string_view target, const std::function<bool(std::FILE*)>& write,
                           Existing existing = Existing::Replace);

// The same for a writer that opens the file itself by its name (a library that takes a file
// name): `write` gets the path of the temporary file, which exists and is empty, and must have
// closed it again when it returns.
Result ReplaceFileByName(std::string_view target,
                         const std::function<bool(const std::string& tempPath)>& write,
                         Existing existing = Existing::Replace);

// Copies `source` to `target` through ReplaceFileContents.
Result CopyFileReplacing(std::string_view source, std::string_view target,
                         Existing existing = Existing::Replace);

// Removes the temporary files of ReplaceFileContents in `folder` whose process has ended.
void RemoveLeftTemporaries(std::string_view folder);

// While it lives, SIGINT, SIGTERM and SIGHUP wait in this thread: held around making a file and
// making it an UnfinishedFile, so that a signal cannot end the program in between and leave the
// file behind. A signal that came meanwhile acts when it ends; one taken by another thread
// meanwhile (vsdl convert --jobs) waits until the file is listed. Nothing on Windows.
class EndingSignalsHeld {
  public:
    EndingSignalsHeld();
    ~EndingSignalsHeld();
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

  private:
#ifndef _WIN32
    sigset_t saved_{};  // the thread's signal mask before
#endif
};

// How many UnfinishedFiles can be known at once: two reports each for `vsdl convert --jobs` at
// its most, and room for the program's other writes.
inline constexpr std::size_t kUnfinishedFilesAtOnce = 72;

// While it lives, a signal that ends the program (see CleanUpOnSignals) first removes the file
// at `path`: for a file that is of no use unless it is complete. A path too long or more such
// files at once than there is room for are simply not removed.
class UnfinishedFile {
  public:
    // With `folder`, `path` is a folder, removed with the files in it.
    explicit UnfinishedFile(std::string_view path, bool folder = false);
    ~UnfinishedFile();
    UnfinishedFile(const UnfinishedFile&) = delete;
    UnfinishedFile& operator=(const UnfinishedFile&) = delete;

  private:
    void* slot_ = nullptr;
};

// A private folder beside `target` for the temporary files of a writer that makes its own (a
// library): named as a temporary file, removed with everything in it when this ends, by a
// signal that ends the program (see CleanUpOnSignals), and, when a kill, a crash or a power cut
// left it, by the next write into that folder. path() is empty when it could not be made.
class UnfinishedFolder {
  public:
    explicit UnfinishedFolder(std::string_view target);
    ~UnfinishedFolder();
    UnfinishedFolder(const UnfinishedFolder&) = delete;
    UnfinishedFolder& operator=(const UnfinishedFolder&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::unique_ptr<UnfinishedFile> unfinished_;
};

// Removes every UnfinishedFile now; safe in a signal handler (a program's own that ends it).
void RemoveUnfinishedFiles();

// For a program's start: SIGINT, SIGTERM and SIGHUP, where they would end the program anyway,
// first remove every UnfinishedFile, among them the temporary file of every replacement in
// progress, so that Ctrl+C, a kill or a closed terminal in the middle of a large write leaves
// no hidden file behind; and a file size limit makes a write fail with its reason instead of
// ending the program. On Windows an open file cannot be removed and there is no such limit:
// nothing is done there.
void CleanUpOnSignals();

}  // namespace vsdl::fileops
