// Whole downloads over real pseudo-terminals: the simulator core (in a thread) or `vsdl
// simulate` (a process) on one side, the QSerialPort adapter and the download loop on the other.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "TestImages.h"
#include "download/DownloadLoop.h"
#include "download/QtSerialPort.h"
#include "instrument/PtySimulator.h"

namespace vsdl::download {
namespace {

namespace fs = std::filesystem;
using namespace vsdl::instrument;
using Clock = std::chrono::steady_clock;
using test::MakeImage;

std::vector<std::uint8_t> ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// The simulator core serving on <folder>/ports/com1 from its own thread.
class ServedImage {
  public:
    ServedImage(const fs::path& folder, SimulatorOptions options) {
        std::string error;
        sim_ =
            PtySimulator::Create((folder / "ports" / "com1").string(), std::move(options), error);
        EXPECT_TRUE(sim_) << error;
        if (sim_) {
            device_ = sim_->Device();
            thread_ = std::thread([this] {
                result_ = sim_->Serve(stop_);
                finished_ = true;
            });
        }
    }
    ~ServedImage() { Stop(); }
    SimulatorResult Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        sim_.reset();
        return result_;
    }
    // Waits (bounded) for the simulator to end on its own.
    SimulatorResult Finish(std::chrono::seconds limit = std::chrono::seconds(20)) {
        const auto until = Clock::now() + limit;
        while (!done_() && Clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return Stop();
    }
    bool ok() const { return sim_ != nullptr; }
    std::string Device() const { return device_; }

  private:
    bool done_() {
        // The thread sets result_ as it returns; join is the reliable signal.
        return finished_.load();
    }
    std::unique_ptr<PtySimulator> sim_;
    std::string device_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    SimulatorResult result_;
    std::thread thread_;
};

class QtUi final : public DownloadUi {
  public:
    explicit QtUi(DownloadControl& control) : control_(control) {}
    void SetInstructions(const std::string& t) override { instructions.push_back(t); }
    void SetStatus(const std::string& t) override {
        status.push_back(t);
        if (onStatus) onStatus(t);
    }
    void AddListLine(const std::string& t) override { list.push_back(t); }
    void ShowMessage(const std::string& t) override { messages.push_back(t); }
    void ProcessEvents() override {
        QCoreApplication::processEvents();
        // No test may hang: a download that runs on is cancelled.
        if (Clock::now() > deadline_) control_.Cancel();
    }
    std::vector<std::string> instructions, status, list, messages;
    std::function<void(const std::string&)> onStatus;

