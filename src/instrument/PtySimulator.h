// The instrument's side of the download, played on a pseudo-terminal: for tests, benchmarks,
// the demo and anyone checking a setup without an instrument at hand. It plays the steps of
// PlanDownload (SimulatorPlan.h) once per connection of the program to the link. POSIX only;
// elsewhere Create() reports that it is not available. Never part of the program itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "instrument/SimulatorPlan.h"

namespace vsdl::instrument {

struct SimulatorOptions {
    std::vector<std::uint8_t> image;  // the memory image, exactly as a download stores it
    int rate = 0;                     // baud for 8N1 pacing (10 bits a byte); 0: unpaced
    std::vector<std::string> textLines;
    bool repeat = false;  // serve again after each download
    SimulatorFaults faults;
    // Receives one line per event worth telling (session ends); may be empty.
    std::function<void(const std::string&)> log;
};

// How serving ended as a whole.
enum class SimulatorEnd {
    Served,       // every session played out as planned
    Stopped,      // asked to stop (a signal)
    Dropped,      // the line was dropped as asked
    Disconnected  // the program closed the port before a download had ended
};

struct SimulatorResult {
    SimulatorEnd end = SimulatorEnd::Served;
    int downloads = 0;                      // complete downloads
    std::vector<DownloadOutcome> outcomes;  // one per download begun, in order
};

class PtySimulator {
    struct Key {};

  public:
    // Opens the pseudo-terminal, makes it raw and only then makes `link` a symbolic link to its
    // device (replacing an old link, never a file). nullptr with `error` set on failure.
    static std::unique_ptr<PtySimulator> Create(const std::string& link, SimulatorOptions options,
                                                std::string& error);
    explicit PtySimulator(Key) {}
    ~PtySimulator();  // removes the link (when it still points here) and closes the pty
    PtySimulator(const PtySimulator&) = delete;
    PtySimulator& operator=(const PtySimulator&) = delete;

    const std::string& Device() const { return device_; }
    const std::string& Link() const { return link_; }

    // Serves until the sessions are done, `stop` turns true or the line is dropped.
    SimulatorResult Serve(const std::atomic<bool>& stop);

  private:
    class Session;

    int master_ = -1;
    std::string device_;
    std::string link_;
    SimulatorOptions options_;
};

}  // namespace vsdl::instrument
