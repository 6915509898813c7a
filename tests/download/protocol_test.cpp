// The download state machine, fed from a script of what happens on the line (bytes that arrive,
// silences, the user's Cancel) with a clock the script moves. Each case says what the program
// sent back, what it stored, what it showed and how it finished.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "download/DownloadProtocol.h"
#include "instrument/SimulatorPlan.h"
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
    Bytes bytes;
    std::chrono::milliseconds silence{0};
    bool cancel = false;
};
Event Arrive(Bytes b) {
    return {std::move(b), {}, false};
}
Event ArriveText(const std::string& text) {
    return {Bytes(text.begin(), text.end()), {}, false};
}
Event Silence(std::chrono::milliseconds ms) {
    return {{}, ms, false};
}
Event CancelAfter(std::chrono::milliseconds ms) {
    return {{}, ms, true};
}
Bytes Part(const Bytes& b, std::size_t from, std::size_t to) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(std::min(to, b.size())));
}

struct Case {
    std::string name;
    std::vector<Event> script;
    std::int16_t state;                      // DownloadState at the end
    std::string finish;                      // the finish text
    Bytes stored = {};                       // the temporary file's bytes
    Bytes sent = {};                         // what went back to the instrument
    std::vector<std::string> list = {};      // instrument text lines
    std::vector<std::string> messages = {};  // message boxes
    int fileStarts = 1;                      // 1 + restarts after a silence
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

std::string Finish(int blocks, std::size_t bytes) {
    return FinishText(blocks, static_cast<std::int64_t>(bytes));
}

Bytes Acks(const Bytes& image, int blocks, std::uint8_t final) {
    Bytes sent(binformat::kHandshake.begin(), binformat::kHandshake.end());
    for (int b = 0; b < blocks; ++b)
        sent.push_back(binformat::BlockChecksum(image.data() + 1024 * b, 1024));
    sent.push_back(final);
    return sent;
}

const Bytes kHs(binformat::kHandshake.begin(), binformat::kHandshake.end());

std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (const auto& [size, timed, blocks] : {std::tuple{100, false, 1}, std::tuple{2548, true, 3},
                                              // a checksum byte falls inside the end marker
                                              std::tuple{1027, false, 2}}) {
        const Bytes image = MakeImage(static_cast<std::size_t>(size), timed);
        cases.push_back({"Whole" + std::to_string(size),
                         {ArriveText("READY\r\n"), Arrive(InstrumentStream(image))},
                         state::kFinished,
                         Finish(blocks, image.size()),
                         image,
                         Acks(image, blocks - 1, 0x5F),
                         {"READY"}});
    }
    {
        // Whole blocks: the last checksum byte is acknowledged and echoed again as the final one.
        const Bytes image = MakeImage(2048);
        const Bytes stream = InstrumentStream(image);
        Bytes sent = Acks(image, 2, stream.back());
        cases.push_back(
            {"WholeBlocks", {Arrive(stream)}, state::kFinished, Finish(3, 2048), image, sent});
    }
    {
        // Seven bytes whose hex texts run together contain the marker's digits: no end.
        Bytes image = MakeImage(300);
        const Bytes lookalike = {0x0C, 0x99, 0x66, 0xCA, 0x55, 0xAC, 0x03};
        image.insert(image.begin() + 100, lookalike.begin(), lookalike.end());
        cases.push_back({"ShiftedMarker",
                         {Arrive(InstrumentStream(image))},
                         state::kFinished,
                         Finish(1, image.size()),
                         image,
                         Acks(image, 0, 0x5F)});
        // Marker bytes in the set header are header bytes.
        Bytes header = MakeImage(200);
        std::copy(binformat::kEndMark.begin(), binformat::kEndMark.end(), header.begin() + 6);
        cases.push_back({"MarkerInHeader",
                         {Arrive(InstrumentStream(header))},
                         state::kFinished,
                         Finish(1, 200),
                         header,
                         Acks(header, 0, 0x5F)});
    }
    {
        const Bytes image = MakeImage(3 * 1024 + 40);
        cases.push_back({"WrongChecksum",
                         {Arrive(InstrumentStream(image, 2))},
                         state::kFinished,
                         Finish(2, 2048),
                         Part(image, 0, 2048),
                         Part(Acks(image, 1, 0), 0, 4),
                         {},
                         {"serial port checksum error"}});
    }
    cases.push_back({"TextLines",
                     {ArriveText("Model 62-RV\r\nSerial #1234\r\n\r\nv2.1_b\n")},
                     state::kWaiting,
                     Finish(0, 0),
                     {},
                     {},
                     {"Model 62RV", "Serial 1234", "v2.1b"}});
    cases.push_back(
        {"PartOfTheHandshake", {Arrive({0xA5, 0x3C})}, state::kHandshake, Finish(0, 0)});
    cases.push_back({"WrongHandshake",
                     {Arrive({0xA5, 0x3C, 0x3C, 0x69, 0xA5, 0x3C, 0x69})},
                     state::kHandshake,
                     Finish(0, 0)});
    // 1024 bytes of text: the next byte is a checksum byte, and 1024 'A' sum to 0x00.
    cases.push_back({"FramingCountsFromTheStart",
                     {ArriveText(std::string(1024, 'A')), Arrive({0x00})},
                     state::kWaiting,
                     Finish(1, 0),
                     {},
                     {0x00}});
    {
        // The handshake starts the framing again: the first block begins with the sync mark.
        const Bytes image = MakeImage(1024 + 100);
        cases.push_back(
            {"HandshakeRestartsTheFraming",
             {ArriveText(std::string(700, 'x') + "\r\n"), Arrive(InstrumentStream(image))},
             state::kFinished,
             Finish(2, image.size()),
             image,
             Acks(image, 1, 0x5F),
             {std::string(700, 'x')}});
    }
    const Bytes image = MakeImage(3 * 1024);
    const Bytes stream = InstrumentStream(image);
    const Bytes firstAck = Part(Acks(image, 1, 0), 0, 4);
    cases.push_back({"CancelDuringTheDownload",
                     {Arrive(Part(stream, 0, 3 + 1025 + 10)), CancelAfter(0ms)},
                     state::kCancelled,
                     Finish(1, 1034),
                     Part(image, 0, 1034),
                     firstAck});
    cases.push_back({"CancelBeforeTheHandshake",
                     {ArriveText("HELLO"), CancelAfter(0ms)},
                     state::kCancelled,
                     Finish(0, 0)});
    // After more than 5 s of silence a Cancel still cancels, in every state (it was lost once).
    cases.push_back({"LateCancelWaiting", {CancelAfter(7s)}, state::kCancelled, Finish(0, 0)});
    cases.push_back({"LateCancelHandshake",
                     {Arrive({0xA5}), CancelAfter(7s)},
                     state::kCancelled,
                     Finish(0, 0)});
    cases.push_back({"LateCancelData",
                     {Arrive(Part(stream, 0, 3 + 1025 + 200)), CancelAfter(7s)},
                     state::kCancelled,
                     Finish(1, 1224),
                     Part(image, 0, 1224),
                     firstAck});
    cases.push_back(
        {"NoTimeLimitBeforeTheHandshake", {Silence(3h)}, state::kWaiting, Finish(0, 0)});
    // Silent for exactly 5 s is allowed; a millisecond more empties the file and waits for a
    // fresh start, which then succeeds.
    Case silence{
        "SilenceRestarts",
        {Arrive(Part(stream, 0, 3 + 1025 + 50)), Silence(5000ms), Silence(1ms), Arrive(stream)},
        state::kFinished,
        Finish(4, image.size()),
        image,
        firstAck,
        {},
        {},
        2};
    const Bytes again = Acks(image, 3, stream.back());
    silence.sent.insert(silence.sent.end(), again.begin(), again.end());
    cases.push_back(silence);
    // A text line cut off by the handshake is dropped when a silence restarts the download,
    // not joined to the next one.
    Case cut{"TextCutBySilence",
             {ArriveText("PARTIAL"), Arrive(Part(stream, 0, 3 + 1025 + 50)), Silence(5001ms),
              ArriveText("AGAIN\r\n"), Arrive(stream)},
             state::kFinished,
             Finish(4, image.size()),
             image,
             firstAck,
             {"AGAIN"},
             {},
             2};
    cut.sent.insert(cut.sent.end(), again.begin(), again.end());
    cases.push_back(cut);
    // A final byte of 0 ends the download as any other does.
    {
        const Bytes small = MakeImage(100);
        cases.push_back({"FinalByteZero",
                         {Arrive(InstrumentStream(small, 0, 0x00))},
                         state::kFinished,
                         Finish(1, small.size()),
                         small,
                         Acks(small, 0, 0x00)});
    }
    // The silence is measured from the last byte.
    std::vector<Event> slow{Arrive(kHs)};
    for (int i = 0; i < 10; ++i) {
        slow.push_back(Silence(4000ms));
        slow.push_back(Arrive({0xC3}));
    }
    cases.push_back(
        {"SlowButNotSilent", slow, state::kSetTimes, Finish(0, 10), Bytes(10, 0xC3), kHs});
    // A handshake gone wrong is released by the silence, and a good one then answered.
    cases.push_back({"StuckHandshakeReleased",
                     {Arrive({0xA5, 0x00}), Silence(5001ms), Arrive(kHs)},
                     state::kSyncMark,
                     Finish(0, 0),
                     {},
                     kHs,
                     {},
                     {},
                     2});
    return cases;
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
    EXPECT_EQ(protocol.Finish(), c.finish);
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

TEST(Protocol, OnlyImagesThatADownloadCanStoreArePlayed) {
    using instrument::CheckSimulatorImage;
    Bytes noSync = MakeImage(100);
    noSync[1] = 0x3C;
    Bytes early = MakeImage(200);
    std::copy(binformat::kEndMark.begin(), binformat::kEndMark.end(), early.begin() + 50);
    Bytes inHeader = MakeImage(200);
    std::copy(binformat::kEndMark.begin(), binformat::kEndMark.end(), inHeader.begin() + 5);
    const std::pair<Bytes, const char*> cases[] = {
        {MakeImage(100), ""},  {inHeader, ""},
        {noSync, "sync mark"}, {Part(MakeImage(100), 0, 99), "end marker"},
        {early, "byte 51"},    {Bytes(20, 0xC3), "too short"}};
    for (const auto& [image, why] : cases) {
        const std::string said = CheckSimulatorImage(image);
        EXPECT_EQ(said.empty(), std::string(why).empty()) << said;
        EXPECT_NE(said.find(why), std::string::npos) << said;
    }
}

}  // namespace
}  // namespace vsdl::download
