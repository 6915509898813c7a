// vsdl-plot: the drawing side of `vsdl plot`, which runs it with its own arguments. Kept out of
// vsdl so that vsdl's other commands do not load Qt's widgets and charts (about 10 MiB of
// memory at start).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include <QApplication>
#include <QChart>

#include "../vsdl/Commands.h"
#include "../vsdl/Terminal.h"
#include "common/AtomicFile.h"
#include "common/Paths.h"
#include "conversion/PlotData.h"
#include "forms/ReadingsChart.h"

namespace vsdl::tool {
namespace {

constexpr const char* kUsage =
    "Usage: vsdl plot FILE.BIN -o PICTURE.png|svg [--set N] [--size WxH] [--force] [-q]\n";

int Usage(const std::string& problem) {
    std::cerr << "vsdl plot: " << problem << "\n" << kUsage;
    return kExitUsage;
}

int DrawPlot(const std::vector<std::string>& args) {
    OneFileArgs parsed;
    parsed.values["--size"] = "1200x700";
    const std::string problem = ParseOneFileArgs(args, {"-o", "--set", "--size"}, parsed);
    if (!problem.empty()) return Usage(problem);
    const std::string& bin = parsed.bin;
    const std::string& out = parsed.values["-o"];
    const std::string& setText = parsed.values["--set"];
    const std::string& sizeText = parsed.values["--size"];
    if (out.empty()) return Usage("-o PICTURE is needed");
    int width = 0, height = 0;
    char x = 0;
    char rest = 0;
    if (std::sscanf(sizeText.c_str(), "%d%c%d%c", &width, &x, &height, &rest) != 3 ||
        (x != 'x' && x != 'X') || width < 100 || height < 100 || width > 10000 || height > 10000) {
        return Usage("--size is WxH, each 100 to 10000, not '" + sizeText + "'");
    }
    int setNumber = -1;
    if (!setText.empty()) {
        char* end = nullptr;
        const long n = std::strtol(setText.c_str(), &end, 10);
        if (*end != '\0' || n < 0 || n > 255) return Usage("--set needs a set number 0 to 255");
        setNumber = static_cast<int>(n);
    }
    if (!MayWrite(out, parsed.force)) return kExitUsage;

    ProgressLine progress(!parsed.quiet && IsTerminal(stderr), "Reading " + paths::Split(bin).name);
    conversion::PlotData data = conversion::LoadPlotData(
        bin, width,
        [&progress](std::int64_t read, std::int64_t length) { progress.Tick(read, length); });
    progress.Clear();
    if (data.status.outcome != conversion::ConvertOutcome::Completed) {
        std::cerr << ForTerminal(data.status.message) << "\n";
        return kExitFailed;
    }
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
    forms::FillReadingsChart(chart, shown);
    QString error;
    bool existed = false;
    if (!forms::SaveChartPicture(chart, QString::fromStdString(out), QSize(width, height), error,
                                 parsed.force, &existed)) {
        // Made by another program since the check above: refused all the same.
        if (existed) return RefuseExisting(out);
        std::cerr << ForTerminal(error.toStdString()) << "\n";
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