  private:
    DownloadControl& control_;
    Clock::time_point deadline_ = Clock::now() + std::chrono::seconds(60);
};

class PtyDownload : public ::testing::Test {
  protected:
    PtyDownload() {
        folder = fs::temp_directory_path() /
                 ("vsdl_pty_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder / "ports");
    }
    ~PtyDownload() override { fs::remove_all(folder); }

    // Opens COM1 of the program folder, as the dialog does, and runs the loop.
    DownloadSummary Download() {
        QtDownloadPort port(QString::fromStdString(folder.string()));
        EXPECT_TRUE(port.SetPortNumber(1));
        if (!port.Open()) {
            ADD_FAILURE() << "open: " << port.LastError().reason;
            return {};
        }
        EXPECT_TRUE(port.Prepare());
        return RunDownloadLoop(port, temp().string(), ui, control);
    }
    fs::path temp() const { return folder / "~tempidl.bin"; }

    fs::path folder;
    DownloadControl control;
    QtUi ui{control};
};

SimulatorOptions Serve(std::vector<std::uint8_t> image) {
    SimulatorOptions o;
    o.image = std::move(image);
    return o;
}

struct SizeCase {
    std::size_t size;
    int blocks;
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.size << " bytes";
}

class PtySizes : public PtyDownload, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(PtySizes, TheStoredFileEqualsTheImage) {
    const auto image = MakeImage(GetParam().size, GetParam().size % 2 == 0);
    ServedImage served(folder, Serve(image));
    ASSERT_TRUE(served.ok());
    const DownloadSummary s = Download();
    EXPECT_EQ(s.end, DownloadEnd::Complete);
    EXPECT_EQ(ReadFile(temp()), image);
    EXPECT_EQ(s.finishText,
              "Download Finished. Number of Blocks = " + std::to_string(GetParam().blocks) +
                  ". Number of Bytes = " + std::to_string(image.size()));
    EXPECT_EQ(served.Finish().downloads, 1);
}

INSTANTIATE_TEST_SUITE_P(Images, PtySizes,
                         ::testing::Values(SizeCase{300, 1}, SizeCase{2 * 1024 + 517, 3},
                                           SizeCase{512 * 1024, 513},
                                           // whole blocks: the last checksum is the final byte
                                           SizeCase{3 * 1024, 4},
                                           // a checksum byte inside the end marker
                                           SizeCase{1024 + 4, 2}),
                         [](const auto& info) {
                             return std::to_string(info.param.size) + "Bytes";
                         });

TEST_F(PtyDownload, TextLinesAndNoiseBeforeTheHandshake) {
    auto options = Serve(MakeImage(1500));
    options.textLines = {"VALDOR 62-RV", "LOGGER: 3 SETS"};
    options.faults.noiseBytes = 200;
    ServedImage served(folder, options);
    const DownloadSummary s = Download();
    EXPECT_EQ(s.end, DownloadEnd::Complete);
    EXPECT_EQ(ui.list, (std::vector<std::string>{"VALDOR 62RV", "LOGGER: 3 SETS"}));
    EXPECT_EQ(ReadFile(temp()), options.image);
}

TEST_F(PtyDownload, ABadChecksumEndsTheDownloadWithWhatCame) {
    auto options = Serve(MakeImage(4 * 1024 + 100));
    options.faults.badChecksumBlock = 2;
    ServedImage served(folder, options);
    const DownloadSummary s = Download();
    EXPECT_EQ(s.end, DownloadEnd::ChecksumError);
    EXPECT_EQ(ui.messages.front(), "serial port checksum error");
    EXPECT_EQ(s.finishText, "Download Finished. Number of Blocks = 2. Number of Bytes = 2048");
    EXPECT_EQ(ReadFile(temp()),
              std::vector<std::uint8_t>(options.image.begin(), options.image.begin() + 2048));
    EXPECT_EQ(served.Finish().end, SimulatorEnd::Served);
}

TEST_F(PtyDownload, ASilenceRestartsAndTheFreshStartSucceeds) {
    auto options = Serve(MakeImage(3 * 1024 + 10));
    options.faults.silenceAfterBlock = 1;
    options.faults.silenceSeconds = 5.6;
    ServedImage served(folder, options);
    const DownloadSummary s = Download();
    EXPECT_EQ(s.end, DownloadEnd::Complete);
    EXPECT_NE(std::find(ui.instructions.begin(), ui.instructions.end(),
                        "Communication Error.  Please restart the download"),
              ui.instructions.end());
    EXPECT_EQ(ReadFile(temp()), options.image);
    EXPECT_EQ(s.blocks, 4);
}

TEST_F(PtyDownload, ADroppedLineEndsTheLoopAsAPortFailure) {
    auto options = Serve(MakeImage(5 * 1024));
    options.faults.dropAfterBlock = 2;
    ServedImage served(folder, options);
    const DownloadSummary s = Download();
    EXPECT_EQ(s.end, DownloadEnd::PortFailed);
    // Named by the link and the device, and said as what happened.
    EXPECT_EQ(s.failure, "The serial port " + (folder / "ports" / "com1").string() + " (" +
                             served.Device() +
                             ") went away during the download: the cable or adapter was "
                             "unplugged, or the device was closed.");
    EXPECT_EQ(ReadFile(temp()),
              std::vector<std::uint8_t>(options.image.begin(), options.image.begin() + 2048));
    EXPECT_EQ(s.finishText, "Download Finished. Number of Blocks = 2. Number of Bytes = 2048");
    EXPECT_EQ(served.Finish().end, SimulatorEnd::Dropped);
}

TEST_F(PtyDownload, CancelStopsTheLoopAndFreesThePort) {
    auto options = Serve(MakeImage(64 * 1024));
    options.rate = 115200;  // slow enough to cancel half-way
    options.repeat = true;
    ServedImage served(folder, options);
    ui.onStatus = [&](const std::string& t) {
        if (t == "Block Received:  2") control.Cancel();
    };
    const DownloadSummary s = Download();
    EXPECT_EQ(s.end, DownloadEnd::Cancelled);
    EXPECT_EQ(control.DownloadState, 13);
    EXPECT_EQ(s.blocks, 2);
    EXPECT_GE(s.bytes, 2048);
    EXPECT_LT(s.bytes, 3072);
    EXPECT_EQ(static_cast<std::int64_t>(ReadFile(temp()).size()), s.bytes);
    // The loop closed the port: it can be opened again at once.
    QtPortProbe probe(QString::fromStdString(folder.string()));
    probe.SetPortNumber(1);
    probe.Open();
    EXPECT_TRUE(probe.IsOpen());
}

TEST_F(PtyDownload, APortOpenedThroughALinkIsLockedUnderTheDevicesOwnName) {
    // A program folder with a long path: a lock named after the link would not fit in a name.
    const fs::path deep = folder / std::string(120, 'd') / std::string(120, 'e');
    fs::create_directories(deep / "ports");
    std::string error;
    auto sim =
        PtySimulator::Create((deep / "ports" / "com1").string(), Serve(MakeImage(100)), error);
    ASSERT_TRUE(sim) << error;
    QtDownloadPort port(QString::fromStdString(deep.string()));
    ASSERT_TRUE(port.SetPortNumber(1));
    ASSERT_TRUE(port.Open()) << port.LastError().reason;
    // Another program opening the device by its own name is kept out.
    QSerialPort other(QString::fromStdString(sim->Device()));
    EXPECT_FALSE(other.open(QIODevice::ReadWrite));
    port.Close();
    EXPECT_TRUE(other.open(QIODevice::ReadWrite)) << other.errorString().toStdString();
}

TEST_F(PtyDownload, TheProbeOpensALinkedPortAndNotAStaleOne) {
    {
        ServedImage served(folder, Serve(MakeImage(100)));
        QtPortProbe probe(QString::fromStdString(folder.string()));
        probe.SetPortNumber(1);
        EXPECT_EQ(probe.DeviceName(), (folder / "ports" / "com1").string());
        probe.Open();
        EXPECT_TRUE(probe.IsOpen());
        probe.Close();
        EXPECT_FALSE(probe.IsOpen());
    }
    // The simulator removed its link; a stale link left by someone else is reported as such.
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "ports" / "com1")));
    fs::create_symlink("/dev/pts/999999", folder / "ports" / "com1");
    QtDownloadPort port(QString::fromStdString(folder.string()));
    ASSERT_TRUE(port.SetPortNumber(1));
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastError().kind, PortErrorKind::NoSuchDevice);
    EXPECT_NE(port.LastError().reason.find("/dev/pts/999999"), std::string::npos);
}

