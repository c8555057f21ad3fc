#include "channel_schema.h"

namespace sunblind {

// The levels are shown with one decimal: with none, a level stored in half
// percent would lose its half on an unedited write.
const std::array<Setting, kSettingCount> kSettings = {{
    {"Down setpoint", Kind::Number, Place::Block, 0, 2, false, Step::Whole, 0, DownSetpoint},
    {"Up setpoint", Kind::Number, Place::Block, 2, 2, false, Step::Whole, 0, UpSetpoint},
    {"Time before down", Kind::Number, Place::Block, 4, 2, false, Step::Tenths, 1, TimeBeforeDown},
    {"Time before up", Kind::Number, Place::Block, 6, 2, false, Step::Tenths, 1, TimeBeforeUp},
    {"Push time short", Kind::Number, Place::Block, 9, 1, true, Step::Tenths, 1, PushTimeShort},
    {"Push time long", Kind::Number, Place::Block, 8, 1, true, Step::Tenths, 1, PushTimeLong},
    {"Top down time", Kind::Number, Place::DriveTime, 0, 2, false, Step::Tenths, 1, -1},
    {"Top level", Kind::Number, Place::Block, 12, 1, false, Step::Halves, 1, TopLevel},
    {"Bottum level", Kind::Number, Place::Block, 13, 1, false, Step::Halves, 1, BottomLevel},
    {"nviLux", Kind::Lux, Place::LuxBit, 0, 0, false, Step::Whole, 0, -1},
    {"nviLevel", Kind::Source, Place::Block, 10, 1, true, Step::Whole, 0, -1},
    {"nviOverrideLevel", Kind::Source, Place::Block, 11, 1, true, Step::Whole, 0, -1},
}};

bool operator==(const ChannelSettings& a, const ChannelSettings& b) {
    return a.driveTime == b.driveTime && a.luxCommon == b.luxCommon && a.block == b.block;
}

bool operator!=(const ChannelSettings& a, const ChannelSettings& b) { return !(a == b); }

namespace {

const BYTE_T* At(const ChannelSettings& s, const Setting& d) {
    return (d.place == Place::DriveTime ? s.driveTime.data() : s.block.data()) + d.offset;
}

}  // namespace

int ReadStored(const BYTE_T* p, int width, bool isSigned) {
    int v = 0;
    for (int i = 0; i < width; ++i) v = v * 256 + p[i];
    return isSigned && v >= (1 << (8 * width - 1)) ? v - (1 << (8 * width)) : v;
}

int StoredValue(const ChannelSettings& s, const Setting& d) {
    if (d.place == Place::LuxBit) return s.luxCommon ? 1 : 0;
    return ReadStored(At(s, d), d.width, d.isSigned);
}

void Store(ChannelSettings& s, const Setting& d, int value) {
    if (d.place == Place::LuxBit) {
        s.luxCommon = value != 0;
        return;
    }
    BYTE_T* p = const_cast<BYTE_T*>(At(s, d));
    for (int i = d.width - 1; i >= 0; --i, value >>= 8) p[i] = static_cast<BYTE_T>(value & 0xFF);
}

int MinStored(const Setting& d) { return d.isSigned ? -(1 << (8 * d.width - 1)) : 0; }

int MaxStored(const Setting& d) {
    if (d.place == Place::LuxBit) return 1;
    return d.isSigned ? (1 << (8 * d.width - 1)) - 1 : (1 << (8 * d.width)) - 1;
}

std::string StepText(long long stored, Step step, int decimals) {
    const long long tenths = stored * (step == Step::Whole ? 10 : step == Step::Halves ? 5 : 1);
    const long long a = tenths < 0 ? -tenths : tenths;
    const std::string sign = tenths < 0 ? "-" : "";
    if (decimals == 0) return sign + std::to_string(a / 10);  // whole units only: nothing to round
    return sign + std::to_string(a / 10) + "." + std::to_string(a % 10);
}

void EncodeNumber(const CBitConverter& conv, const Setting& d, BYTE_T* p, double x) {
    switch (d.step) {
        case Step::Whole:
            p[0] = conv.HighByte(x);
            p[1] = conv.LowByte(x);
            break;
        case Step::Tenths:
            if (d.width == 2) p[0] = conv.TenthsHighByte(x);
            p[d.width - 1] = conv.TenthsLowByte(x);
            break;
        case Step::Halves: p[0] = conv.HalvesToByte(x); break;
    }
}

}  // namespace sunblind
