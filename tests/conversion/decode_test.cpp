// The record decoders against the bit patterns of the logger's records.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "conversion/modConvert.h"
#include "instrument/BinBuilder.h"

namespace {

using I = std::int16_t;

template <std::size_t N>
std::array<int, N> Widen(const std::array<I, N>& fields) {
    std::array<int, N> out{};
    for (std::size_t i = 0; i < N; ++i) out[i] = fields[i];
    return out;
}

// Each decoder's fields in the order of its parameters.
std::array<I, 9> Six(I b0, I b1, I b2, I b3, I b4, I b5) {
    std::array<I, 9> f{};
    Unpack6Byte(b0, b1, b2, b3, b4, b5, f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8]);
    return f;
}

std::array<I, 11> Seven(I b0, I b1, I b2, I b3, I b4, I b5, I b6) {
    std::array<I, 11> f{};
    Unpack7Byte(b0, b1, b2, b3, b4, b5, b6, f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8],
                f[9], f[10]);
    return f;
}

std::array<I, 5> Three(I b0, I b1, I b2) {
    std::array<I, 5> f{};
    Unpack3Byte(b0, b1, b2, f[0], f[1], f[2], f[3], f[4]);
    return f;
}

std::array<I, 3> Two(I b0, I b1) {
    std::array<I, 3> f{};
    Unpack2Byte(b0, b1, f[0], f[1], f[2]);
    return f;
}

TEST(Decoders, SixBytesAlternatingOnesAndZeros) {
    EXPECT_EQ(Six(170, 170, 170, 170, 170, 170),
              (std::array<I, 9>{21, 21, 21, 5, 10, 42, 0, 2, 682}));
    EXPECT_EQ(Six(85, 85, 85, 85, 85, 85), (std::array<I, 9>{10, 42, 42, 10, 21, 21, 1, 1, 341}));
}

TEST(Decoders, SevenBytesAlternatingOnesAndZeros) {
    EXPECT_EQ(Seven(170, 170, 170, 170, 170, 170, 170),
              (std::array<I, 11>{21, 21, 21, 5, 10, 42, 682, 1, 0, 2, 682}));
    EXPECT_EQ(Seven(85, 85, 85, 85, 85, 85, 85),
              (std::array<I, 11>{10, 42, 42, 10, 21, 21, 341, 0, 1, 1, 341}));
}

TEST(Decoders, TwoByteFields) {
    EXPECT_EQ(Two(0x03, 0xFF), (std::array<I, 3>{0, 0, 1023}));
    EXPECT_EQ(Two(0x0F, 0xFF), (std::array<I, 3>{0, 3, 1023}));
    EXPECT_EQ(Two(0x1C, 0x05), (std::array<I, 3>{1, 3, 5}));
    // Bits 7-5 of the first byte carry nothing.
    EXPECT_EQ(Two(0xE0 | 0x1C, 0x05), (std::array<I, 3>{1, 3, 5}));
}

TEST(Decoders, ThreeByteFields) {
    // 253 tenths = 0011111101: b1 = 00111111, b2 bits 7-6 = 01; Fahrenheit; 1.23.
    EXPECT_EQ(Three(0x3F, 0x40 | 0x20 | 0x08, 123), (std::array<I, 5>{253, 1, 0, 2, 123}));
    EXPECT_EQ(Three(0xFF, 0xFF, 0xFF), (std::array<I, 5>{1023, 1, 1, 3, 1023}));
    EXPECT_EQ(Three(0, 0, 0), (std::array<I, 5>{0, 0, 0, 0, 0}));
}

TEST(Decoders, TimeStampFieldsEachAtTheirBits) {
    // One field at a time at its maximum: no field may leak into a neighbour (nor into the
    // reading, which stays zero).
    EXPECT_EQ(Six(0xF8, 0, 0, 0, 0, 0), (std::array<I, 9>{31, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Six(0x07, 0xE0, 0, 0, 0, 0), (std::array<I, 9>{0, 63, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Six(0, 0x1F, 0x80, 0, 0, 0), (std::array<I, 9>{0, 0, 63, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Six(0, 0, 0x78, 0, 0, 0), (std::array<I, 9>{0, 0, 0, 15, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Six(0, 0, 0x07, 0xC0, 0, 0), (std::array<I, 9>{0, 0, 0, 0, 31, 0, 0, 0, 0}));
    EXPECT_EQ(Six(0, 0, 0, 0x3F, 0, 0), (std::array<I, 9>{0, 0, 0, 0, 0, 63, 0, 0, 0}));
}

// The sample builder packs what the decoders unpack, field for field, for every length.
TEST(Decoders, BuilderPacksWhatTheDecodersRead) {
    using vsdl::instrument::sample::PackRecord;
    using vsdl::instrument::sample::RecordFields;
    const RecordFields f{23, 59, 58, 12, 31, 63, 1023, 1, 1, 3, 1023};
    const RecordFields g{7, 5, 9, 2, 29, 10, 253, 0, 0, 2, 123};
    for (const RecordFields& in : {f, g}) {
        const auto b7 = PackRecord(7, in);
        ASSERT_EQ(b7.size(), 7u);
        EXPECT_EQ(Widen(Seven(b7[0], b7[1], b7[2], b7[3], b7[4], b7[5], b7[6])),
                  (std::array<int, 11>{in.hour, in.minute, in.second, in.month, in.day,
                                       in.yearOffset, in.tempTenths, in.fahrenheit, in.negative,
                                       in.decimals, in.reading}));
        const auto b6 = PackRecord(6, in);
        ASSERT_EQ(b6.size(), 6u);
        EXPECT_EQ(Widen(Six(b6[0], b6[1], b6[2], b6[3], b6[4], b6[5])),
                  (std::array<int, 9>{in.hour, in.minute, in.second, in.month, in.day,
                                      in.yearOffset, in.negative, in.decimals, in.reading}));
        const auto b3 = PackRecord(3, in);
        ASSERT_EQ(b3.size(), 3u);
        EXPECT_EQ(Widen(Three(b3[0], b3[1], b3[2])),
                  (std::array<int, 5>{in.tempTenths, in.fahrenheit, in.negative, in.decimals,
                                      in.reading}));
        const auto b2 = PackRecord(2, in);
        ASSERT_EQ(b2.size(), 2u);
        EXPECT_EQ(Widen(Two(b2[0], b2[1])),
                  (std::array<int, 3>{in.negative, in.decimals, in.reading}));
    }
}

}  // namespace
