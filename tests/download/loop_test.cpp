// The download loop around the protocol, on a scripted port: the temporary file (emptied, never
// a link or FIFO, a disk that fills up), a port that fails, Cancel from the event processing,
// waiting instead of spinning, the copies kept in downloads/, "any port" over several scripted
// ports; the temporary file's lock and the checks on a save target; the kept copies' names and
// the pruning of their folder; and the devices that port numbers name.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "download/AnyPort.h"
#include "download/DownloadLoop.h"
#include "download/DownloadProtocol.h"
#include "download/KeptDownloads.h"
#include "download/PortNames.h"
#include "download/TempFile.h"
#include "support/CoreTestSupport.h"
#include "support/ScriptedPort.h"

namespace vsdl::download {
namespace {

using namespace vsdl::testing;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class Loop : public ::testing::Test {
  protected:
    DownloadSummary Run(ScriptedPort& port, const std::string& file = {}) {
        return RunDownloadLoop(port, file.empty() ? temp : file, ui, control, options);
    }
    // The instrument sends one block and a little, falls silent until the download restarts,
    // and then sends the whole `stream`.
    DownloadSummary RunWithSilenceRestart(ScriptedPort& port, const Bytes& stream) {
        port.Push(Bytes(stream.begin(), stream.begin() + 3 + 1025 + 10));
        auto clock = std::chrono::steady_clock::time_point{};
        options.now = [&] { return clock; };
        bool resent = false;
        port.onWait = [&] {
            clock += std::chrono::seconds(1);
            if (!resent && ui.instructions.back() == kTextCommError) {
                port.Push(stream);
                resent = true;
            }
        };
        return Run(port);
    }

    TempDir dir;
    const std::string temp = dir / "~tempidl.bin";
    RecordingUi ui;
    DownloadControl control;
    DownloadLoopOptions options;
};

TEST_F(Loop, ACompleteDownloadLeavesTheImageInTheTemporaryFile) {
    WriteFile(temp, std::string(5000, 'x'));  // emptied at the start
    const Bytes image = MakeImage(2 * 1024 + 300);
    ScriptedPort port(InstrumentStream(image));
    const DownloadSummary s = Run(port);
    EXPECT_EQ(s.end, DownloadEnd::Complete);
    EXPECT_EQ(ReadBytes(temp), image);
    EXPECT_EQ(s.finishText, "Download Finished. Number of Blocks = 3. Number of Bytes = 2348");
    EXPECT_EQ(ui.status.back(), s.finishText);
    EXPECT_EQ(ui.messages, std::vector<std::string>{s.finishText});
    EXPECT_GE(port.closes, 1);
    // The events are let through on every pass, one pass per byte.
    EXPECT_GE(ui.passes, port.delivered);
}

TEST_F(Loop, CancelFromTheEventProcessingStopsAtTheNextPass) {
    ScriptedPort port(InstrumentStream(MakeImage(4 * 1024)));
    ui.onEvents = [&] {
        if (ui.passes == 3 + 1025 + 100) control.Cancel();
    };
    const DownloadSummary s = Run(port);
    EXPECT_EQ(s.end, DownloadEnd::Cancelled);
    // The byte read in the pass of the cancel is still handled, then the loop stops.
    EXPECT_EQ(port.delivered, 3 + 1025 + 100);
    EXPECT_EQ(ReadBytes(temp).size(), 1024u + 100u);
    EXPECT_GE(port.closes, 1);
}

TEST_F(Loop, APortThatFailsEndsTheLoopAndKeepsWhatCame) {
    const Bytes image = MakeImage(3 * 1024 + 10);
    ScriptedPort port(InstrumentStream(image));
    port.failAfter = 3 + 1025 + 1025 + 17;
    const DownloadSummary s = Run(port);
    EXPECT_EQ(s.end, DownloadEnd::PortFailed);
    EXPECT_EQ(s.failure,
              "The serial port /dev/ttyUSB0 failed during the download: Input/output error.");
    EXPECT_EQ(ui.messages, (std::vector<std::string>{
                               s.failure + "\nThe 2065 bytes received are kept in " + temp + ".",
                               "Download Finished. Number of Blocks = 2. Number of Bytes = 2065"}));
    EXPECT_EQ(ReadBytes(temp), Bytes(image.begin(), image.begin() + 2065));
    EXPECT_EQ(control.DownloadRunning, running::kStop);
    EXPECT_NE(control.DownloadState, state::kCancelled);  // not a cancel: the save step follows
}

TEST_F(Loop, IdlePassesWaitOnThePortAndTheSilenceIsOnTheMonotonicClock) {
    const Bytes stream = InstrumentStream(MakeImage(1024 + 50));
    ScriptedPort port(Bytes(stream.begin(), stream.begin() + 400));
    auto clock = std::chrono::steady_clock::time_point{};
    options.now = [&] { return clock; };
    port.onWait = [&] {
        clock += std::chrono::seconds(1);  // each idle pass "takes" a second
        if (ui.instructions.back() == "Communication Error.  Please restart the download") {
            control.Cancel();
        }
    };
    const DownloadSummary s = Run(port);
    EXPECT_EQ(s.end, DownloadEnd::Cancelled);
    // 5 s of silence are allowed; at 6 s the download restarts, and the 7th idle pass waits
    // after the restart. Every idle pass waited on the port.
    EXPECT_EQ(port.waits, std::vector<int>(7, options.idleWaitMs));
    EXPECT_EQ(ReadBytes(temp).size(), 0u);
    EXPECT_EQ(KeptText(s, temp), "No data was kept.");
}

#ifndef _WIN32
// What may stand in the temporary file's place; none of it is written, followed or waited on.
TEST_F(Loop, AnUnusableTemporaryFileEndsTheLoopBeforeAnythingIsReceived) {
    WriteFile(dir / "precious.bin", "keep");
    const std::pair<const char*, std::function<std::string()>> cases[] = {
        {"missing folder", [&] { return dir / "gone/~tempidl.bin"; }},
        {"link",
         [&] {
             fs::create_symlink(dir / "precious.bin", temp);
             return temp;
         }},
        {"FIFO",
         [&] {
             ::mkfifo(temp.c_str(), 0600);
             return temp;
         }},
        {"folder", [&] {
             fs::create_directory(temp);
             return temp;
         }}};
    for (const auto& [name, make] : cases) {
        fs::remove_all(temp);
        ui.messages.clear();
        ScriptedPort port(InstrumentStream(MakeImage(500)));
        const std::string path = make();
        const DownloadSummary s = Run(port, path);
        EXPECT_EQ(s.end, DownloadEnd::NotStarted) << name;
        EXPECT_EQ(port.delivered, 0) << name;
        // The failure only: nothing was downloaded to finish.
        ASSERT_EQ(ui.messages.size(), 1u) << name;
        EXPECT_EQ(ui.messages[0].rfind("The temporary file " + path + " could not be created: ", 0),
                  0u);
        EXPECT_TRUE(ui.messages[0].ends_with("\nThe download has not started.")) << ui.messages[0];
        EXPECT_EQ(ReadFile(dir / "precious.bin"), "keep") << name;
    }
}

TEST_F(Loop, ADiskThatFillsPartWayKeepsWhatFitted) {
    const Bytes image = MakeImage(3 * 1024 + 10);
    ScriptedPort port(InstrumentStream(image));
    DownloadSummary s;
    {
        const FileSizeLimit full(1500);  // the disk fills up during the second block
        s = Run(port);
    }
    EXPECT_EQ(s.end, DownloadEnd::FileFailed);
    // It stops at the failed block write; the count is what the file holds.
    EXPECT_EQ(port.delivered, 3 + 1025 + 1025);
    EXPECT_EQ(ReadBytes(temp), Bytes(image.begin(), image.begin() + 1500));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_TRUE(ui.messages[0].ends_with("The 1500 bytes received are kept in " + temp + "."));
    EXPECT_EQ(ui.messages[1], "Download Finished. Number of Blocks = 2. Number of Bytes = 1500");
}

#endif

TEST_F(Loop, TheImageOfASilenceRestartAndTheFinishedOneAreBothKept) {
    const Bytes image = MakeImage(2 * 1024 + 300);
    ScriptedPort port;
    options.keptFolder = dir / "downloads";
    const DownloadSummary s = RunWithSilenceRestart(port, InstrumentStream(image));
    EXPECT_EQ(s.end, DownloadEnd::Complete);
    EXPECT_TRUE(IsKeptName(fs::path(s.keptCopy).filename().string())) << s.keptCopy;
    EXPECT_EQ(ReadBytes(s.keptCopy), image);
    std::vector<Bytes> incomplete;
    for (const auto& entry : fs::directory_iterator(options.keptFolder)) {
        if (entry.path().string().ends_with("-incomplete.BIN")) {
            incomplete.push_back(ReadBytes(entry.path()));
        }
    }
    EXPECT_EQ(incomplete, std::vector<Bytes>{Bytes(image.begin(), image.begin() + 1024 + 10)});
}

TEST_F(Loop, ACopyThatCannotBeKeptIsSaidOnceAndTheDownloadGoesOn) {
    WriteFile(dir / "downloads", "a file where the folder should be");
    options.keptFolder = dir / "downloads";
    ScriptedPort port;
    const Bytes image = MakeImage(2 * 1024 + 300);
    const DownloadSummary s = RunWithSilenceRestart(port, InstrumentStream(image));
    EXPECT_EQ(s.end, DownloadEnd::Complete);
    EXPECT_EQ(ReadBytes(temp), image);
    EXPECT_TRUE(s.keptCopy.empty());
    EXPECT_EQ(ui.messages, (std::vector<std::string>{s.keepFailure, s.finishText}));
    EXPECT_TRUE(s.keepFailure.starts_with("A copy of the download could not be kept in " +
                                          options.keptFolder))
        << s.keepFailure;
}

TEST_F(Loop, AnyPortTakesThePortTheInstrumentStartsOnAndSendsNothingOnTheOthers) {
    const Bytes image = MakeImage(1024 + 200);
    Bytes instrument = {'H', 'I', '\r', '\n'};
    const Bytes stream = InstrumentStream(image);
    instrument.insert(instrument.end(), stream.begin(), stream.end());
    // Text and a handshake cut short on one port, nothing on another, one held by a program.
    const std::map<std::string, Bytes> lines = {
        {"/dev/a", {'N', 'O', '\r', '\n', 0xA5, 0x3C}}, {"/dev/b", instrument}, {"/dev/c", {}}};
    std::map<std::string, std::pair<Bytes, int>> gone;  // what was sent, how often closed
    AnyPort any({"/dev/a", "/dev/busy", "/dev/b", "/dev/c"}, [&](const std::string& device) {
        auto port = std::make_unique<ScriptedPort>(lines.count(device) ? lines.at(device) : Bytes{},
                                                   device);
        port->openFails = device == "/dev/busy";
        port->onGone = [&gone, device](const ScriptedPort& p) {
            gone[device] = {p.sent, p.closes};
        };
        return port;
    });
    std::string found;
    any.onChosen = [&](const std::string& device) { found = device; };
    ASSERT_TRUE(any.Open());
    EXPECT_EQ(any.Listening(), (std::vector<std::string>{"/dev/a", "/dev/b", "/dev/c"}));
    EXPECT_EQ(SkippedPortsLine(any.Skipped()), "Not opened: /dev/busy (Device or resource busy).");
    const DownloadSummary s = RunDownloadLoop(any, temp, ui, control, options);
    EXPECT_EQ(s.end, DownloadEnd::Complete);
    EXPECT_EQ(ReadBytes(temp), image);
    EXPECT_EQ(found, "/dev/b");
    EXPECT_EQ(ui.list, std::vector<std::string>{"HI"});
    // The others were closed and let go of, and never heard a byte.
    for (const char* other : {"/dev/a", "/dev/c"}) {
        ASSERT_EQ(gone.count(other), 1u) << other;
        EXPECT_TRUE(gone[other].first.empty()) << other;
        EXPECT_GE(gone[other].second, 1) << other;
    }
}

TEST_F(Loop, OneDownloadAtATimeHoldsTheTemporaryFile) {
    TempFileLock first;
    ASSERT_EQ(first.Acquire(temp), TempFileLock::Outcome::Locked) << first.Reason();
    TempFileLock second;
    EXPECT_EQ(second.Acquire(temp), TempFileLock::Outcome::Busy);
    first.Release();
    EXPECT_FALSE(fs::exists(temp + ".lock"));
    EXPECT_EQ(second.Acquire(temp), TempFileLock::Outcome::Locked);
    second.Release();
    EXPECT_EQ(TempFileLock().Acquire(dir / "gone/~tempidl.bin"), TempFileLock::Outcome::Failed);
#ifndef _WIN32
    // A program that crashes holding the lock lets go of it.
    ASSERT_EQ(WaitStatusOfChild([&] {
                  TempFileLock held;
                  ::_exit(held.Acquire(temp) == TempFileLock::Outcome::Locked ? 0 : 1);
              }),
              0);
    ASSERT_TRUE(fs::exists(temp + ".lock"));
    EXPECT_EQ(first.Acquire(temp), TempFileLock::Outcome::Locked);
#endif
}

#ifndef _WIN32
// What is in the lock file's place is named as the lock file's fault, and a closed terminal
// (SIGHUP) does not leave the lock file behind.
TEST_F(Loop, TheLockFileNamesItselfAndGoesOnAHangUp) {
    const std::string lock = temp + ".lock";
    struct InTheWay {
        std::function<void()> make;
        const char* reason;
    };
    const InTheWay cases[] = {
        {.make = [&] { fs::create_directory(lock); }, .reason = "it is a folder; remove it"},
        {.make = [&] { fs::create_symlink(dir / "elsewhere", lock); },
         .reason = "it is a symbolic link; remove it"},
        {.make = [&] { ::mkfifo(lock.c_str(), 0600); },
         .reason = "it is not an ordinary file; remove it"}};
    for (const auto& [make, reason] : cases) {
        make();
        TempFileLock held;
        EXPECT_EQ(held.Acquire(temp), TempFileLock::Outcome::Failed);
        EXPECT_EQ(LockFailedText(held.LockPath(), held.Reason()),
                  "The lock file " + lock + " cannot be used: " + reason + ", then try again.");
        fs::remove(lock);
    }
    EXPECT_EQ(WaitStatusOfChild([&] {
                  vsdl::fileops::CleanUpOnSignals();
                  TempFileLock held;
                  if (held.Acquire(temp) == TempFileLock::Outcome::Locked) ::raise(SIGHUP);
              }),
              SIGHUP);
    EXPECT_FALSE(fs::exists(fs::symlink_status(lock)));
}

// In a folder that several users write to, another user's running download keeps this one out,
// and another user's ~tempidl.bin that this one may not write sends it elsewhere.
TEST_F(Loop, AnotherUsersFilesInASharedFolder) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    fs::permissions(dir.path(), fs::perms(01777));
    const auto asOtherUser = [&] {
        return WaitStatusOfChild([&] {
                   if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(9);
                   ::_exit(static_cast<int>(TempFileLock().Acquire(temp)));
               }) /
               256;
    };
    TempFileLock mine;
    ASSERT_EQ(mine.Acquire(temp), TempFileLock::Outcome::Locked);
    WriteFile(temp, "mine");
    fs::permissions(temp, fs::perms(0644));
    EXPECT_EQ(asOtherUser(), static_cast<int>(TempFileLock::Outcome::Busy));
    mine.Release();
    EXPECT_EQ(asOtherUser(), static_cast<int>(TempFileLock::Outcome::Foreign));
    fs::permissions(temp, fs::perms(0666));
    EXPECT_EQ(asOtherUser(), static_cast<int>(TempFileLock::Outcome::Locked));
}
#endif

TEST_F(Loop, ASaveTargetIsCheckedBeforeTheDownload) {
    WriteFile(temp, "image");
    WriteFile(dir / "old.BIN", "old");
    fs::create_directory(dir.path() / "sub.BIN");
    const std::string d = dir.str() + "/";
    struct Target {
        std::string target;
        std::string problem = {};  // a piece of it; "" for none
        bool exists = false;
    };
    const Target cases[] = {
        {.target = d + "new.BIN"},
        {.target = d + "old.BIN", .exists = true},
        {.target = d + "gone/x.BIN", .problem = "does not exist"},
        {.target = d + "sub.BIN", .problem = "is a folder"},
        {.target = d, .problem = "names a folder"},
        {.target = temp, .problem = "temporary download file"},
        {.target = d + "./~tempidl.bin", .problem = "temporary download file"},
        // A name longer than the folder takes is refused before the download, not after it.
        // (The system names the reason: "File name too long" here, "File not found" under Wine.)
        {.target = d + std::string(256, 'n') + ".BIN", .problem = "cannot be created: "}};
#ifndef _WIN32
    // Also through a link to it.
    fs::create_symlink(temp, dir.path() / "alias.BIN");
    EXPECT_NE(CheckSaveTarget(d + "alias.BIN", temp).problem.find("temporary download file"),
              std::string::npos);
#endif
    for (const auto& [target, problem, exists] : cases) {
        const SaveTargetCheck check = CheckSaveTarget(target, temp);
        EXPECT_EQ(check.problem.empty(), problem.empty()) << target << ": " << check.problem;
        EXPECT_NE(check.problem.find(problem), std::string::npos)
            << target << ": " << check.problem;
        EXPECT_EQ(check.exists, exists) << target;
    }
}

// The copies kept in downloads/: their names, a copy that never replaces another, a full disk,
// and the limits that prune the folder.
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
    for (const char* name :
         {"Run1.BIN", "2026-12-07_1415.BIN", "2026-12-07_141502.bin", "2026-12-07_141502-x.BIN",
          "2026-12-07_141502-.BIN", "2026-12-0x_141502.BIN"}) {
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
        EXPECT_EQ(PruneKept(dir.str(), limits, now), 7 - static_cast<int>(remaining.size()));
        EXPECT_EQ(Names(dir.path()), remaining) << limits.images << " images, " << limits.bytes;
    }
}

