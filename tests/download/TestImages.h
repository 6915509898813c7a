// Memory images and instrument streams for the download tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vsdl::download::test {

inline const std::vector<std::uint8_t> kHandshake = {0xA5, 0x3C, 0x69};
inline const std::vector<std::uint8_t> kEndMarker = {0xC9, 0x96, 0x6C, 0xA5, 0x5A, 0xC3};

// An image of `size` bytes: sync mark, SetCount, a 17-byte set header, data and the end
// marker. The data never holds 0xC9, so the marker occurs only at the end.
inline std::vector<std::uint8_t> MakeImage(std::size_t size, bool timed = false,
                                           unsigned seed = 7) {
    const std::uint8_t mark = timed ? 0x3C : 0xC3;
    std::vector<std::uint8_t> image = {mark, mark, mark, 1, 1, 1, 2, 3, 4, 5, 6,
                                       1,    2,    3,    4, 5, 7, 0, 0, 0, 1};
    std::mt19937 rng(seed);
    while (image.size() + kEndMarker.size() < size) {
        const auto b = static_cast<std::uint8_t>(rng() & 0xFF);
        image.push_back(b == 0xC9 ? 0x00 : b);
    }
    image.insert(image.end(), kEndMarker.begin(), kEndMarker.end());
    return image;
}

inline std::uint8_t Checksum(const std::vector<std::uint8_t>& image, std::size_t first,
                             std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = first; i < first + count && i < image.size(); ++i) sum += image[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

// What the instrument sends for `image`: handshake, blocks each followed by its checksum
// (block `badBlock`, counted from 1, with a wrong one), the partial block and a final byte.
inline std::vector<std::uint8_t> InstrumentStream(const std::vector<std::uint8_t>& image,
                                                  int badBlock = 0, std::uint8_t finalByte = 0x5F) {
    std::vector<std::uint8_t> s = kHandshake;
    std::size_t at = 0;
    int block = 0;
    while (image.size() - at >= 1024) {
        s.insert(s.end(), image.begin() + static_cast<std::ptrdiff_t>(at),
                 image.begin() + static_cast<std::ptrdiff_t>(at + 1024));
        std::uint8_t sum = Checksum(image, at, 1024);
        if (++block == badBlock) sum = static_cast<std::uint8_t>(sum + 1);
        s.push_back(sum);
        at += 1024;
    }
    if (at < image.size()) {
        s.insert(s.end(), image.begin() + static_cast<std::ptrdiff_t>(at), image.end());
        s.push_back(finalByte);
    }
    return s;
}

}  // namespace vsdl::download::test
