// The download protocol as a state machine, independent of ports, files, windows and clocks.
// docs/PROTOCOL.md describes it: the start steps with the restart point, the exit test, the
// state table and the finish steps, which the comments here cite.
//
// The loop feeds it one event per pass: a byte that arrived, or "nothing waiting" with the
// current time. Everything it does goes out through ProtocolOutput. DownloadState and
// DownloadRunning live in the DownloadControl that Cancel writes to, so a cancel seen by the
// loop's exit test is the same field the dialog set.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "download/DownloadControl.h"

namespace vsdl::download {

// Texts shown by the download, exactly as the user sees them.
inline constexpr const char* kTextStartInstrument = "Have the instrument start downloading";
inline constexpr const char* kTextPleaseWait =
    "Please wait for download to complete or press cancel to stop.";
inline constexpr const char* kTextStarted = "Download has started";
inline constexpr const char* kTextCommError = "Communication Error.  Please restart the download";
inline constexpr const char* kTextChecksumError = "serial port checksum error";

// The characters of an instrument text line; every other byte is dropped.
inline constexpr std::string_view kPrintableSet =
    " ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/.,()[]{}:;=";

// More than this without a byte, once the handshake has begun, restarts the download.
inline constexpr std::chrono::milliseconds kSilenceLimit{5000};

// "Block Received:  7": the number is written with a place reserved for its sign.
std::string BlockReceivedText(int blockNumber);
// "Download Finished. Number of Blocks = 3. Number of Bytes = 2100"
std::string FinishText(int blocks, std::int64_t bytes);
// Two upper-case hexadecimal digits.
std::string HexByte(std::uint8_t byte);

class ProtocolOutput {
  public:
    virtual ~ProtocolOutput() = default;
    virtual void SendByte(std::uint8_t byte) = 0;
    // Creates or empties the temporary file and opens it for writing (start and restart).
    virtual void RestartFile() = 0;
    // Writes `data` at 1-based `position` of the temporary file.
    virtual void WriteData(std::int64_t position, const std::vector<std::uint8_t>& data) = 0;
    virtual void CloseFile() = 0;
    virtual void SetInstructions(const std::string& text) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void AddListLine(const std::string& text) = 0;
    virtual void ShowMessage(const std::string& text) = 0;
};

class DownloadProtocol {
  public:
    using Clock = std::chrono::steady_clock;

    DownloadProtocol(DownloadControl& control, ProtocolOutput& out);

    // The start steps: instructions, then the restart point.
    void Start(Clock::time_point now);
    // The exit test at the top of every pass.
    bool ShouldExit() const;
    // One pass with a received byte.
    void OnByte(std::uint8_t byte, Clock::time_point now);
    // One pass with nothing waiting.
    void OnIdle(Clock::time_point now);
    // Finish steps 1 and 2: writes what is pending, closes the file and returns the finish text
    // (not shown; the loop shows it).
    std::string Finish();

    // The state table's row the next byte goes to (the loop tells the image's start by it).
    std::int16_t State() const { return control_.DownloadState; }
    int Blocks() const { return blockCount_; }
    // Bytes written to the temporary file so far (write position - 1).
    std::int64_t BytesWritten() const { return writePosition_ - 1; }
    bool ChecksumFailed() const { return checksumFailed_; }
    // True once the final byte after the end marker was echoed.
    bool Completed() const { return completed_; }

  private:
    void Restart(Clock::time_point now);
    void Frame(std::uint8_t byte, Clock::time_point now);
    static constexpr int kNoByte = -1;
    void Act(int value);  // a byte 0-255, or kNoByte: the state table's "no byte" row
    void WritePending();

    DownloadControl& control_;
    ProtocolOutput& out_;

    std::int64_t writePosition_ = 1;
    std::vector<std::uint8_t> pending_;
    std::string textLine_;
    std::uint32_t blockSum_ = 0;  // only its low 8 bits are ever compared
    int blockCount_ = 0;
    int blockByteCount_ = 0;
    int headerByteCount_ = 0;
    bool storing_ = false;
    bool checksumByte_ = false;
    bool checksumFailed_ = false;
    bool completed_ = false;
    Clock::time_point lastActivity_{};
    Clock::time_point now_{};  // time of the pass being handled
    std::string handshakeText_;
    std::string syncText_;
    std::string endText_;
};

}  // namespace vsdl::download
