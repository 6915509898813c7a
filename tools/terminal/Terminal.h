// Helpers shared by vsdl's subcommands for writing to a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Paths.h"
#include "conversion/ConvertResult.h"

namespace vsdl::tool {

// True when `stream` is a terminal (progress lines are drawn only there).
bool IsTerminal(std::FILE* stream);

// Message boxes put a CR LF between lines; a terminal wants a plain line feed.
std::string ForTerminal(std::string text);

// A failed conversion, export or plot as the terminal says it: a file that could not be opened,
// read or written is named with the system's reason (the window's text would call it corrupted);
// the other failures keep the window's text.
std::string FailureText(const conversion::ConvertResult& result);

// The warning line for an image `bin` that was read and does not end with the end mark (its
// reports go as far as it goes, but it may have been cut short); empty when there is none.
std::string CutShortWarning(const std::string& bin, const conversion::ConvertResult& result);

// True when `out` may be written: it does not exist (not even as a link) or --force was given;
// otherwise says so on stderr.
bool MayWrite(const std::string& out, bool force);

// Says on stderr that `out` exists and needs --force; the exit status of that refusal.
int RefuseExisting(const std::string& out);

// True, after saying so on stderr ("vsdl COMMAND: OUT is the BIN file itself."), when `out`
// names the BIN file `bin` under any name or link: no output ever replaces its source.
bool IsTheBinFile(const std::string& command, const std::string& out, const std::string& bin);

// Splits a BIN path given on the command line; a bare name is in the current folder.
paths::SplitPath SplitCommandLinePath(const std::string& path);

// "<what>:  42%" on stderr, drawn in place on a terminal once a job has run for a second and
// wiped when it ends.
class ProgressLine {
  public:
    ProgressLine(bool enabled, std::string what) : enabled_(enabled), what_(std::move(what)) {}
    ~ProgressLine() { Clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Called once per record: the clock is read only every few thousand calls.
    void Tick(std::int64_t done, std::int64_t total) {
        if (enabled_ && ++ticks_ % 4096 == 0) Draw(done, total);
    }
    void Clear();

  private:
    void Draw(std::int64_t done, std::int64_t total);

    bool enabled_;
    std::string what_;
    unsigned long ticks_ = 0;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_ = start_;
};

}  // namespace vsdl::tool
