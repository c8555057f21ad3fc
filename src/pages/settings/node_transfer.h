// Moving whole channels' settings between the node and a settings file or
// another channel, through the node seam (node_items.h): the reads, the
// list of what would change, the read-modify-write and the check that the
// node took what it was given. No Win32 here.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "change_record.h"
#include "node_items.h"
#include "setting_values.h"

namespace sunblind {

using NodeChannels = std::array<std::optional<ChannelSettings>, 4>;  // index channel - 1

// A channel's settings from value buffers filled by reads of its drive time
// item, record 21 and its settings record (the same buffer as record 21 for
// channels 1 and 2). A null buffer throws std::invalid_argument, a channel
// outside 1..4 std::out_of_range.
ChannelSettings TakeChannelSettings(const BYTE_T* driveTime, const BYTE_T* record21, const BYTE_T* settingsRecord,
                                    int channel);

// The four channels as the node holds them: records 21 and 22 and the four
// drive time items, one read each. Empty, with `error` in plain words,
// when a read fails; empty with an empty error when the user stopped it
// (asked before each read).
std::optional<NodeChannels> ReadChannels(NodeItems& node, std::string& error, Steps* steps = nullptr);

// Steps of a transfer, told also what the channels to be written hold right
// before the first write (for a backup of them).
class TransferSteps : public Steps {
public:
    virtual void ReplacingChannels(const NodeChannels& /*before*/) {}

private:
    void Replacing(const std::vector<long>& items, const std::vector<ValueBuffer>& held) final;
};

struct TransferResult {
    std::vector<ChannelRecord> records;  // per channel written: before, wanted, read back
    std::vector<int> written;     // channels changed (whole, with their read-back)
    std::vector<int> notTaken;    // channels whose read-back differs from what was written
    std::vector<int> notWritten;  // channels left as they were: stopped, or a read failed
    bool stopped = false;         // the user stopped it
    std::string error;            // plain words; empty when all went well
};

// Writes each channel present in `wanted` by ApplyAll, one channel after
// the other (a stop between channels leaves each whole): an item whose
// bytes would not change is not written, a read that fails before any
// write leaves the node untouched, and every written item is read back and
// compared channel by channel.
TransferResult WriteChannels(NodeItems& node, const NodeChannels& wanted, TransferSteps* steps = nullptr);

// What would change, per channel present in both.
struct ChannelChange {
    int channel;
    std::vector<Difference> differences;  // empty: no change
};
std::vector<ChannelChange> DescribeChanges(const NodeChannels& now, const NodeChannels& wanted);
// The channels in `wanted` that differ from `now` (the others need no write).
NodeChannels Changing(const std::vector<ChannelChange>& changes, const NodeChannels& wanted);
// "Sunblind 2:" then "    Down setpoint: 20000 → 18000" lines, or
// "Sunblind 3: no change"; empty when nothing differs.
std::string ChangesText(const std::vector<ChannelChange>& changes);

// "Sunblind 2, Sunblind 4".
std::string ChannelNames(const std::vector<int>& channels);

}  // namespace sunblind
