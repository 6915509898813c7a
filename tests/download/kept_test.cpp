// The copies kept in downloads/: their names, a copy that never replaces another, a full disk,
// and the limits that prune the folder. How the download makes them is in loop_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>

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
    for (const char* name : {"2026-12-07_141502.BIN", "2026-12-07_141502-12-incomplete.BIN"}) {
        EXPECT_TRUE(IsKeptName(name)) << name;
    }
    for (const char* name : {"Run1.BIN", "2026-12-07_1415.BIN", "2026-12-07_141502.bin",
                             "2026-12-07_141502-x.BIN", "2026-12-07_141502-.BIN"}) {
        EXPECT_FALSE(IsKeptName(name)) << name;
    }
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
    const std::string day10 = "2026-01-01_000000.BIN", day9 = "2026-01-02_000000.BIN",
                      day8 = "2026-01-03_000000-incomplete.BIN", day7 = "2026-01-04_000000.BIN",
                      hour2 = "2026-01-11_000000.BIN", hour1 = "2026-01-11_010000.BIN",
                      own = "Run1.BIN";
    const std::map<std::string, std::chrono::hours> ages = {
        {day10, 240h}, {day9, 216h}, {day8, 192h}, {day7, 168h},
        {hour2, 2h},   {hour1, 1h},  {own, 480h}};
    const struct {
        KeepLimits limits;
        std::vector<std::string> remaining;
    } cases[] = {
        {.limits = {}, .remaining = {day10, day9, day8, day7, hour2, hour1, own}},
        {.limits = {.images = 3}, .remaining = {day7, hour2, hour1, own}},
        {.limits = {.bytes = 250}, .remaining = {hour2, hour1, own}},
        // One image allowed, but two are younger than a day.
        {.limits = {.images = 1}, .remaining = {hour2, hour1, own}},
    };
    for (const auto& [limits, remaining] : cases) {
        TempDir dir;
        for (const auto& [file, age] : ages) {
            WriteFile(dir / file, std::string(100, 'x'));
            fs::last_write_time(dir / file, now - age);
        }
        PruneKept(dir.str(), limits, now);
        EXPECT_EQ(Names(dir.path()), remaining) << limits.images << " images, " << limits.bytes;
    }
}

}  // namespace
}  // namespace vsdl::download
