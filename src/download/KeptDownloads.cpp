#include "download/KeptDownloads.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <system_error>
#include <vector>

#include "common/AtomicFile.h"
#include "common/Paths.h"

namespace vsdl::download {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kIncomplete = "-incomplete";
constexpr std::string_view kExtension = ".BIN";

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

std::tm LocalTime(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return local;
}

}  // namespace

std::string KeptFolder(std::string_view dataFolder) {
    return paths::WithTrailingSeparator(paths::Join(dataFolder, kKeptFolderName));
}

std::string KeptName(const std::tm& started, bool complete, int n) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d_%02d%02d%02d", started.tm_year + 1900,
                  started.tm_mon + 1, started.tm_mday, started.tm_hour, started.tm_min,
                  started.tm_sec);
    std::string name = stamp;
    if (n > 1) name += "-" + std::to_string(n);
    if (!complete) name += kIncomplete;
    return name + std::string(kExtension);
}

bool IsKeptName(std::string_view name) {
    // yyyy-mm-dd_hhmmss[-n][-incomplete].BIN
    if (name.size() < 17 + kExtension.size() ||
        name.substr(name.size() - kExtension.size()) != kExtension) {
        return false;
    }
    std::string_view stem = name.substr(0, name.size() - kExtension.size());
    if (stem.size() >= kIncomplete.size() &&
        stem.substr(stem.size() - kIncomplete.size()) == kIncomplete) {
        stem.remove_suffix(kIncomplete.size());
    }
    const std::string_view stamp = stem.substr(0, 17);
    const bool stampOk = AllDigits(stamp.substr(0, 4)) && stamp[4] == '-' &&
                         AllDigits(stamp.substr(5, 2)) && stamp[7] == '-' &&
                         AllDigits(stamp.substr(8, 2)) && stamp[10] == '_' &&
                         AllDigits(stamp.substr(11, 6));
    const std::string_view rest = stem.substr(17);
    return stampOk && (rest.empty() || (rest[0] == '-' && AllDigits(rest.substr(1))));
}

KeepResult KeepDownload(const std::string& tempFile, const std::string& folder,
                        std::chrono::system_clock::time_point started, bool complete,
                        const KeepLimits& limits) {
    KeepResult result;
    std::error_code ec;
    const fs::path dir = paths::ToFsPath(folder);
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir, ec)) {
        result.ok = false;
        result.reason = ec ? ec.message() : "it is not a folder";
        return result;
    }
    // A second download in the same second gets the next free number; the lock on the
    // temporary file keeps any other download of this data folder out meanwhile.
    const std::tm local = LocalTime(started);
    std::string target;
    for (int n = 1;; ++n) {
        target = paths::Join(folder, KeptName(local, complete, n));
        if (!fs::exists(fs::symlink_status(paths::ToFsPath(target), ec))) break;
    }
    const fileops::Result copied = fileops::CopyFileReplacing(tempFile, target);
    if (!copied.ok) {
        result.ok = false;
        result.reason = copied.reason;
        return result;
    }
    result.path = target;
    PruneKept(folder, limits);
    return result;
}

int PruneKept(const std::string& folder, const KeepLimits& limits, fs::file_time_type now) {
    struct Kept {
        fs::path path;
        fs::file_time_type time;
        std::uint64_t size;
    };
    std::vector<Kept> kept;
    std::error_code ec;
    for (fs::directory_iterator it(paths::ToFsPath(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::error_code fileEc;
        if (!entry.is_regular_file(fileEc) || entry.is_symlink(fileEc)) continue;
        if (!IsKeptName(paths::FromFsPath(entry.path().filename()))) continue;
        const auto time = entry.last_write_time(fileEc);
        const auto size = entry.file_size(fileEc);
        if (fileEc) continue;
        kept.push_back({entry.path(), time, size});
    }
    // Oldest first; the names (the start times) settle equal times.
    std::sort(kept.begin(), kept.end(), [](const Kept& a, const Kept& b) {
        return a.time != b.time ? a.time < b.time : a.path.filename() < b.path.filename();
    });
    std::size_t count = kept.size();
    std::uint64_t total = 0;
    for (const Kept& k : kept) total += k.size;
    int removed = 0;
    for (const Kept& k : kept) {
        if (count <= limits.images && total <= limits.bytes) break;
        // Everything after this one is as young or younger.
        if (now - k.time < limits.minimumAge) break;
        std::error_code removeEc;
        if (!fs::remove(k.path, removeEc)) continue;
        --count;
        total -= k.size;
        ++removed;
    }
    return removed;
}

std::string KeepFailedText(const std::string& folder, const std::string& reason) {
    return "A copy of the download could not be kept in " + folder + ": " + reason +
           ". The download goes on as usual.";
}

}  // namespace vsdl::download
