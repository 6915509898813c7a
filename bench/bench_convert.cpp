// Throughput and peak memory of `vsdl convert` on generated 64 MiB BIN images (untimed 2-byte
// records, and time-stamped 7-byte records with temperature), against the I/O floor: writing
// the same number of output bytes to two files with plain buffered writes, in the same run.
//
//   build/bench/bench_convert [MiB]      (default 64; files live in a temporary folder)
//   build/bench/bench_convert --images DIR [MiB]
//                                        only writes the two images, UNTIMED2.BIN and TIMED7.BIN,
//                                        into DIR, for instruction counts under callgrind
#include <algorithm>
#include <chrono>
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
using Clock = std::chrono::steady_clock;

// The same bytes, two files, written with stdio in 64 KiB pieces.
double Floor(const fs::path& dir, std::uintmax_t prnBytes, std::uintmax_t csvBytes) {
    std::vector<char> block(64 * 1024, 'x');
    for (std::size_t i = 30; i < block.size(); i += 32) block[i - 1] = '\r', block[i] = '\n';
    const auto start = Clock::now();
    std::FILE* prn = std::fopen((dir / "FLOOR.PRN").string().c_str(), "wb");
    std::FILE* csv = std::fopen((dir / "FLOOR.CSV").string().c_str(), "wb");
    if (prn == nullptr || csv == nullptr) std::exit(1);
    std::uintmax_t leftPrn = prnBytes, leftCsv = csvBytes;
    while (leftPrn > 0 || leftCsv > 0) {
        const std::size_t a =
            static_cast<std::size_t>(std::min<std::uintmax_t>(leftPrn, block.size()));
        const std::size_t b =
            static_cast<std::size_t>(std::min<std::uintmax_t>(leftCsv, block.size()));
        if (a != 0) std::fwrite(block.data(), 1, a, prn);
        if (b != 0) std::fwrite(block.data(), 1, b, csv);
        leftPrn -= a;
        leftCsv -= b;
    }
    std::fclose(prn);
    std::fclose(csv);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    fs::remove(dir / "FLOOR.PRN");
    fs::remove(dir / "FLOOR.CSV");
    return seconds;
}

// Best of three runs each: the machine is shared, and the best run shows what the code costs.
void Measure(const fs::path& dir, const char* label, bool timed, std::uint64_t bytes) {
    const fs::path bin = dir / (timed ? "TIMED7.BIN" : "UNTIMED2.BIN");
    const fs::path prn = dir / (timed ? "TIMED7.PRN" : "UNTIMED2.PRN");
    const fs::path csv = dir / (timed ? "TIMED7.CSV" : "UNTIMED2.CSV");
    const std::uint64_t records =
        vsdl::bench::GenerateImage(bin.string(), bytes, timed, "bench_convert");
    vsdl::bench::ChildRun best;
    long peakKiB = 0;
    std::uintmax_t prnBytes = 0, csvBytes = 0;
    double floor = 0;
    std::error_code ec;
    for (int round = 0; round < 3; ++round) {
        const vsdl::bench::ChildRun run =
            vsdl::bench::RunChild(VSDL_EXE, {"convert", "-q", bin.string()});
        if (round == 0 || run.seconds < best.seconds) best = run;
        peakKiB = std::max(peakKiB, run.peakKiB);
        prnBytes = fs::file_size(prn, ec);
        csvBytes = fs::file_size(csv, ec);
        fs::remove(prn, ec);
        fs::remove(csv, ec);
        const double f = Floor(dir, prnBytes, csvBytes);
        if (round == 0 || f < floor) floor = f;
    }
    fs::remove(bin, ec);
    const double outMB = static_cast<double>(prnBytes + csvBytes) / 1e6;
    std::printf("%-22s BIN %.1f MiB, %llu records, output %.1f MB (exit %d)\n", label,
                static_cast<double>(bytes) / (1024.0 * 1024.0),
                static_cast<unsigned long long>(records), outMB, best.status);
    std::printf("  vsdl convert: %.2f s, %.2f M records/s, %.0f MB/s output, peak RSS %.1f MiB\n",
                best.seconds, static_cast<double>(records) / best.seconds / 1e6,
                outMB / best.seconds, static_cast<double>(peakKiB) / 1024.0);
    std::printf("  I/O floor:    %.2f s, %.0f MB/s  -> conversion takes %.2fx the floor\n", floor,
                outMB / floor, best.seconds / floor);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "--images") {
        const fs::path dir = argv[2];
        const std::uint64_t bytes = (argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 4) << 20;
        vsdl::bench::GenerateImage((dir / "UNTIMED2.BIN").string(), bytes, false, "bench_convert");
        vsdl::bench::GenerateImage((dir / "TIMED7.BIN").string(), bytes, true, "bench_convert");
        return 0;
    }
#ifdef _WIN32
    std::puts("bench_convert: measures through posix_spawn/wait4; not available on Windows");
    return 0;
#else
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 64;
    std::random_device rd;
    const fs::path dir = fs::temp_directory_path() / ("vsdl-bench-" + std::to_string(rd()));
    fs::create_directories(dir);
    Measure(dir, "untimed 2-byte", false, mib * 1024 * 1024);
    Measure(dir, "timed 7-byte + temp", true, mib * 1024 * 1024);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
#endif
}
