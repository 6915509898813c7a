#include "download/DownloadLoop.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/Paths.h"
#include "download/DownloadProtocol.h"

namespace vsdl::download {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::FILE* OpenForWriting(const std::string& path) {
#ifdef _WIN32
    return _wfopen(paths::ToFsPath(path).c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

// The protocol's outputs: the port, the temporary file and the user interface. Port and file
// failures are noted here; the loop ends at the end of the pass in which one happened.
class LoopOutput final : public ProtocolOutput {
  public:
    LoopOutput(IDownloadPort& port, std::string tempFile, DownloadUi& ui)
        : port_(port), tempFile_(std::move(tempFile)), ui_(ui) {}

    void SendByte(std::uint8_t byte) override {
        if (portFailed_) return;
        if (!port_.SendByte(byte)) portFailed_ = true;
    }
    void RestartFile() override {
        file_.reset();
        bytesOnDisk_ = 0;
        if (fileFailed_) return;
        file_.reset(OpenForWriting(tempFile_));
        if (!file_) FailFile("could not be created");
    }
    void WriteData(std::int64_t position, const std::vector<std::uint8_t>& data) override {
        if (!file_ || fileFailed_) return;
        errno = 0;
        bool ok = std::fseek(file_.get(), static_cast<long>(position - 1), SEEK_SET) == 0;
        ok = ok && std::fwrite(data.data(), 1, data.size(), file_.get()) == data.size();
        // Flushed once per block, so a full disk shows here and not at the very end.
        ok = ok && std::fflush(file_.get()) == 0;
        if (!ok) {
            FailFile("could not be written");
            return;
        }
        bytesOnDisk_ = position - 1 + static_cast<std::int64_t>(data.size());
    }
    void CloseFile() override {
        if (!file_) return;
        errno = 0;
        const bool ok = std::fclose(file_.release()) == 0;
        if (!ok && !fileFailed_) FailFile("could not be written");
    }
    void SetInstructions(const std::string& text) override { ui_.SetInstructions(text); }
    void SetStatus(const std::string& text) override { ui_.SetStatus(text); }
    void AddListLine(const std::string& text) override { ui_.AddListLine(text); }
    void ShowMessage(const std::string& text) override { ui_.ShowMessage(text); }

    bool PortFailed() const { return portFailed_ || port_.Failed(); }
    bool FileFailed() const { return fileFailed_; }
    const std::string& FileFailure() const { return fileFailure_; }
    std::int64_t BytesOnDisk() const { return bytesOnDisk_; }

  private:
    void FailFile(const char* what) {
        const int err = errno;
        fileFailed_ = true;
        fileFailure_ = "The temporary file " + tempFile_ + " " + what;
        if (err != 0) fileFailure_ += ": " + std::string(std::strerror(err));
        fileFailure_ += ".";
    }

    IDownloadPort& port_;
    std::string tempFile_;
    DownloadUi& ui_;
    FilePtr file_;
    bool portFailed_ = false;
    bool fileFailed_ = false;
    std::string fileFailure_;
    std::int64_t bytesOnDisk_ = 0;
};

std::string PortFailureText(const IDownloadPort& port) {
    const PortError e = port.LastError();
    std::string text = "The serial port failed during the download";
    if (!e.device.empty()) text += " (" + e.device + ")";
    if (!e.reason.empty()) text += ": " + e.reason;
    return text + ".";
}

}  // namespace

DownloadSummary RunDownloadLoop(IDownloadPort& port, const std::string& tempFile, DownloadUi& ui,
                                DownloadControl& control) {
    return RunDownloadLoop(port, tempFile, ui, control, DownloadLoopOptions{});
}

DownloadSummary RunDownloadLoop(IDownloadPort& port, const std::string& tempFile, DownloadUi& ui,
                                DownloadControl& control, const DownloadLoopOptions& options) {
    using Clock = DownloadProtocol::Clock;
    const auto now = [&options] { return options.now ? options.now() : Clock::now(); };

    LoopOutput out(port, tempFile, ui);
    DownloadProtocol protocol(control, out);
    protocol.Start(now());

    while (!protocol.ShouldExit() && !out.FileFailed()) {
        const int value = port.ReadByte();
        ui.ProcessEvents();
        if (value >= 0) {
            protocol.OnByte(static_cast<std::uint8_t>(value), now());
        } else if (!port.Failed()) {
            protocol.OnIdle(now());
            // Nothing waiting: sleep on the port instead of spinning; a byte ends the wait.
            if (!protocol.ShouldExit()) port.WaitForReadable(options.idleWaitMs);
        }
        if (out.PortFailed() || out.FileFailed()) break;
    }

    DownloadSummary summary;
    if (out.PortFailed() || out.FileFailed()) {
        // Ends like a cancel as far as the loop is concerned, but keeps what came so far and
        // goes on to the save step.
        control.DownloadRunning = 1;
        if (out.PortFailed()) {
            summary.end = DownloadEnd::PortFailed;
            summary.failure = PortFailureText(port);
            port.Close();
        } else {
            summary.end = DownloadEnd::FileFailed;
            summary.failure = out.FileFailure();
        }
        ui.ShowMessage(summary.failure +
                       (summary.end == DownloadEnd::PortFailed
                            ? "\nThe data received so far is kept in " + tempFile + "."
                            : std::string("\nThe download has stopped.")));
    } else if (protocol.Completed()) {
        summary.end = DownloadEnd::Complete;
    } else if (protocol.ChecksumFailed()) {
        summary.end = DownloadEnd::ChecksumError;
    } else {
        summary.end = DownloadEnd::Cancelled;
    }

    protocol.Finish();
    summary.blocks = protocol.Blocks();
    summary.bytes = out.FileFailed() ? out.BytesOnDisk() : protocol.BytesWritten();
    if (out.FileFailed() && summary.end != DownloadEnd::FileFailed) {
        // The last write or the close failed only at the finish.
        summary.end = DownloadEnd::FileFailed;
        summary.failure = out.FileFailure();
        ui.ShowMessage(summary.failure);
    }
    summary.finishText = FinishText(summary.blocks, summary.bytes);
    ui.SetStatus(summary.finishText);
    ui.ShowMessage(summary.finishText);
    port.Close();
    return summary;
}

}  // namespace vsdl::download