#ifdef VSDL_EXE
// The command-line pair: `vsdl simulate` and `vsdl download` as processes.
class VsdlCommands : public PtyDownload {
  protected:
    static QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }
    fs::path Link() const { return folder / "ports" / "com1"; }
    QStringList Base() const { return {QStringLiteral("--folder"), Q(folder)}; }
    // Starts `vsdl simulate` serving <folder>/image.BIN on the ports/com1 link.
    void StartSimulate(QProcess& sim, const QStringList& extra = {}) const {
        sim.start(VSDL_EXE,
                  QStringList{"simulate", Q(folder / "image.BIN"), "--link", Q(Link())} + extra);
    }
    bool WaitForLink() const {
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < until) {
            if (fs::exists(Link())) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
};

TEST_F(VsdlCommands, SimulateAndDownloadAgreeByteForByte) {
    const auto image = MakeImage(2 * 1024 + 999);
    WriteFile(folder / "image.BIN", image);
    QProcess sim;
    StartSimulate(sim, {"--text", "HELLO"});
    ASSERT_TRUE(WaitForLink());
    QProcess dl;
    dl.start(VSDL_EXE, QStringList{"download", "--out", Q(folder / "copy.BIN")} + Base());
    ASSERT_TRUE(dl.waitForFinished(30000));
    const QString out = QString::fromLocal8Bit(dl.readAllStandardOutput());
    EXPECT_EQ(dl.exitCode(), 0) << out.toStdString() << dl.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains("Instrument: HELLO"));
    EXPECT_TRUE(out.contains("Download Finished. Number of Blocks = 3. Number of Bytes = 3047"));
    EXPECT_EQ(ReadFile(folder / "copy.BIN"), image);
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Link())));
}

TEST_F(VsdlCommands, SimulateStopsCleanlyOnSigtermAndRemovesItsLink) {
    WriteFile(folder / "image.BIN", MakeImage(500));
    QProcess sim;
    StartSimulate(sim, {"--repeat"});
    ASSERT_TRUE(WaitForLink());
    ASSERT_TRUE(sim.waitForReadyRead(5000));
    const QString line = QString::fromLocal8Bit(sim.readAllStandardOutput());
    EXPECT_TRUE(line.contains("serving")) << line.toStdString();
    EXPECT_TRUE(line.contains("/dev/pts/")) << line.toStdString();
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Link())));
}

TEST_F(VsdlCommands, SimulateRefusesToReplaceAFile) {
    WriteFile(folder / "image.BIN", MakeImage(500));
    WriteFile(Link(), {'k', 'e', 'e', 'p'});
    QProcess sim;
    StartSimulate(sim);
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitCode(), 1);
    EXPECT_EQ(ReadFile(Link()), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
}

