// vsdl-mksample: makes a BIN memory image from its readable description.
//   vsdl-mksample DESCRIPTION.txt OUTPUT.BIN
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "common/Paths.h"
#include "conversion/BinBuilder.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "Usage: vsdl-mksample DESCRIPTION.txt OUTPUT.BIN\n";
        return 2;
    }
    std::ifstream in(vsdl::paths::ToFsPath(argv[1]), std::ios::binary);
    if (!in) {
        std::cerr << "vsdl-mksample: cannot read " << argv[1] << "\n";
        return 1;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        const auto bytes = vsdl::conversion::sample::Build(vsdl::conversion::sample::Parse(text));
        std::ofstream out(vsdl::paths::ToFsPath(argv[2]), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::cerr << "vsdl-mksample: cannot write " << argv[2] << "\n";
            return 1;
        }
    } catch (const std::invalid_argument& e) {
        std::cerr << argv[1] << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}
