#include "download/DownloadProtocol.h"

#include <cstdio>

namespace vsdl::download {
namespace {

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
    const bool cancelledEarly = control_.DownloadState == 13 || control_.DownloadRunning >= 0;
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
    control_.DownloadState = 0;
    control_.DownloadRunning = -1;
    lastActivity_ = now;
    blockByteCount_ = 0;
    endText_.clear();
    blockCount_ = 0;
    storing_ = false;
}

bool DownloadProtocol::ShouldExit() const {
    const auto state = control_.DownloadState;
    return state == -1 || state == 13 || control_.DownloadRunning >= 0;
}

void DownloadProtocol::WritePending() {
    if (pending_.empty()) return;
    out_.WriteData(writePosition_, pending_);
    writePosition_ += static_cast<std::int64_t>(pending_.size());
    pending_.clear();
}

void DownloadProtocol::OnIdle(Clock::time_point now) {
    now_ = now;
    // Only a download under way can fall silent: not one still waiting for the instrument (0),
    // and never one the user has cancelled, whose 13 must reach the exit test untouched.
    const auto state = control_.DownloadState;
    const bool receiving = state >= 1 && state <= 12;
    if (receiving && control_.DownloadRunning < 0 && now - lastActivity_ > kSilenceLimit) {
        control_.DownloadState = -2;
    }
    Act(-1);
}

void DownloadProtocol::OnByte(std::uint8_t byte, Clock::time_point now) {
    now_ = now;
    Frame(byte, now);
    Act(byte);
}

void DownloadProtocol::Frame(std::uint8_t byte, Clock::time_point now) {
    ++blockByteCount_;
    if (blockByteCount_ == kBlockSize + 1) {
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
            control_.DownloadState = -1;
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
        case 0:
            if (!arrived) break;
            if (byte == 13 || byte == 10) {
                if (!textLine_.empty()) {
                    out_.AddListLine(textLine_);
                    textLine_.clear();
                }
            } else if (kPrintableSet.find(static_cast<char>(byte)) != std::string_view::npos) {
                textLine_ += static_cast<char>(byte);
            } else if (byte == 0xA5) {
                handshakeText_ = "A5";
                control_.DownloadState = 1;
            }
            break;
        case 1:
            if (!arrived) break;
            AppendCapped(handshakeText_, byte);
            if (handshakeText_ == "A53C69") {
                blockByteCount_ = 0;
                out_.SendByte(0xA5);
                out_.SendByte(0x3C);
                out_.SendByte(0x69);
                control_.DownloadState = 2;
                syncText_.clear();
                storing_ = true;
                out_.SetInstructions(kTextPleaseWait);
                out_.SetStatus(kTextStarted);
            }
            break;
        case 2:
            if (!arrived) break;
            AppendCapped(syncText_, byte);
            if (syncText_ == "C3C3C3") {
                blockSum_ = 585;
                control_.DownloadState = 3;
            } else if (syncText_ == "3C3C3C") {
                blockSum_ = 180;
                control_.DownloadState = 3;
            }
            break;
        case 3:  // SetCount
            if (arrived) control_.DownloadState = 4;
            break;
        case 4:  // SetNumber of the first data set
            if (arrived) {
                headerByteCount_ = 0;
                control_.DownloadState = 5;
            }
            break;
        case 5:  // StartTime and EndTime
            if (arrived && ++headerByteCount_ >= 12) control_.DownloadState = 6;
            break;
        case 6:  // IntervalCode
        case 7:  // TempFlag
        case 8:  // MethodCode
            if (arrived) ++control_.DownloadState;
            break;
        case 9:  // UnitCode
            if (arrived) control_.DownloadState = 11;
            break;
        case 11:
            if (!arrived || checksumByte_) break;
            endText_ += HexByte(byte);
            if (endText_.size() > 12) endText_.erase(0, endText_.size() - 12);
            if (endText_ == "C9966CA55AC3") {
                storing_ = false;
                ++blockCount_;
                control_.DownloadState = 12;
            }
            break;
        case 12:
            if (arrived) {
                out_.SendByte(byte);
                completed_ = true;
                control_.DownloadState = -1;
            }
            break;
        case -2:
            out_.SetInstructions(kTextCommError);
            WritePending();
            out_.CloseFile();
            ++restarts_;
            Restart(now_);
            break;
        default:  // -1, 13: the next exit test ends the loop
            break;
    }
}

std::string DownloadProtocol::Finish() {
    WritePending();
    out_.CloseFile();
    return FinishText(blockCount_, writePosition_ - 1);
}

}  // namespace vsdl::download
