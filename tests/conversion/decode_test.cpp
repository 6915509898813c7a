// The record decoders against the bit patterns of the logger's records.
#include <gtest/gtest.h>

#include "conversion/BinBuilder.h"
#include "conversion/modConvert.h"

namespace {

using I = std::int16_t;

struct Stamp {
    I hour, minute, second, month, day, yearOffset;
};

TEST(Decoders, SixBytesAlternatingOnesAndZeros) {
    I h, mi, s, mo, d, y, neg, dec, rd;
    Unpack6Byte(170, 170, 170, 170, 170, 170, h, mi, s, mo, d, y, neg, dec, rd);
    EXPECT_EQ((std::array<I, 9>{h, mi, s, mo, d, y, neg, dec, rd}),
              (std::array<I, 9>{21, 21, 21, 5, 10, 42, 0, 2, 682}));
    Unpack6Byte(85, 85, 85, 85, 85, 85, h, mi, s, mo, d, y, neg, dec, rd);
    EXPECT_EQ((std::array<I, 9>{h, mi, s, mo, d, y, neg, dec, rd}),
              (std::array<I, 9>{10, 42, 42, 10, 21, 21, 1, 1, 341}));
}

TEST(Decoders, SevenBytesAlternatingOnesAndZeros) {
    I h, mi, s, mo, d, y, t, f, neg, dec, rd;
    Unpack7Byte(170, 170, 170, 170, 170, 170, 170, h, mi, s, mo, d, y, t, f, neg, dec, rd);
    EXPECT_EQ((std::array<I, 11>{h, mi, s, mo, d, y, t, f, neg, dec, rd}),
              (std::array<I, 11>{21, 21, 21, 5, 10, 42, 682, 1, 0, 2, 682}));
    Unpack7Byte(85, 85, 85, 85, 85, 85, 85, h, mi, s, mo, d, y, t, f, neg, dec, rd);
    EXPECT_EQ((std::array<I, 11>{h, mi, s, mo, d, y, t, f, neg, dec, rd}),
              (std::array<I, 11>{10, 42, 42, 10, 21, 21, 341, 0, 1, 1, 341}));
}

TEST(Decoders, TwoByteFields) {
    I neg, dec, rd;
    Unpack2Byte(0x03, 0xFF, neg, dec, rd);
    EXPECT_EQ((std::array<I, 3>{neg, dec, rd}), (std::array<I, 3>{0, 0, 1023}));
    Unpack2Byte(0x0F, 0xFF, neg, dec, rd);
    EXPECT_EQ((std::array<I, 3>{neg, dec, rd}), (std::array<I, 3>{0, 3, 1023}));
    Unpack2Byte(0x1C, 0x05, neg, dec, rd);
    EXPECT_EQ((std::array<I, 3>{neg, dec, rd}), (std::array<I, 3>{1, 3, 5}));
    // Bits 7-5 of the first byte carry nothing.
    Unpack2Byte(0xE0 | 0x1C, 0x05, neg, dec, rd);
    EXPECT_EQ((std::array<I, 3>{neg, dec, rd}), (std::array<I, 3>{1, 3, 5}));
}

TEST(Decoders, ThreeByteFields) {
    I t, f, neg, dec, rd;
    // 253 tenths = 0011111101: b1 = 00111111, b2 bits 7-6 = 01; Fahrenheit; 1.23.
    Unpack3Byte(0x3F, 0x40 | 0x20 | 0x08, 123, t, f, neg, dec, rd);
    EXPECT_EQ((std::array<I, 5>{t, f, neg, dec, rd}), (std::array<I, 5>{253, 1, 0, 2, 123}));
    Unpack3Byte(0xFF, 0xFF, 0xFF, t, f, neg, dec, rd);
    EXPECT_EQ((std::array<I, 5>{t, f, neg, dec, rd}), (std::array<I, 5>{1023, 1, 1, 3, 1023}));
    Unpack3Byte(0, 0, 0, t, f, neg, dec, rd);
    EXPECT_EQ((std::array<I, 5>{t, f, neg, dec, rd}), (std::array<I, 5>{0, 0, 0, 0, 0}));
}

TEST(Decoders, TimeStampFieldsEachAtTheirBits) {
    // One field at a time at its maximum: no field may leak into a neighbour.
    I h, mi, s, mo, d, y, neg, dec, rd;
    Unpack6Byte(0xF8, 0, 0, 0, 0, 0, h, mi, s, mo, d, y, neg, dec, rd);
    EXPECT_EQ((std::array<I, 6>{h, mi, s, mo, d, y}), (std::array<I, 6>{31, 0, 0, 0, 0, 0}));
    Unpack6Byte(0x07, 0xE0, 0, 0, 0, 0, h, mi, s, mo, d, y, neg, dec, rd);
    EXPECT_EQ((std::array<I, 6>{h, mi, s, mo, d, y}), (std::array<I, 6>{0, 63, 0, 0, 0, 0}));
    Unpack6Byte(0, 0x1F, 0x80, 0, 0, 0, h, mi, s, mo, d, y, neg, dec, rd);
    EXPECT_EQ((std::array<I, 6>{h, mi, s, mo, d, y}), (std::array<I, 6>{0, 0, 63, 0, 0, 0}));
    Unpack6Byte(0, 0, 0x78, 0, 0, 0, h, mi, s, mo, d, y, neg, dec, rd);
    EXPECT_EQ((std::array<I, 6>{h, mi, s, mo, d, y}), (std::array<I, 6>{0, 0, 0, 15, 0, 0}));
    Unpack6Byte(0, 0, 0x07, 0xC0, 0, 0, h, mi, s, mo, d, y, neg, dec, rd);
    EXPECT_EQ((std::array<I, 6>{h, mi, s, mo, d, y}), (std::array<I, 6>{0, 0, 0, 0, 31, 0}));
    Unpack6Byte(0, 0, 0, 0x3F, 0, 0, h, mi, s, mo, d, y, neg, dec, rd);
    EXPECT_EQ((std::array<I, 6>{h, mi, s, mo, d, y}), (std::array<I, 6>{0, 0, 0, 0, 0, 63}));
}

// The sample builder packs what the decoders unpack, field for field, for every length.
TEST(Decoders, BuilderPacksWhatTheDecodersRead) {
    using vsdl::conversion::sample::PackRecord;
    using vsdl::conversion::sample::RecordFields;
    const RecordFields f{23, 59, 58, 12, 31, 63, 1023, 1, 1, 3, 1023};
    const RecordFields g{7, 5, 9, 2, 29, 10, 253, 0, 0, 2, 123};
    for (const RecordFields& in : {f, g}) {
        const auto b7 = PackRecord(7, in);
        ASSERT_EQ(b7.size(), 7u);
        I h, mi, s, mo, d, y, t, fa, neg, dec, rd;
        Unpack7Byte(b7[0], b7[1], b7[2], b7[3], b7[4], b7[5], b7[6], h, mi, s, mo, d, y, t, fa, neg,
                    dec, rd);
        EXPECT_EQ((std::array<int, 11>{h, mi, s, mo, d, y, t, fa, neg, dec, rd}),
                  (std::array<int, 11>{in.hour, in.minute, in.second, in.month, in.day,
                                       in.yearOffset, in.tempTenths, in.fahrenheit, in.negative,
                                       in.decimals, in.reading}));
        const auto b6 = PackRecord(6, in);
        ASSERT_EQ(b6.size(), 6u);
        Unpack6Byte(b6[0], b6[1], b6[2], b6[3], b6[4], b6[5], h, mi, s, mo, d, y, neg, dec, rd);
        EXPECT_EQ((std::array<int, 9>{h, mi, s, mo, d, y, neg, dec, rd}),
                  (std::array<int, 9>{in.hour, in.minute, in.second, in.month, in.day,
                                      in.yearOffset, in.negative, in.decimals, in.reading}));
        const auto b3 = PackRecord(3, in);
        ASSERT_EQ(b3.size(), 3u);
        Unpack3Byte(b3[0], b3[1], b3[2], t, fa, neg, dec, rd);
        EXPECT_EQ((std::array<int, 5>{t, fa, neg, dec, rd}),
                  (std::array<int, 5>{in.tempTenths, in.fahrenheit, in.negative, in.decimals,
                                      in.reading}));
        const auto b2 = PackRecord(2, in);
        ASSERT_EQ(b2.size(), 2u);
        Unpack2Byte(b2[0], b2[1], neg, dec, rd);
        EXPECT_EQ((std::array<int, 3>{neg, dec, rd}),
                  (std::array<int, 3>{in.negative, in.decimals, in.reading}));
    }
}

}  // namespace
