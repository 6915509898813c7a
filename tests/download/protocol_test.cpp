// The download state machine, fed from a script of what happens on the line (bytes that arrive,
// silences, the user's Cancel) with a clock the script moves. Each case says what the program
// sent back, what it stored, what it showed and how it finished.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "download/DownloadProtocol.h"
#include "support/CoreTestSupport.h"

namespace vsdl::download {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using testing::InstrumentStream;
using testing::MakeImage;

// Keeps everything the protocol does; the "file" is a byte vector written at positions.
class Recorder final : public ProtocolOutput {
  public:
    void SendByte(std::uint8_t b) override { sent.push_back(b); }
    void RestartFile() override {
        file.clear();
        ++fileStarts;
    }
    void WriteData(std::int64_t position, const Bytes& data) override {
        EXPECT_LE(data.size(), 1024u);  // at most one block at a time
        const auto at = static_cast<std::size_t>(position - 1);
        if (file.size() < at + data.size()) file.resize(at + data.size());
        std::copy(data.begin(), data.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
    }
    void CloseFile() override {}
    void SetInstructions(const std::string& t) override { instructions.push_back(t); }
    void SetStatus(const std::string& t) override { status.push_back(t); }
    void AddListLine(const std::string& t) override { list.push_back(t); }
    void ShowMessage(const std::string& t) override { messages.push_back(t); }

    Bytes sent, file;
    int fileStarts = 0;
    std::vector<std::string> instructions, status, list, messages;
};

// One thing that happens on the line in a pass: bytes arrive, the line is silent for a while,
// or the user cancels (as the pass's event processing does).
struct Event {
    Bytes bytes = {};
    std::chrono::milliseconds silence{0};
    bool cancel = false;
};
Event Arrive(Bytes b) {
    return {.bytes = std::move(b)};
}
Event ArriveText(const std::string& text) {
    return {.bytes = Bytes(text.begin(), text.end())};
}
Event Silence(std::chrono::milliseconds ms, bool cancel = false) {
    return {.silence = ms, .cancel = cancel};
}
Bytes Part(const Bytes& b, std::size_t from, std::size_t to) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(std::min(to, b.size())));
}

