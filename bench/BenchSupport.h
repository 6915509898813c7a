// Helpers shared by the benchmarks: writing a large one-way BIN image piece by piece without
// holding it in memory, the wandering readings its records carry, and running vsdl as a child
// process with its times and peak memory.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifndef _WIN32
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
extern char** environ;
#endif

#include "conversion/ConvertCore.h"
#include "conversion/RunningTime.h"
#include "instrument/BinBuilder.h"

namespace vsdl::bench {

// Bytes of a one-way image around its records: file header, set header, end mark.
inline constexpr std::uint64_t kOneSetOverhead = 4 + 17 + 6;

// One step of a reading that wanders in small steps within 0..1023, driven by `lcg`.
inline int NextReading(std::uint32_t& lcg, int reading) {
    lcg = lcg * 1103515245u + 12345u;
    return std::clamp(reading + static_cast<int>((lcg >> 16) % 7) - 3, 0, 1023);
}

// A one-way image with one data set starting 1/1/20 00:00:00 at interval code 0: the headers
// go out on construction, records through Append(), and Finish() writes the end mark and puts
// the last record's time into the set header. Exits the benchmark when the file cannot be made.
class BinWriter {
  public:
    BinWriter(const std::string& path, bool timed, const char* who)
        : out_(std::fopen(path.c_str(), "wb")) {
        if (out_ == nullptr) {
            std::fprintf(stderr, "%s: cannot create the BIN file %s\n", who, path.c_str());
            std::exit(1);
        }
        const std::uint8_t sync = timed ? 0x3C : 0xC3;
        const std::uint8_t head[4] = {sync, sync, sync, 1};
        std::fwrite(head, 1, sizeof head, out_);
        // The set's end time (bytes 7-12) is patched in by Finish().
        const std::uint8_t set[17] = {
            1, 1, 1, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(timed ? 1 : 0),
            1, 3};
        std::fwrite(set, 1, sizeof set, out_);
        buffer_.reserve(kFlushAt);
    }
    BinWriter(const BinWriter&) = delete;
    BinWriter& operator=(const BinWriter&) = delete;
    ~BinWriter() {
        if (out_ != nullptr) std::fclose(out_);
    }

    void Append(const std::uint8_t* bytes, std::size_t count) {
        buffer_.insert(buffer_.end(), bytes, bytes + count);
        if (buffer_.size() >= kFlushAt) Flush();
    }

    void Finish(const conversion::RunningTime& last) {
        Flush();
        const std::uint8_t endMark[6] = {0xC9, 0x96, 0x6C, 0xA5, 0x5A, 0xC3};
        std::fwrite(endMark, 1, sizeof endMark, out_);
        const std::uint8_t end[6] = {
            static_cast<std::uint8_t>(last.month()),      static_cast<std::uint8_t>(last.day()),
            static_cast<std::uint8_t>(last.year() % 100), static_cast<std::uint8_t>(last.hour()),
            static_cast<std::uint8_t>(last.minute()),     static_cast<std::uint8_t>(last.second())};
        std::fseek(out_, 4 + 7, SEEK_SET);
        std::fwrite(end, 1, sizeof end, out_);
        std::fclose(out_);
        out_ = nullptr;
    }

  private:
    static constexpr std::size_t kFlushAt = 1 << 20;

    void Flush() {
        std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
        buffer_.clear();
    }

    std::FILE* out_;
    std::vector<std::uint8_t> buffer_;
};

// One one-way data set that fills `bytes` (untimed 2-byte records, or timed 7-byte records
// with a temperature), readings wandering in small steps, its end time the last record's,
// then the end mark. Returns the number of records.
inline std::uint64_t GenerateImage(const std::string& path, std::uint64_t bytes, bool timed,
                                   const char* who) {
    const int length = timed ? 7 : 2;
    const std::uint64_t records = (bytes - kOneSetOverhead) / static_cast<std::uint64_t>(length);
    BinWriter out(path, timed, who);
    conversion::RunningTime clock;
    clock.Set(1, 1, 20, 0, 0, 0);
    std::uint32_t lcg = 7;
    int reading = 500;
    conversion::RunningTime last = clock;
    for (std::uint64_t i = 0; i < records; ++i) {
        reading = NextReading(lcg, reading);
        instrument::sample::RecordFields f;
        f.hour = clock.hour();
        f.minute = clock.minute();
        f.second = clock.second();
        f.month = clock.month();
        f.day = clock.day();
        f.yearOffset = clock.year() - 1990;
        f.tempTenths = 200 + static_cast<int>((lcg >> 8) % 60);
        f.fahrenheit = static_cast<int>((i / 1000) % 2);
        f.negative = (i % 97) == 0 ? 1 : 0;
        f.decimals = static_cast<int>((i / 5000) % 4);
        f.reading = reading;
        const auto packed = instrument::sample::PackRecord(length, f);
        out.Append(packed.data(), static_cast<std::size_t>(length));
        last = clock;
        clock.Add(1);  // interval code 0: one second
    }
    out.Finish(last);
    return records;
}

struct ChildRun {
    double seconds = 0;     // wall time
    double cpuSeconds = 0;  // user + system time of the child
    long peakKiB = 0;       // the child's peak resident memory
    int status = -1;
};

// Runs `exe` with `args` and waits for it (POSIX only; on Windows status stays -1).
inline ChildRun RunChild(const std::string& exe, const std::vector<std::string>& args) {
    ChildRun run;
#ifndef _WIN32
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto secs = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    run.cpuSeconds = secs(usage.ru_utime) + secs(usage.ru_stime);
    run.peakKiB = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#else
    (void)exe;
    (void)args;
#endif
    return run;
}

}  // namespace vsdl::bench
