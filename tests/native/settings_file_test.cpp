#include <algorithm>
#include <stdexcept>

#include <gtest/gtest.h>

#include "channel_settings.h"
#include "sunblind_items.h"

using namespace sunblind;

namespace {

using Buffer = std::array<BYTE_T, kValueBufferSize>;

ChannelSettings Make(std::array<BYTE_T, 2> drive, bool common, std::array<BYTE_T, 14> block) {
    ChannelSettings s;
    s.driveTime = drive;
    s.luxCommon = common;
    s.block = block;
    return s;
}

// Down 20000, up 15000, times before 60.0, push long 1.5 / short 0.5,
// codes Local / Common, top 100.0, bottom 0.0; drive time 120.0.
const ChannelSettings kTypical = Make({0x04, 0xB0}, false,
    {0x4E, 0x20, 0x3A, 0x98, 0x02, 0x58, 0x02, 0x58, 0x0F, 0x05, 0x01, 0x02, 0xC8, 0x00});

TEST(ChannelSettings, ChannelBuffersChangeOnlyTheChannelsBytes) {
    struct Case { int channel; int start; BYTE_T flag; } cases[] = {
        {1, 1, 0x01}, {2, 15, 0x02}, {3, 1, 0x04}, {4, 15, 0x08}};
    for (const Case& c : cases) {
        Buffer drive, r21, r22;
        drive.fill(0x11);
        r21.fill(0x5A);  // flag byte 0101 1010
        r22.fill(0x33);
        const Buffer oldDrive = drive, old21 = r21, old22 = r22;
        BYTE_T* record = c.channel <= 2 ? r21.data() : r22.data();
        const bool common = (old21[0] & c.flag) == 0;  // flip the channel's bit
        const ChannelSettings s = Make({0xAB, 0xCD}, common,
                                       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
        PutChannelSettings(s, drive.data(), r21.data(), record, c.channel);
        EXPECT_EQ(TakeChannelSettings(drive.data(), r21.data(), record, c.channel), s) << c.channel;
        EXPECT_TRUE(drive[0] == 0xAB && drive[1] == 0xCD &&
                    std::equal(drive.begin() + 2, drive.end(), oldDrive.begin() + 2));
        EXPECT_EQ(r21[0], old21[0] ^ c.flag) << c.channel;
        for (int i = 1; i < kValueBufferSize; ++i) {
            const bool own = i >= c.start && i < c.start + 14;
            const BYTE_T want = own ? BYTE_T(i - c.start + 1) : 0;
            EXPECT_EQ(r21[i], own && c.channel <= 2 ? want : old21[i]) << c.channel << " " << i;
            EXPECT_EQ(r22[i], own && c.channel > 2 ? want : old22[i]) << c.channel << " " << i;
        }
        EXPECT_EQ(r22[0], old22[0]);
    }
    Buffer a{}, b{}, d{};
    EXPECT_THROW(PutChannelSettings(kTypical, d.data(), a.data(), b.data(), 1), std::invalid_argument);
    EXPECT_THROW(PutChannelSettings(kTypical, nullptr, a.data(), b.data(), 3), std::invalid_argument);
    EXPECT_THROW(TakeChannelSettings(d.data(), a.data(), a.data(), 5), std::out_of_range);
    EXPECT_TRUE(a == Buffer{} && b == Buffer{} && d == Buffer{});
}

}  // namespace
