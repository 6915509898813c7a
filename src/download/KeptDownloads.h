// The downloads/ folder of the data folder: a copy of every download that received bytes, made
// before anything can empty ~tempidl.bin, so that an image the user did not save (the save step
// closed without OK, a silence that restarted the download, a cancel) is never lost.
//
// Names: the local date and time the download started, "2026-12-07_141502.BIN", with
// "-incomplete" before ".BIN" when it did not complete, and "-2", "-3"... after the time when a
// name is taken. Copies are written like every other file (a temporary file, synced, renamed).
// The folder keeps the newest images within both limits; older ones are removed, oldest first,
// but never one younger than a day. Only files named as above are ever removed.
// Standard library (and the system's own calls) only.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace vsdl::download {

inline constexpr std::string_view kKeptFolderName = "downloads";

struct KeepLimits {
    std::size_t images = 200;
    std::uint64_t bytes = 2ull << 30;  // 2 GiB
    std::chrono::seconds minimumAge = std::chrono::hours(24);
};

// <dataFolder>/downloads/ (with a trailing separator).
std::string KeptFolder(std::string_view dataFolder);

// "2026-12-07_141502" + ("-<n>" when n > 1) + ("-incomplete") + ".BIN"
std::string KeptName(const std::tm& started, bool complete, int n = 1);

// True for a name KeptName makes: the files pruning may remove.
bool IsKeptName(std::string_view name);

struct KeepResult {
    bool ok = true;
    std::string path;    // the copy made
    std::string reason;  // why no copy was made, when !ok
};

// Copies `tempFile` into `folder` (made when missing) under a new KeptName for `started`, then
// prunes the folder. The folder's other files are never replaced.
KeepResult KeepDownload(const std::string& tempFile, const std::string& folder,
                        std::chrono::system_clock::time_point started, bool complete,
                        const KeepLimits& limits = {});

// Removes the oldest kept images (by modification time) until the folder is within `limits`;
// images younger than `limits.minimumAge` at `now` stay whatever the limits. Returns how many
// were removed. Errors are ignored: a file that cannot be removed stays.
int PruneKept(const std::string& folder, const KeepLimits& limits,
              std::filesystem::file_time_type now = std::filesystem::file_time_type::clock::now());

// "A copy of the download could not be kept in <folder>: <reason>. The download goes on as
// usual." as the user is told it, once per download.
std::string KeepFailedText(const std::string& folder, const std::string& reason);

}  // namespace vsdl::download
