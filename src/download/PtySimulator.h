// The instrument's side of the download, played on a pseudo-terminal: for tests, benchmarks,
// the demo and anyone checking a setup without an instrument at hand. POSIX only; elsewhere
// Create() reports that it is not available.
//
// One session per connection of the program to the link:
//   text lines (each ended by CR LF), the handshake A5 3C 69 (waiting for its echo), the image in
//   1024-byte blocks each followed by its checksum byte (waiting for each echo), the last
//   partial block ending in the end marker, and a final byte (waiting for its echo).
// An image whose length is an exact multiple of 1024 bytes ends in a full block: the program
// finds the end marker in it, and the checksum byte that follows is the first byte it receives
// after the marker, so that byte is also its final byte. The program then echoes it twice (the
// block's acknowledgement and the final echo) and counts one block more than the image has.
// The simulator sends no extra final byte in that case and waits for both echoes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vsdl::download {

struct SimulatorFaults {
    std::optional<int> badChecksumBlock;   // the checksum byte of block K is sent wrong
    std::optional<int> silenceAfterBlock;  // after block K (0: after the handshake) go silent,
    double silenceSeconds = 6.0;           // for this long, then start again with a handshake
    std::size_t noiseBytes = 0;            // line noise before the handshake
    std::optional<int> dropAfterBlock;     // after block K the pty is closed (line dropped)
};

struct SimulatorOptions {
    std::vector<std::uint8_t> image;  // the memory image, exactly as a download stores it
    int rate = 0;                     // baud for 8N1 pacing (10 bits a byte); 0: unpaced
    std::vector<std::string> textLines;
    bool repeat = false;  // serve again after each download
    SimulatorFaults faults;
    // Receives one line per event worth telling (session ends); may be empty.
    std::function<void(const std::string&)> log;
};

enum class SimulatorEnd {
    Served,       // every session played out as planned
    Stopped,      // asked to stop (a signal)
    Dropped,      // the line was dropped as asked
    Disconnected  // the program closed the port before the download had ended
};

struct SimulatorResult {
    SimulatorEnd end = SimulatorEnd::Served;
    int downloads = 0;  // complete downloads
};

// Why `image` cannot be played as a download ("" when it can): it must begin with a sync mark
// and hold the end marker exactly once where the download looks for it, at its very end.
std::string CheckSimulatorImage(const std::vector<std::uint8_t>& image);

class PtySimulator {
  public:
    // Opens the pseudo-terminal, makes it raw and only then makes `link` a symbolic link to its
    // device (replacing an old link, never a file). nullptr with `error` set on failure.
    static std::unique_ptr<PtySimulator> Create(const std::string& link, SimulatorOptions options,
                                                std::string& error);
    ~PtySimulator();  // removes the link (when it still points here) and closes the pty
    PtySimulator(const PtySimulator&) = delete;
    PtySimulator& operator=(const PtySimulator&) = delete;

    const std::string& Device() const { return device_; }
    const std::string& Link() const { return link_; }

    // Serves until the sessions are done, `stop` turns true or the line is dropped.
    SimulatorResult Serve(const std::atomic<bool>& stop);

  private:
    PtySimulator() = default;
    class Session;

    int master_ = -1;
    std::string device_;
    std::string link_;
    SimulatorOptions options_;
};

}  // namespace vsdl::download
