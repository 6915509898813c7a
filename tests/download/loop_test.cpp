// The download loop around the protocol: the temporary file, port failures, cancel from the
// event processing, and waiting instead of spinning. The port here is a scripted one; whole
// downloads over a real pseudo-terminal are in pty_test.cpp.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include "TestImages.h"
#include "download/DownloadLoop.h"
#include "download/TempFile.h"

namespace vsdl::download {
namespace {

namespace fs = std::filesystem;
using test::InstrumentStream;
using test::MakeImage;

// Hands out a scripted byte stream; can fail after a number of bytes.
class ScriptedPort final : public IDownloadPort {
  public:
    explicit ScriptedPort(std::vector<std::uint8_t> bytes) : bytes_(bytes.begin(), bytes.end()) {}
    bool SetPortNumber(std::int32_t) override { return true; }
    bool Open() override { return true; }
    bool Prepare() override { return true; }
    int ReadByte() override {
        if (failed_) return -1;
        if (failAfter >= 0 && delivered >= failAfter) {
            failed_ = true;
            return -1;
        }
        if (bytes_.empty()) return -1;
        const int b = bytes_.front();
        bytes_.pop_front();
        ++delivered;
        return b;
    }
    bool SendByte(std::uint8_t b) override {
        sent.push_back(b);
        return !failed_;
    }
    bool WaitForReadable(int timeoutMs) override {
        waits.push_back(timeoutMs);
        if (onWait) onWait();
        return !bytes_.empty();
    }
    void Close() override { ++closes; }
    bool Failed() const override { return failed_; }
    PortError LastError() const override {
        return failed_ ? PortError{PortErrorKind::Other, "/dev/ttyUSB0", "Input/output error"}
                       : PortError{};
    }

    int failAfter = -1;
    int delivered = 0;
    int closes = 0;
    std::vector<std::uint8_t> sent;
    std::vector<int> waits;
    std::function<void()> onWait;

