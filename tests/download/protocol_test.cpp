// The download state machine, fed byte by byte with a clock the test moves.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "TestImages.h"
#include "download/DownloadProtocol.h"
#include "instrument/PtySimulator.h"

namespace vsdl::download {
namespace {

using namespace std::chrono_literals;
using test::InstrumentStream;
using test::MakeImage;

// Keeps everything the protocol does; the "file" is a byte vector written at positions.
class Recorder final : public ProtocolOutput {
  public:
    void SendByte(std::uint8_t b) override { sent.push_back(b); }
    void RestartFile() override {
        file.clear();
        ++fileRestarts;
        open = true;
    }
    void WriteData(std::int64_t position, const std::vector<std::uint8_t>& data) override {
        EXPECT_TRUE(open);
        EXPECT_LE(data.size(), 1024u);
        const auto at = static_cast<std::size_t>(position - 1);
        if (file.size() < at + data.size()) file.resize(at + data.size());
        std::copy(data.begin(), data.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
        ++writes;
    }
    void CloseFile() override { open = false; }
    void SetInstructions(const std::string& t) override { instructions.push_back(t); }
    void SetStatus(const std::string& t) override { status.push_back(t); }
    void AddListLine(const std::string& t) override { list.push_back(t); }
    void ShowMessage(const std::string& t) override { messages.push_back(t); }

    std::vector<std::uint8_t> sent, file;
    int fileRestarts = 0, writes = 0;
    bool open = false;
    std::vector<std::string> instructions, status, list, messages;
};

class ProtocolTest : public ::testing::Test {
  protected:
    ProtocolTest() { protocol.Start(now); }

