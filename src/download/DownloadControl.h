// The two dialog-level fields that the download loop polls and that other handlers (Cancel, a
// port failure) write while it runs, and the names of the values DownloadState takes. Below both
// the protocol and the loop, which share them.
#pragma once

#include <cstdint>

namespace vsdl::download {

// DownloadState, named after the state table of docs/PROTOCOL.md: the header bytes of states 3
// to 9, the data in 11, the byte after the end marker in 12. State 10 is not used. Code compares
// the state with these names only.
namespace state {
inline constexpr std::int16_t kCommunicationError = -2;  // silence: restart with an empty file
inline constexpr std::int16_t kFinished = -1;            // ended (final byte, checksum error)
inline constexpr std::int16_t kWaiting = 0;              // for the instrument's 0xA5
inline constexpr std::int16_t kHandshake = 1;
inline constexpr std::int16_t kSyncMark = 2;
inline constexpr std::int16_t kSetCount = 3;
inline constexpr std::int16_t kSetNumber = 4;
inline constexpr std::int16_t kSetTimes = 5;  // StartTime and EndTime, 12 bytes
inline constexpr std::int16_t kIntervalCode = 6;
inline constexpr std::int16_t kTempFlag = 7;
inline constexpr std::int16_t kMethodCode = 8;
inline constexpr std::int16_t kUnitCode = 9;
inline constexpr std::int16_t kData = 11;
inline constexpr std::int16_t kFinalByte = 12;
inline constexpr std::int16_t kCancelled = 13;
}  // namespace state

// DownloadRunning, the Cancel flag: kGoOn while the loop may go on; any value from 0 up stops
// it at its next exit test, and Cancel and a port or file failure store kStop.
namespace running {
inline constexpr std::int16_t kGoOn = -1;
inline constexpr std::int16_t kStop = 1;
}  // namespace running

// Cancel stores kCancelled in DownloadState and kStop in DownloadRunning; the loop stops at its
// next pass.
struct DownloadControl {
    std::int16_t DownloadState = state::kWaiting;
    std::int16_t DownloadRunning = running::kGoOn;
    void Cancel() {
        DownloadState = state::kCancelled;
        DownloadRunning = running::kStop;
    }
    bool CancelPending() const {
        return DownloadState == state::kCancelled || DownloadRunning > running::kGoOn;
    }
};

}  // namespace vsdl::download