// COM port numbers to devices, links resolved to the device they name, and the second line of a
// port error.
#ifndef _WIN32
TEST(PortNames, NumbersNameTheFirstDeviceThatIsThere) {
    TempDir dir;
    // The user's data folder is looked at before the program folder.
    const std::string user = dir.str() + "/user/", program = dir.str() + "/program/";
    fs::create_directories(dir.path() / "user" / "ports");
    fs::create_directories(dir.path() / "program" / "ports");
    fs::create_symlink("/dev/null", dir.path() / "program" / "ports" / "com1");
    fs::create_symlink("/dev/zero", dir.path() / "program" / "ports" / "com2");
    fs::create_symlink("/dev/null", dir.path() / "user" / "ports" / "com2");
    // A stale link is still the port: reported as missing when opened, not passed over.
    fs::create_symlink("/dev/pts/does-not-exist", dir.path() / "user" / "ports" / "com4");
    fs::create_symlink("/dev/null", dir.path() / "program" / "ports" / "com4");
    const std::vector<std::string> folders{user, program};
    EXPECT_EQ(DeviceCandidates(3, folders),
              (std::vector<std::string>{user + "ports/com3", program + "ports/com3", "/dev/ttyUSB2",
                                        "/dev/ttyACM2", "/dev/ttyS2"}));
    const struct {
        int number;
        std::string device;
    } cases[] = {{.number = 1, .device = program + "ports/com1"},
                 {.number = 2, .device = user + "ports/com2"},
                 {.number = 4, .device = user + "ports/com4"},
                 {.number = 4000, .device = "/dev/ttyS3999"},
                 {.number = 0, .device = ""},
                 {.number = -3, .device = ""}};
    for (const auto& [number, device] : cases) EXPECT_EQ(DeviceForPort(number, folders), device);
    EXPECT_TRUE(DeviceCandidates(0, folders).empty());
    EXPECT_EQ(DeviceForPort(5, {}), "/dev/ttyS4");

    const std::string folder = program;
    // A link is opened as the device it leads to, so that the port is locked under its name.
    fs::create_symlink("com1", dir.path() / "program" / "ports" / "chain");
    EXPECT_EQ(DeviceToOpen(folder + "ports/chain"), "/dev/null");
    EXPECT_EQ(DeviceToOpen(user + "ports/com4"), "/dev/pts/does-not-exist");
    EXPECT_EQ(DeviceToOpen("ttyS0"), "ttyS0");
    EXPECT_EQ(DeviceLabel(folder + "ports/com1", "/dev/null"), folder + "ports/com1 (/dev/null)");
    EXPECT_EQ(DeviceLabel("/dev/ttyS0", "/dev/ttyS0"), "/dev/ttyS0");

    // The number a found device is named by: its link's, or the one its own name carries when
    // that number names it.
    fs::create_directories(dir.path() / "other" / "ports");
    fs::create_symlink("/dev/ttyUSB2", dir.path() / "other" / "ports" / "com3");
    fs::create_symlink("/dev/ttyS3", dir.path() / "other" / "ports" / "com4");
    const std::vector<std::string> other{dir.str() + "/other/"};
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyUSB2", other), 3);
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyS3", other), 4);
    EXPECT_EQ(PortNumberOfDevice(other[0] + "ports/com3", other), 3);
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyS2", other), std::nullopt);  // COM3 is the link
    EXPECT_EQ(PortNumberOfDevice("/dev/pts/9", other), std::nullopt);
}

