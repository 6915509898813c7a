// What needs real pseudo-terminals: a dropped line through the QSerialPort adapter (and its
// kept copy), a port locked under its device's own name and one in use, and
// `vsdl download` as a process (against `vsdl simulate`, a late Ctrl+C or SIGTERM, --out).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QSerialPort>
#include <chrono>
#include <csignal>
#include <thread>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "download/DownloadLoop.h"
#include "download/PortNames.h"
#include "download/QtSerialPort.h"
#include "instrument/PtySimulator.h"
#include "support/CoreTestSupport.h"
#include "support/ServedImage.h"

namespace vsdl::download {
namespace {

using namespace vsdl::testing;
using namespace vsdl::instrument;
using Clock = std::chrono::steady_clock;

class QtUi final : public DownloadUi {
  public:
    explicit QtUi(DownloadControl& control) : control_(control) {}
    void SetInstructions(const std::string&) override {}
    void SetStatus(const std::string&) override {}
    void AddListLine(const std::string&) override {}
    void ShowMessage(const std::string&) override {}
    void ProcessEvents() override {
        QCoreApplication::processEvents();
        // No test may hang: a download that runs on is cancelled.
        if (Clock::now() > deadline_) control_.Cancel();
    }

  private:
    DownloadControl& control_;
    Clock::time_point deadline_ = Clock::now() + std::chrono::seconds(60);
};

SimulatorOptions Serve(std::vector<std::uint8_t> image) {
    SimulatorOptions o;
    o.image = std::move(image);
    return o;
}

class PtyDownload : public ::testing::Test {
  protected:
    PtyDownload() { fs::create_directories(folder / "ports"); }

    // Opens COM1 of the program folder, as the dialog does, and runs the loop.
    DownloadSummary Download() {
        QtDownloadPort port({folder.string()});
        EXPECT_TRUE(port.SetPortNumber(1));
        if (!port.Open()) {
            ADD_FAILURE() << "open: " << port.LastError().reason;
            return {};
        }
        EXPECT_TRUE(port.Prepare());
        return RunDownloadLoop(port, temp(), ui, control, options);
    }
    std::string temp() const { return (folder / "~tempidl.bin").string(); }
    fs::path Link() const { return folder / "ports" / "com1"; }

