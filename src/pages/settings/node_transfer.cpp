#include "node_transfer.h"

#include <algorithm>
#include <stdexcept>

namespace sunblind {

namespace {

std::string ReadFailed(long index) {
    return "The node did not answer the read of item " + std::to_string(index) + ".";
}

// The items the four channels live in, in the order they are read: record
// 21, the settings records, the drive time items by channel.
std::vector<long> ChannelItems(const std::array<bool, 4>& which) {
    std::vector<long> items = {kFlagRecord};
    auto add = [&](long item) {
        if (std::find(items.begin(), items.end(), item) == items.end()) items.push_back(item);
    };
    for (int c = 1; c <= 4; ++c)
        if (which[c - 1]) add(ChannelInfo(c).settingsRecord);
    for (int c = 1; c <= 4; ++c)
        if (which[c - 1]) add(ChannelInfo(c).driveTimeItem);
    return items;
}

// The channels whose items are all among `items`, from their buffers.
NodeChannels ChannelsIn(const std::vector<long>& items, const std::vector<ValueBuffer>& buffers) {
    NodeChannels channels;
    auto buffer = [&](long item) -> const BYTE_T* {
        const auto at = std::find(items.begin(), items.end(), item);
        return at == items.end() ? nullptr : buffers[at - items.begin()].data();
    };
    for (int c = 1; c <= 4; ++c) {
        const Channel& ch = ChannelInfo(c);
        if (buffer(ch.driveTimeItem) && buffer(kFlagRecord) && buffer(ch.settingsRecord))
            channels[c - 1] = TakeChannelSettings(buffer(ch.driveTimeItem), buffer(kFlagRecord), buffer(ch.settingsRecord), c);
    }
    return channels;
}


}  // namespace

ChannelSettings TakeChannelSettings(const BYTE_T* driveTime, const BYTE_T* record21, const BYTE_T* settingsRecord,
                                    int channel) {
    const Channel& ch = ChannelInfo(channel);
    if (!driveTime || !record21 || !settingsRecord) throw std::invalid_argument("sunblind: null value buffer");
    ChannelSettings s;
    std::copy(driveTime, driveTime + 2, s.driveTime.begin());
    s.luxCommon = DecodeLuxSourceCommon(CBitConverter(), record21, channel);
    std::copy(settingsRecord + ch.blockStart, settingsRecord + ch.blockStart + kBlockSize, s.block.begin());
    return s;
}

std::optional<NodeChannels> ReadChannels(NodeItems& node, std::string& error, Steps* steps) {
    const std::vector<long> items = ChannelItems({true, true, true, true});
    std::vector<ValueBuffer> buffers(items.size());
    if (steps) steps->Step("Reading the settings of the four channels", static_cast<int>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (steps && steps->StopAsked()) return error.clear(), std::nullopt;
        if (!node.Read(items[i], kDisplayReadLength, buffers[i])) return error = ReadFailed(items[i]), std::nullopt;
    }
    return ChannelsIn(items, buffers);
}


void TransferSteps::Replacing(const std::vector<long>& items, const std::vector<ValueBuffer>& held) {
    ReplacingChannels(ChannelsIn(items, held));
}

TransferResult WriteChannels(NodeItems& node, const NodeChannels& wanted, TransferSteps* steps) {
    TransferResult result;
    std::vector<int> channels;
    std::vector<ChangeGroup> groups;
    std::array<bool, 4> which{};
    for (int c = 1; c <= 4; ++c)
        if ((which[c - 1] = wanted[c - 1].has_value())) {
            channels.push_back(c);
            groups.push_back({"Sunblind " + std::to_string(c), ChannelChanges(c, *wanted[c - 1], ChannelParts::All())});
        }
    if (groups.empty()) return result;
    const NodeItems::Result done = node.ApplyAll(ChannelItems(which), groups, steps);
    result.stopped = done.stopped;
    if (done.readFailed)
        result.error = ReadFailed(done.failedItem) + (done.groupsDone ? "" : " Nothing was written.");
    if (!done.refused.empty()) {
        result.error += result.error.empty() ? "" : " ";
        result.error += done.refused.size() > 1 ? "The node refused the write of items " : "The node refused the write of item ";
        for (std::size_t i = 0; i < done.refused.size(); ++i)
            result.error += (i ? ", " : "") + std::to_string(done.refused[i]);
        result.error += ".";
    }
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (g >= done.groupsDone) {
            result.notWritten.push_back(channels[g]);
            continue;
        }
        bool changed = false, taken = true;
        for (std::size_t i = 0; i < groups[g].changes.size(); ++i) {
            const Outcome o = done.outcomes[g][i];
            if (o == Outcome::Unchanged) continue;
            changed = true;
            if (o == Outcome::NotReadBack)
                result.error += (result.error.empty() ? "" : " ") + ReadFailed(groups[g].changes[i].item) +
                                " What the node took could not be checked.";
            if (o == Outcome::NotReadBack || !groups[g].changes[i].HeldBy(done.readBack[g][i])) taken = false;
        }
        if (changed) result.written.push_back(channels[g]);
        if (!taken) result.notTaken.push_back(channels[g]);
        if (!changed) continue;
        // The channel before (what was read before its first write, or what
        // its unchanged items held) and after (its read-back).
        ChannelRecord record;
        record.channel = channels[g];
        record.wanted = *wanted[channels[g] - 1];
        std::vector<long> items;
        std::vector<ValueBuffer> before, after;
        bool readBack = true;
        for (std::size_t i = 0; i < groups[g].changes.size(); ++i) {
            items.push_back(groups[g].changes[i].item);
            before.push_back(done.before[g][i]);
            after.push_back(done.readBack[g][i]);
            readBack = readBack && done.outcomes[g][i] != Outcome::NotReadBack;
        }
        record.before = *ChannelsIn(items, before)[channels[g] - 1];
        if (readBack) record.after = *ChannelsIn(items, after)[channels[g] - 1];
        result.records.push_back(record);
    }
    return result;
}

std::vector<ChannelChange> DescribeChanges(const NodeChannels& now, const NodeChannels& wanted) {
    std::vector<ChannelChange> out;
    for (int c = 1; c <= 4; ++c)
        if (wanted[c - 1] && now[c - 1]) out.push_back({c, ChannelDifferences(*now[c - 1], *wanted[c - 1])});
    return out;
}

NodeChannels Changing(const std::vector<ChannelChange>& changes, const NodeChannels& wanted) {
    NodeChannels changing;
    for (const ChannelChange& c : changes)
        if (!c.differences.empty()) changing[c.channel - 1] = wanted[c.channel - 1];
    return changing;
}

std::string ChangesText(const std::vector<ChannelChange>& changes) {
    std::string text;
    bool any = false;
    for (const ChannelChange& c : changes) {
        text += "Sunblind " + std::to_string(c.channel) + (c.differences.empty() ? ": no change\n" : ":\n");
        for (const Difference& d : c.differences)
            text += "    " + std::string(d.setting->label) + ": " + SettingText(*d.setting, d.now) + " \u2192 " +
                    SettingText(*d.setting, d.after) + "\n";
        any = any || !c.differences.empty();
    }
    return any ? text : std::string();
}

std::string ChannelNames(const std::vector<int>& channels) {
    std::string names;
    for (int c : channels) names += (names.empty() ? "" : ", ") + std::string("Sunblind ") + std::to_string(c);
    return names;
}

}  // namespace sunblind
