// Arbitrary byte streams into the download state machine. Besides not crashing, what it stores,
// sends and counts must match a plain reading of the stream done here on its own: the bytes
// from the sync mark to the end marker, without the block checksum bytes.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "download/DownloadProtocol.h"

namespace {

using vsdl::download::DownloadControl;
using vsdl::download::DownloadProtocol;

class Capture final : public vsdl::download::ProtocolOutput {
  public:
    void SendByte(std::uint8_t b) override { sent.push_back(b); }
    void RestartFile() override { file.clear(); }
    void WriteData(std::int64_t position, const std::vector<std::uint8_t>& data) override {
        if (data.size() > 1024 || position < 1) std::abort();
        const auto at = static_cast<std::size_t>(position - 1);
        if (at != file.size()) std::abort();  // always appended, never a gap or an overlap
        file.insert(file.end(), data.begin(), data.end());
    }
    void CloseFile() override {}
    void SetInstructions(const std::string&) override {}
    void SetStatus(const std::string&) override {}
    void AddListLine(const std::string& line) override {
        if (line.empty()) std::abort();
        for (char c : line) {
            if (vsdl::download::kPrintableSet.find(c) == std::string_view::npos) std::abort();
        }
    }
    void ShowMessage(const std::string&) override { ++messages; }

    std::vector<std::uint8_t> sent, file;
    int messages = 0;
};

// The stream read the other way round: one pass, tracking where the download stands.
struct Expected {
    std::vector<std::uint8_t> stored, sent;
    int blocks = 0;
    bool complete = false, checksumError = false;
};

Expected Read(const std::uint8_t* data, std::size_t size) {
    enum Phase { Waiting, Handshake, Sync, Header, Data, Final, Stuck, Over };
    static constexpr std::array<std::uint8_t, 6> kMarker = {0xC9, 0x96, 0x6C, 0xA5, 0x5A, 0xC3};
    Expected e;
    Phase phase = Waiting;
    int inBlock = 0, matched = 0, headerLeft = 0;
    std::uint32_t sum = 0;
    bool storing = false;
    std::array<std::uint8_t, 3> sync{};
    std::vector<std::uint8_t> tail;  // the last data bytes, for the marker
    for (std::size_t i = 0; i < size && phase != Over; ++i) {
        const std::uint8_t b = data[i];
        const bool checksumByte = ++inBlock == 1025;
        if (checksumByte) {
            ++e.blocks;
            if ((sum & 0xFF) != b) {
                e.checksumError = true;
                break;
            }
            e.sent.push_back(b);
            inBlock = 0;
            sum = 0;
        } else {
            if (storing) e.stored.push_back(b);
            sum += b;
        }
        switch (phase) {
            case Waiting:
                if (b == 0xA5) {
                    phase = Handshake;
                    matched = 1;
                }
                break;
            case Handshake:
                if ((matched == 1 && b == 0x3C) || (matched == 2 && b == 0x69)) {
                    if (++matched == 3) {
                        e.sent.insert(e.sent.end(), {0xA5, 0x3C, 0x69});
                        inBlock = 0;
                        storing = true;
                        phase = Sync;
                        matched = 0;
                    }
                } else {
                    phase = Stuck;
                }
                break;
            case Sync:
                sync[static_cast<std::size_t>(matched++)] = b;
                if (matched == 3) {
                    if (sync[0] == sync[1] && sync[1] == sync[2] && (b == 0xC3 || b == 0x3C)) {
                        sum = b == 0xC3 ? 585u : 180u;
                        phase = Header;
                        headerLeft = 18;  // SetCount, SetNumber, two times, four codes
                    } else {
                        phase = Stuck;
                    }
                }
                break;
            case Header:
                if (--headerLeft == 0) phase = Data;
                break;
            case Data:
                if (checksumByte) break;
                tail.push_back(b);
                if (tail.size() > 6) tail.erase(tail.begin());
                if (std::equal(tail.begin(), tail.end(), kMarker.begin(), kMarker.end())) {
                    storing = false;
                    ++e.blocks;
                    phase = Final;
                }
                break;
            case Final:
                e.sent.push_back(b);
                e.complete = true;
                phase = Over;
                break;
            case Stuck:
            case Over:
                break;
        }
    }
    return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses whether idle passes (with the clock standing still) come between
    // the bytes: they must change nothing.
    const bool idlePasses = (data[0] & 1) != 0;
    ++data;
    --size;

    DownloadControl control;
    Capture out;
    DownloadProtocol protocol(control, out);
    const DownloadProtocol::Clock::time_point now{};
    protocol.Start(now);
    for (std::size_t i = 0; i < size && !protocol.ShouldExit(); ++i) {
        protocol.OnByte(data[i], now);
        if (idlePasses) protocol.OnIdle(now);
    }
    protocol.Finish();

    const Expected e = Read(data, size);
    if (out.file != e.stored) std::abort();
    if (out.sent != e.sent) std::abort();
    if (protocol.Blocks() != e.blocks) std::abort();
    if (protocol.Completed() != e.complete) std::abort();
    if (protocol.ChecksumFailed() != e.checksumError) std::abort();
    if (out.messages != (e.checksumError ? 1 : 0)) std::abort();
    if (protocol.BytesWritten() != static_cast<std::int64_t>(out.file.size())) std::abort();
    return 0;
}
