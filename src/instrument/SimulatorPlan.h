// What the instrument does in one download, as a list of steps made from the image and the fault
// options, so that the faults are plain to see and the pseudo-terminal side only has to play
// the steps (PtySimulator). Standard library only.
//
// A download: text lines (each ended by CR LF), the handshake A5 3C 69 (its echo awaited, the
// handshake sent again while the program says nothing), the image in 1024-byte blocks each
// followed by its checksum byte (each echo awaited), the last partial block ending in the end
// marker, and a final byte (its echo awaited).
// An image whose length is an exact multiple of 1024 bytes ends in a full block: the program
// finds the end marker in it, and the checksum byte that follows is the first byte it receives
// after the marker, so that byte is also its final byte. The program then echoes it twice (the
// block's acknowledgement and the final echo) and counts one block more than the image has.
// No extra final byte is sent in that case; both echoes are awaited.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vsdl::instrument {

struct SimulatorFaults {
    std::optional<int> badChecksumBlock;   // the checksum byte of block K is sent wrong
    std::optional<int> silenceAfterBlock;  // after block K (0: after the handshake) go silent,
    double silenceSeconds = 6.0;           // for this long, then start again with a handshake
    std::size_t noiseBytes = 0;            // line noise before the handshake
    std::optional<int> dropAfterBlock;     // after block K the line is closed (dropped)
};

struct Step {
    enum class Kind {
        Send,        // `bytes`, paced like the line
        SendImage,   // the image's bytes [from, from + count), paced like the line
        ExpectEcho,  // `bytes` back from the program, one by one; other bytes are passed over
        Silence,     // nothing for `seconds`; then what the program sent meanwhile is forgotten
        DropLine,    // the line is closed in the middle of the download
        AwaitLetGo,  // no answer will come (a wrong checksum): wait for the program to let go
    };
    Kind kind = Kind::Send;
    std::vector<std::uint8_t> bytes;
    std::size_t from = 0;
    std::size_t count = 0;
    double seconds = 0;
    // ExpectEcho: `bytes` go out again while the first echo has not come (the handshake, which
    // the program may have cleared away with the port's buffers).
    bool resendUntilAnswered = false;
    std::string note;  // told when the step begins; empty for none
};

// How one download the simulator served ended.
enum class DownloadOutcome {
    Complete,         // every step played, every echo received
    BadChecksumSent,  // as asked: a wrong checksum, and the program let go
    LineDropped,      // as asked: the line was closed
    ProgramLeft,      // the program closed the port before the download had ended
    Stopped,          // the simulator was asked to stop
};

// Why `image` cannot be played as a download ("" when it can): it must begin with a sync mark
// and hold the end marker exactly once where the download looks for it, at its very end.
std::string CheckSimulatorImage(const std::vector<std::uint8_t>& image);

// The steps of one download of `image` with `faults` and the text lines before it.
std::vector<Step> PlanDownload(const std::vector<std::uint8_t>& image,
                               const std::vector<std::string>& textLines,
                               const SimulatorFaults& faults);

}  // namespace vsdl::instrument
