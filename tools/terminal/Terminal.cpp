#include "terminal/Terminal.h"

#include "common/FileOps.h"
#include "conversion/Failures.h"
#include "conversion/modConvert.h"
#include "terminal/ExitCodes.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vsdl::tool {

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

std::string ForTerminal(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
    }
    return text;
}

std::string FailureText(const conversion::ConvertResult& result) {
    using conversion::Failure;
    const std::string& path = result.failedPath;
    const std::string why = result.reason.empty() ? "." : ": " + result.reason + ".";
    switch (static_cast<Failure>(result.failureNumber)) {
        case Failure::CannotOpenBin:
        case Failure::CannotReadLength:
            if (!path.empty()) return "Cannot open " + path + why;
            break;
        case Failure::CannotReadBin:
            if (!path.empty()) return "Cannot read " + path + why;
            break;
        case Failure::BinTooLarge:
            if (!path.empty()) return path + " is too large: at most 2 GiB can be read.";
            break;
        case Failure::CannotCreatePrn:
        case Failure::CannotCreateCsv:
            if (!path.empty()) return "Cannot create " + path + why;
            break;
        case Failure::CannotWritePrn:
        case Failure::CannotWriteCsv:
            if (!path.empty()) return "Cannot write " + path + why;
            break;
        default:
            break;
    }
    return ForTerminal(result.message);
}

std::string CutShortWarning(const std::string& bin, const conversion::ConvertResult& result) {
    if (result.outcome == conversion::ConvertOutcome::Corrupt || result.bytesRead == 0 ||
        conversion::EndsWithEndMark(bin) != false) {
        return {};
    }
    return bin + " has no end mark: the image may have been cut short.\n";
}

bool MayWrite(const std::string& out, bool force) {
    std::error_code ec;
    if (force ||
        !std::filesystem::exists(std::filesystem::symlink_status(paths::ToFsPath(out), ec))) {
        return true;
    }
    RefuseExisting(out);
    return false;
}

int RefuseExisting(const std::string& out) {
    std::cerr << out << " exists. Add --force to replace it.\n";
    return kExitUsage;
}

bool IsTheBinFile(const std::string& command, const std::string& out, const std::string& bin) {
    if (!fileops::SameFile(out, bin)) return false;
    std::cerr << "vsdl " << command << ": " << out << " is the BIN file itself.\n";
    return true;
}

paths::SplitPath SplitCommandLinePath(const std::string& path) {
    paths::SplitPath split = paths::Split(path);
    if (split.folder.empty()) split.folder.assign(1, '.');
    return split;
}

void ProgressLine::Draw(std::int64_t done, std::int64_t total) {
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(200)) {
        return;
    }
    last_ = now;
    const double fraction =
        total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0.0;
    std::fprintf(stderr, "\r%s: %3d%%", what_.c_str(), static_cast<int>(fraction * 100.0));
    std::fflush(stderr);
    shown_ = true;
}

void ProgressLine::Clear() {
    if (!shown_) return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(what_.size()) + 8, "");
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace vsdl::tool
