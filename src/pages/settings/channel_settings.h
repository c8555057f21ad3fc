// The page-owned state of one sunblind channel as the node stores it, taken
// from and put back into the value buffers of the node's items. No Win32 here.
#pragma once

#include <array>

#include "converter.h"

namespace sunblind {

constexpr int kChannelBlockSize = 14;  // a channel's block in record 21 or 22

// Raw bytes, not texts: a settings file restores exactly what was read,
// including source codes the check boxes cannot show.
struct ChannelSettings {
    std::array<BYTE_T, 2> driveTime{};              // drive time item, bytes 0-1
    bool luxCommon = false;                         // the channel's LuxSource bit
    std::array<BYTE_T, kChannelBlockSize> block{};  // at ChannelInfo(c).blockStart
};

bool operator==(const ChannelSettings& a, const ChannelSettings& b);
bool operator!=(const ChannelSettings& a, const ChannelSettings& b);

// The buffers are value buffers (kValueBufferSize) after reads of the
// channel's drive time item, record 21 and the channel's settings record.
// A null buffer throws std::invalid_argument, a channel outside 1..4
// std::out_of_range.
ChannelSettings TakeChannelSettings(const BYTE_T* driveTime, const BYTE_T* record21,
                                    const BYTE_T* settingsRecord, int channel);

// Changes only the channel's own bytes and LuxSource bit; every other byte
// stays as read, ready for the write. Channels 1 and 2 keep their block in
// record 21 itself, so for them settingsRecord must be the same buffer as
// record21 (else std::invalid_argument: two buffers for one record would
// lose either the bit or the block when both are written).
void PutChannelSettings(const ChannelSettings& settings, BYTE_T* driveTime, BYTE_T* record21,
                        BYTE_T* settingsRecord, int channel);

}  // namespace sunblind
