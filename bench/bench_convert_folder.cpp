// bench_convert_folder [FILES] [MiB]: `vsdl convert -q --jobs N FOLDER` on a folder of FILES
// timed images of MiB each, for N = 1, 2 and 4; best wall time of three for each.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "BenchSupport.h"

namespace fs = std::filesystem;
using namespace vsdl::bench;

int main(int argc, char** argv) {
#ifdef _WIN32
    std::puts("bench_convert_folder: measures through posix_spawn/wait4; not available on Windows");
    return 0;
#else
    const int files = argc > 1 ? std::atoi(argv[1]) : 8;
    const std::uint64_t mib = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 8;
    std::random_device rd;
    const fs::path dir = fs::temp_directory_path() / ("vsdl-bench-" + std::to_string(rd()));
    fs::create_directories(dir);
    for (int i = 0; i < files; ++i) {
        GenerateImage((dir / ("R" + std::to_string(i) + ".BIN")).string(), mib * 1024 * 1024, true,
                      "bench_convert_folder");
    }
    std::printf("| %d timed images of %llu MiB | wall (best of 3) | CPU | files/s |\n", files,
                static_cast<unsigned long long>(mib));
    std::printf("|---|---|---|---|\n");
    for (const int jobs : {1, 2, 4}) {
        ChildRun best;
        for (int round = 0; round < 3; ++round) {
            const ChildRun run =
                RunChild(VSDL_EXE, {"convert", "-q", "--jobs", std::to_string(jobs), dir.string()});
            if (run.status != 0) {
                std::fprintf(stderr, "vsdl convert ended with %d\n", run.status);
                return 1;
            }
            if (round == 0 || run.seconds < best.seconds) best = run;
        }
        std::printf("| --jobs %d | %.2f s | %.2f s | %.1f |\n", jobs, best.seconds, best.cpuSeconds,
                    files / best.seconds);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
#endif
}
