#include "nodeimage.h"

#include <cmath>

namespace brmodel {

namespace {

const ChannelItems kChannels[4] = {
    {30, 21, 1, 0x01, 24, 13},
    {31, 21, 15, 0x02, 25, 14},
    {33, 22, 1, 0x04, 26, 18},
    {32, 22, 15, 0x08, 27, 17},
};

Bytes& At(Items& items, long index) {
    Bytes& b = items[index];
    if (b.size() < kItemSize) b.resize(kItemSize, 0);
    return b;
}

std::uint8_t Get(const Items& items, long index, int at) {
    auto it = items.find(index);
    if (it == items.end() || static_cast<std::size_t>(at) >= it->second.size()) return 0;
    return it->second[static_cast<std::size_t>(at)];
}

// Stored units are whole numbers; values are truncated toward zero and kept
// to the field's width, as the node stores them.
std::uint8_t Byte(double v) { return static_cast<std::uint8_t>(static_cast<long long>(std::trunc(v)) & 0xFF); }
unsigned Word(double v) { return static_cast<unsigned>(static_cast<long long>(std::trunc(v)) & 0xFFFF); }

}  // namespace

const ChannelItems& Channel(int n) { return kChannels[(n < 1 ? 1 : n > 4 ? 4 : n) - 1]; }

const std::vector<long>& AllItems() {
    static const std::vector<long> all = {13, 14, 17, 18, 21, 22, 23, 24, 25, 26, 27, 30, 31, 32, 33};
    return all;
}

unsigned GetU16(const Items& items, long index, int at) {
    return static_cast<unsigned>(Get(items, index, at)) << 8 | Get(items, index, at + 1);
}

void PutU16(Items& items, long index, unsigned value, int at) {
    Bytes& b = At(items, index);
    b[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(value >> 8 & 0xFF);
    b[static_cast<std::size_t>(at) + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

Settings GetSettings(const Items& items, int n) {
    const ChannelItems& c = Channel(n);
    const long r = c.record;
    const int b = c.block;
    Settings s;
    s.topDownTime = GetU16(items, c.driveTime) / 10.0;
    s.commonLux = (Get(items, kFlagRecord, 0) & c.luxBit) != 0;
    s.downSetpoint = GetU16(items, r, b);
    s.upSetpoint = GetU16(items, r, b + 2);
    s.timeBeforeDown = GetU16(items, r, b + 4) / 10.0;
    s.timeBeforeUp = GetU16(items, r, b + 6) / 10.0;
    s.pushTimeLong = static_cast<std::int8_t>(Get(items, r, b + 8)) / 10.0;
    s.pushTimeShort = static_cast<std::int8_t>(Get(items, r, b + 9)) / 10.0;
    s.levelSource = static_cast<std::int8_t>(Get(items, r, b + 10));
    s.overrideSource = static_cast<std::int8_t>(Get(items, r, b + 11));
    s.topLevel = Get(items, r, b + 12) / 2.0;
    s.bottomLevel = Get(items, r, b + 13) / 2.0;
    return s;
}

void PutSettings(Items& items, int n, const Settings& s) {
    const ChannelItems& c = Channel(n);
    const long r = c.record;
    const int b = c.block;
    PutU16(items, c.driveTime, Word(s.topDownTime * 10));
    Bytes& flags = At(items, kFlagRecord);
    flags[0] = static_cast<std::uint8_t>(s.commonLux ? flags[0] | c.luxBit : flags[0] & ~c.luxBit);
    PutU16(items, r, Word(s.downSetpoint), b);
    PutU16(items, r, Word(s.upSetpoint), b + 2);
    PutU16(items, r, Word(s.timeBeforeDown * 10), b + 4);
    PutU16(items, r, Word(s.timeBeforeUp * 10), b + 6);
    Bytes& rec = At(items, r);
    rec[b + 8] = Byte(s.pushTimeLong * 10);
    rec[b + 9] = Byte(s.pushTimeShort * 10);
    rec[b + 10] = Byte(s.levelSource);
    rec[b + 11] = Byte(s.overrideSource);
    rec[b + 12] = Byte(s.topLevel * 2);
    rec[b + 13] = Byte(s.bottomLevel * 2);
}

Image BlankImage() {
    Image image;
    for (long index : AllItems()) image.items[index] = Bytes(kItemSize, 0);
    return image;
}

Image DefaultImage(int number) {
    Image image = BlankImage();
    image.name = "Sunblind controller " + std::to_string(number);
    // A building with four facades: the east and south blinds (1, 2) follow
    // the common roof sensor, west and north (3, 4) their own sensors.
    struct Row {
        bool common;
        unsigned down, up;
        double beforeDown, beforeUp, drive, top, bottom;
    } rows[4] = {
        {true, 20000, 8000, 10.0, 20.0, 40, 100, 10},
        {true, 24000, 10000, 15.0, 25.0, 50, 100, 0},
        {false, 18000, 6000, 10.0, 30.0, 45, 90, 20},
        {false, 30000, 12000, 20.0, 20.0, 60, 100, 30},
    };
    // The other nodes of a network are not commissioned yet: every channel
    // has the controller's factory settings and its own sensor.
    const Row factory = {false, 10000, 5000, 5.0, 5.0, 30, 100, 0};
    for (int n = 1; n <= 4; ++n) {
        const Row& row = number > 1 ? factory : rows[n - 1];
        Settings s;
        s.commonLux = row.common;
        s.downSetpoint = row.down;
        s.upSetpoint = row.up;
        s.timeBeforeDown = row.beforeDown;
        s.timeBeforeUp = row.beforeUp;
        s.topDownTime = row.drive;
        s.pushTimeLong = 1.0;
        s.pushTimeShort = 0.3;
        s.levelSource = 1;     // Local
        s.overrideSource = 2;  // Common
        s.topLevel = row.top;
        s.bottomLevel = row.bottom;
        PutSettings(image.items, n, s);
        image.items[Channel(n).level][0] = static_cast<std::uint8_t>(row.top * 2);  // blinds up
    }
    PutU16(image.items, kCommonLux, 14000);
    for (int n = 1; n <= 4; ++n) PutU16(image.items, Channel(n).localLux, 12000);
    return image;
}

}  // namespace brmodel