TEST(PortNames, ThePermissionHintNamesTheDevicesGroup) {
    TempDir dir;
    const std::string device = dir / "ttyFAKE";
    WriteFile(device, "x");
    const std::string detail =
        PortErrorDetail({PortErrorKind::PermissionDenied, device, "Permission denied"});
    const group* dialout = ::getgrnam("dialout");
    if (dialout != nullptr &&
        ::chown(device.c_str(), static_cast<uid_t>(-1), dialout->gr_gid) == 0) {
        EXPECT_EQ(
            PortErrorDetail({PortErrorKind::PermissionDenied, device, "Permission denied"}),
            device + ": Permission denied. Add your user to the group dialout and log in again.");
    }
    EXPECT_EQ(detail.rfind(device + ": Permission denied. ", 0), 0u) << detail;
}
#else
TEST(PortNames, WindowsNamesArePlain) {
    EXPECT_EQ(DeviceForPort(12, {"C:\\VSDownload\\"}), "COM12");
}
#endif

TEST(PortNames, TheDetailKeepsTheSystemsReason) {
    const struct {
        PortError error;
        std::string detail;
    } cases[] = {
        {.error = {PortErrorKind::NoSuchDevice, "/dev/ttyUSB0", "No such file or directory"},
         .detail = "/dev/ttyUSB0: No such file or directory."},
        {.error = {PortErrorKind::Busy, "/dev/ttyS0", "Device or resource busy"},
         .detail = "/dev/ttyS0: Device or resource busy. Another program is using the port."},
        {.error = {PortErrorKind::Disconnected, "/dev/ttyUSB0", "gone"},
         .detail = "/dev/ttyUSB0: The port went away (the cable or adapter was unplugged)."},
        {.error = {PortErrorKind::Other, "COM3", ""},
         .detail = "COM3: The port could not be used."},
        {.error = {}, .detail = ""}};
    for (const auto& [error, detail] : cases) EXPECT_EQ(PortErrorDetail(error), detail);
}

}  // namespace
}  // namespace vsdl::download
