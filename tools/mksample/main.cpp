// vsdl-mksample: makes a BIN memory image from its readable description.
//   vsdl-mksample DESCRIPTION.txt OUTPUT.BIN
#include <cstdio>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "common/AtomicFile.h"
#include "common/FileOps.h"
#include "instrument/BinBuilder.h"

int main(int argc, char** argv) {
    vsdl::fileops::CleanUpOnSignals();
    if (argc != 3) {
        std::cerr << "Usage: vsdl-mksample DESCRIPTION.txt OUTPUT.BIN\n";
        return 2;
    }
    // A description is a few kilobytes; this is far more than any will need.
    constexpr std::size_t kMaxDescription = 16 * 1024 * 1024;
    const std::optional<std::string> text = vsdl::fileops::ReadFileStart(argv[1], kMaxDescription);
    if (!text) {
        std::cerr << "vsdl-mksample: cannot read " << argv[1] << "\n";
        return 1;
    }
    try {
        namespace sample = vsdl::instrument::sample;
        const auto bytes = sample::Build(sample::Parse(*text));
        const vsdl::fileops::Result written =
            vsdl::fileops::ReplaceFileContents(argv[2], [&bytes](std::FILE* out) {
                return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
            });
        if (!written.ok) {
            std::cerr << "vsdl-mksample: cannot write " << argv[2] << ": " << written.reason
                      << "\n";
            return 1;
        }
    } catch (const std::invalid_argument& e) {
        std::cerr << argv[1] << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}
