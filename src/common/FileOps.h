// Opening files as every part of the program does: a file is read only when it is an ordinary
// file, and a file is created or emptied only when it is (or becomes) an ordinary file, so that a
// FIFO or a device put in a file's place never makes the program wait for ever. Replacing a file
// is AtomicFile.h. Standard library (and the system's own calls) only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vsdl::fileops {

struct Result {
    bool ok = true;
    std::string reason;    // what went wrong, in the system's words, when !ok
    bool existed = false;  // refused because the file was there and was to be kept
};

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The system's words for an error number ("Permission denied"); `fallback` when it is 0.
std::string ErrorText(int err, const char* fallback = "unknown error");

// Why something that is not an ordinary file is not used: "Is a directory" for a folder, else
// that it is a FIFO, a device or a socket.
std::string NotOrdinaryReason(bool folder);

// "<what> could not be written.\n<reason>", the one wording of a file that was not written
// (`what`: "The file NAME", "The picture NAME").
std::string NotWrittenText(std::string_view what, std::string_view reason);

// The reason an output is refused when its name (or a link) leads to the BIN file it is made of.
inline constexpr std::string_view kIsTheBinFile = "It is the BIN file itself.";

// Opens an ordinary file for reading in binary mode. Anything else (missing, a folder, a FIFO, a
// device) gives nullptr and the reason; it never blocks.
FilePtr OpenForReading(std::string_view path, std::string& reason);

// Creates `path`, or empties it when it is an ordinary file, for writing in binary mode. A FIFO,
// a device or a folder in its place gives nullptr and the reason, without blocking or touching
// it. With `followLinks` false a symbolic link in its place is refused too, so that the file
// written is always the one named.
FilePtr CreateForWriting(std::string_view path, std::string& reason, bool followLinks = true);

// The length of an open file in bytes; nullopt when it cannot be found out.
std::optional<std::int64_t> FileLength(std::FILE* file);

// Reads the first `maxBytes` of an ordinary file; nullopt when it cannot be read (missing, not
// an ordinary file, unreadable).
std::optional<std::string> ReadFileStart(std::string_view path, std::size_t maxBytes);

// The ordinary file that writing `name` into `folder` would replace, as the overwrite question
// names it; nullopt when there is none. On Windows, whose names ignore letter case, a file of
// that name in any case counts and is named folder + `windowsName`, as the question always has.
// Elsewhere the question is asked exactly when the file to be written exists (on a file system
// that ignores letter case, in any case) and names it with its real name.
std::optional<std::string> FileToBeReplaced(std::string_view folder, std::string_view name,
                                            std::string_view windowsName);

// True when both paths name the same existing file (through links, "..", other spellings).
bool SameFile(std::string_view a, std::string_view b);

}  // namespace vsdl::fileops