    TempDir dir;
    const fs::path folder = dir.path();
    DownloadControl control;
    QtUi ui{control};
    DownloadLoopOptions options;
};

TEST_F(PtyDownload, ADroppedLineEndsTheLoopAsAPortThatWentAway) {
    auto sim = Serve(MakeImage(5 * 1024));
    sim.faults.dropAfterBlock = 2;
    ServedImage served(Link().string(), sim);
    ASSERT_TRUE(served.Ready()) << served.Error();
    options.keptFolder = (folder / "downloads").string();
    const DownloadSummary s = Download();
    EXPECT_EQ(s.end, DownloadEnd::PortFailed);
    // Named by the link and the device, and said as what happened.
    EXPECT_EQ(s.failure, "The serial port " + Link().string() + " (" + served.Device() +
                             ") went away during the download: the cable or adapter was "
                             "unplugged, or the device was closed.");
    EXPECT_EQ(s.finishText, "Download Finished. Number of Blocks = 2. Number of Bytes = 2048");
    EXPECT_EQ(served.Stop().end, SimulatorEnd::Dropped);
    EXPECT_TRUE(s.keptCopy.ends_with("-incomplete.BIN")) << s.keptCopy;
    EXPECT_EQ(ReadBytes(s.keptCopy), ReadBytes(temp()));
}

TEST_F(PtyDownload, APortOpenedThroughALinkIsLockedUnderTheDevicesOwnName) {
    // A program folder with a long path: a lock named after the link would not fit in a name.
    const fs::path deep = folder / std::string(120, 'd') / std::string(120, 'e');
    fs::create_directories(deep / "ports");
    std::string error;
    auto sim =
        PtySimulator::Create((deep / "ports" / "com1").string(), Serve(MakeImage(100)), error);
    ASSERT_TRUE(sim) << error;
    QtDownloadPort port({deep.string()});
    ASSERT_TRUE(port.SetPortNumber(1));
    ASSERT_TRUE(port.Open()) << port.LastError().reason;
    QSerialPort other(QString::fromStdString(sim->Device()));
    EXPECT_FALSE(other.open(QIODevice::ReadWrite));
    // Another program's port is said to be in use, not to be forbidden.
    QtDownloadPort second({deep.string()});
    ASSERT_TRUE(second.SetPortNumber(1));
    EXPECT_FALSE(second.Open());
    EXPECT_EQ(second.LastError().kind, PortErrorKind::Busy);
    port.Close();
    EXPECT_TRUE(other.open(QIODevice::ReadWrite)) << other.errorString().toStdString();
    other.close();
    sim.reset();

    // A number that can name no device, and a link whose device is gone, are said as such.
    EXPECT_FALSE(port.SetPortNumber(0));
    EXPECT_EQ(port.LastError().kind, PortErrorKind::NoSuchDevice);
    fs::create_symlink("/dev/pts/999999", deep / "ports" / "com1");
    ASSERT_TRUE(port.SetPortNumber(1));
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastError().kind, PortErrorKind::NoSuchDevice);
    EXPECT_NE(port.LastError().reason.find("/dev/pts/999999, which is not there"),
              std::string::npos)
        << port.LastError().reason;
}

#ifdef VSDL_EXE
QString Q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

std::string Text(const QByteArray& bytes) {
    return QString::fromLocal8Bit(bytes).toStdString();
}

class VsdlCommands : public PtyDownload {
  protected:
    QStringList Base() const { return {QStringLiteral("--folder"), Q(folder)}; }
    // Starts `vsdl simulate` on `image` at COM1's link and waits until the link is there.
    void Simulate(QProcess& sim, const std::vector<std::uint8_t>& image, QStringList args = {}) {
        WriteFile(folder / "image.BIN", image);
#ifdef __linux__
        // A test killed at its timeout must not leave the simulator behind.
        sim.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
        sim.start(VSDL_EXE,
                  QStringList{"simulate", Q(folder / "image.BIN"), "--link", Q(Link())} + args);
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (!fs::exists(Link()) && Clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
};

TEST_F(VsdlCommands, SimulateAndDownloadAgreeByteForByte) {
    const auto image = MakeImage(2 * 1024 + 999);
    QProcess sim;
    Simulate(sim, image, {"--text", "HELLO"});
    QProcess dl;
    dl.start(VSDL_EXE,
             QStringList{"download", "--port", "any", "--out", Q(folder / "copy.BIN")} + Base());
    ASSERT_TRUE(dl.waitForFinished(30000));
    const std::string out = Text(dl.readAllStandardOutput());
    EXPECT_EQ(dl.exitCode(), 0) << out << Text(dl.readAllStandardError());
    EXPECT_NE(out.find("The instrument is on COM1: " + Link().string() + ";"), std::string::npos)
        << out;
    EXPECT_NE(out.find("A copy is kept as " + (folder / "downloads").string()), std::string::npos);
    EXPECT_NE(out.find("Instrument: HELLO"), std::string::npos);
    EXPECT_NE(out.find("Download Finished. Number of Blocks = 3. Number of Bytes = 3047"),
              std::string::npos);
    EXPECT_EQ(ReadBytes(folder / "copy.BIN"), image);
    EXPECT_EQ(ReadFile(folder / "lastbin.cfg"), (folder / "copy.BIN").string() + "\r\n");
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Link())));
}

