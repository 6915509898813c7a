// The command line of `vsdl plot`, read the same way by vsdl (which refuses a wrong one before
// it starts the drawing program) and by vsdl-plot (which draws).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vsdl::tool {

struct PlotArgs {
    std::string bin;
    std::string out;
    std::string setText;  // as given, for the messages
    int set = -1;         // -1: every set
    int width = 1200;
    int height = 700;
    bool force = false;
    bool quiet = false;
};

// Reads and checks `args`: nothing when the picture is to be drawn, else the exit status (the
// help or the usage problem has been said).
std::optional<int> ReadPlotArgs(const std::vector<std::string>& args, PlotArgs& parsed);

}  // namespace vsdl::tool
