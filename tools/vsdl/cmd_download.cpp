// vsdl download [--port N | --device PATH] [--out FILE.BIN] [--convert]: the program's download
// loop on a terminal, with the same port, protocol and temporary file.
#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "Commands.h"
#include "Terminal.h"
#include "common/Paths.h"
#include "common/Settings.h"
#include "conversion/modConvert.h"
#include "download/DownloadLoop.h"
#include "download/DownloadProtocol.h"
#include "download/PortNames.h"
#include "download/QtSerialPort.h"

namespace vsdl::tool {
namespace {

constexpr const char* kUsage =
    "Usage: vsdl download [--port N | --device PATH] [--out FILE.BIN] [--convert] "
    "[--folder DIR]\n";

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) {
    gInterrupted = true;
}

void Help() {
    std::cout
        << kUsage
        << "Receives the instrument's logger memory over a serial port into ~tempidl.bin in the\n"
        << "program folder, exactly as the program's download does.\n\n"
        << "  --port N       COM port number (default: serialport.cfg in the program folder,\n"
        << "                 else 1); see \"COM port numbers on Linux\" in the README\n"
        << "  --device PATH  the serial device itself, instead of a port number\n"
        << "  --out FILE     copies the finished image to FILE\n"
        << "  --convert      converts the finished image (FILE, else ~tempidl.bin) into its PRN\n"
        << "                 report and CSV file\n"
        << "  --folder DIR   program folder to use instead of the one holding vsdl\n"
        << "                 (serialport.cfg, ports/, ~tempidl.bin)\n\n"
        << "Ctrl+C cancels like the Cancel button. Exit status: 0 after a complete download\n"
        << "(and conversion), 1 after a checksum error, a port or file failure, a cancel or a\n"
        << "failed conversion, 2 on a usage error.\n";
}

// The dialog's labels, list and message boxes as lines on a terminal; the block count is
// rewritten in place on a terminal.
class TerminalUi final : public download::DownloadUi {
  public:
    TerminalUi(download::DownloadControl& control, bool terminal)
        : control_(control), terminal_(terminal) {}

    void SetInstructions(const std::string& text) override {
        if (text == instructions_) return;
        instructions_ = text;
        Line(text);
    }
    void SetStatus(const std::string& text) override {
        if (text.empty()) return;
        if (text.rfind("Block Received:", 0) == 0) {
            if (terminal_) {
                std::fprintf(stdout, "\r%s", text.c_str());
                std::fflush(stdout);
                inPlace_ = true;
            }
            return;
        }
        Line(text);
    }
    void AddListLine(const std::string& text) override {
        std::string line = "Instrument: ";
        line += text;
        Line(line);
    }
    void ShowMessage(const std::string& text) override {
        // The finish text is also the last status; print it once.
        if (text.rfind("Download Finished.", 0) == 0) return;
        Line(ForTerminal(text));
    }
    // Ctrl+C is this user interface's Cancel button and is looked at on every pass. There is
    // no window to keep alive, so Qt's own events run only every few milliseconds: running them
    // on every pass would cost more than the download itself.
    void ProcessEvents() override {
        if (gInterrupted.exchange(false)) control_.Cancel();
        const auto now = std::chrono::steady_clock::now();
        if (now - lastEvents_ >= std::chrono::milliseconds(5)) {
            QCoreApplication::processEvents();
            lastEvents_ = now;
        }
    }

  private:
    void Line(const std::string& text) {
        if (inPlace_) std::fputc('\n', stdout);
        inPlace_ = false;
        std::fprintf(stdout, "%s\n", text.c_str());
        std::fflush(stdout);
    }

