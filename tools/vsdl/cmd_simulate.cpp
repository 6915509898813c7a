// vsdl simulate IMAGE.BIN --link PATH [...]: the instrument's side of the download on a
// pseudo-terminal, for everyone without an instrument at hand.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#include "Commands.h"
#include "common/Paths.h"
#include "instrument/PtySimulator.h"
#include "terminal/CommandLine.h"

#include <CLI/CLI.hpp>

namespace vsdl::tool {
namespace {

constexpr const char* kUsage =
    "Usage: vsdl simulate IMAGE.BIN --link PATH [--rate BAUD] [--text LINE]... [--repeat]\n"
    "                     [--bad-checksum K] [--silence-after K [--silence-seconds S]]\n"
    "                     [--noise N] [--drop-after K]\n";

std::atomic<bool> gStop{false};

extern "C" void OnStopSignal(int) {
    gStop = true;
}

}  // namespace

void HelpSimulate() {
    std::cout
        << kUsage
        << "Plays the instrument's side of the download on a pseudo-terminal and makes PATH a\n"
        << "symbolic link to it, so that `vsdl download --device PATH`, or the program with\n"
        << "PATH = <program folder>/ports/com<n> and port n chosen, downloads IMAGE.BIN.\n\n"
        << "  --link PATH          the link to make (replaced if it is an old link)\n"
        << "  --rate BAUD          paces the bytes like an 8N1 line (10 bits a byte); 0 (the\n"
        << "                       default) sends as fast as the pseudo-terminal takes them\n"
        << "  --text LINE          a text line sent before the handshake (repeatable)\n"
        << "  --repeat             serves again after each download, until stopped\n"
        << "Faults (blocks counted from 1; K = 0 means right after the handshake):\n"
        << "  --bad-checksum K     sends a wrong checksum byte after block K\n"
        << "  --silence-after K    goes silent after block K for --silence-seconds S\n"
        << "                       (default 6), then starts again with a fresh handshake\n"
        << "  --noise N            sends N bytes of line noise before the handshake\n"
        << "  --drop-after K       closes the pseudo-terminal after block K (a dropped line)\n\n"
        << "IMAGE.BIN must begin with a sync mark and end with the end marker C9 96 6C A5 5A C3.\n"
        << "An image whose length is a multiple of 1024 bytes ends in a full block: its checksum\n"
        << "byte is the first byte after the end marker, so the program takes it as the final\n"
        << "byte too, echoes it twice and reports one block more than the image has; no extra\n"
        << "final byte is sent then.\n\n"
        << "The simulator runs until its download is done (with --repeat, until SIGINT or\n"
        << "SIGTERM), then removes the link. Exit status: 0 when it served as asked, 1 when the\n"
        << "program let go of the port before a download had ended, 2 on a usage error.\n";
}

int RunSimulate(const std::vector<std::string>& args) {
    instrument::SimulatorOptions options;
    std::string image;
    std::string link;
    std::string rate, badChecksum, silenceAfter, silenceSeconds, noise, dropAfter;
    CommandLine line("simulate", kUsage, &HelpSimulate);
    CLI::App& app = line.App();
    app.add_option("--link", link);
    // Each --text takes one line; it may be given again.
    app.add_option("--text", options.textLines)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_flag("--repeat", options.repeat);
    app.add_option("--rate", rate);
    app.add_option("--bad-checksum", badChecksum);
    app.add_option("--silence-after", silenceAfter);
    app.add_option("--silence-seconds", silenceSeconds);
    app.add_option("--noise", noise);
    app.add_option("--drop-after", dropAfter);
    app.add_option("IMAGE", image);
    if (const auto status = line.Parse(args)) return *status;
    const auto usage = [&line](const std::string& why) { return line.Usage(why); };
    // A number option as given: unchanged when absent, false when it is no number from `min`.
    const auto number = [](const std::string& text, int min, auto& into) {
        if (text.empty()) return true;
        const int n = ParseCount(text);
        if (n < min) return false;
        into = static_cast<std::remove_reference_t<decltype(into)>>(n);
        return true;
    };
    if (!number(rate, 0, options.rate)) return usage("--rate needs a baud rate (0 for unpaced)");
    if (!number(badChecksum, 1, options.faults.badChecksumBlock)) {
        return usage("--bad-checksum needs a block number from 1");
    }
    if (!number(silenceAfter, 0, options.faults.silenceAfterBlock)) {
        return usage("--silence-after needs a block number");
    }
    if (!silenceSeconds.empty()) {
        char* end = nullptr;
        const double seconds = std::strtod(silenceSeconds.c_str(), &end);
        if (*end != '\0' || !(seconds >= 0 && seconds <= 1e6)) {
            return usage("--silence-seconds needs a number of seconds");
        }
        options.faults.silenceSeconds = seconds;
    }
    if (!number(noise, 0, options.faults.noiseBytes)) {
        return usage("--noise needs a number of bytes");
    }
    if (!number(dropAfter, 0, options.faults.dropAfterBlock)) {
        return usage("--drop-after needs a block number");
    }
    if (image.empty()) return usage("no image given");
    if (link.empty()) return usage("--link PATH is needed");

    std::ifstream in(paths::ToFsPath(image), std::ios::binary);
    if (!in) {
        std::cerr << "vsdl simulate: cannot read " << image << "\n";
        return kExitFailed;
    }
    options.image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    options.log = [](const std::string& line) {
        std::cout << "vsdl simulate: " << line << std::endl;
    };
    const std::size_t bytes = options.image.size();

#ifndef _WIN32
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
#endif

    std::string error;
    auto sim = instrument::PtySimulator::Create(link, std::move(options), error);
    if (!sim) {
        std::cerr << "vsdl simulate: " << error << "\n";
        return kExitFailed;
    }
    std::cout << "vsdl simulate: serving " << image << " (" << bytes << " bytes) on "
              << sim->Device() << " as " << sim->Link() << std::endl;
    const instrument::SimulatorResult result = sim->Serve(gStop);
    sim.reset();  // removes the link
    return result.end == instrument::SimulatorEnd::Disconnected ? kExitFailed : kExitOk;
}

}  // namespace vsdl::tool
