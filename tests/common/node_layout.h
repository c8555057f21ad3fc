// The node's byte layout as the tests know it, written out once from the
// node's description and never taken from the code under test: a fault in
// the module's or the tool's encoders cannot hide in the tests' own oracle.
// Plain data, for the native and the Windows tests alike.
#pragma once

#include <cstdint>

namespace layout {

// One sunblind channel: where its settings and readings lie on the node.
struct Channel {
    int number;            // 1-4
    long driveTimeItem;    // top down time: 16 bits big-endian, tenths of a second
    long record;           // the settings record that holds the channel's block
    int block;             // where the block starts in that record
    long levelItem;        // the blind's actual level, half percent (3 and 4 are swapped)
    long localLuxItem;     // the channel's own lux reading
    std::uint8_t luxBit;   // its "common lux" bit in byte 0 of the flag record
};
constexpr Channel kChannels[4] = {
    {1, 30, 21, 1, 13, 24, 0x01},
    {2, 31, 21, 15, 14, 25, 0x02},
    {3, 33, 22, 1, 18, 26, 0x04},
    {4, 32, 22, 15, 17, 27, 0x08},
};
constexpr long kFlagRecord = 21;     // byte 0: the channels' "common lux" bits
constexpr long kCommonLuxItem = 23;  // the lux reading shared by all channels
constexpr int kBlockSize = 14;       // bytes of a channel block

// A field of a channel block: offset in the block, bytes (2: big-endian,
// 1: the low byte, signed for the push times) and the factor the number is
// multiplied by before its integer part is stored. In the order the pages
// show them: down and up setpoint (lux), time before down and up, push time
// long and short (tenths of a second), top and bottom level (half percent).
struct Field {
    int offset, bytes;
    double factor;
};
constexpr Field kFields[8] = {
    {0, 2, 1.0}, {2, 2, 1.0}, {4, 2, 10.0}, {6, 2, 10.0}, {8, 1, 10.0}, {9, 1, 10.0}, {12, 1, 2.0}, {13, 1, 2.0},
};
// The level and override source codes (0-3: local is bit 0, common bit 1).
constexpr int kLevelSourceOffset = 10, kOverrideSourceOffset = 11;

}  // namespace layout