    download::DownloadControl& control_;
    bool terminal_;
    bool inPlace_ = false;
    std::string instructions_;
    std::chrono::steady_clock::time_point lastEvents_{};
};

int Run(const std::vector<std::string>& args) {
    std::string portText;
    std::string device;
    std::string out;
    std::string folder;
    bool convert = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        bool ok = true;
        if (a == "--port") {
            ok = value(portText);
        } else if (a == "--device") {
            ok = value(device);
        } else if (a == "--out") {
            ok = value(out);
        } else if (a == "--folder") {
            ok = value(folder);
        } else if (a == "--convert") {
            convert = true;
        } else {
            std::cerr << "vsdl download: unknown argument '" << a << "'\n" << kUsage;
            return kExitUsage;
        }
        if (!ok) {
            std::cerr << "vsdl download: " << a << " needs a value\n" << kUsage;
            return kExitUsage;
        }
    }
    if (!portText.empty() && !device.empty()) {
        std::cerr << "vsdl download: give either --port or --device\n" << kUsage;
        return kExitUsage;
    }
    if (!out.empty() && !paths::HasBinExtension(paths::Split(out).name) && convert) {
        std::cerr << "vsdl download: Your filename must end in .BIN\n";
        return kExitUsage;
    }
    folder = folder.empty() ? paths::ExecutableFolder() : paths::WithTrailingSeparator(folder);

    int argc = 1;
    char name[] = "vsdl";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    download::QtDownloadPort port(QString::fromStdString(folder));
    std::string shownPort;
    if (!device.empty()) {
        port.SetDevice(device);
        shownPort = device;
    } else {
        if (portText.empty()) portText = settings::ReadSerialPortText(folder);
        if (portText.empty()) portText = std::string(settings::kDefaultPort);
        port.SetPortNumber(settings::PortNumberFromText(portText));
    }
    if (!port.Open() || !port.Prepare()) {
        if (device.empty()) {
            std::cerr << "Error: COM port #" << portText
                      << " is not available.  Please change and try again.\n";
        } else {
            std::cerr << "Error: " << device << " is not available.\n";
        }
        const std::string detail = download::PortErrorDetail(port.LastError());
        if (!detail.empty()) std::cerr << detail << "\n";
        return kExitFailed;
    }
    std::cout << "Port: " << port.Device() << "\n";

    download::DownloadControl control;
    TerminalUi ui(control, IsTerminal(stdout));
    const std::string tempFile = paths::Join(folder, download::kTempFileName);

#ifdef _WIN32
    auto oldInt = std::signal(SIGINT, OnInterrupt);
    auto oldTerm = std::signal(SIGTERM, OnInterrupt);
#else
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    struct sigaction oldInt {
    }, oldTerm{};
    sigaction(SIGINT, &sa, &oldInt);
    sigaction(SIGTERM, &sa, &oldTerm);
#endif
    gInterrupted = false;
    const download::DownloadSummary summary =
        download::RunDownloadLoop(port, tempFile, ui, control);
#ifdef _WIN32
    std::signal(SIGINT, oldInt);
    std::signal(SIGTERM, oldTerm);
#else
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
#endif

    if (summary.end != download::DownloadEnd::Complete) {
        const char* why = summary.end == download::DownloadEnd::Cancelled       ? "cancelled"
                          : summary.end == download::DownloadEnd::ChecksumError ? "checksum error"
                          : summary.end == download::DownloadEnd::PortFailed    ? "port failed"
                                                                                : "file failed";
        std::cerr << "The download did not complete (" << why << "); the data received so far "
                  << "is in " << tempFile << "\n";
        return kExitFailed;
    }

    std::string saved = tempFile;
    if (!out.empty()) {
        std::error_code ec;
        std::filesystem::copy_file(paths::ToFsPath(tempFile), paths::ToFsPath(out),
                                   std::filesystem::copy_options::overwrite_existing, ec);
        if (ec) {
            std::cerr << "Cannot copy " << tempFile << " to " << out << ": " << ec.message()
                      << "\n";
            return kExitFailed;
        }
        std::cout << "Saved as " << out << "\n";
        saved = out;
    }
    if (convert) {
        const paths::SplitPath split = SplitCommandLinePath(saved);
        const conversion::ConvertResult result =
            conversion::RunConversion(split.folder, split.name);
        if (result.outcome != conversion::ConvertOutcome::Completed) {
            std::cerr << ForTerminal(result.message) << "\n";
            return kExitFailed;
        }
        std::cout << ForTerminal(result.message) << "\n";
    }
    return kExitOk;
}

const CommandRegistrar kRegistrar{
    Command{"download", "download [--port N | --device PATH] [--out FILE.BIN] [--convert]",
            "receives the instrument's memory image over a serial port", &Run, &Help}};

}  // namespace
}  // namespace vsdl::tool
