#include "instrument/SimulatorPlan.h"

#include <algorithm>
#include <string_view>

#include "common/BinFormat.h"
#include "download/DownloadProtocol.h"

namespace vsdl::instrument {
namespace {

namespace bin = vsdl::binformat;

// Sync mark, SetCount and the 17-byte header of the first data set: the end-marker search of
// the download begins after them.
constexpr std::size_t kHeaderBytes = bin::kFileHeaderSize + bin::kSetHeaderSize;

Step Send(std::vector<std::uint8_t> bytes) {
    Step s;
    s.kind = Step::Kind::Send;
    s.bytes = std::move(bytes);
    return s;
}

Step SendImage(std::size_t from, std::size_t count) {
    Step s;
    s.kind = Step::Kind::SendImage;
    s.from = from;
    s.count = count;
    return s;
}

Step Expect(std::vector<std::uint8_t> bytes, bool resend = false) {
    Step s;
    s.kind = Step::Kind::ExpectEcho;
    s.bytes = std::move(bytes);
    s.resendUntilAnswered = resend;
    return s;
}

Step Plain(Step::Kind kind, std::string note) {
    Step s;
    s.kind = kind;
    s.note = std::move(note);
    return s;
}

// Line noise that neither starts the handshake nor makes a text line; the same every time.
std::vector<std::uint8_t> Noise(std::size_t count) {
    std::vector<std::uint8_t> noise;
    unsigned x = 0x5EED;
    while (noise.size() < count) {
        x = x * 1103515245u + 12345u;
        const auto b = static_cast<std::uint8_t>(x >> 16);
        if (b == bin::kHandshake[0] || b == 13 || b == 10 ||
            download::kPrintableSet.find(static_cast<char>(b)) != std::string_view::npos) {
            continue;
        }
        noise.push_back(b);
    }
    return noise;
}

bool Is(const std::optional<int>& fault, std::size_t block) {
    return fault && *fault == static_cast<int>(block);
}

}  // namespace

std::string CheckSimulatorImage(const std::vector<std::uint8_t>& image) {
    if (image.size() < kHeaderBytes + bin::kEndMark.size()) {
        return "the image is too short to be a download (" + std::to_string(image.size()) +
               " bytes)";
    }
    const bool sync =
        std::equal(bin::kUntimedMark.begin(), bin::kUntimedMark.end(), image.begin()) ||
        std::equal(bin::kTimedMark.begin(), bin::kTimedMark.end(), image.begin());
    if (!sync) return "the image does not begin with a sync mark (C3 C3 C3 or 3C 3C 3C)";
    const auto from = image.begin() + static_cast<std::ptrdiff_t>(kHeaderBytes);
    const auto found = std::search(from, image.end(), bin::kEndMark.begin(), bin::kEndMark.end());
    if (found == image.end()) return "the image does not end with the end marker C9 96 6C A5 5A C3";
    const auto at = static_cast<std::size_t>(found - image.begin());
    if (at + bin::kEndMark.size() != image.size()) {
        return "the end marker occurs at byte " + std::to_string(at + 1) +
               ", before the end of the image; a download would stop there";
    }
    return {};
}

std::vector<Step> PlanDownload(const std::vector<std::uint8_t>& image,
                               const std::vector<std::string>& textLines,
                               const SimulatorFaults& faults) {
    std::vector<Step> plan;
    if (faults.noiseBytes > 0) plan.push_back(Send(Noise(faults.noiseBytes)));
    for (const std::string& line : textLines) {
        const std::string text = line + "\r\n";
        plan.push_back(Send({text.begin(), text.end()}));
    }
    const std::vector<std::uint8_t> handshake(bin::kHandshake.begin(), bin::kHandshake.end());
    const std::size_t fullBlocks = image.size() / bin::kBlockSize;
    const std::size_t partial = image.size() % bin::kBlockSize;
    bool silenceDone = false;
    for (;;) {  // once more after a silence, from a fresh handshake
        plan.push_back(Send(handshake));
        plan.push_back(Expect(handshake, /*resend=*/true));
        bool restart = false;
        // `done`: blocks echoed so far; the faults are counted in them.
        for (std::size_t done = 0; done <= fullBlocks && !restart; ++done) {
            if (Is(faults.dropAfterBlock, done)) {
                plan.push_back(Plain(Step::Kind::DropLine,
                                     "line dropped after block " + std::to_string(done)));
                return plan;
            }
            if (Is(faults.silenceAfterBlock, done) && !silenceDone) {
                silenceDone = restart = true;
                Step silence = Plain(Step::Kind::Silence,
                                     "silent for " + std::to_string(faults.silenceSeconds) +
                                         " s after block " + std::to_string(done));
                silence.seconds = faults.silenceSeconds;
                plan.push_back(silence);
                break;
            }
            if (done == fullBlocks) break;
            const std::size_t first = done * bin::kBlockSize;
            plan.push_back(SendImage(first, bin::kBlockSize));
            std::uint8_t sum = bin::BlockChecksum(image.data() + first, bin::kBlockSize);
            if (Is(faults.badChecksumBlock, done + 1)) {
                plan.push_back(Send({static_cast<std::uint8_t>(sum + 1)}));
                // The program stops without an answer.
                plan.push_back(Plain(Step::Kind::AwaitLetGo,
                                     "wrong checksum sent for block " + std::to_string(done + 1)));
                return plan;
            }
            plan.push_back(Send({sum}));
            plan.push_back(Expect({sum}));
            // In a download that ends in a full block, that block's checksum byte is also the
            // final byte, and comes back a second time.
            if (partial == 0 && done + 1 == fullBlocks) plan.push_back(Expect({sum}));
        }
        if (restart) continue;
        if (partial > 0) {
            const std::size_t first = fullBlocks * bin::kBlockSize;
            const std::uint8_t final = bin::BlockChecksum(image.data() + first, partial);
            plan.push_back(SendImage(first, partial));
            plan.push_back(Send({final}));
            plan.push_back(Expect({final}));
        }
        return plan;
    }
}

}  // namespace vsdl::instrument
