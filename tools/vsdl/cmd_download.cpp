// vsdl download [--port N | --device PATH] [--out FILE.BIN [--force]] [--convert]: the program's
// download loop on a terminal, with the same port, protocol, temporary file and lock.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "Commands.h"
#include "common/FileOps.h"
#include "common/Paths.h"
#include "common/Settings.h"
#include "conversion/Failures.h"
#include "conversion/modConvert.h"
#include "download/DownloadLoop.h"
#include "download/TempFile.h"
#include "jobs/DownloadJobs.h"
#include "terminal/CommandLine.h"
#include "terminal/Terminal.h"

#ifdef VSDL_WITH_QT
#include <QCoreApplication>

#include "common/UserFolders.h"
#include "download/QtSerialPort.h"

namespace vsdl::tool {
namespace {

constexpr const char* kUsage =
    "Usage: vsdl download [--port N|any | --device PATH] [--out FILE.BIN [--force]] [--convert]\n"
    "                     [--folder DIR]\n";

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) {
    gInterrupted = true;
}

// Said when Ctrl+C stops the conversion; made before the handler below may need it.
std::string gConversionCancelled;

#ifndef _WIN32
// Ctrl+C during the conversion stops it as it stops `vsdl convert`: the reports being written
// go; the saved image stays. Ends with the exit status of a cancel.
extern "C" void OnInterruptInConversion(int) {
    fileops::RemoveUnfinishedFiles();
    if (::write(STDERR_FILENO, gConversionCancelled.data(), gConversionCancelled.size()) < 0) {
        // Nothing more can be said.
    }
    ::_exit(kExitFailed);
}
#endif

}  // namespace

void HelpDownload() {
    std::cout
        << kUsage
        << "Receives the instrument's logger memory over a serial port into ~tempidl.bin in the\n"
        << "data folder, exactly as the program's download does. The data folder is the program\n"
        << "folder; when that cannot be written (an installed program), it is the user's own\n"
        << "(~/.local/share/VSDownload, %APPDATA%\\VSDownload), and ports/ is looked up there\n"
        << "first; its settings folder is then ~/.config/VSDownload on Linux.\n\n"
        << "  --port N       COM port number (default: serialport.cfg in the settings folder,\n"
        << "                 else 1); see \"COM port numbers on Linux\" in the README\n"
        << "  --port any     listens on every serial port it can open, sends nothing, and\n"
        << "                 takes the one on which the instrument starts (its handshake);\n"
        << "                 the others are closed. Also what \"any\" in serialport.cfg does\n"
        << "  --device PATH  the serial device itself, instead of a port number\n"
        << "  --out FILE     saves the finished image as FILE (checked before the download\n"
        << "                 starts: its folder must exist and be writable) and records it\n"
        << "                 in lastbin.cfg, as the program's save does\n"
        << "  --force        lets --out replace an existing FILE; without it an existing FILE\n"
        << "                 is refused before anything else happens\n"
        << "  --convert      converts the finished image (FILE, else ~tempidl.bin) into its PRN\n"
        << "                 report and CSV file\n"
        << "  --folder DIR   program folder to use instead of the one holding vsdl\n"
        << "                 (serialport.cfg, ports/, ~tempidl.bin)\n\n"
        << "~tempidl.bin is emptied when the download starts and keeps what was received, also\n"
        << "after a cancel or a failure; a silence of more than 5 seconds empties it and waits\n"
        << "for the instrument to start again. Before anything empties it, every download that\n"
        << "received bytes is copied to downloads/ in the data folder, named by the time the\n"
        << "instrument started (2026-12-07_141502.BIN, with -incomplete when it did not\n"
        << "complete); the newest 200 copies or 2 GiB are kept, none younger than a day is\n"
        << "removed. --out copies it through a temporary file in\n"
        << "FILE's folder that is synced and renamed over FILE, so a failure (a full disk)\n"
        << "leaves an existing FILE as it was.\n\n"
        << "One download at a time uses a data folder: while this one runs and until its\n"
        << "image is saved, a second one (vsdl or the program) stops at once with \"Another\n"
        << "download is using ...\". The lock is ~tempidl.bin.lock, which the system lets go\n"
        << "of when a program ends, however it ends; the file is removed at the end (one left\n"
        << "by a kill or a power cut is harmless). When ~tempidl.bin or its lock belongs to\n"
        << "another user and cannot be used, the user's own data folder is used and named.\n\n"
        << "A complete download ends with \"Download Finished. Number of Blocks = ...\" on\n"
        << "stdout; one that was cancelled or failed says so on stderr, with what was kept.\n"
        << "Ctrl+C or SIGTERM cancels like the Cancel button; during the save it takes effect\n"
        << "once FILE is complete; during --convert it stops the conversion and removes its\n"
        << "reports, keeping the image. Exit status: 0 after a complete download (and "
           "conversion),\n"
        << "1 after a checksum error, a port or file failure, a cancel, a second download in\n"
        << "the same folder or a failed conversion, 2 on a usage error or a refused --out.\n";
}

