// A conversion in the conversion dialog (offscreen, run mode 3, the dialog's own yield to the
// event loop) against `vsdl convert -q` on the same generated BIN image (untimed 2-byte
// records, 64 MiB by default). Runs alternate; the best and the median of each are reported.
//
//   build/bench/bench_dialog_convert [MiB] [runs] [--per-record]
//
// --per-record also times the conversion with the event loop run after every single record,
// which is what the dialog's timed yield avoids.
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "BenchSupport.h"
#include "common/modGlobals.h"
#include "conversion/ConvertCore.h"
#include "conversion/modConvert.h"
#include "forms/FormContext.h"
#include "forms/frmConvertBINtoPRN.h"
#include "instrument/BinBuilder.h"

namespace {

class Quiet final : public vsdl::forms::IMessages {
  public:
    void Show(QWidget*, const QString& text) override { last = text; }
    QString last;
};

class NoDialogs final : public vsdl::forms::IFileDialogs {
  public:
    std::optional<QString> OpenFile(QWidget*, const vsdl::forms::FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<QString> SaveFile(QWidget*, const vsdl::forms::FileDialogRequest&) override {
        return std::nullopt;
    }
};

// Both start from a folder without the reports, so the dialog has nothing to ask.
void RemoveReports(const QString& bin) {
    const QString base = bin.left(bin.size() - 4);
    QFile::remove(base + QStringLiteral(".PRN"));
    QFile::remove(base + QStringLiteral(".CSV"));
}

// Processor time (user + system) of this process or of its waited-for children, in seconds;
// less disturbed than wall time when other work shares the machine. 0 where not available.
double CpuSeconds(bool children) {
#ifndef _WIN32
    rusage usage{};
    getrusage(children ? RUSAGE_CHILDREN : RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
#else
    (void)children;
    return 0;
#endif
}

struct Timing {
    double wall = 0;
    double cpu = 0;
};

Timing RunVsdl(const QString& bin) {
    RemoveReports(bin);
    const double cpuBefore = CpuSeconds(true);
    QElapsedTimer clock;
    clock.start();
    const int status = QProcess::execute(QStringLiteral(VSDL_EXE),
                                         {QStringLiteral("convert"), QStringLiteral("-q"), bin});
    const Timing seconds{static_cast<double>(clock.nsecsElapsed()) / 1e9,
                         CpuSeconds(true) - cpuBefore};
    if (status != 0) {
        std::fprintf(stderr, "bench_dialog_convert: vsdl convert exited with %d\n", status);
        std::exit(1);
    }
    return seconds;
}

// The dialog as the main window opens it in run mode 3: it starts by itself and closes when
// the conversion has ended.
Timing RunDialog(const QString& folder, const QString& bin) {
    RemoveReports(bin);
    modGlobals::Reset();
    gRunMode = 3;
    gLastBinPath = bin.toStdString();
    Quiet messages;
    NoDialogs dialogs;
    vsdl::forms::FormContext context;
    context.dataFolder = folder;
    context.saveFolder = folder;
    context.messages = &messages;
    context.fileDialogs = &dialogs;
    const double cpuBefore = CpuSeconds(false);
    QElapsedTimer clock;
    clock.start();
    {
        frmConvertBINtoPRN dialog(context);
        dialog.exec();
    }
    const Timing seconds{static_cast<double>(clock.nsecsElapsed()) / 1e9,
                         CpuSeconds(false) - cpuBefore};
    if (!messages.last.startsWith(QStringLiteral("The conversion has completed."))) {
        std::fprintf(stderr, "bench_dialog_convert: %s\n", qPrintable(messages.last));
        std::exit(1);
    }
    return seconds;
}

// The event loop after every record, for comparison.
class EveryRecord final : public ConvertNotifier {
  public:
    void ShowMessage(const std::string&) override {}
    void Yield() override { QCoreApplication::processEvents(); }
};

double RunPerRecord(const QString& folder, const QString& name) {
    RemoveReports(folder + name);
    modGlobals::Reset();
    EveryRecord notifier;
    QWidget window;  // something on screen for the event loop to look after
    window.show();
    QElapsedTimer clock;
    clock.start();
    ConvertBINtoPRN(folder.toStdString(), name.toStdString(), notifier);
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 == 1 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments().mid(1);
    const bool perRecord = args.removeAll(QStringLiteral("--per-record")) > 0;
    const std::int64_t mib = args.size() > 0 ? args[0].toLongLong() : 64;
    const int runs = args.size() > 1 ? std::max(1, args[1].toInt()) : 5;
    if (mib <= 0) {
        std::fprintf(stderr, "usage: bench_dialog_convert [MiB] [runs] [--per-record]\n");
        return 2;
    }

    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    const QString folder = dir.path() + QLatin1Char('/');
    const QString name = QStringLiteral("BENCH.BIN");
    const QString bin = folder + name;
    const auto records = static_cast<std::int64_t>(
        vsdl::bench::GenerateImage(bin.toStdString(), static_cast<std::uint64_t>(mib) * 1024 * 1024,
                                   false, "bench_dialog_convert"));
    std::printf("BIN %lld MiB, %lld untimed 2-byte records; %d runs each, alternating\n",
                static_cast<long long>(mib), static_cast<long long>(records), runs);
    std::fflush(stdout);

    RunVsdl(bin);  // warms the page cache
    std::vector<double> tool, dialog, toolCpu, dialogCpu;
    for (int i = 0; i < runs; ++i) {
        const Timing t = RunVsdl(bin);
        const Timing d = RunDialog(folder, bin);
        tool.push_back(t.wall);
        toolCpu.push_back(t.cpu);
        dialog.push_back(d.wall);
        dialogCpu.push_back(d.cpu);
        std::printf("  run %d: vsdl convert %.3f s (cpu %.3f s), dialog %.3f s (cpu %.3f s)\n",
                    i + 1, t.wall, t.cpu, d.wall, d.cpu);
        std::fflush(stdout);
    }
    const auto best = [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
    };
    const auto report = [&](const char* what, const std::vector<double>& t,
                            const std::vector<double>& d) {
        std::printf(
            "%s: vsdl convert best %.3f s, median %.3f s; dialog best %.3f s, median "
            "%.3f s\n",
            what, best(t), Median(t), best(d), Median(d));
        std::printf(
            "%s: dialog / vsdl convert %+.1f%% (best), %+.1f%% (median); goal at most "
            "+10%%\n",
            what, (best(d) / best(t) - 1) * 100, (Median(d) / Median(t) - 1) * 100);
    };
    report("wall", tool, dialog);
    report("cpu ", toolCpu, dialogCpu);
    std::printf("throughput (best wall): vsdl convert %.1f M records/s, dialog %.1f M records/s\n",
                static_cast<double>(records) / best(tool) / 1e6,
                static_cast<double>(records) / best(dialog) / 1e6);
    const double bestTool = best(tool);
    if (perRecord) {
        const double each = RunPerRecord(folder, name);
        std::printf("event loop after every record: %.3f s (%+.0f%% against vsdl convert)\n", each,
                    (each / bestTool - 1) * 100);
    }
    return 0;
}