  private:
    std::deque<std::uint8_t> bytes_;
    bool failed_ = false;
};

class RecordingUi final : public DownloadUi {
  public:
    void SetInstructions(const std::string& t) override { instructions.push_back(t); }
    void SetStatus(const std::string& t) override { status.push_back(t); }
    void AddListLine(const std::string& t) override { list.push_back(t); }
    void ShowMessage(const std::string& t) override { messages.push_back(t); }
    void ProcessEvents() override {
        ++passes;
        if (onEvents) onEvents();
    }
    std::vector<std::string> instructions, status, list, messages;
    int passes = 0;
    std::function<void()> onEvents;
};

class LoopTest : public ::testing::Test {
  protected:
    LoopTest() {
        dir = fs::temp_directory_path() /
              ("vsdl_loop_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        temp = (dir / "~tempidl.bin").string();
    }
    ~LoopTest() override { fs::remove_all(dir); }

    static std::string ReadFile(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::vector<std::uint8_t> ReadTemp() const {
        std::ifstream in(temp, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path dir;
    std::string temp;
    RecordingUi ui;
    DownloadControl control;
};

TEST_F(LoopTest, ACompleteDownloadLeavesTheImageInTheTemporaryFile) {
    const auto image = MakeImage(2 * 1024 + 300);
    ScriptedPort port(InstrumentStream(image));
    const DownloadSummary s = RunDownloadLoop(port, temp, ui, control);
    EXPECT_EQ(s.end, DownloadEnd::Complete);
    EXPECT_EQ(s.blocks, 3);
    EXPECT_EQ(s.bytes, static_cast<std::int64_t>(image.size()));
    EXPECT_EQ(ReadTemp(), image);
    EXPECT_EQ(s.finishText, "Download Finished. Number of Blocks = 3. Number of Bytes = " +
                                std::to_string(image.size()));
    EXPECT_EQ(ui.status.back(), s.finishText);
    EXPECT_EQ(ui.messages, std::vector<std::string>{s.finishText});
    EXPECT_GE(port.closes, 1);
    // One pass per byte, and the events are let through on every one of them.
    EXPECT_GE(ui.passes, static_cast<int>(InstrumentStream(image).size()));
}

TEST_F(LoopTest, TheFileIsEmptiedAtTheStart) {
    { std::ofstream(temp, std::ios::binary) << std::string(5000, 'x'); }
    ScriptedPort port({});
    ui.onEvents = [&] { control.Cancel(); };
    const DownloadSummary s = RunDownloadLoop(port, temp, ui, control);
    EXPECT_EQ(s.end, DownloadEnd::Cancelled);
    EXPECT_EQ(fs::file_size(temp), 0u);
    EXPECT_EQ(s.finishText, "Download Finished. Number of Blocks = 0. Number of Bytes = 0");
}

TEST_F(LoopTest, CancelFromTheEventProcessingStopsAtTheNextPass) {
    const auto image = MakeImage(4 * 1024);
    ScriptedPort port(InstrumentStream(image));
    int passes = 0;
    ui.onEvents = [&] {
        if (++passes == 3 + 1025 + 100) control.Cancel();
    };
    const DownloadSummary s = RunDownloadLoop(port, temp, ui, control);
    EXPECT_EQ(s.end, DownloadEnd::Cancelled);
    EXPECT_EQ(control.DownloadState, 13);
    // The byte read in the pass of the cancel is still handled, then the loop stops.
    EXPECT_EQ(port.delivered, 3 + 1025 + 100);
    EXPECT_EQ(s.bytes, 1024 + 100);
    EXPECT_EQ(ReadTemp().size(), 1024u + 100u);
    EXPECT_GE(port.closes, 1);
}

TEST_F(LoopTest, APortThatFailsEndsTheLoopAndKeepsWhatCame) {
    const auto image = MakeImage(3 * 1024 + 10);
    ScriptedPort port(InstrumentStream(image));
    port.failAfter = 3 + 1025 + 1025 + 17;
    const DownloadSummary s = RunDownloadLoop(port, temp, ui, control);
    EXPECT_EQ(s.end, DownloadEnd::PortFailed);
    EXPECT_NE(s.failure.find("/dev/ttyUSB0"), std::string::npos);
    EXPECT_NE(s.failure.find("Input/output error"), std::string::npos);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].rfind(s.failure, 0), 0u);
    EXPECT_EQ(ui.messages[1], "Download Finished. Number of Blocks = 2. Number of Bytes = 2065");
    EXPECT_EQ(ReadTemp(), std::vector<std::uint8_t>(image.begin(), image.begin() + 2065));
    EXPECT_EQ(control.DownloadRunning, 1);
    EXPECT_NE(control.DownloadState, 13);  // not a cancel: the save step follows
    EXPECT_GE(port.closes, 1);
}

#ifndef _WIN32
// What may stand in the temporary file's place; none of it is written, followed or waited for.
struct Unusable {
    const char* name;
    // Puts the obstacle in place in `dir` and returns the temporary file's path.
    fs::path (*make)(const fs::path& dir);
};

void PrintTo(const Unusable& u, std::ostream* os) {
    *os << u.name;
}

class UnusableTempFile : public LoopTest, public ::testing::WithParamInterface<Unusable> {};

TEST_P(UnusableTempFile, EndsTheLoopBeforeAnythingIsReceived) {
    const fs::path other = dir / "precious.bin";
    { std::ofstream(other, std::ios::binary) << "keep"; }
    const std::string path = GetParam().make(dir).string();
    ScriptedPort port(InstrumentStream(MakeImage(500)));
    const DownloadSummary s = RunDownloadLoop(port, path, ui, control);
    EXPECT_EQ(s.end, DownloadEnd::NotStarted);
    EXPECT_EQ(port.delivered, 0);
    ASSERT_EQ(ui.messages.size(), 1u);  // the failure only: nothing was downloaded to finish
    EXPECT_NE(ui.messages[0].find(path), std::string::npos) << ui.messages[0];
    EXPECT_NE(ui.messages[0].find("The download has not started."), std::string::npos);
    EXPECT_EQ(ReadFile(other), "keep");
    EXPECT_GE(port.closes, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, UnusableTempFile,
    ::testing::Values(Unusable{"MissingFolder",
                               [](const fs::path& d) { return d / "gone" / "~tempidl.bin"; }},
                      Unusable{"LinkToAnotherFile",
                               [](const fs::path& d) {
                                   fs::create_symlink(d / "precious.bin", d / "~tempidl.bin");
                                   return d / "~tempidl.bin";
                               }},
                      Unusable{"Fifo",
                               [](const fs::path& d) {
                                   ::mkfifo((d / "~tempidl.bin").c_str(), 0600);
                                   return d / "~tempidl.bin";
                               }},
                      Unusable{"Folder",
                               [](const fs::path& d) {
                                   fs::create_directory(d / "~tempidl.bin");
                                   return d / "~tempidl.bin";
                               }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoopTest, ADiskThatFillsPartWayKeepsTheBlocksWritten) {
    const auto image = MakeImage(3 * 1024 + 10);
    ScriptedPort port(InstrumentStream(image));
    // At most 1500 bytes a file, as on a disk that fills up during the second block.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 1500;
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const DownloadSummary s = RunDownloadLoop(port, temp, ui, control);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(s.end, DownloadEnd::FileFailed);
    // The count is what the file holds: the first block and what fitted of the second.
    EXPECT_EQ(s.bytes, 1500);
    EXPECT_EQ(ReadTemp(), std::vector<std::uint8_t>(image.begin(), image.begin() + 1500));
    // It stops at the failed block write, not after the whole image.
    EXPECT_EQ(port.delivered, 3 + 1025 + 1025);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_NE(ui.messages[0].find("The 1500 bytes received are kept in " + temp), std::string::npos)
        << ui.messages[0];
    EXPECT_EQ(ui.messages[1], "Download Finished. Number of Blocks = 2. Number of Bytes = 1500");
}
#endif

TEST_F(LoopTest, IdlePassesWaitOnThePortAndTheSilenceRestartsOnTheMonotonicClock) {
    const auto image = MakeImage(1024 + 50);
    auto stream = InstrumentStream(image);
    ScriptedPort port(std::vector<std::uint8_t>(stream.begin(), stream.begin() + 400));
    auto clock = std::chrono::steady_clock::time_point{};
    DownloadLoopOptions options;
    options.now = [&] { return clock; };
    int restarts = 0;
    port.onWait = [&] {
        clock += std::chrono::seconds(1);  // each idle pass "takes" a second
        if (ui.instructions.back() == "Communication Error.  Please restart the download" &&
            ++restarts == 1) {
            control.Cancel();
        }
    };
    const DownloadSummary s = RunDownloadLoop(port, temp, ui, control, options);
    EXPECT_EQ(s.end, DownloadEnd::Cancelled);
    EXPECT_EQ(restarts, 1);
    // Silent for 5 s is allowed; at 6 s the download restarts (the 7th idle pass waits
    // already after the restart). Every idle pass waited on the port.
    EXPECT_EQ(port.waits.size(), 7u);
    for (int w : port.waits) EXPECT_EQ(w, options.idleWaitMs);
    EXPECT_EQ(ReadTemp().size(), 0u);
}

TEST_F(LoopTest, OneDownloadAtATimeHoldsTheTemporaryFile) {
    TempFileLock first;
    ASSERT_EQ(first.Acquire(temp), TempFileLock::Outcome::Locked) << first.Reason();
    TempFileLock second;
    EXPECT_EQ(second.Acquire(temp), TempFileLock::Outcome::Busy);
    first.Release();
    EXPECT_FALSE(fs::exists(temp + ".lock"));
    EXPECT_EQ(second.Acquire(temp), TempFileLock::Outcome::Locked);
    EXPECT_EQ(BusyText(temp), "Another download is using " + temp +
                                  ". Wait until it has finished, then try again.");
}

#ifndef _WIN32
TEST_F(LoopTest, ALockLeftByACrashedProgramIsTakenOver) {
    const pid_t child = ::fork();
    if (child == 0) {
        TempFileLock held;
        ::_exit(held.Acquire(temp) == TempFileLock::Outcome::Locked ? 0 : 1);  // never released
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_TRUE(fs::exists(temp + ".lock"));
    TempFileLock lock;
    EXPECT_EQ(lock.Acquire(temp), TempFileLock::Outcome::Locked);
}
#endif

TEST_F(LoopTest, ASaveTargetIsCheckedBeforeTheDownload) {
    { std::ofstream(temp) << "image"; }
    { std::ofstream(dir / "old.BIN") << "old"; }
    fs::create_directory(dir / "sub.BIN");
    fs::create_symlink(temp, dir / "alias.BIN");
    const std::string d = dir.string() + "/";
    struct Case {
        std::string target;
        std::string problem;  // a piece of the problem; "" when none
        bool exists;
    };
    for (const Case& c :
         {Case{d + "new.BIN", "", false}, Case{d + "old.BIN", "", true},
          Case{d + "gone/x.BIN", "does not exist", false},
          Case{d + "sub.BIN", "is a folder", false}, Case{temp, "temporary download file", false},
          Case{d + "alias.BIN", "temporary download file", false},
          Case{d + "./~tempidl.bin", "temporary download file", false}}) {
        const SaveTargetCheck check = CheckSaveTarget(c.target, temp);
        if (c.problem.empty()) {
            EXPECT_EQ(check.problem, "") << c.target;
        } else {
            EXPECT_NE(check.problem.find(c.problem), std::string::npos)
                << c.target << ": " << check.problem;
        }
        EXPECT_EQ(check.exists, c.exists) << c.target;
    }
}

}  // namespace
}  // namespace vsdl::download