struct Case {
    std::string name;
    std::vector<Event> script;
    std::int16_t state;                      // DownloadState at the end
    int blocks = 0;                          // blocks received, in the finish text
    Bytes stored = {};                       // the temporary file's bytes, their count too
    Bytes sent = {};                         // what went back to the instrument
    std::vector<std::string> list = {};      // instrument text lines
    std::vector<std::string> messages = {};  // message boxes
    int fileStarts = 1;                      // 1 + restarts after a silence
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

// The handshake, the checksums of the first `blocks` blocks of `image` and a final byte.
Bytes Acks(const Bytes& image, int blocks, std::uint8_t final) {
    Bytes sent(binformat::kHandshake.begin(), binformat::kHandshake.end());
    for (int b = 0; b < blocks; ++b)
        sent.push_back(binformat::BlockChecksum(image.data() + 1024 * b, 1024));
    sent.push_back(final);
    return sent;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kHs(binformat::kHandshake.begin(), binformat::kHandshake.end());

std::vector<Case> Cases() {
    // The image whole after a line of text, each block but the partial last one acknowledged.
    const auto whole = [](const Bytes& image, int blocks) {
        return Case{.name = "Whole" + std::to_string(image.size()),
                    .script = {ArriveText("READY\r\n"), Arrive(InstrumentStream(image))},
                    .state = state::kFinished,
                    .blocks = blocks,
                    .stored = image,
                    .sent = Acks(image, blocks - 1, 0x5F),
                    .list = {"READY"}};
    };
    // Whole blocks: the last checksum byte is acknowledged and echoed again as the final one.
    const Bytes blocks2 = MakeImage(2048), stream2 = InstrumentStream(blocks2);
    // Seven bytes whose hex texts run together contain the marker's digits: no end.
    Bytes shifted = MakeImage(300);
    const Bytes lookalike = {0x0C, 0x99, 0x66, 0xCA, 0x55, 0xAC, 0x03};
    shifted.insert(shifted.begin() + 100, lookalike.begin(), lookalike.end());
    // Marker bytes in the set header are header bytes.
    Bytes header = MakeImage(200);
    std::copy(binformat::kEndMark.begin(), binformat::kEndMark.end(), header.begin() + 6);
    const Bytes wrong = MakeImage(3 * 1024 + 40), small = MakeImage(100);
    // The handshake starts the framing again: the first block begins with the sync mark.
    const Bytes framed = MakeImage(1024 + 100);
    const Bytes image = MakeImage(3 * 1024), stream = InstrumentStream(image);
    const Bytes firstAck = Part(Acks(image, 1, 0), 0, 4);
    const Bytes twice = firstAck + Acks(image, 3, stream.back());
    // The silence is measured from the last byte.
    std::vector<Event> slow{Arrive(kHs)};
    for (int i = 0; i < 10; ++i) {
        slow.push_back(Silence(4000ms));
        slow.push_back(Arrive({0xC3}));
    }
    const auto done = state::kFinished, waiting = state::kWaiting, cancelled = state::kCancelled;
    // clang-format off
    return {
        whole(MakeImage(100), 1), whole(MakeImage(2548, true), 3),
        whole(MakeImage(1027), 2),  // a checksum byte falls inside the end marker
        {.name = "WholeBlocks", .script = {Arrive(stream2)}, .state = done, .blocks = 3,
         .stored = blocks2, .sent = Acks(blocks2, 2, stream2.back())},
        {.name = "ShiftedMarker", .script = {Arrive(InstrumentStream(shifted))}, .state = done,
         .blocks = 1, .stored = shifted, .sent = Acks(shifted, 0, 0x5F)},
        {.name = "MarkerInHeader", .script = {Arrive(InstrumentStream(header))}, .state = done,
         .blocks = 1, .stored = header, .sent = Acks(header, 0, 0x5F)},
        {.name = "WrongChecksum", .script = {Arrive(InstrumentStream(wrong, 2))}, .state = done,
         .blocks = 2, .stored = Part(wrong, 0, 2048), .sent = Part(Acks(wrong, 1, 0), 0, 4),
         .messages = {"serial port checksum error"}},
        {.name = "TextLines", .script = {ArriveText("Model 62-RV\r\nSerial #1234\r\n\r\nv2.1_b\n")},
         .state = waiting, .list = {"Model 62RV", "Serial 1234", "v2.1b"}},
        {.name = "PartOfTheHandshake", .script = {Arrive({0xA5, 0x3C})},
         .state = state::kHandshake},
        {.name = "WrongHandshake", .script = {Arrive({0xA5, 0x3C, 0x3C, 0x69, 0xA5, 0x3C, 0x69})},
         .state = state::kHandshake},
        // 1024 bytes of text: the next byte is a checksum byte, and 1024 'A' sum to 0x00.
        {.name = "FramingCountsFromTheStart",
         .script = {ArriveText(std::string(1024, 'A')), Arrive({0x00})}, .state = waiting,
         .blocks = 1, .sent = {0x00}},
        {.name = "HandshakeRestartsTheFraming",
         .script = {ArriveText(std::string(700, 'x') + "\r\n"), Arrive(InstrumentStream(framed))},
         .state = done, .blocks = 2, .stored = framed, .sent = Acks(framed, 1, 0x5F),
         .list = {std::string(700, 'x')}},
        {.name = "CancelDuringTheDownload",
         .script = {Arrive(Part(stream, 0, 3 + 1025 + 10)), Silence(0ms, true)},
         .state = cancelled, .blocks = 1, .stored = Part(image, 0, 1034), .sent = firstAck},
        {.name = "CancelBeforeTheHandshake", .script = {ArriveText("HELLO"), Silence(0ms, true)},
         .state = cancelled},
        // After more than 5 s of silence a Cancel still cancels, in every state (it was lost once).
        {.name = "LateCancelWaiting", .script = {Silence(7s, true)}, .state = cancelled},
        {.name = "LateCancelData",
         .script = {Arrive(Part(stream, 0, 3 + 1025 + 200)), Silence(7s, true)},
         .state = cancelled, .blocks = 1, .stored = Part(image, 0, 1224), .sent = firstAck},
        {.name = "NoTimeLimitBeforeTheHandshake", .script = {Silence(3h)}, .state = waiting},
        // Silent for exactly 5 s is allowed; a millisecond more empties the file and waits for a
        // fresh start, which then succeeds.
        {.name = "SilenceRestarts",
         .script = {Arrive(Part(stream, 0, 3 + 1025 + 50)), Silence(5000ms), Silence(1ms),
                    Arrive(stream)},
         .state = done, .blocks = 4, .stored = image, .sent = twice, .fileStarts = 2},
        // A text line cut off by the handshake is dropped when a silence restarts the download,
        // not joined to the next one.
        {.name = "TextCutBySilence",
         .script = {ArriveText("PARTIAL"), Arrive(Part(stream, 0, 3 + 1025 + 50)),
                    Silence(5001ms), ArriveText("AGAIN\r\n"), Arrive(stream)},
         .state = done, .blocks = 4, .stored = image, .sent = twice, .list = {"AGAIN"},
         .fileStarts = 2},
        // A final byte of 0 ends the download as any other does.
        {.name = "FinalByteZero", .script = {Arrive(InstrumentStream(small, 0, 0x00))},
         .state = done, .blocks = 1, .stored = small, .sent = Acks(small, 0, 0x00)},
        {.name = "SlowButNotSilent", .script = slow, .state = state::kSetTimes,
         .stored = Bytes(10, 0xC3), .sent = kHs},
        // A handshake gone wrong is released by the silence, and a good one then answered.
        {.name = "StuckHandshakeReleased", .script = {Arrive({0xA5, 0x00}), Silence(5001ms),
         Arrive(kHs)}, .state = state::kSyncMark, .sent = kHs, .fileStarts = 2},
    };
    // clang-format on
}

class ProtocolCases : public ::testing::TestWithParam<Case> {};

TEST_P(ProtocolCases, PlayTheScript) {
    const Case& c = GetParam();
    DownloadControl control;
    Recorder out;
    DownloadProtocol protocol(control, out);
    DownloadProtocol::Clock::time_point now{};
    protocol.Start(now);
    for (const Event& e : c.script) {
        for (std::uint8_t b : e.bytes) {
            if (protocol.ShouldExit()) break;
            protocol.OnByte(b, now);
        }
        if (e.silence.count() > 0 || e.cancel) {
            now += e.silence;
            if (e.cancel) control.Cancel();
            protocol.OnIdle(now);
        }
    }
    EXPECT_EQ(control.DownloadState, c.state);
    EXPECT_EQ(out.sent, c.sent);
    EXPECT_EQ(out.list, c.list);
    EXPECT_EQ(out.messages, c.messages);
    EXPECT_EQ(out.fileStarts, c.fileStarts);
    EXPECT_EQ(protocol.Finish(), FinishText(c.blocks, static_cast<std::int64_t>(c.stored.size())));
    EXPECT_EQ(out.file, c.stored);
}

INSTANTIATE_TEST_SUITE_P(Scripts, ProtocolCases, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

TEST(Protocol, TextsAndAnEarlyCancel) {
    DownloadControl control;
    Recorder out;
    DownloadProtocol protocol(control, out);
    control.Cancel();  // before the first pass: the start must not wipe it
    protocol.Start({});
    EXPECT_TRUE(protocol.ShouldExit());
    EXPECT_EQ(out.instructions, std::vector<std::string>{"Have the instrument start downloading"});

    const Bytes image = MakeImage(2 * 1024 + 10);
    DownloadControl running;
    Recorder shown;
    DownloadProtocol p(running, shown);
    p.Start({});
    for (std::uint8_t b : InstrumentStream(image)) p.OnByte(b, {});
    EXPECT_EQ(shown.instructions.back(),
              "Please wait for download to complete or press cancel to stop.");
    EXPECT_EQ(shown.status, (std::vector<std::string>{"", "Download has started",
                                                      "Block Received:  1", "Block Received:  2"}));
    EXPECT_EQ(BlockReceivedText(12), "Block Received:  12");
    EXPECT_EQ(HexByte(0x05) + HexByte(0xA5), "05A5");
}

}  // namespace
}  // namespace vsdl::download
