// vsdl simulate IMAGE.BIN --link PATH [...]: the instrument's side of the download on a
// pseudo-terminal, for everyone without an instrument at hand.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "Commands.h"
#include "common/Paths.h"
#include "instrument/PtySimulator.h"

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

namespace {

bool ParseInt(const std::string& text, int& out, int min) {
    try {
        std::size_t used = 0;
        const long v = std::stol(text, &used);
        if (used != text.size() || v < min || v > 1'000'000'000L) return false;
        out = static_cast<int>(v);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

int RunSimulate(const std::vector<std::string>& args) {
    instrument::SimulatorOptions options;
    std::string image;
    std::string link;
    const auto usage = [](const std::string& why) {
        std::cerr << "vsdl simulate: " << why << "\n" << kUsage;
        return kExitUsage;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        const std::string v = hasValue ? args[i + 1] : std::string();
        int n = 0;
        const auto number = [&](int min) {
            if (!hasValue || !ParseInt(v, n, min)) return false;
            ++i;
            return true;
        };
        if (a == "--link") {
            if (!hasValue) return usage("--link needs a path");
            link = v;
            ++i;
        } else if (a == "--text") {
            if (!hasValue) return usage("--text needs a line");
            options.textLines.push_back(v);
            ++i;
        } else if (a == "--repeat") {
            options.repeat = true;
        } else if (a == "--rate") {
            if (!number(0)) return usage("--rate needs a baud rate (0 for unpaced)");
            options.rate = n;
        } else if (a == "--bad-checksum") {
            if (!number(1)) return usage("--bad-checksum needs a block number from 1");
            options.faults.badChecksumBlock = n;
        } else if (a == "--silence-after") {
            if (!number(0)) return usage("--silence-after needs a block number");
            options.faults.silenceAfterBlock = n;
        } else if (a == "--silence-seconds") {
            try {
                options.faults.silenceSeconds = std::stod(v);
            } catch (...) {
                return usage("--silence-seconds needs a number of seconds");
            }
            if (!hasValue || options.faults.silenceSeconds < 0) {
                return usage("--silence-seconds needs a number of seconds");
            }
            ++i;
        } else if (a == "--noise") {
            if (!number(0)) return usage("--noise needs a number of bytes");
            options.faults.noiseBytes = static_cast<std::size_t>(n);
        } else if (a == "--drop-after") {
            if (!number(0)) return usage("--drop-after needs a block number");
            options.faults.dropAfterBlock = n;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage("unknown option '" + a + "'");
        } else if (image.empty()) {
            image = a;
        } else {
            return usage("only one image can be served");
        }
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
