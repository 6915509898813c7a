// The download loop: reads the port, feeds the protocol state machine and lets the user
// interface run once per pass, until the download ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "download/DownloadControl.h"
#include "download/KeptDownloads.h"
#include "download/SerialPort.h"

namespace vsdl::download {

// What the loop shows while it runs (the download dialog's labels, list and message boxes;
// lines on a terminal in vsdl).
class DownloadUi {
  public:
    virtual ~DownloadUi() = default;
    virtual void SetInstructions(const std::string& text) = 0;  // lblInstructions
    virtual void SetStatus(const std::string& text) = 0;        // lblStatus
    virtual void AddListLine(const std::string& text) = 0;      // List1: instrument text lines
    virtual void ShowMessage(const std::string& text) = 0;      // modal message box
    virtual void ProcessEvents() = 0;  // lets pending events (Cancel above all) run
};

enum class DownloadEnd {
    Complete,       // final byte after the end marker echoed
    ChecksumError,  // a block's checksum byte was wrong
    Cancelled,      // Cancel (or the window closed)
    PortFailed,     // the port failed while in use
    FileFailed,     // the temporary file could not be written (or recreated after a silence)
    NotStarted,     // the temporary file could not be created: nothing was received
};

struct DownloadSummary {
    DownloadEnd end = DownloadEnd::Complete;
    int blocks = 0;
    std::int64_t bytes = 0;   // bytes stored in the temporary file
    std::string finishText;   // "Download Finished. Number of Blocks = N. Number of Bytes = M"
    std::string failure;      // what failed, for PortFailed and FileFailed
    std::string keptCopy;     // the copy in downloads/ of the image at the end; "" for none
    std::string keepFailure;  // KeepFailedText of the first copy that could not be made
};

// What became of the received data, for the end of a download that did not complete:
// "The 2065 bytes received are kept in <temp file>." (a silence restart empties the file, so
// this counts only what came since), "No data was kept." or "The download has not started.".
std::string KeptText(const DownloadSummary& summary, const std::string& tempFile);

// Runs one whole download on an open, prepared port, storing the image in `tempFile`.
// Shows a failure (with KeptText) and the finish text through `ui` and closes the port before it
// returns.
DownloadSummary RunDownloadLoop(IDownloadPort& port, const std::string& tempFile, DownloadUi& ui,
                                DownloadControl& control);

// Knobs for tests and benchmarks; the defaults are what the program uses.
struct DownloadLoopOptions {
    // The monotonic clock the silence limit is measured on.
    std::function<std::chrono::steady_clock::time_point()> now;
    // How long a pass with nothing waiting waits for the port before the next pass.
    int idleWaitMs = 20;
    // Where a copy of every image that received bytes is kept (KeptDownloads.h): at the end of
    // the download, and before a silence restart empties the temporary file. "" keeps none.
    std::string keptFolder;
    KeepLimits keepLimits;
};

DownloadSummary RunDownloadLoop(IDownloadPort& port, const std::string& tempFile, DownloadUi& ui,
                                DownloadControl& control, const DownloadLoopOptions& options);

}  // namespace vsdl::download
