// vsdl-plot: the drawing side of `vsdl plot`, which runs it with its own arguments. Kept out of
// vsdl so that vsdl's other commands do not load Qt's widgets and charts (about 10 MiB of
// memory at start).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <QApplication>
#include <QChart>

#ifdef _WIN32
#include <io.h>  // dup, dup2, close, fileno
#else
#include <unistd.h>
#endif

#include "chart/ReadingsChart.h"
#include "common/AtomicFile.h"
#include "common/FileOps.h"
#include "common/Paths.h"
#include "conversion/PlotData.h"
#include "terminal/ExitCodes.h"
#include "terminal/PlotArgs.h"
#include "terminal/Terminal.h"

namespace vsdl::tool {
namespace {

// With -q, what Qt and the libraries under it print on their own (a missing XDG_RUNTIME_DIR,
// fontconfig's complaints) goes to a scratch file instead of stderr while it lives; Replay
// hands it on when the drawing failed, so that an error is never hidden.
class HeldStderr {
  public:
    explicit HeldStderr(bool hold) {
        if (!hold) return;
        std::fflush(stderr);
        scratch_.reset(std::tmpfile());
        if (!scratch_) return;
        saved_ = dup(fileno(stderr));
        if (saved_ < 0 || dup2(fileno(scratch_.get()), fileno(stderr)) < 0) Restore();
    }
    ~HeldStderr() { Restore(); }
    HeldStderr(const HeldStderr&) = delete;
    HeldStderr& operator=(const HeldStderr&) = delete;

    void Replay() {
        Restore();
        if (!scratch_) return;
        std::rewind(scratch_.get());
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, scratch_.get())) > 0) {
            std::fwrite(buffer, 1, n, stderr);
        }
        std::fflush(stderr);
    }

  private:
    void Restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        dup2(saved_, fileno(stderr));
        close(saved_);
        saved_ = -1;
    }

    fileops::FilePtr scratch_;
    int saved_ = -1;
};

// Draws `shown` into the picture `out` (the name's bytes as given); the reason when it failed.
// Without `replace` a picture that is there first stays, and `existed` is set.
std::optional<std::string> Draw(const std::vector<const conversion::PlotSet*>& shown,
                                const std::string& bin, const std::string& out, QSize size,
                                bool replace, bool& existed) {
    // Drawn offscreen: no display is needed, and none is touched.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "vsdl";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QChart chart;
    QString title = QString::fromStdString(paths::Split(bin).name);
    if (shown.size() == 1)
        title += QStringLiteral(": ") + QString::fromStdString(shown[0]->Label());
    chart.setTitle(title);
    vsdl::chart::FillReadingsChart(chart, shown);
    std::string error;
    if (!vsdl::chart::SaveChartPicture(chart, out, size, error, bin, replace, &existed))
        return error;
    return std::nullopt;
}

int DrawPlot(const std::vector<std::string>& args) {
    PlotArgs parsed;
    if (const auto status = ReadPlotArgs(args, parsed)) return *status;
    const std::string& bin = parsed.bin;
    const std::string& out = parsed.out;
    const std::string& setText = parsed.setText;
    const int setNumber = parsed.set;
    // Under any name or link, the BIN file is never the picture (--force or not).
    if (IsTheBinFile("plot", out, bin)) return kExitUsage;
    if (!MayWrite(out, parsed.force)) return kExitUsage;

    ProgressLine progress(!parsed.quiet && IsTerminal(stderr), "Reading " + paths::Split(bin).name);
    conversion::PlotData data = conversion::LoadPlotData(
        bin, parsed.width,
        [&progress](std::int64_t read, std::int64_t length) { progress.Tick(read, length); });
    progress.Clear();
    // A fault part-way keeps the sets before it: they are drawn, and the exit status says that
    // the image was not whole, as the export's does.
    const bool faulty = data.status.outcome != conversion::ConvertOutcome::Completed;
    if (faulty) std::cerr << FailureText(data.status) << "\n";
    if (faulty && data.sets.empty()) return kExitFailed;
    std::vector<const conversion::PlotSet*> shown;
    std::string numbers;
    for (const conversion::PlotSet& set : data.sets) {
        numbers += (numbers.empty() ? "" : ", ") + std::to_string(set.number);
        if (setNumber < 0 || set.number == setNumber) shown.push_back(&set);
    }
    if (shown.empty()) {
        std::cerr << (data.sets.empty() ? bin + " holds no data set.\n"
                                        : bin + " has no data set " + setText + "; its sets are " +
                                              numbers + ".\n");
        return kExitFailed;
    }

    HeldStderr held(parsed.quiet);
    bool existed = false;
    const std::optional<std::string> error =
        Draw(shown, bin, out, QSize(parsed.width, parsed.height), parsed.force, existed);
    // Made by another program since the check above: refused all the same.
    if (existed) {
        held.Replay();
        return RefuseExisting(out);
    }
    if (error) {
        held.Replay();
        std::cerr << ForTerminal(*error) << "\n";
        return kExitFailed;
    }
    if (faulty) {
        std::cerr << "The picture " << out << " shows what was read before the fault.\n";
        return kExitFailed;
    }
    if (!parsed.quiet) std::cout << "The picture has been written: " << out << "\n";
    return kExitOk;
}

}  // namespace
}  // namespace vsdl::tool

int main(int argc, char** argv) {
    vsdl::fileops::CleanUpOnSignals();
    return vsdl::tool::DrawPlot({argv + 1, argv + argc});
}
