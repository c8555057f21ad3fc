#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "converter.h"

namespace {

const CBitConverter conv;

TEST(Converter, DecodesUnsignedAndSignedBytes) {
    EXPECT_EQ(conv.BytesToWord(0x01, 0xF4), 500);
    EXPECT_EQ(conv.BytesToWord(0xFF, 0xFF), 65535);
    EXPECT_DOUBLE_EQ(conv.BytesToTenths(0xFF, 0xFF), 6553.5);
    EXPECT_EQ(conv.ByteToInt(0x7F), 127);
    EXPECT_EQ(conv.ByteToInt(0x80), -128);
    EXPECT_EQ(conv.ByteToInt(0xFF), -1);
    EXPECT_DOUBLE_EQ(conv.ByteToTenths(0xF6), -1.0);
    EXPECT_DOUBLE_EQ(conv.ByteToTenths(0x80), -12.8);
    EXPECT_EQ(conv.ByteToHalves(0x91), 72.5);
    EXPECT_EQ(conv.ByteToHalves(0xFF), 127.5);
}

TEST(Converter, EncodesIntegerPartTruncatedInTwosComplement) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case { double x; int high, low, tenthsHigh, tenthsLow, halves; } cases[] = {
        {500, 0x01, 0xF4, 0x13, 0x88, 0xE8},
        {70000, 0x11, 0x70, 0xAE, 0x60, 0xE0},
        {-5, 0xFF, 0xFB, 0xFF, 0xCE, 0xF6},
        {12.34, 0x00, 0x0C, 0x00, 0x7B, 0x18},
        {-0.05, 0, 0, 0, 0, 0},            // toward zero, not down
        {-0.4, 0, 0, 0xFF, 0xFC, 0},
        {0.7, 0, 0, 0, 7, 1},               // 7.000000000000001 in double
        {6553.5, 0x19, 0x99, 0xFF, 0xFF, 0x33},
        {4503599627375156.0, 0x12, 0x34, 0xB6, 0x08, 0x68},  // 2^52 + 0x1234: low bits kept
        {1e19, 0, 0, 0, 0, 0},              // outside signed 64-bit
        {-9223372036854775808.0, 0, 0, 0, 0, 0},
        {1e308, 0, 0, 0, 0, 0},             // x10 overflows to inf
        {inf, 0, 0, 0, 0, 0}, {-inf, 0, 0, 0, 0, 0}, {nan, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(conv.HighByte(c.x), c.high);
        EXPECT_EQ(conv.LowByte(c.x), c.low);
        EXPECT_EQ(conv.TenthsHighByte(c.x), c.tenthsHigh);
        EXPECT_EQ(conv.TenthsLowByte(c.x), c.tenthsLow);
        EXPECT_EQ(conv.HalvesToByte(c.x), c.halves);
    }
    EXPECT_EQ(conv.HalvesToByte(100), 0xC8);
    EXPECT_EQ(conv.HalvesToByte(150), 0x2C);
    EXPECT_EQ(conv.HalvesToByte(99.9), 0xC7);
}

TEST(BitConverter, IndexesFromMostSignificantBit) {
    struct Case { BYTE_T b; int index; BYTE_T set, cleared; int test; } cases[] = {
        {0x00, 0, 0x80, 0x00, 0}, {0x80, 0, 0x80, 0x00, 1}, {0x01, 7, 0x01, 0x00, 1},
        {0xFF, 3, 0xFF, 0xEF, 1}, {0x00, 9, 0x00, 0x00, 0}, {0xFF, 8, 0xFF, 0xFF, 0},
        {0xFF, -1, 0xFF, 0xFF, 0}, {0x5A, 1 << 30, 0x5A, 0x5A, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.b) << " index " << c.index);
        EXPECT_EQ(conv.SetBit(c.b, c.index), c.set);
        EXPECT_EQ(conv.ClearBit(c.b, c.index), c.cleared);
        EXPECT_EQ(conv.TestBit(c.b, c.index), c.test);
    }
}

TEST(BitConverter, ReversesEveryByte) {
    EXPECT_EQ(conv.ReverseBits(0x01), 0x80);
    EXPECT_EQ(conv.ReverseBits(0x0B), 0xD0);
    for (int b = 0; b < 256; ++b) {
        int expected = 0;
        for (int k = 0; k < 8; ++k)
            if (b & (1 << k)) expected |= 0x80 >> k;
        ASSERT_EQ(conv.ReverseBits(static_cast<BYTE_T>(b)), expected) << b;
    }
}

}  // namespace