TEST_F(VsdlCommands, ALateCancelEndsADownloadThatNeverStarted) {
    // The instrument never starts: a pty that nobody serves.
    std::string error;
    const auto idle = PtySimulator::Create(Link().string(), Serve(MakeImage(100)), error);
    ASSERT_TRUE(idle) << error;
    QProcess dl;
    dl.start(VSDL_EXE, QStringList{"download"} + Base());
    std::string out;
    const auto until = Clock::now() + std::chrono::seconds(20);
    while (out.find("Have the instrument start downloading") == std::string::npos &&
           Clock::now() < until) {
        dl.waitForReadyRead(100);
        out += Text(dl.readAllStandardOutput());
    }
    const auto waiting = Clock::now();

    // Past the 5 s silence limit, one SIGTERM still ends the download.
    std::this_thread::sleep_until(waiting + std::chrono::milliseconds(6500));
    ::kill(static_cast<pid_t>(dl.processId()), SIGTERM);
    ASSERT_TRUE(dl.waitForFinished(5000));
    out += Text(dl.readAllStandardOutput());
    EXPECT_EQ(dl.exitCode(), 1);
    EXPECT_EQ(out.find("Communication Error"), std::string::npos) << out;
    // The window's finish text would read as a success; the terminal says it was cancelled.
    EXPECT_EQ(out.find("Download Finished."), std::string::npos) << out;
    EXPECT_EQ(Text(dl.readAllStandardError()),
              "The download was cancelled after 0 blocks (0 bytes). No data was kept.\n");
    EXPECT_FALSE(fs::exists(temp() + ".lock"));
}

#ifdef __linux__
// Ctrl+C as the report is made stops the conversion of --convert: its reports go, the saved
// image stays, and the exit status is that of a cancel.
TEST_F(VsdlCommands, CtrlCDuringTheConversionStopsIt) {
    const auto image = MakeImage(3000);
    QProcess sim;
    Simulate(sim, image);
    const std::string exe = VSDL_EXE, out = (folder / "RUN.BIN").string(), dir = folder.string();
    const int status = WaitStatusWithSignalAtCreate(
        [&] {
            if (!std::freopen("/dev/null", "w", stdout) ||
                !std::freopen("/dev/null", "w", stderr)) {
                ::_exit(98);
            }
            ::execl(exe.c_str(), exe.c_str(), "download", "--out", out.c_str(), "--convert",
                    "--folder", dir.c_str(), static_cast<char*>(nullptr));
        },
        "RUN.PRN", SIGINT);
    ASSERT_TRUE(sim.waitForFinished(10000));
    if (status == -1) GTEST_SKIP() << "no process tracing here";
    EXPECT_EQ(status, 1 * 256);
    EXPECT_EQ(ReadBytes(folder / "RUN.BIN"), image);
    EXPECT_FALSE(fs::exists(folder / "RUN.PRN") || fs::exists(folder / "RUN.CSV"));
}
#endif

TEST_F(VsdlCommands, WhatCannotBeDoneIsRefusedBeforeThePortIsOpened) {
    WriteFile(folder / "old.BIN", "old");
    const std::string old = (folder / "old.BIN").string();
    struct Refusal {
        QStringList args;
        int exit;
        std::string error;  // the start of stderr
    };
    // Which targets are refused is CheckSaveTarget's table; here one of each way out.
    // clang-format off
    const Refusal cases[] = {
        {.args = {"--out", Q(folder / "old.BIN")}, .exit = 2,
         .error = old + " exists. Add --force to replace it."},
        {.args = {"--out", QString::fromStdString(temp())}, .exit = 2,
         .error = "vsdl download: " + temp()},
        {.args = {"--port", "abc"}, .exit = 2,
         .error = "vsdl download: --port needs a COM port number"},
        // With --force the file is accepted and the port (none here) is what fails.
        {.args = {"--out", Q(folder / "old.BIN"), "--force", "--port", "9"}, .exit = 1,
         .error = "Error: COM port #9 is not available.  Please change and try again.\n"
                  "/dev/ttyS8: "}};
    // clang-format on
    for (const auto& [args, exit, error] : cases) {
        QProcess dl;
        dl.start(VSDL_EXE, QStringList{"download"} + args + Base());
        ASSERT_TRUE(dl.waitForFinished(10000));
        const std::string err = Text(dl.readAllStandardError());
        EXPECT_EQ(dl.exitCode(), exit) << err;
        EXPECT_EQ(err.rfind(error, 0), 0u) << err;
    }
    EXPECT_EQ(ReadFile(folder / "old.BIN"), "old");
    EXPECT_FALSE(fs::exists(temp()));
}
#endif

}  // namespace
}  // namespace vsdl::download

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