namespace {

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
        // The finish text reads as a success; RunDownload says how the download ended instead.
        if (text.empty() || IsFinishText(text)) return;
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
        if (IsFinishText(text)) return;
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

    // Ends the block count drawn in place, so that what follows starts on a line of its own.
    void EndInPlace() {
        if (inPlace_) std::fputc('\n', stdout);
        inPlace_ = false;
        std::fflush(stdout);
    }

    void Line(const std::string& text) {
        EndInPlace();
        std::fprintf(stdout, "%s\n", text.c_str());
        std::fflush(stdout);
    }

  private:
    static bool IsFinishText(const std::string& text) {
        return text.rfind("Download Finished.", 0) == 0;
    }

    download::DownloadControl& control_;
    bool terminal_;
    bool inPlace_ = false;
    std::string instructions_;
    std::chrono::steady_clock::time_point lastEvents_{};
};

// SIGINT and SIGTERM are held back while `step` runs (a save that must not be cut short) and
// act as usual afterwards.
template <typename Step>
void WithSignalsHeld(Step&& step) {
#ifdef _WIN32
    step();
#else
    sigset_t held, old;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigprocmask(SIG_BLOCK, &held, &old);
    step();
    sigprocmask(SIG_SETMASK, &old, nullptr);
#endif
}

// How a download that did not complete ended, for stderr: "The download was cancelled after
// 2 blocks (1024 bytes)." The window's finish text would read as a success here.
std::string EndText(const download::DownloadSummary& summary) {
    const std::string after = " after " + std::to_string(summary.blocks) + " blocks (" +
                              std::to_string(summary.bytes) + " bytes)";
    switch (summary.end) {
        case download::DownloadEnd::Complete:
            break;
        case download::DownloadEnd::Cancelled:
            return "The download was cancelled" + after + ".";
        case download::DownloadEnd::ChecksumError:
            return "The download failed" + after + ": a block's checksum was wrong.";
        case download::DownloadEnd::PortFailed:
            return "The download failed" + after + ": the port failed.";
        case download::DownloadEnd::FileFailed:
            return "The download failed" + after + ": the temporary file could not be written.";
        case download::DownloadEnd::NotStarted:
            return "The download failed: the temporary file could not be created.";
    }
    return "The download failed" + after + ".";
}

}  // namespace

