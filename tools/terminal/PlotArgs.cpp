#include "terminal/PlotArgs.h"

#include <cstdio>
#include <iostream>

#include <CLI/CLI.hpp>

#include "common/Paths.h"
#include "terminal/CommandLine.h"
#include "terminal/ExitCodes.h"

namespace vsdl::tool {
namespace {

constexpr const char* kUsage =
    "Usage: vsdl plot FILE.BIN -o PICTURE.png|svg [--set N] [--size WxH] [--force] [-q]\n";

bool IsPictureName(const std::string& path) {
    const std::size_t dot = path.find_last_of("./\\");
    if (dot == std::string::npos || path[dot] != '.') return false;
    const std::string_view suffix = std::string_view(path).substr(dot + 1);
    return paths::EqualsIgnoreCase(suffix, "png") || paths::EqualsIgnoreCase(suffix, "svg");
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
        << "  --force      replaces an existing PICTURE (never the BIN file itself)\n"
        << "  -q           prints nothing but errors\n\n"
        << "An image with a fault part-way is drawn up to the fault. Exit status: 0 when the\n"
        << "picture was written, 1 when the BIN file was corrupt or could not be read (also\n"
        << "when what came before a fault was drawn), or the picture could not be written,\n"
        << "2 on a usage error, an existing PICTURE without --force or a PICTURE that is the\n"
        << "BIN file.\n";
}

std::optional<int> ReadPlotArgs(const std::vector<std::string>& args, PlotArgs& parsed) {
    CommandLine line("plot", kUsage, &HelpPlot);
    std::string sizeText = "1200x700";
    line.App().add_option("-o", parsed.out);
    line.App().add_option("--set", parsed.setText);
    line.App().add_option("--size", sizeText);
    line.App().add_flag("--force", parsed.force);
    line.App().add_flag("-q", parsed.quiet);
    line.App().add_option("FILE", parsed.bin);
    if (const auto status = line.Parse(args)) return status;
    if (parsed.bin.empty()) return line.Usage("no BIN file given");
    if (parsed.out.empty()) return line.Usage("-o PICTURE is needed");
    if (!IsPictureName(parsed.out)) return line.Usage("PICTURE must end in .png or .svg");
    char x = 0;
    char rest = 0;
    if (std::sscanf(sizeText.c_str(), "%d%c%d%c", &parsed.width, &x, &parsed.height, &rest) != 3 ||
        (x != 'x' && x != 'X') || parsed.width < 100 || parsed.height < 100 ||
        parsed.width > 10000 || parsed.height > 10000) {
        return line.Usage("--size is WxH, each 100 to 10000, not '" + sizeText + "'");
    }
    if (!parsed.setText.empty()) {
        parsed.set = ParseCount(parsed.setText);
        if (parsed.set < 0 || parsed.set > 255) {
            return line.Usage("--set needs a set number 0 to 255, not '" + parsed.setText + "'");
        }
    }
    return std::nullopt;
}

}  // namespace vsdl::tool
