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

#include "TestImages.h"
#include "download/DownloadLoop.h"

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

TEST_F(LoopTest, ATemporaryFileThatCannotBeCreatedEndsTheLoopAtOnce) {
    const auto image = MakeImage(500);
    ScriptedPort port(InstrumentStream(image));
    const std::string bad = (dir / "no such folder" / "~tempidl.bin").string();
    const DownloadSummary s = RunDownloadLoop(port, bad, ui, control);
    EXPECT_EQ(s.end, DownloadEnd::FileFailed);
    EXPECT_NE(s.failure.find(bad), std::string::npos);
    EXPECT_EQ(port.delivered, 0);
    EXPECT_EQ(s.finishText, "Download Finished. Number of Blocks = 0. Number of Bytes = 0");
    EXPECT_GE(port.closes, 1);
}

#ifdef __linux__
TEST_F(LoopTest, AFullDiskEndsTheLoopNamingTheFile) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const auto image = MakeImage(2 * 1024 + 10);
    ScriptedPort port(InstrumentStream(image));
    const DownloadSummary s = RunDownloadLoop(port, "/dev/full", ui, control);
    EXPECT_EQ(s.end, DownloadEnd::FileFailed);
    EXPECT_NE(s.failure.find("/dev/full"), std::string::npos);
    // It stops at the first block write, not after the whole image.
    EXPECT_LT(port.delivered, 3 + 1025 + 10);
    EXPECT_EQ(s.bytes, 0);
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

}  // namespace
}  // namespace vsdl::download
