#include <array>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "node_layout.h"
#include "sunblind_items.h"

using namespace sunblind;

namespace {

const CBitConverter conv;
using Buffer = std::array<BYTE_T, kValueBufferSize>;
using Bytes = std::vector<int>;

static_assert(sizeof layout::kFields / sizeof *layout::kFields == kFieldCount, "one place per field");
const layout::Field* const kPlace = layout::kFields;

std::string Shown(Field f, Bytes bytes) {
    Buffer rec{};
    for (size_t i = 0; i < bytes.size(); ++i) rec[1 + kPlace[f].offset + i] = BYTE_T(bytes[i]);
    return DecodeBlock(conv, rec.data(), 1).text[f];
}

Bytes Stored(Field f, const std::string& text) {
    Buffer rec;
    rec.fill(0xA5);
    BlockValues v;
    v.text.fill("0");
    v.text[f] = text;
    EncodeBlock(conv, rec.data(), 15, v);
    Bytes out;
    for (int i = 0; i < kPlace[f].bytes; ++i) out.push_back(rec[15 + kPlace[f].offset + i]);
    return out;
}

TEST(SunblindItems, ShowsStoredValues) {
    struct Case { Field f; Bytes bytes; const char* shown; } cases[] = {
        {DownSetpoint, {0x01, 0xF4}, "500"}, {DownSetpoint, {0xFF, 0xFF}, "65535"},
        {UpSetpoint, {0x11, 0x70}, "4464"}, {TimeBeforeDown, {0x00, 0x7B}, "12.3"},
        {TimeBeforeUp, {0xFF, 0xFF}, "6553.5"}, {PushTimeShort, {0xF6}, "-1.0"},
        {PushTimeShort, {0xC8}, "-5.6"}, {PushTimeLong, {0x80}, "-12.8"},
        {TopLevel, {0x2C}, "22.0"}, {BottomLevel, {0x91}, "72.5"},
    };
    for (const Case& c : cases) EXPECT_EQ(Shown(c.f, c.bytes), c.shown) << c.f;
    const BYTE_T word[2] = {0x00, 0x7B}, level[1] = {0x91};
    EXPECT_EQ(DecodeTopDownTime(conv, word), "12.3");
    EXPECT_EQ(DecodeLuxLevel(conv, word), "123");
    EXPECT_EQ(DecodeActualLevel(conv, level), "72.5");
}

TEST(SunblindItems, StoresEditedTexts) {
    const std::string ones(10000, '1'), padded = std::string(10000, '0') + "123";
    struct Case { Field f; std::string text; Bytes bytes; } cases[] = {
        {DownSetpoint, "500", {0x01, 0xF4}}, {DownSetpoint, "70000", {0x11, 0x70}},
        {DownSetpoint, "-5", {0xFF, 0xFB}}, {UpSetpoint, "", {0, 0}}, {UpSetpoint, "abc", {0, 0}},
        {TimeBeforeDown, "12.34", {0x00, 0x7B}}, {TimeBeforeDown, "  12.34xyz", {0x00, 0x7B}},
        {TimeBeforeUp, "6553.5", {0xFF, 0xFF}}, {PushTimeShort, "20", {0xC8}},
        {PushTimeShort, "-0.05", {0x00}}, {PushTimeLong, "-12.8", {0x80}},
        {TopLevel, "100", {0xC8}}, {TopLevel, "150", {0x2C}}, {BottomLevel, "99.9", {0xC7}},
        {DownSetpoint, "1e400", {0, 0}}, {DownSetpoint, "-inf", {0, 0}}, {DownSetpoint, "nan", {0, 0}},
        {DownSetpoint, "0x1A", {0x00, 0x1A}}, {DownSetpoint, "+5", {0x00, 0x05}},
        {DownSetpoint, " \t\n7", {0x00, 0x07}}, {DownSetpoint, ones, {0, 0}},
        {DownSetpoint, padded, {0x00, 0x7B}}, {TimeBeforeUp, "1e-400", {0, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(Stored(c.f, c.text), c.bytes) << c.f << " " << c.text.substr(0, 20);
    BYTE_T word[3] = {0x00, 0x7B, 0x5C};
    EncodeTopDownTime(conv, word, DecodeTopDownTime(conv, word));  // unedited write
    EXPECT_EQ(word[0], 0x00);
    EXPECT_EQ(word[1], 0x7B);
    EXPECT_EQ(word[2], 0x5C);
}

// Every stored value of every field survives decode, format, text to real
// and encode unchanged.
TEST(SunblindItems, EveryStoredValueRoundTrips) {
    for (int v = 0; v < 65536; ++v) {
        Buffer rec, back;
        for (int i = 0; i < kValueBufferSize; i += 2) {
            rec[i] = BYTE_T(v >> 8);
            rec[i + 1] = BYTE_T(v);
        }
        rec[1 + 8] = rec[1 + 9] = rec[1 + 12] = rec[1 + 13] = BYTE_T(v);  // all 256 bytes too
        back.fill(BYTE_T(~v));
        EncodeBlock(conv, back.data(), 1, DecodeBlock(conv, rec.data(), 1));
        EncodeTopDownTime(conv, back.data() + 16, DecodeTopDownTime(conv, rec.data()));
        ASSERT_TRUE(std::equal(rec.begin() + 1, rec.begin() + 15, back.begin() + 1)) << v;
        ASSERT_TRUE(back[16] == rec[0] && back[17] == rec[1]) << v;
    }
}

// Per channel: items, and the only bytes that a write of its settings changes.
TEST(SunblindItems, ChannelWritesOnlyItsOwnBytes) {
    std::mt19937 rng(7);
    for (const layout::Channel& c : layout::kChannels) {
        const Channel& ch = ChannelInfo(c.number);
        EXPECT_TRUE(ch.number == c.number && ch.driveTimeItem == c.driveTimeItem && ch.settingsRecord == c.record &&
                    ch.blockStart == c.block && ch.localLuxItem == c.localLuxItem && ch.levelItem == c.levelItem)
            << c.number;
        for (int round = 0; round < 50; ++round) {
            Buffer r21, r22;
            for (auto& b : r21) b = BYTE_T(rng());
            for (auto& b : r22) b = BYTE_T(rng());
            const Buffer old21 = r21, old22 = r22;
            BYTE_T* rec = c.record == 21 ? r21.data() : r22.data();
            Buffer src;  // the block to write, as the page would show it
            for (auto& b : src) b = BYTE_T(rng());
            src[c.block + layout::kLevelSourceOffset] = BYTE_T(rng() % 4);
            src[c.block + layout::kOverrideSourceOffset] = BYTE_T(rng() % 4);
            const bool common = rng() & 1;
            EncodeLuxSource(conv, r21.data(), c.number, common);
            EncodeBlock(conv, rec, c.block, DecodeBlock(conv, src.data(), c.block));
            EXPECT_EQ(r21[0], (old21[0] & ~c.luxBit) | (common ? c.luxBit : 0));
            EXPECT_EQ(DecodeLuxSourceCommon(conv, r21.data(), c.number), common);
            for (int i = 1; i < kValueBufferSize; ++i) {
                const bool owned = i >= c.block && i < c.block + layout::kBlockSize;
                const BYTE_T want21 = owned && c.record == 21 ? src[i] : old21[i];
                const BYTE_T want22 = owned && c.record == 22 ? src[i] : old22[i];
                ASSERT_TRUE(r21[i] == want21 && r22[i] == want22) << c.number << " byte " << i;
            }
            ASSERT_EQ(r22[0], old22[0]);
        }
    }
    const BYTE_T flags = 0x05;
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(DecodeLuxSourceCommon(conv, &flags, n), n % 2 == 1) << n;
}

TEST(SunblindItems, RejectsBadChannelAndBlock) {
    Buffer rec{};
    for (int bad : {0, 5, -1}) {
        EXPECT_THROW(ChannelInfo(bad), std::out_of_range);
        EXPECT_THROW(EncodeLuxSource(conv, rec.data(), bad, true), std::out_of_range);
        EXPECT_THROW(DecodeLuxSourceCommon(conv, rec.data(), bad), std::out_of_range);
    }
    EXPECT_THROW(DecodeBlock(conv, rec.data(), 19), std::out_of_range);
    EXPECT_THROW(EncodeBlock(conv, rec.data(), -1, BlockValues{}), std::out_of_range);
    EXPECT_THROW(DecodeTopDownTime(conv, nullptr), std::invalid_argument);
    EXPECT_EQ(rec, Buffer{});
}

TEST(SunblindItems, CheckBoxCodes) {
    struct Case { int local, common, code; } cases[] = {
        {1, 1, 3}, {0, 1, 2}, {1, 0, 1}, {0, 0, 0}, {2, 1, 0}, {1, 2, 0}, {-1, 0, 0}, {2, 2, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(CodeFromChecks(c.local, c.common), c.code) << c.local << c.common;
    for (int code = -2; code <= 6; ++code) {
        int local = 7, common = 7;
        const bool valid = code >= 0 && code <= 3;
        EXPECT_EQ(ChecksFromCode(code, local, common), valid) << code;
        EXPECT_EQ(local, valid ? code & 1 : 7) << code;
        EXPECT_EQ(common, valid ? code >> 1 : 7) << code;
        if (valid) {
            EXPECT_EQ(CodeFromChecks(local, common), code);
        }
    }
}

}  // namespace
