// The other readers of an image against the conversion: `vsdl export` (tidy CSV) and
// `vsdl plot` (PNG) against `vsdl convert -q` on the same generated BIN images (untimed 2-byte
// records, and timed 7-byte records with temperature; 64 MiB by default), and the View Data
// window reading the image (offscreen, in bench_window_open). Every figure is one child
// process's; this program links no Qt, so that its own memory does not count into the
// children's peaks (a spawned child's peak includes its parent's before the exec). Runs
// alternate; best of `runs` each.
//
//   build/bench/bench_readers [MiB] [runs]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace {

namespace fs = std::filesystem;
using vsdl::bench::ChildRun;

struct Best {
    double seconds = 0, cpu = 0;
    long peakKiB = 0;
    void Take(double wall, double cpuSeconds, long peak, bool first) {
        if (first || wall < seconds) seconds = wall;
        if (first || cpuSeconds < cpu) cpu = cpuSeconds;
        peakKiB = std::max(peakKiB, peak);
    }
};

ChildRun Vsdl(const std::vector<std::string>& args) {
    const ChildRun run = vsdl::bench::RunChild(VSDL_EXE, args);
    if (run.status != 0) {
        std::fprintf(stderr, "bench_readers: vsdl %s exited with %d\n", args[0].c_str(),
                     run.status);
        std::exit(1);
    }
    return run;
}

void Measure(const fs::path& dir, const char* label, bool timed, std::uint64_t bytes, int runs) {
    const fs::path bin = dir / (timed ? "TIMED7.BIN" : "UNTIMED2.BIN");
    const std::uint64_t records =
        vsdl::bench::GenerateImage(bin.string(), bytes, timed, "bench_readers");
    const std::string out = (dir / "out").string();
    Best convert, exported, plot, window;
    Vsdl({"convert", "-q", bin.string()});  // warms the page cache
    for (int round = 0; round < runs; ++round) {
        const bool first = round == 0;
        ChildRun r = Vsdl({"convert", "-q", bin.string()});
        convert.Take(r.seconds, r.cpuSeconds, r.peakKiB, first);
        r = Vsdl({"export", "-q", "--force", bin.string(), "-o", out + ".csv"});
        exported.Take(r.seconds, r.cpuSeconds, r.peakKiB, first);
        r = Vsdl({"plot", "-q", "--force", bin.string(), "-o", out + ".png"});
        plot.Take(r.seconds, r.cpuSeconds, r.peakKiB, first);
        const std::string result = (dir / "window.txt").string();
        r = vsdl::bench::RunChild(VSDL_BENCH_WINDOW_EXE, {bin.string(), result});
        double seconds = 0;
        if (std::FILE* in = std::fopen(result.c_str(), "r")) {
            if (std::fscanf(in, "%lf", &seconds) != 1) seconds = 0;
            std::fclose(in);
        }
        if (r.status != 0 || seconds <= 0) {
            std::fprintf(stderr, "bench_readers: the window read no data set\n");
            std::exit(1);
        }
        window.Take(seconds, r.cpuSeconds, r.peakKiB, first);
    }
    std::error_code ec;
    const auto csvBytes = fs::file_size(out + ".csv", ec);
    std::printf("%s: BIN %.1f MiB, %llu records; tidy CSV %.1f MB\n", label,
                static_cast<double>(bytes) / (1024.0 * 1024.0),
                static_cast<unsigned long long>(records), static_cast<double>(csvBytes) / 1e6);
    const auto line = [&](const char* what, const Best& b, bool) {
        std::printf("  %-14s %6.2f s  (%.2fx convert)  cpu %6.2f s  peak RSS %6.1f MiB\n", what,
                    b.seconds, b.seconds / convert.seconds, b.cpu,
                    static_cast<double>(b.peakKiB) / 1024.0);
    };
    line("vsdl convert", convert, true);
    line("vsdl export", exported, true);
    line("vsdl plot", plot, true);
    line("View Data", window, true);
    std::fflush(stdout);
    fs::remove(bin, ec);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    std::puts("bench_readers: measures through posix_spawn/wait4; not available on Windows");
    return 0;
#else
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 64;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    std::random_device rd;
    const fs::path dir = fs::temp_directory_path() / ("vsdl-bench-" + std::to_string(rd()));
    fs::create_directories(dir);
    Measure(dir, "untimed 2-byte", false, mib * 1024 * 1024, runs);
    Measure(dir, "timed 7-byte + temp", true, mib * 1024 * 1024, runs);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
#endif
}