int RunDownload(const std::vector<std::string>& args) {
    std::string portText;
    std::string device;
    std::string out;
    std::string folder;
    bool convert = false;
    bool force = false;
    CommandLine line("download", kUsage, &HelpDownload);
    line.App().add_option("--port", portText);
    line.App().add_option("--device", device);
    line.App().add_option("--out", out);
    line.App().add_option("--folder", folder);
    line.App().add_flag("--convert", convert);
    line.App().add_flag("--force", force);
    if (const auto status = line.Parse(args)) return *status;
    const auto UsageError = [&line](const std::string& problem) { return line.Usage(problem); };
    if (!portText.empty() && !device.empty()) return UsageError("give either --port or --device");
    if (!portText.empty() && !settings::IsAnyPort(portText) &&
        settings::PortNumberFromText(portText) < 1) {
        return UsageError("--port needs a COM port number such as 1 or 3, or any, not '" +
                          portText + "'");
    }
    if (force && out.empty()) return UsageError("--force goes with --out");
    if (!out.empty() && !paths::HasBinExtension(paths::Split(out).name) && convert) {
        std::cerr << "vsdl download: " << conversion::kBinNameText << "\n";
        return kExitUsage;
    }
    folder = folder.empty() ? paths::ExecutableFolder() : paths::WithTrailingSeparator(folder);
    QCoreApplication::setApplicationName(QStringLiteral("VSDownload"));  // the data folder's name

    // Where the image goes is settled before the port is opened, so that a download is never
    // made only to be refused at the end.
    const auto outRefused = [&](const std::string& tempFile) {
        if (out.empty()) return false;
        const download::SaveTargetCheck check = download::CheckSaveTarget(out, tempFile);
        if (!check.problem.empty()) {
            std::cerr << "vsdl download: " << check.problem << "\n";
            return true;
        }
        if (check.exists && !force) {
            RefuseExisting(out);
            return true;
        }
        return false;
    };
    if (outRefused(download::TempFilePath(folders::ForThisUser(folder).data))) return kExitUsage;

    // Cancel is possible from here on; the handlers stay until the program ends.
    gInterrupted = false;
#ifdef _WIN32
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
#else
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
#endif

    using Step = jobs::DownloadSession::Step;
    jobs::DownloadSession session;
    const Step locked = session.Lock(folders::ForThisUser(folder),
                                     [&folder] { return folders::UserOwnFolders(folder); });
    if (!session.Notice().empty()) {
        std::cout << session.Notice() << "\n";
        if (outRefused(session.TempFile())) return kExitUsage;
    }
    if (locked != Step::Ready) {
        std::cerr << session.Failure() << "\n";
        return kExitFailed;
    }
    const std::string tempFile = session.TempFile();
    const folders::ProgramFolders where = session.Folders();

    int argc = 1;
    char name[] = "vsdl";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    jobs::PortMakers make;
    make.numbered = [&where] { return std::make_unique<download::QtDownloadPort>(where.ports); };
    make.device = [&where](const std::string& path) {
        auto single = std::make_unique<download::QtDownloadPort>(where.ports);
        single->SetDevice(path);
        return single;
    };
    make.any = [&where] { return download::MakeAnyPort(where.ports); };
    if (session.OpenPort(portText, device, make) != Step::Ready) {
        std::cerr << session.Failure() << "\n";
        return kExitFailed;
    }
    if (session.Any() != nullptr) {
        session.Any()->onChosen = [&session](const std::string& found) {
            std::cout << session.FoundText(found) << "\n";
        };
    }
    std::cout << session.ListeningLine() << "\n";

    download::DownloadControl control;
    if (gInterrupted) control.Cancel();
    TerminalUi ui(control, IsTerminal(stdout));
    const download::DownloadSummary summary = session.Run(ui, control);
    ui.EndInPlace();
    if (!summary.keptCopy.empty()) std::cout << "A copy is kept as " << summary.keptCopy << "\n";

    if (summary.end != download::DownloadEnd::Complete) {
        std::cerr << EndText(summary);
        if (summary.end != download::DownloadEnd::NotStarted) {
            std::cerr << " " << download::KeptText(summary, tempFile);
        }
        std::cerr << "\n";
        return kExitFailed;
    }
    ui.Line(summary.finishText);

    std::string saved = tempFile;
    if (!out.empty()) {
        // The file is recorded in lastbin.cfg by its full name, as the window records it.
        std::error_code ec;
        const paths::SplitPath split =
            paths::Split(paths::FromFsPath(std::filesystem::absolute(paths::ToFsPath(out), ec)));
        jobs::SaveRequest request;
        request.dataFolder = where.data;
        request.settingsFolder = where.config;
        request.folder = split.folder;
        request.name = split.name;
        // Made since the check at the start, also in the very moment of the save: still not
        // replaced without --force.
        request.mayReplace = [force](const std::string&) { return force; };
        jobs::SaveOutcome outcome;
        WithSignalsHeld([&] { outcome = jobs::SaveDownload(request); });
        if (outcome.end == jobs::SaveOutcome::End::Declined) {
            std::cerr << out << " exists now. Add --force to replace it. The image is in "
                      << tempFile << ".\n";
            return kExitUsage;
        }
        if (outcome.end == jobs::SaveOutcome::End::Failed && !outcome.copied) {
            std::cerr << outcome.message << " The image is in " << tempFile << ".\n";
            return kExitFailed;
        }
        std::cout << "Saved as " << out << "\n";
        // The image is saved; only the record of the last BIN file is missing.
        if (outcome.end == jobs::SaveOutcome::End::Failed) {
            std::cerr << ForTerminal(outcome.message) << "\n";
        }
        saved = out;
    }
    if (convert && gInterrupted) {
        std::cerr << "Cancelled before the conversion.\n";
        return kExitFailed;
    }
    // The lock is held to the end: the conversion may read ~tempidl.bin itself.
    if (convert) {
        const paths::SplitPath split = SplitCommandLinePath(saved);
#ifndef _WIN32
        gConversionCancelled =
            "The conversion was cancelled; its reports were removed. The image is in " + saved +
            ".\n";
        struct sigaction stop {};
        stop.sa_handler = OnInterruptInConversion;
        sigemptyset(&stop.sa_mask);
        sigaction(SIGINT, &stop, nullptr);
        sigaction(SIGTERM, &stop, nullptr);
        // One that came just before is not lost.
        if (gInterrupted) ::raise(SIGINT);
#endif
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

}  // namespace vsdl::tool

#else  // without Qt: no serial port layer

namespace vsdl::tool {

void HelpDownload() {
    std::cout << "Usage: vsdl download ...\n"
              << "Receives the instrument's logger memory over a serial port. This vsdl was built\n"
              << "without Qt, whose serial port layer the download uses: use the vsdl of the full\n"
              << "build (see docs/WINDOWS.md).\n";
}

int RunDownload(const std::vector<std::string>&) {
    std::cerr << "vsdl download: this vsdl was built without Qt, whose serial port layer the "
                 "download needs; use the vsdl of the full build (see docs/WINDOWS.md).\n";
    return kExitFailed;
}

}  // namespace vsdl::tool

#endif
