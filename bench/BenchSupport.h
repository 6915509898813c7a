// Helpers shared by the benchmarks: writing a large one-way BIN image piece by piece without
// holding it in memory, and the wandering readings its records carry.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "conversion/ConvertCore.h"
#include "conversion/RunningTime.h"

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

}  // namespace vsdl::bench