    void Feed(const std::vector<std::uint8_t>& bytes) {
        for (std::uint8_t b : bytes) {
            if (protocol.ShouldExit()) return;
            protocol.OnByte(b, now);
        }
    }
    void Feed(const std::string& text) {
        Feed(std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    void Idle(std::chrono::milliseconds later) {
        now += later;
        protocol.OnIdle(now);
    }

    DownloadControl control;
    Recorder out;
    DownloadProtocol protocol{control, out};
    DownloadProtocol::Clock::time_point now{};
};

TEST_F(ProtocolTest, StartsWaitingWithAnEmptyFile) {
    EXPECT_EQ(out.instructions, std::vector<std::string>{"Have the instrument start downloading"});
    EXPECT_EQ(out.status, std::vector<std::string>{""});
    EXPECT_EQ(out.fileRestarts, 1);
    EXPECT_EQ(control.DownloadState, 0);
    EXPECT_EQ(control.DownloadRunning, -1);
    EXPECT_FALSE(protocol.ShouldExit());
}

TEST_F(ProtocolTest, TextLinesEndAtCrOrLfAndKeepOnlyThePrintableSet) {
    Feed(std::string("Model 62-RV\r\nSerial #1234\r\n\r\nv2.1_b\n"));
    EXPECT_EQ(out.list, (std::vector<std::string>{"Model 62RV", "Serial 1234", "v2.1b"}));
    EXPECT_TRUE(out.sent.empty());
    EXPECT_TRUE(out.file.empty());
}

TEST_F(ProtocolTest, NothingIsSentBeforeTheHandshakeAndItIsEchoedByteByByte) {
    Feed(std::vector<std::uint8_t>{0xA5, 0x3C});
    EXPECT_TRUE(out.sent.empty());
    Feed(std::vector<std::uint8_t>{0x69});
    EXPECT_EQ(out.sent, test::kHandshake);
    EXPECT_EQ(control.DownloadState, 2);
    EXPECT_TRUE(protocol.Storing());
    EXPECT_EQ(out.instructions.back(),
              "Please wait for download to complete or press cancel to stop.");
    EXPECT_EQ(out.status.back(), "Download has started");
}

TEST_F(ProtocolTest, AWrongHandshakeNeverMatches) {
    Feed(std::vector<std::uint8_t>{0xA5, 0x3C, 0x3C, 0x69, 0xA5, 0x3C, 0x69});
    EXPECT_TRUE(out.sent.empty());
    EXPECT_EQ(control.DownloadState, 1);
}

struct DownloadCase {
    std::size_t size;
    bool timed;
    int blocks;
};

// How a case is named in test lists and messages (not as raw bytes).
void PrintTo(const DownloadCase& c, std::ostream* os) {
    *os << c.size << (c.timed ? " bytes timed" : " bytes untimed");
}

class WholeDownload : public ProtocolTest, public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(WholeDownload, StoresExactlyTheImageAndCountsThePartialBlock) {
    const auto image = MakeImage(GetParam().size, GetParam().timed);
    Feed(std::string("READY\r\n"));
    Feed(InstrumentStream(image));
    ASSERT_EQ(control.DownloadState, -1);
    EXPECT_TRUE(protocol.Completed());
    const std::string finish = protocol.Finish();
    EXPECT_EQ(out.file, image);
    EXPECT_EQ(protocol.Blocks(), GetParam().blocks);
    EXPECT_EQ(finish, "Download Finished. Number of Blocks = " + std::to_string(GetParam().blocks) +
                          ". Number of Bytes = " + std::to_string(image.size()));
    // Handshake, one acknowledgement per full block, the final echo.
    const std::size_t full = image.size() / 1024;
    EXPECT_EQ(out.sent.size(), 3 + full + 1);
    EXPECT_EQ(out.sent.back(), 0x5F);
    EXPECT_EQ(out.list, std::vector<std::string>{"READY"});
    EXPECT_TRUE(out.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, WholeDownload,
    ::testing::Values(DownloadCase{100, false, 1}, DownloadCase{2 * 1024 + 500, false, 3},
                      DownloadCase{2 * 1024 + 500, true, 3},
                      // a checksum byte falls inside the end marker
                      DownloadCase{1024 + 3, false, 2}, DownloadCase{1024 + 1, false, 2}),
    [](const auto& info) {
        return std::to_string(info.param.size) + "Bytes" + (info.param.timed ? "Timed" : "Untimed");
    });

TEST_F(ProtocolTest, BlockStatusReservesASignPlace) {
    const auto image = MakeImage(2 * 1024 + 10);
    Feed(InstrumentStream(image));
    EXPECT_NE(std::find(out.status.begin(), out.status.end(), "Block Received:  1"),
              out.status.end());
    EXPECT_NE(std::find(out.status.begin(), out.status.end(), "Block Received:  2"),
              out.status.end());
    EXPECT_EQ(BlockReceivedText(12), "Block Received:  12");
}

TEST_F(ProtocolTest, ShiftedMarkerBytesDoNotEndTheDownload) {
    auto image = MakeImage(300);
    // Seven bytes whose hex renderings, run together, contain the marker's digits.
    const std::vector<std::uint8_t> lookalike = {0x0C, 0x99, 0x66, 0xCA, 0x55, 0xAC, 0x03};
    image.insert(image.begin() + 100, lookalike.begin(), lookalike.end());
    Feed(InstrumentStream(image));
    EXPECT_TRUE(protocol.Completed());
    protocol.Finish();
    EXPECT_EQ(out.file, image);
}

TEST_F(ProtocolTest, TheMarkerSearchBeginsAfterTheHeader) {
    // Marker bytes inside the set header are header bytes, not the end.
    std::vector<std::uint8_t> image = MakeImage(200);
    for (std::size_t i = 0; i < 6; ++i) image[6 + i] = test::kEndMarker[i];
    Feed(InstrumentStream(image));
    EXPECT_TRUE(protocol.Completed());
    protocol.Finish();
    EXPECT_EQ(out.file, image);
}

TEST_F(ProtocolTest, AnImageOfWholeBlocksEndsAtTheLastChecksumByte) {
    const auto image = MakeImage(2 * 1024);
    const auto stream = InstrumentStream(image);  // no partial block, so no final byte
    Feed(stream);
    ASSERT_TRUE(protocol.Completed());
    const std::string finish = protocol.Finish();
    EXPECT_EQ(out.file, image);
    // The last checksum byte is acknowledged and then echoed again as the final byte.
    const std::uint8_t last = stream.back();
    ASSERT_GE(out.sent.size(), 2u);
    EXPECT_EQ(out.sent.size(), 3u + 2u + 1u);
    EXPECT_EQ(out.sent[out.sent.size() - 2], last);
    EXPECT_EQ(out.sent.back(), last);
    EXPECT_EQ(finish, "Download Finished. Number of Blocks = 3. Number of Bytes = 2048");
}

TEST_F(ProtocolTest, AWrongChecksumEndsTheDownloadKeepingTheFailedBlock) {
    const auto image = MakeImage(3 * 1024 + 40);
    Feed(InstrumentStream(image, /*badBlock=*/2));
    EXPECT_EQ(control.DownloadState, -1);
    EXPECT_TRUE(protocol.ChecksumFailed());
    EXPECT_FALSE(protocol.Completed());
    EXPECT_EQ(out.messages, std::vector<std::string>{"serial port checksum error"});
    // Handshake and block 1 acknowledged; block 2's checksum byte not sent back.
    EXPECT_EQ(out.sent.size(), 4u);
    EXPECT_EQ(protocol.Finish(), "Download Finished. Number of Blocks = 2. Number of Bytes = 2048");
    EXPECT_EQ(out.file, std::vector<std::uint8_t>(image.begin(), image.begin() + 2048));
}

TEST_F(ProtocolTest, BlockFramingCountsFromTheStartOfTheDownload) {
    // 1024 bytes of text before any handshake: the next byte is taken as a checksum byte.
    Feed(std::string(1024, 'A'));
    EXPECT_EQ(control.DownloadState, 0);
    Feed(std::vector<std::uint8_t>{0x00});  // 1024 * 'A' sums to 0x00 in its low 8 bits
    EXPECT_EQ(out.sent, std::vector<std::uint8_t>{0x00});
    EXPECT_EQ(out.status.back(), "Block Received:  1");
    EXPECT_TRUE(out.messages.empty());
}

TEST_F(ProtocolTest, TheHandshakeRestartsTheFraming) {
    // Text before the handshake does not shift the blocks: the first block begins with the
    // sync mark.
    Feed(std::string(700, 'x') + "\r\n");
    const auto image = MakeImage(1024 + 100);
    Feed(InstrumentStream(image));
    EXPECT_TRUE(protocol.Completed());
    EXPECT_TRUE(out.messages.empty());
    protocol.Finish();
    EXPECT_EQ(out.file, image);
}

TEST_F(ProtocolTest, CancelBeforeTheHandshakeReportsNothingReceived) {
    Feed(std::string("HELLO"));
    control.Cancel();
    EXPECT_TRUE(protocol.ShouldExit());
    EXPECT_EQ(protocol.Finish(), "Download Finished. Number of Blocks = 0. Number of Bytes = 0");
    EXPECT_TRUE(out.file.empty());
}

TEST_F(ProtocolTest, CancelBeforeTheFirstPassIsNotWipedByTheStart) {
    DownloadControl early;
    early.Cancel();
    Recorder rec;
    DownloadProtocol p{early, rec};
    p.Start(now);
    EXPECT_TRUE(p.ShouldExit());
    EXPECT_EQ(early.DownloadState, 13);
    EXPECT_EQ(p.Finish(), "Download Finished. Number of Blocks = 0. Number of Bytes = 0");
}

TEST_F(ProtocolTest, CancelDuringTheDownloadKeepsWhatCame) {
    const auto image = MakeImage(3 * 1024);
    const auto stream = InstrumentStream(image);
    Feed(std::vector<std::uint8_t>(stream.begin(), stream.begin() + 3 + 1025 + 10));
    control.Cancel();
    EXPECT_TRUE(protocol.ShouldExit());
    EXPECT_EQ(protocol.Finish(), "Download Finished. Number of Blocks = 1. Number of Bytes = 1034");
    EXPECT_EQ(out.file, std::vector<std::uint8_t>(image.begin(), image.begin() + 1034));
}

// A Cancel after a long silence must not be taken for the silence restart of the same pass.
struct LateCancel {
    const char* name;
    std::size_t streamBytes;  // bytes of the instrument's stream received before the silence
    std::int16_t state;       // the state the silence finds
};

void PrintTo(const LateCancel& c, std::ostream* os) {
    *os << c.name;
}

class LateCancelTest : public ProtocolTest, public ::testing::WithParamInterface<LateCancel> {};

TEST_P(LateCancelTest, EndsTheLoopAtTheNextPass) {
    const auto stream = InstrumentStream(MakeImage(3 * 1024));
    Feed(std::vector<std::uint8_t>(stream.begin(),
                                   stream.begin() + static_cast<long>(GetParam().streamBytes)));
    ASSERT_EQ(control.DownloadState, GetParam().state);
    const std::int64_t kept = protocol.BytesWritten() + static_cast<long>(protocol.PendingBytes());
    now += 7s;
    control.Cancel();  // the pass's event processing
    protocol.OnIdle(now);
    EXPECT_TRUE(protocol.ShouldExit());
    EXPECT_EQ(control.DownloadState, 13);
    EXPECT_EQ(out.fileRestarts, 1);
    EXPECT_EQ(protocol.Finish(), FinishText(GetParam().state == 11 ? 1 : 0, kept));
}

INSTANTIATE_TEST_SUITE_P(States, LateCancelTest,
                         ::testing::Values(LateCancel{"Waiting", 0, 0},
                                           LateCancel{"Handshake", 1, 1},
                                           LateCancel{"Data", 3 + 1025 + 200, 11}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProtocolTest, NoTimeLimitBeforeTheHandshake) {
    Idle(std::chrono::hours(3));
    EXPECT_EQ(control.DownloadState, 0);
    EXPECT_EQ(out.fileRestarts, 1);
}

TEST_F(ProtocolTest, SilenceOfMoreThanFiveSecondsRestartsWithAnEmptyFile) {
    const auto image = MakeImage(2 * 1024 + 100);
    const auto stream = InstrumentStream(image);
    Feed(std::vector<std::uint8_t>(stream.begin(), stream.begin() + 3 + 1025 + 50));
    Idle(5000ms);  // exactly the limit: not yet
    EXPECT_EQ(control.DownloadState, 11);
    Idle(1ms);
    EXPECT_EQ(control.DownloadState, 0);
    EXPECT_EQ(out.instructions.back(), "Communication Error.  Please restart the download");
    EXPECT_EQ(out.fileRestarts, 2);
    EXPECT_TRUE(out.file.empty());
    EXPECT_EQ(protocol.Restarts(), 1);
    // A fresh start then succeeds.
    Feed(stream);
    EXPECT_TRUE(protocol.Completed());
    EXPECT_EQ(protocol.Finish(), "Download Finished. Number of Blocks = 3. Number of Bytes = " +
                                     std::to_string(image.size()));
    EXPECT_EQ(out.file, image);
}

TEST_F(ProtocolTest, SilenceIsMeasuredFromTheLastByte) {
    Feed(test::kHandshake);
    for (int i = 0; i < 10; ++i) {
        Idle(4000ms);
        Feed(std::vector<std::uint8_t>{0xC3});
    }
    EXPECT_EQ(control.DownloadState, 5);
    EXPECT_EQ(protocol.Restarts(), 0);
}

TEST_F(ProtocolTest, AStuckHandshakeIsReleasedBySilence) {
    Feed(std::vector<std::uint8_t>{0xA5, 0x00});
    Idle(5001ms);
    EXPECT_EQ(control.DownloadState, 0);
    Feed(test::kHandshake);
    EXPECT_EQ(out.sent, test::kHandshake);
}

TEST(SimulatorImage, OnlyImagesThatADownloadCanStoreArePlayed) {
    using instrument::CheckSimulatorImage;
    EXPECT_EQ(CheckSimulatorImage(MakeImage(100)), "");
    EXPECT_EQ(CheckSimulatorImage(MakeImage(2048, true)), "");
    auto noSync = MakeImage(100);
    noSync[1] = 0x3C;
    EXPECT_NE(CheckSimulatorImage(noSync).find("sync mark"), std::string::npos);
    auto noMarker = MakeImage(100);
    noMarker.pop_back();
    EXPECT_NE(CheckSimulatorImage(noMarker).find("end marker"), std::string::npos);
    // A marker in the data would end the download early.
    auto early = MakeImage(200);
    std::copy(test::kEndMarker.begin(), test::kEndMarker.end(), early.begin() + 50);
    EXPECT_NE(CheckSimulatorImage(early).find("byte 51"), std::string::npos);
    // In the header it is no marker.
    auto inHeader = MakeImage(200);
    std::copy(test::kEndMarker.begin(), test::kEndMarker.end(), inHeader.begin() + 5);
    EXPECT_EQ(CheckSimulatorImage(inHeader), "");
    EXPECT_NE(CheckSimulatorImage(std::vector<std::uint8_t>(20, 0xC3)).find("too short"),
              std::string::npos);
}

TEST(ProtocolTexts, Hex) {
    EXPECT_EQ(HexByte(0x05), "05");
    EXPECT_EQ(HexByte(0xA5), "A5");
    EXPECT_EQ(FinishText(0, 0), "Download Finished. Number of Blocks = 0. Number of Bytes = 0");
}

}  // namespace
}  // namespace vsdl::download
