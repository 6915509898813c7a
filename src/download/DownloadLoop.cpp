#include "download/DownloadLoop.h"

#include <cerrno>
#include <cstdio>
#include <optional>

#include "common/FileOps.h"
#include "download/DownloadProtocol.h"

namespace vsdl::download {
namespace {

// The protocol's outputs: the port, the temporary file and the user interface. Port and file
// failures are noted here; the loop ends at the end of the pass in which one happened.
class LoopOutput final : public ProtocolOutput {
  public:
    LoopOutput(IDownloadPort& port, std::string tempFile, DownloadUi& ui,
               const DownloadLoopOptions& options)
        : port_(port), tempFile_(std::move(tempFile)), ui_(ui), options_(options) {}

    void SendByte(std::uint8_t byte) override {
        if (portFailed_) return;
        if (!port_.SendByte(byte)) portFailed_ = true;
    }
    void RestartFile() override {
        file_.reset();
        // A silence restart empties the file: what it holds is kept first.
        if (!fileFailed_) Keep(false);
        bytesOnDisk_ = 0;
        imageStarted_.reset();
        if (fileFailed_) return;
        // Never through a link, and never a FIFO or device in the file's place: the download
        // writes the one file it names, and opening it cannot block.
        std::string reason;
        file_ = fileops::CreateForWriting(tempFile_, reason, /*followLinks=*/false);
        if (!file_) {
            FailFile("could not be created", reason);
            return;
        }
        created_ = true;
    }
    void WriteData(std::int64_t position, const std::vector<std::uint8_t>& data) override {
        if (!file_ || fileFailed_) return;
        errno = 0;
        bool ok = std::fseek(file_.get(), static_cast<long>(position - 1), SEEK_SET) == 0;
        ok = ok && std::fwrite(data.data(), 1, data.size(), file_.get()) == data.size();
        // Flushed once per block, so a full disk shows here and not at the very end.
        ok = ok && std::fflush(file_.get()) == 0;
        if (!ok) {
            FailFile("could not be written", fileops::ErrorText(errno, ""));
            // Part of the block may have reached the disk: the count is what the file holds.
            bytesOnDisk_ = fileops::FileLength(file_.get()).value_or(bytesOnDisk_);
            return;
        }
        bytesOnDisk_ = position - 1 + static_cast<std::int64_t>(data.size());
    }
    void CloseFile() override {
        if (!file_) return;
        errno = 0;
        const bool ok = std::fclose(file_.release()) == 0;
        if (!ok && !fileFailed_) FailFile("could not be written", fileops::ErrorText(errno, ""));
    }
    void SetInstructions(const std::string& text) override { ui_.SetInstructions(text); }
    void SetStatus(const std::string& text) override { ui_.SetStatus(text); }
    void AddListLine(const std::string& text) override { ui_.AddListLine(text); }
    void ShowMessage(const std::string& text) override { ui_.ShowMessage(text); }

    // Copies the closed temporary file into the kept folder when it holds anything. A copy
    // that cannot be made never touches the download; its first failure is remembered.
    void Keep(bool complete) {
        if (options_.keptFolder.empty() || bytesOnDisk_ <= 0) return;
        const KeepResult kept =
            KeepDownload(tempFile_, options_.keptFolder, imageStarted_.value_or(loopStarted_),
                         complete, options_.keepLimits);
        if (kept.ok) {
            keptCopy_ = kept.path;
        } else if (keepFailure_.empty()) {
            keepFailure_ = KeepFailedText(options_.keptFolder, kept.reason);
        }
    }
    // When the instrument began to send the image in the file: its handshake.
    void NoteImageStarted() { imageStarted_ = std::chrono::system_clock::now(); }
    const std::string& KeptCopy() const { return keptCopy_; }
    const std::string& KeepFailure() const { return keepFailure_; }

    bool PortFailed() const { return portFailed_ || port_.Failed(); }
    bool FileFailed() const { return fileFailed_; }
    bool Created() const { return created_; }
    const std::string& FileFailure() const { return fileFailure_; }
    std::int64_t BytesOnDisk() const { return bytesOnDisk_; }

  private:
    void FailFile(const char* what, const std::string& reason) {
        fileFailed_ = true;
        fileFailure_ = "The temporary file " + tempFile_ + " " + what;
        if (!reason.empty()) fileFailure_ += ": " + reason;
        fileFailure_ += ".";
    }

