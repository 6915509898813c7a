// The copies kept in downloads/: their names, a copy that never replaces another, a full disk,
// and the limits that prune the folder. How the download makes them is in loop_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "download/KeptDownloads.h"
#include "support/CoreTestSupport.h"

namespace vsdl::download {
namespace {

using namespace vsdl::testing;
using namespace std::chrono_literals;

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(KeptDownloads, NamesTellTheStartAndWhetherTheDownloadCompleted) {
    std::tm t{};  // 2026-12-07 14:15:02
    t.tm_year = 126, t.tm_mon = 11, t.tm_mday = 7, t.tm_hour = 14, t.tm_min = 15, t.tm_sec = 2;
    EXPECT_EQ(KeptName(t, true), "2026-12-07_141502.BIN");
    EXPECT_EQ(KeptName(t, false, 2), "2026-12-07_141502-2-incomplete.BIN");
    // Only such names are ever pruned.
    const std::pair<const char*, bool> names[] = {{"2026-12-07_141502.BIN", true},
                                                  {"2026-12-07_141502-12-incomplete.BIN", true},
                                                  {"Run1.BIN", false},
                                                  {"2026-12-07_1415.BIN", false},
                                                  {"2026-12-07_141502.bin", false},
                                                  {"2026-12-07_141502-x.BIN", false},
                                                  {"2026-12-07_141502-.BIN", false}};
    for (const auto& [name, kept] : names) EXPECT_EQ(IsKeptName(name), kept) << name;
}

TEST(KeptDownloads, ACopyIsWholeAndNeverReplacesAnother) {
    TempDir dir;
    const auto image = MakeImage(3000);
    WriteFile(dir / "~tempidl.bin", image);
    const auto started = std::chrono::system_clock::now();
    const KeepResult first = KeepDownload(dir / "~tempidl.bin", dir / "downloads", started, true);
    const KeepResult second = KeepDownload(dir / "~tempidl.bin", dir / "downloads", started, true);
    ASSERT_TRUE(first.ok && second.ok) << first.reason << second.reason;
    EXPECT_TRUE(second.path.ends_with("-2.BIN")) << second.path;
    EXPECT_EQ(ReadBytes(first.path), image);
    EXPECT_EQ(ReadBytes(second.path), image);
    EXPECT_EQ(Names(dir.path() / "downloads").size(), 2u);  // nothing else left behind
}

#ifndef _WIN32
TEST(KeptDownloads, AFullDiskLeavesNoCopyAndSaysWhy) {
    TempDir dir;
    WriteFile(dir / "~tempidl.bin", MakeImage(5000));
    KeepResult kept;
    {
        const FileSizeLimit full(1000);
        kept = KeepDownload(dir / "~tempidl.bin", dir / "downloads",
                            std::chrono::system_clock::now(), false);
    }
    EXPECT_FALSE(kept.ok);
    EXPECT_EQ(kept.reason, "File too large");
    EXPECT_TRUE(Names(dir.path() / "downloads").empty());
    EXPECT_EQ(KeepFailedText("/d/", kept.reason),
              "A copy of the download could not be kept in /d/: File too large. The download "
              "goes on as usual.");
}
#endif

TEST(KeptDownloads, PruningRemovesTheOldestWithinTheLimitsButNothingYoungerThanADay) {
    const auto now = fs::file_time_type::clock::now();
    // Six images of 100 bytes, the oldest first; a file of the user's own, older than all.
    const std::pair<std::string, fs::file_time_type::duration> files[] = {
        {"2026-01-01_000000.BIN", 240h},
        {"2026-01-02_000000.BIN", 216h},
        {"2026-01-03_000000-incomplete.BIN", 192h},
        {"2026-01-04_000000.BIN", 168h},
        {"2026-01-11_000000.BIN", 2h},
        {"2026-01-11_010000.BIN", 1h},
        {"Run1.BIN", 480h}};
    const std::string day10 = "2026-01-01_000000.BIN", day9 = "2026-01-02_000000.BIN",
                      day8 = "2026-01-03_000000-incomplete.BIN", day7 = "2026-01-04_000000.BIN",
                      hour2 = "2026-01-11_000000.BIN", hour1 = "2026-01-11_010000.BIN";
    const std::tuple<const char*, KeepLimits, std::vector<std::string>> cases[] = {
        {"within both", {}, {day10, day9, day8, day7, hour2, hour1, "Run1.BIN"}},
        {"3 images", {.images = 3}, {day7, hour2, hour1, "Run1.BIN"}},
        {"250 bytes", {.bytes = 250}, {hour2, hour1, "Run1.BIN"}},
        {"1 image, 2 younger than a day", {.images = 1}, {hour2, hour1, "Run1.BIN"}},
    };
    for (const auto& [name, limits, remaining] : cases) {
        TempDir dir;
        for (const auto& [file, age] : files) {
            WriteFile(dir / file, std::string(100, 'x'));
            fs::last_write_time(dir / file, now - age);
        }
        PruneKept(dir.str(), limits, now);
        EXPECT_EQ(Names(dir.path()), remaining) << name;
    }
}

}  // namespace
}  // namespace vsdl::download
