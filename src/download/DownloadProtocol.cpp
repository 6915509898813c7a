#include "download/DownloadProtocol.h"

#include <cstdio>

#include "common/BinFormat.h"

namespace vsdl::download {
namespace {

namespace bin = vsdl::binformat;

template <std::size_t N>
std::string HexText(const std::array<std::uint8_t, N>& bytes) {
    std::string text;
    for (std::uint8_t b : bytes) text += HexByte(b);
    return text;
}

template <std::size_t N>
std::uint32_t Sum(const std::array<std::uint8_t, N>& bytes) {
    std::uint32_t sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return sum;
}

// Matching is done on the received bytes as hexadecimal text: "A53C69", "C3C3C3", "3C3C3C" and
// "C9966CA55AC3".
const std::string kHandshakeText = HexText(bin::kHandshake);
const std::string kUntimedText = HexText(bin::kUntimedMark);
const std::string kTimedText = HexText(bin::kTimedMark);
const std::string kEndText = HexText(bin::kEndMark);

// A match text longer than its literal can never match again; it stops growing there so that a
// stream of noise cannot make it grow without bound.
constexpr std::size_t kMatchTextCap = 8;

void AppendCapped(std::string& text, std::uint8_t byte) {
    if (text.size() < kMatchTextCap) text += HexByte(byte);
}

}  // namespace

std::string HexByte(std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

std::string BlockReceivedText(int blockNumber) {
    // A non-negative number keeps a blank where its sign would stand.
    return "Block Received: " + std::string(blockNumber < 0 ? "" : " ") +
           std::to_string(blockNumber);
}

std::string FinishText(int blocks, std::int64_t bytes) {
    return "Download Finished. Number of Blocks = " + std::to_string(blocks) +
           ". Number of Bytes = " + std::to_string(bytes);
}

DownloadProtocol::DownloadProtocol(DownloadControl& control, ProtocolOutput& out)
    : control_(control), out_(out) {}

void DownloadProtocol::Start(Clock::time_point now) {
    // A Cancel pressed before the first pass (the window closed at once) must still stop the
    // loop: the restart point clears the control fields and would wait for the instrument.
    const bool cancelledEarly = control_.CancelPending();
    out_.SetInstructions(kTextStartInstrument);
    Restart(now);
    if (cancelledEarly) control_.Cancel();
}

void DownloadProtocol::Restart(Clock::time_point now) {
    out_.SetStatus("");
    out_.RestartFile();
    writePosition_ = 1;
    pending_.clear();
    textLine_.clear();
    control_.DownloadState = state::kWaiting;
    control_.DownloadRunning = running::kGoOn;
    lastActivity_ = now;
    blockByteCount_ = 0;
    endText_.clear();
    blockCount_ = 0;
    storing_ = false;
}

bool DownloadProtocol::ShouldExit() const {
    return control_.DownloadState == state::kFinished || control_.CancelPending();
}

void DownloadProtocol::WritePending() {
    if (pending_.empty()) return;
    out_.WriteData(writePosition_, pending_);
    writePosition_ += static_cast<std::int64_t>(pending_.size());
    pending_.clear();
}

void DownloadProtocol::OnIdle(Clock::time_point now) {
    now_ = now;
    // Only a download under way can fall silent: not one still waiting for the instrument, and
    // never one the user has cancelled, whose kCancelled must reach the exit test untouched.
    const auto current = control_.DownloadState;
    const bool receiving = current >= state::kHandshake && current <= state::kFinalByte;
    if (receiving && !control_.CancelPending() && now - lastActivity_ > kSilenceLimit) {
        control_.DownloadState = state::kCommunicationError;
    }
    Act(kNoByte);
}

void DownloadProtocol::OnByte(std::uint8_t byte, Clock::time_point now) {
    now_ = now;
    Frame(byte, now);
    Act(byte);
}

void DownloadProtocol::Frame(std::uint8_t byte, Clock::time_point now) {
    ++blockByteCount_;
    if (blockByteCount_ == static_cast<int>(bin::kBlockSize) + 1) {
        // The block's checksum byte: the block goes to the file before it is judged, so a
        // failed block is kept too.
        checksumByte_ = true;
        WritePending();
        out_.SetStatus(BlockReceivedText(blockCount_ + 1));
        if (byte == (blockSum_ & 0xFF)) {
            out_.SendByte(byte);
            blockByteCount_ = 0;
            blockSum_ = 0;
        } else {
            checksumFailed_ = true;
            out_.ShowMessage(kTextChecksumError);
            control_.DownloadState = state::kFinished;
        }
        ++blockCount_;
    } else {
        checksumByte_ = false;
        if (storing_) pending_.push_back(byte);
        blockSum_ += byte;
    }
    lastActivity_ = now;
}

void DownloadProtocol::Act(int value) {
    const bool arrived = value >= 0;
    const auto byte = static_cast<std::uint8_t>(arrived ? value : 0);
    switch (control_.DownloadState) {
        case state::kWaiting:
            if (!arrived) break;
            if (byte == 13 || byte == 10) {
                if (!textLine_.empty()) {
                    out_.AddListLine(textLine_);
                    textLine_.clear();
                }
            } else if (kPrintableSet.find(static_cast<char>(byte)) != std::string_view::npos) {
                textLine_ += static_cast<char>(byte);
            } else if (byte == bin::kHandshake[0]) {
                handshakeText_ = HexByte(byte);
                control_.DownloadState = state::kHandshake;
            }
            break;
        case state::kHandshake:
            if (!arrived) break;
            AppendCapped(handshakeText_, byte);
            if (handshakeText_ == kHandshakeText) {
                blockByteCount_ = 0;
                for (std::uint8_t b : bin::kHandshake) out_.SendByte(b);
                control_.DownloadState = state::kSyncMark;
                syncText_.clear();
                storing_ = true;
                out_.SetInstructions(kTextPleaseWait);
                out_.SetStatus(kTextStarted);
            }
            break;
        case state::kSyncMark:
            if (!arrived) break;
            AppendCapped(syncText_, byte);
            // The block sum starts again with the mark's own bytes.
            if (syncText_ == kUntimedText) {
                blockSum_ = Sum(bin::kUntimedMark);
                control_.DownloadState = state::kSetCount;
            } else if (syncText_ == kTimedText) {
                blockSum_ = Sum(bin::kTimedMark);
                control_.DownloadState = state::kSetCount;
            }
            break;
        case state::kSetCount:
            if (arrived) control_.DownloadState = state::kSetNumber;
            break;
        case state::kSetNumber:
            if (arrived) {
                headerByteCount_ = 0;
                control_.DownloadState = state::kSetTimes;
            }
            break;
        case state::kSetTimes:
            if (arrived && ++headerByteCount_ >= 12) control_.DownloadState = state::kIntervalCode;
            break;
        case state::kIntervalCode:
            if (arrived) control_.DownloadState = state::kTempFlag;
            break;
        case state::kTempFlag:
            if (arrived) control_.DownloadState = state::kMethodCode;
            break;
        case state::kMethodCode:
            if (arrived) control_.DownloadState = state::kUnitCode;
            break;
        case state::kUnitCode:
            if (arrived) control_.DownloadState = state::kData;
            break;
        case state::kData:
            if (!arrived || checksumByte_) break;
            endText_ += HexByte(byte);
            if (endText_.size() > kEndText.size()) {
                endText_.erase(0, endText_.size() - kEndText.size());
            }
            if (endText_ == kEndText) {
                storing_ = false;
                ++blockCount_;  // the last, partial block
                control_.DownloadState = state::kFinalByte;
            }
            break;
        case state::kFinalByte:
            if (arrived) {
                out_.SendByte(byte);
                completed_ = true;
                control_.DownloadState = state::kFinished;
            }
            break;
        case state::kCommunicationError:
            out_.SetInstructions(kTextCommError);
            WritePending();
            out_.CloseFile();
            Restart(now_);
            break;
        default:  // kFinished, kCancelled: the next exit test ends the loop
            break;
    }
}

std::string DownloadProtocol::Finish() {
    WritePending();
    out_.CloseFile();
    return FinishText(blockCount_, writePosition_ - 1);
}

}  // namespace vsdl::download
