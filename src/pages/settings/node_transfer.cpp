#include "node_transfer.h"

#include <cstring>

#include "sunblind_items.h"

namespace sunblind {

namespace {

constexpr long kSecondRecord = 22;  // channels 3 and 4

// Value buffers keep one zeroed byte past the longest length handed over,
// as the pages' do, for hosts that end what they touch with a zero.
using Buffer = std::array<BYTE_T, kValueBufferSize + 1>;

bool ReadInto(ItemAccess& node, long index, Buffer& buffer, long length) {
    buffer.fill(0);
    return node.Read(index, buffer.data(), length);
}

std::string ReadFailed(long index) {
    return "The node did not answer the read of item " + std::to_string(index) + ".";
}

struct Items {
    Buffer record21, record22;
    std::array<Buffer, 4> drive;
};

// Reads the items the channels in `which` live in; false (and `error`) at
// the first failure.
bool ReadItems(ItemAccess& node, const std::array<bool, 4>& which, long length, Items& items, std::string& error) {
    const bool second = which[2] || which[3];
    if (!ReadInto(node, kFlagRecord, items.record21, length)) return error = ReadFailed(kFlagRecord), false;
    if (second && !ReadInto(node, kSecondRecord, items.record22, length)) return error = ReadFailed(kSecondRecord), false;
    for (int c = 1; c <= 4; ++c) {
        const long item = ChannelInfo(c).driveTimeItem;
        if (which[c - 1] && !ReadInto(node, item, items.drive[c - 1], length)) return error = ReadFailed(item), false;
    }
    return true;
}

BYTE_T* RecordOf(Items& items, int channel) {
    return ChannelInfo(channel).settingsRecord == kFlagRecord ? items.record21.data() : items.record22.data();
}

ChannelSettings Take(Items& items, int channel) {
    return TakeChannelSettings(items.drive[channel - 1].data(), items.record21.data(), RecordOf(items, channel),
                               channel);
}

}  // namespace

std::optional<NodeChannels> ReadChannels(ItemAccess& node, std::string& error) {
    Items items;
    if (!ReadItems(node, {true, true, true, true}, kDisplayReadLength, items, error)) return std::nullopt;
    NodeChannels channels;
    for (int c = 1; c <= 4; ++c) channels[c - 1] = Take(items, c);
    return channels;
}

TransferResult WriteChannels(ItemAccess& node, const NodeChannels& wanted) {
    TransferResult result;
    std::array<bool, 4> which{};
    for (int c = 0; c < 4; ++c) which[c] = wanted[c].has_value();
    if (!which[0] && !which[1] && !which[2] && !which[3]) return result.written = true, result;

    Items items;
    if (!ReadItems(node, which, kWriteReadLength, items, result.error)) {
        result.error += " Nothing was written.";
        return result;
    }
    for (int c = 1; c <= 4; ++c)
        if (which[c - 1])
            PutChannelSettings(*wanted[c - 1], items.drive[c - 1].data(), items.record21.data(), RecordOf(items, c), c);

    std::vector<long> refused;
    auto write = [&](long index, Buffer& buffer, long length) {
        buffer[length] = 0;
        if (!node.Write(index, buffer.data(), length)) refused.push_back(index);
    };
    write(kFlagRecord, items.record21, kRecordWriteLength);
    if (which[2] || which[3]) write(kSecondRecord, items.record22, kRecordWriteLength);
    for (int c = 1; c <= 4; ++c)
        if (which[c - 1]) write(ChannelInfo(c).driveTimeItem, items.drive[c - 1], kDriveTimeWriteLength);
    result.written = refused.empty();
    if (!refused.empty()) {
        result.error = "The node refused the write of item";
        result.error += refused.size() > 1 ? "s " : " ";
        for (std::size_t i = 0; i < refused.size(); ++i)
            result.error += (i ? ", " : "") + std::to_string(refused[i]);
        result.error += ".";
    }

    // What the node holds now, channel by channel.
    Items back;
    std::string why;
    if (!ReadItems(node, which, kDisplayReadLength, back, why)) {
        result.error += (result.error.empty() ? "" : " ") + why + " What the node took could not be checked.";
        for (int c = 1; c <= 4; ++c)
            if (which[c - 1]) result.notTaken.push_back(c);
        return result;
    }
    for (int c = 1; c <= 4; ++c)
        if (which[c - 1] && Take(back, c) != *wanted[c - 1]) result.notTaken.push_back(c);
    return result;
}

std::string DescribeChanges(const NodeChannels& node, const NodeChannels& wanted, NodeChannels& changing) {
    std::string text;
    bool any = false;
    for (int c = 1; c <= 4; ++c) {
        changing[c - 1].reset();
        if (!wanted[c - 1] || !node[c - 1]) continue;
        const std::vector<Difference> diffs = DiffChannel(*node[c - 1], *wanted[c - 1]);
        text += "Sunblind " + std::to_string(c) + (diffs.empty() ? ": no change\n" : ":\n");
        for (const Difference& d : diffs) text += "    " + d.key + ": " + d.nodeText + " \u2192 " + d.fileText + "\n";
        if (!diffs.empty()) changing[c - 1] = wanted[c - 1], any = true;
    }
    return any ? text : std::string();
}

std::string ChannelNames(const std::vector<int>& channels) {
    std::string names;
    for (int c : channels) names += (names.empty() ? "" : ", ") + std::string("Sunblind ") + std::to_string(c);
    return names;
}

}  // namespace sunblind
