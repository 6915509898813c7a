// The export's formats against each other on the same generated BIN images as bench_readers
// (untimed 2-byte records, and timed 7-byte records with temperature; 64 MiB by default):
// `vsdl export -q` to the tidy CSV, JSON Lines and the workbook, each a child process of its
// own. Wall and processor time, peak memory and the file's size; best of `runs`.
//
//   build/bench/bench_export_formats [MiB] [runs]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace {

namespace fs = std::filesystem;

void Measure(const fs::path& dir, const char* label, bool timed, std::uint64_t bytes, int runs) {
    const fs::path bin = dir / (timed ? "TIMED7.BIN" : "UNTIMED2.BIN");
    const std::uint64_t records =
        vsdl::bench::GenerateImage(bin.string(), bytes, timed, "bench_export_formats");
    std::printf("%s: BIN %.1f MiB, %llu records\n", label,
                static_cast<double>(bytes) / (1024.0 * 1024.0),
                static_cast<unsigned long long>(records));
    double csvSeconds = 0;
    for (const char* extension : {".csv", ".jsonl", ".xlsx"}) {
        const std::string out = (dir / "out").string() + extension;
        double wall = 0, cpu = 0;
        long peak = 0;
        for (int round = 0; round < runs; ++round) {
            const vsdl::bench::ChildRun r = vsdl::bench::RunChild(
                VSDL_EXE, {"export", "-q", "--force", bin.string(), "-o", out});
            if (r.status != 0) {
                std::fprintf(stderr, "bench_export_formats: vsdl export %s exited with %d\n",
                             extension, r.status);
                std::exit(1);
            }
            wall = round == 0 ? r.seconds : std::min(wall, r.seconds);
            cpu = round == 0 ? r.cpuSeconds : std::min(cpu, r.cpuSeconds);
            peak = std::max(peak, r.peakKiB);
        }
        if (csvSeconds == 0) csvSeconds = wall;
        std::error_code ec;
        std::printf("  %-6s %8.2f s  (%5.2fx csv)  cpu %8.2f s  peak RSS %6.1f MiB  %8.1f MB\n",
                    extension, wall, wall / csvSeconds, cpu, static_cast<double>(peak) / 1024.0,
                    static_cast<double>(fs::file_size(out, ec)) / 1e6);
        std::fflush(stdout);
        fs::remove(out, ec);
    }
    std::error_code ec;
    fs::remove(bin, ec);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    std::puts("bench_export_formats: measures through posix_spawn/wait4; not on Windows");
    return 0;
#else
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 64;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    const fs::path dir = fs::temp_directory_path() / "vsdl-bench-export-formats";
    std::error_code ec;
    fs::create_directories(dir, ec);
    Measure(dir, "untimed 2-byte", false, mib << 20, runs);
    Measure(dir, "timed 7-byte, temperature", true, mib << 20, runs);
    fs::remove_all(dir, ec);
    return 0;
#endif
}
