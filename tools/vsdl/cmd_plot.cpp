// vsdl plot FILE.BIN -o PICTURE.png|svg [--set N] [--size WxH] [--force] [-q]: the View Data
// window's chart, drawn without a display.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "Commands.h"
#include "Terminal.h"
#include "common/Paths.h"

#ifdef VSDL_WITH_QT
#include <QApplication>
#include <QChart>

#include "conversion/PlotData.h"
#include "forms/ReadingsChart.h"
#endif

namespace vsdl::tool {
namespace {

constexpr const char* kUsage =
    "Usage: vsdl plot FILE.BIN -o PICTURE.png|svg [--set N] [--size WxH] [--force] [-q]\n";

int Usage(const std::string& problem) {
    std::cerr << "vsdl plot: " << problem << "\n" << kUsage;
    return kExitUsage;
}

}  // namespace

void HelpPlot() {
    std::cout
        << kUsage
        << "Draws the readings of a BIN memory image against the logger's time into a PNG or\n"
        << "SVG picture, as Tools > View Data shows them: one line per data set, temperatures\n"
        << "on a second axis, out-of-range readings marked along the time axis. No display is\n"
        << "needed. Large images are thinned to the lowest and highest reading of each pixel\n"
        << "column, so every peak stays visible.\n\n"
        << "  -o PICTURE   the picture to write; .png or .svg says which\n"
        << "  --set N      only data set N (default: every set)\n"
        << "  --size WxH   the picture's size in pixels (default 1200x700)\n"
        << "  --force      replaces an existing PICTURE\n"
        << "  -q           prints nothing but errors\n\n"
        << "Exit status: 0 when the picture was written, 1 when the BIN file was corrupt or\n"
        << "could not be read, or the picture could not be written, 2 on a usage error or an\n"
        << "existing PICTURE without --force.\n";
}

#ifdef VSDL_WITH_QT

int RunPlot(const std::vector<std::string>& args) {
    std::string bin, out, setText, sizeText = "1200x700";
    bool force = false, quiet = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" || a == "--set" || a == "--size") {
            if (i + 1 >= args.size()) return Usage(a + " needs a value");
            (a == "-o" ? out : a == "--set" ? setText : sizeText) = args[++i];
        } else if (a == "--force") {
            force = true;
        } else if (a == "-q") {
            quiet = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage("unknown option '" + a + "'");
        } else if (bin.empty()) {
            bin = a;
        } else {
            return Usage("one BIN file at a time");
        }
    }
    if (bin.empty()) return Usage("no BIN file given");
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
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!force && fs::exists(fs::symlink_status(paths::ToFsPath(out), ec))) {
        std::cerr << out << " exists. Add --force to replace it.\n";
        return kExitUsage;
    }

    ProgressLine progress(!quiet && IsTerminal(stderr), "Reading " + paths::Split(bin).name);
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
    if (!forms::SaveChartPicture(chart, QString::fromStdString(out), QSize(width, height), error)) {
        std::cerr << ForTerminal(error.toStdString()) << "\n";
        return kExitFailed;
    }
    if (!quiet) std::cout << "The picture has been written: " << out << "\n";
    return kExitOk;
}

#else  // without Qt: no charts

int RunPlot(const std::vector<std::string>&) {
    std::cerr << "vsdl plot: this vsdl was built without Qt, whose charts the plot draws with; "
                 "use the vsdl of the full build (see docs/WINDOWS.md).\n";
    return kExitFailed;
}

#endif

}  // namespace vsdl::tool
