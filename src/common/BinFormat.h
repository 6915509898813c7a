// The BIN memory image and its road, in one place: the marks the instrument sends and the
// image holds, the download's blocks and their checksums, the temporary download file, and the
// names of the reports made from an image. The download, the conversion and the instrument
// simulator all take them from here. Standard library only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vsdl::binformat {

// The instrument's start of a download, answered byte for byte by the program.
inline constexpr std::array<std::uint8_t, 3> kHandshake{0xA5, 0x3C, 0x69};

// The sync mark, the image's first three bytes: records with a time stamp (6 or 7 bytes) or
// without one (2 or 3 bytes).
inline constexpr std::array<std::uint8_t, 3> kTimedMark{0x3C, 0x3C, 0x3C};
inline constexpr std::array<std::uint8_t, 3> kUntimedMark{0xC3, 0xC3, 0xC3};

// The end mark, the image's last six bytes.
inline constexpr std::array<std::uint8_t, 6> kEndMark{0xC9, 0x96, 0x6C, 0xA5, 0x5A, 0xC3};

// File header (sync mark and SetCount) and set header lengths: the end-mark search of the
// download begins after the first set's header.
inline constexpr std::size_t kFileHeaderSize = 4;
inline constexpr std::size_t kSetHeaderSize = 17;

// The download sends the image in blocks of this many bytes, each followed by its checksum.
inline constexpr std::size_t kBlockSize = 1024;

// A block's checksum: the low eight bits of the sum of its bytes.
inline std::uint8_t BlockChecksum(const std::uint8_t* data, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += data[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

// The temporary download file in the program folder.
inline constexpr std::string_view kTempFileName = "~tempidl.bin";

// A report's file name: the BIN file's name without its last four characters, upper-cased, and
// `extension` (".PRN" or ".CSV"): Run1.bin gives RUN1.PRN. The name must be at least four
// characters long.
std::string ReportName(std::string_view binFileName, std::string_view extension);

}  // namespace vsdl::binformat
