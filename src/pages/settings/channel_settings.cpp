#include "channel_settings.h"

#include <algorithm>
#include <stdexcept>

#include "sunblind_items.h"

namespace sunblind {

namespace {

void RequireBuffers(const void* a, const void* b, const void* c) {
    if (!a || !b || !c) throw std::invalid_argument("sunblind: null value buffer");
}

}  // namespace

bool operator==(const ChannelSettings& a, const ChannelSettings& b) {
    return a.driveTime == b.driveTime && a.luxCommon == b.luxCommon && a.block == b.block;
}

bool operator!=(const ChannelSettings& a, const ChannelSettings& b) { return !(a == b); }

ChannelSettings TakeChannelSettings(const BYTE_T* driveTime, const BYTE_T* record21,
                                    const BYTE_T* settingsRecord, int channel) {
    const Channel& ch = ChannelInfo(channel);
    RequireBuffers(driveTime, record21, settingsRecord);
    const CBitConverter conv;
    ChannelSettings s;
    std::copy(driveTime, driveTime + 2, s.driveTime.begin());
    s.luxCommon = DecodeLuxSourceCommon(conv, record21, channel);
    std::copy(settingsRecord + ch.blockStart, settingsRecord + ch.blockStart + kChannelBlockSize,
              s.block.begin());
    return s;
}

void PutChannelSettings(const ChannelSettings& settings, BYTE_T* driveTime, BYTE_T* record21,
                        BYTE_T* settingsRecord, int channel) {
    const Channel& ch = ChannelInfo(channel);
    RequireBuffers(driveTime, record21, settingsRecord);
    if (ch.settingsRecord == kFlagRecord && settingsRecord != record21)
        throw std::invalid_argument("sunblind: channels 1 and 2 keep their block in record 21");
    const CBitConverter conv;
    std::copy(settings.driveTime.begin(), settings.driveTime.end(), driveTime);
    std::copy(settings.block.begin(), settings.block.end(), settingsRecord + ch.blockStart);
    EncodeLuxSource(conv, record21, channel, settings.luxCommon);
}

}  // namespace sunblind