    IDownloadPort& port_;
    std::string tempFile_;
    DownloadUi& ui_;
    const DownloadLoopOptions& options_;
    std::chrono::system_clock::time_point loopStarted_ = std::chrono::system_clock::now();
    std::optional<std::chrono::system_clock::time_point> imageStarted_;
    std::string keptCopy_;
    std::string keepFailure_;
    fileops::FilePtr file_;
    bool created_ = false;
    bool portFailed_ = false;
    bool fileFailed_ = false;
    std::string fileFailure_;
    std::int64_t bytesOnDisk_ = 0;
};

std::string PortFailureText(const IDownloadPort& port) {
    const PortError e = port.LastError();
    const std::string device = e.device.empty() ? std::string() : " " + e.device;
    if (e.kind == PortErrorKind::Disconnected) {
        return "The serial port" + device +
               " went away during the download: the cable or adapter was unplugged, or the "
               "device was closed.";
    }
    std::string text = "The serial port" + device + " failed during the download";
    if (!e.reason.empty()) text += ": " + e.reason;
    return text + ".";
}

}  // namespace

std::string KeptText(const DownloadSummary& summary, const std::string& tempFile) {
    if (summary.end == DownloadEnd::NotStarted) return "The download has not started.";
    if (summary.bytes == 0) return "No data was kept.";
    return "The " + std::to_string(summary.bytes) + " bytes received are kept in " + tempFile + ".";
}

DownloadSummary RunDownloadLoop(IDownloadPort& port, const std::string& tempFile, DownloadUi& ui,
                                DownloadControl& control) {
    return RunDownloadLoop(port, tempFile, ui, control, DownloadLoopOptions{});
}

DownloadSummary RunDownloadLoop(IDownloadPort& port, const std::string& tempFile, DownloadUi& ui,
                                DownloadControl& control, const DownloadLoopOptions& options) {
    using Clock = DownloadProtocol::Clock;
    const auto now = [&options] { return options.now ? options.now() : Clock::now(); };

    LoopOutput out(port, tempFile, ui, options);
    DownloadProtocol protocol(control, out);
    protocol.Start(now());

    while (!protocol.ShouldExit() && !out.FileFailed()) {
        const int value = port.ReadByte();
        ui.ProcessEvents();
        if (value >= 0) {
            const bool handshake = protocol.State() == state::kHandshake;
            protocol.OnByte(static_cast<std::uint8_t>(value), now());
            if (handshake && protocol.State() == state::kSyncMark) out.NoteImageStarted();
        } else if (!port.Failed()) {
            protocol.OnIdle(now());
            // Nothing waiting: sleep on the port instead of spinning; a byte ends the wait.
            if (!protocol.ShouldExit()) port.WaitForReadable(options.idleWaitMs);
        }
        if (out.PortFailed() || out.FileFailed()) break;
    }

    const bool portFailed = out.PortFailed();
    if (portFailed || out.FileFailed()) {
        // Ends like a cancel as far as the loop is concerned, but keeps what came so far and
        // goes on to the save step.
        control.DownloadRunning = 1;
        if (portFailed) port.Close();
    }

    // Writes what is pending and closes the file: a last write that fails shows only here.
    protocol.Finish();
    DownloadSummary summary;
    summary.blocks = protocol.Blocks();
    summary.bytes = out.FileFailed() ? out.BytesOnDisk() : protocol.BytesWritten();
    if (!out.Created()) {
        summary.end = DownloadEnd::NotStarted;
    } else if (out.FileFailed()) {
        summary.end = DownloadEnd::FileFailed;
    } else if (portFailed) {
        summary.end = DownloadEnd::PortFailed;
    } else if (protocol.Completed()) {
        summary.end = DownloadEnd::Complete;
    } else if (protocol.ChecksumFailed()) {
        summary.end = DownloadEnd::ChecksumError;
    } else {
        summary.end = DownloadEnd::Cancelled;
    }
    if (portFailed) summary.failure = PortFailureText(port);
    if (out.FileFailed()) {
        if (!summary.failure.empty()) summary.failure += "\n";
        summary.failure += out.FileFailure();
    }
    // Kept before the user can see the end: the image is safe whatever they do next.
    if (summary.end != DownloadEnd::NotStarted) out.Keep(summary.end == DownloadEnd::Complete);
    summary.keptCopy = out.KeptCopy();
    summary.keepFailure = out.KeepFailure();
    if (!summary.keepFailure.empty()) ui.ShowMessage(summary.keepFailure);
    summary.finishText = FinishText(summary.blocks, summary.bytes);
    if (!summary.failure.empty()) {
        ui.ShowMessage(summary.failure + "\n" + KeptText(summary, tempFile));
    }
    ui.SetStatus(summary.finishText);
    // A download that could not begin has nothing to finish.
    if (summary.end != DownloadEnd::NotStarted) ui.ShowMessage(summary.finishText);
    port.Close();
    return summary;
}

}  // namespace vsdl::download
