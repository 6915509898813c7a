// Helpers of the conversion tests: a temporary folder, whole-file reading and writing, and a
// conversion of bytes in memory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "conversion/ConvertCore.h"
#include "conversion/Failures.h"
#include "conversion/HeaderTexts.h"
#include "conversion/RecordTexts.h"
#include "conversion/RunningTime.h"
#include "conversion/modConvert.h"
#include "instrument/BinBuilder.h"

namespace vsdl::conversion::testing {

namespace sample = vsdl::instrument::sample;

class TempDir {
  public:
    TempDir() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("vsdl-conv-" + std::to_string(rd()) + "-" + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Splits CR LF lines; fails the test on a bare LF or a missing final CR LF.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t eol = text.find("\r\n", pos);
        if (eol == std::string::npos) {
            ADD_FAILURE() << "text does not end in CR LF";
            break;
        }
        const std::string line = text.substr(pos, eol - pos);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "stray CR or LF: " << line;
        lines.push_back(line);
        pos = eol + 2;
    }
    return lines;
}

struct MemoryRun {
    ConvertResult result;
    std::string prn;
    std::string csv;
    int yields = 0;
};

inline MemoryRun Convert(const std::vector<std::uint8_t>& bytes) {
    MemoryRun run;
    MemorySource source(bytes.data(), bytes.size());
    StringSink prn, csv;
    run.result = ConvertImage(source, static_cast<std::int64_t>(bytes.size()), prn, csv, "TEST.PRN",
                              [&run](std::int64_t, std::int64_t) { ++run.yields; });
    run.prn = prn.text;
    run.csv = csv.text;
    return run;
}

inline MemoryRun Convert(const sample::Image& image) {
    return Convert(sample::Build(image));
}

// Short-hands for building images in tests.
inline sample::SetHeader Set(int number, std::array<int, 6> start, int interval,
                             int temperature = 0) {
    sample::SetHeader h;
    h.number = number;
    h.start = start;
    h.interval = interval;
    h.temperature = temperature;
    return h;
}

inline sample::SetHeader SetWithEnd(int number, std::array<int, 6> start, std::array<int, 6> end,
                                    int interval, int temperature = 0) {
    sample::SetHeader h = Set(number, start, interval, temperature);
    h.end = end;
    h.endAtLastRecord = false;
    return h;
}

inline sample::Record Rec(int reading, int decimals = 2, bool negative = false, int tempTenths = 0,
                          bool fahrenheit = false) {
    sample::Record r;
    r.reading = reading;
    r.decimals = decimals;
    r.negative = negative;
    r.tempTenths = tempTenths;
    r.fahrenheit = fahrenheit;
    return r;
}

inline sample::Image Untimed(int setCount) {
    sample::Image image;
    image.marker = {0xC3, 0xC3, 0xC3};
    image.setCount = setCount;
    return image;
}

inline sample::Image Timed(int setCount) {
    sample::Image image = Untimed(setCount);
    image.marker = {0x3C, 0x3C, 0x3C};
    return image;
}

inline const std::string kEquals(kEquals79);
inline const std::string kStars(kStars79);

}  // namespace vsdl::conversion::testing
