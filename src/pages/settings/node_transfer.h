// Moving whole channels' settings between the node and a settings file or
// another channel: the reads, the read-modify-write and the check that the
// node took what it was given. No Win32 here: the node is reached through
// ItemAccess, which the plug-in answers with the host's node calls.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "channel_settings.h"
#include "settings_file.h"

namespace sunblind {

class ItemAccess {
public:
    // Fill / send the first length bytes of a value buffer (kValueBufferSize
    // bytes, zeroed before a read); false when the node reports failure.
    virtual bool Read(long index, BYTE_T* buffer, long length) = 0;
    virtual bool Write(long index, BYTE_T* buffer, long length) = 0;

protected:
    ~ItemAccess() = default;
};

using NodeChannels = std::array<std::optional<ChannelSettings>, 4>;  // index channel - 1

// The four channels as the node holds them: records 21 and 22 and the four
// drive time items, one read each. Empty, with `error` in plain words,
// when a read fails.
std::optional<NodeChannels> ReadChannels(ItemAccess& node, std::string& error);

struct TransferResult {
    bool written = false;       // every write was sent and reported done
    std::vector<int> notTaken;  // channels whose read-back differs from what was written
    std::string error;          // plain words; empty when all went well
};

// Writes each channel present in `wanted`: every item is read again right
// before it is changed, so the bytes no channel page owns, and the other
// channels' bits and blocks, go back as the node holds them then; record 21
// and 22 are written only when a channel in them is wanted. A read that
// fails before any write leaves the node untouched. Afterwards every
// written channel is read back and compared.
TransferResult WriteChannels(ItemAccess& node, const NodeChannels& wanted);

// What the confirmation lists: per channel present in `wanted`, its
// settings that would change ("Sunblind 2:" then "  Down setpoint: 20000 →
// 18000" lines) or "Sunblind 3: no change". `changing` gets the channels
// that differ (the others need no write). Empty text when none differs.
std::string DescribeChanges(const NodeChannels& node, const NodeChannels& wanted, NodeChannels& changing);

// "Sunblind 2, Sunblind 4".
std::string ChannelNames(const std::vector<int>& channels);

}  // namespace sunblind