TEST_F(VsdlCommands, ASecondDownloadIsRefusedAndALateCancelEndsTheFirst) {
    // The instrument never starts: a pty that nobody serves.
    std::string error;
    const auto idle = PtySimulator::Create(Link().string(), Serve(MakeImage(100)), error);
    ASSERT_TRUE(idle) << error;
    QProcess dl;
    dl.start(VSDL_EXE, QStringList{"download"} + Base());
    ASSERT_TRUE(dl.waitForStarted());
    QString out;
    const auto until = Clock::now() + std::chrono::seconds(20);
    while (!out.contains("Have the instrument start downloading") && Clock::now() < until) {
        dl.waitForReadyRead(100);
        out += QString::fromLocal8Bit(dl.readAllStandardOutput());
    }
    const auto waiting = Clock::now();
    WriteFile(folder / "out.BIN", {'o', 'l', 'd'});

    // A second download in the same folder touches nothing and says why.
    QProcess second;
    second.start(VSDL_EXE, QStringList{"download", "--out", Q(folder / "other.BIN")} + Base());
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_EQ(QString::fromLocal8Bit(second.readAllStandardError()).toStdString(),
              "Another download is using " + temp().string() +
                  ". Wait until it has finished, then try again.\n");
    EXPECT_FALSE(fs::exists(folder / "other.BIN"));

    // Past the 5 s silence limit, one SIGTERM still ends the download.
    std::this_thread::sleep_until(waiting + std::chrono::milliseconds(6500));
    ::kill(static_cast<pid_t>(dl.processId()), SIGTERM);
    ASSERT_TRUE(dl.waitForFinished(5000));
    out += QString::fromLocal8Bit(dl.readAllStandardOutput());
    EXPECT_EQ(dl.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(dl.exitCode(), 1);
    EXPECT_FALSE(out.contains("Communication Error")) << out.toStdString();
    EXPECT_TRUE(out.contains("Download Finished. Number of Blocks = 0. Number of Bytes = 0"));
    EXPECT_EQ(QString::fromLocal8Bit(dl.readAllStandardError()).toStdString(),
              "The download did not complete (cancelled). No data was kept.\n");
    EXPECT_FALSE(fs::exists(folder / "~tempidl.bin.lock"));
}

TEST_F(VsdlCommands, AnOutThatCannotBeSavedIsRefusedBeforeThePortIsOpened) {
    WriteFile(folder / "old.BIN", {'o', 'l', 'd'});
    struct Case {
        QStringList args;
        int exit;
        std::string error;  // the start of stderr
    };
    const std::string old = (folder / "old.BIN").string();
    for (const Case& c :
         {Case{{"--out", Q(folder / "old.BIN")}, 2, old + " exists. Add --force to replace it."},
          Case{{"--out", Q(folder / "none" / "x.BIN")}, 2, "vsdl download: The folder "},
          Case{{"--out", Q(folder / "ports")}, 2, "vsdl download: " + (folder / "ports").string()},
          Case{{"--out", Q(temp())}, 2, "vsdl download: " + temp().string()},
          Case{{"--port", "abc"}, 2, "vsdl download: --port needs a COM port number"},
          // With --force the file is accepted and the port (none here) is what fails.
          Case{{"--out", Q(folder / "old.BIN"), "--force", "--port", "9"},
               1,
               "Error: COM port #9 is not available."}}) {
        QProcess dl;
        dl.start(VSDL_EXE, QStringList{"download"} + c.args + Base());
        ASSERT_TRUE(dl.waitForFinished(10000));
        const std::string err = QString::fromLocal8Bit(dl.readAllStandardError()).toStdString();
        EXPECT_EQ(dl.exitCode(), c.exit) << err;
        EXPECT_EQ(err.rfind(c.error, 0), 0u) << err;
    }
    EXPECT_EQ(ReadFile(folder / "old.BIN"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_FALSE(fs::exists(temp()));
}

TEST_F(VsdlCommands, AMissingPortGivesTheMessageAndTheReason) {
    QProcess dl;
    dl.start(VSDL_EXE, QStringList{"download", "--port", "7"} + Base());
    ASSERT_TRUE(dl.waitForFinished(10000));
    const QString err = QString::fromLocal8Bit(dl.readAllStandardError());
    EXPECT_EQ(dl.exitCode(), 1);
    EXPECT_TRUE(
        err.startsWith("Error: COM port #7 is not available.  Please change and try again.\n"));
    EXPECT_TRUE(err.contains("/dev/tty"));
}
#endif

}  // namespace
}  // namespace vsdl::download

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
