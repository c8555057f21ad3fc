// The node's data as the network sees it: a name and a byte image of every
// item, with the item layout of the sunblind controller. Platform-free, so the
// simulation and the node file are tested natively.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace brmodel {

constexpr std::size_t kItemSize = 32;   // every item image is kept at this size
constexpr std::size_t kRecordSize = 31; // parameter records 21 and 22
constexpr std::size_t kNameSize = 50;

using Bytes = std::vector<std::uint8_t>;
using Items = std::map<long, Bytes>;

struct Image {
    std::string name;
    Items items;  // every index of AllItems(), each kItemSize bytes
    bool operator==(const Image& o) const { return name == o.name && items == o.items; }
};

// Item indices per channel (1..4).
struct ChannelItems {
    long driveTime;   // bytes 0-1: TopDownTime, u16 BE, 0.1 s
    long record;      // parameter record holding the channel block
    int block;        // first byte of the 14-byte block in that record
    std::uint8_t luxBit;  // record 21 byte 0: 1 = common lux, 0 = local
    long localLux;
    long level;       // byte 0: actual level, 0.5 %
};
constexpr long kCommonLux = 23;
constexpr long kFlagRecord = 21;
const ChannelItems& Channel(int n);   // n = 1..4
const std::vector<long>& AllItems();  // sorted

// One channel's settings in engineering units.
struct Settings {
    double topDownTime = 0;     // s
    bool commonLux = false;
    unsigned downSetpoint = 0;  // lux
    unsigned upSetpoint = 0;    // lux
    double timeBeforeDown = 0;  // s
    double timeBeforeUp = 0;    // s
    double pushTimeLong = 0;    // s, signed
    double pushTimeShort = 0;   // s, signed
    int levelSource = 0;
    int overrideSource = 0;
    double topLevel = 0;        // %
    double bottomLevel = 0;     // %
};

// Reads / stores channel n's settings from / into the item images, touching
// only the bytes that belong to the channel. Missing items read as zero.
Settings GetSettings(const Items& items, int n);
void PutSettings(Items& items, int n, const Settings& s);

unsigned GetU16(const Items& items, long index, int at = 0);
void PutU16(Items& items, long index, unsigned value, int at = 0);

// Every item present at kItemSize, all zero.
Image BlankImage();
// The embedded default node: the name "Sunblind controller <number>", blinds
// up, lux at the start of the simulated day; node 1 with sensible settings
// for its four channels, the others of a network with the controller's
// factory settings, as not yet commissioned (the settings to copy to them).
Image DefaultImage(int number = 1);

}  // namespace brmodel
