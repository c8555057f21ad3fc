#include "memory_node.h"

#include <algorithm>
#include <cstring>

namespace sunblind {

ChannelSettings FactorySettings() {
    // Stored units: whole lux, tenths of seconds, half percent.
    const std::pair<const char*, int> values[] = {
        {"Down setpoint", 10000}, {"Up setpoint", 5000}, {"Time before down", 50}, {"Time before up", 50},
        {"Push time short", 3},   {"Push time long", 10}, {"Top down time", 300},  {"Top level", 200},
        {"Bottum level", 0},      {"nviLux", 0},          {"nviLevel", 1},         {"nviOverrideLevel", 2},
    };
    ChannelSettings s;
    for (const auto& [label, stored] : values)
        for (const Setting& d : kSettings)
            if (d.label == label) Store(s, d, stored);
    return s;
}

DeskDocument CompleteFromFactory(const SettingsFile& file) {
    DeskDocument document{file, {}};
    for (int c = 1; c <= 4; ++c) {
        if (document.file.channels[c - 1]) continue;
        document.file.channels[c - 1] = FactorySettings();
        document.completed.push_back(c);
    }
    return document;
}

SettingsFile FactoryFile(const std::string& nodeName) {
    SettingsFile file;
    file.nodeName = nodeName;
    return CompleteFromFactory(file).file;
}

MemoryNode::MemoryNode(std::string name, const NodeChannels& channels) : m_name(std::move(name)) {
    for (long item : {kFlagRecord, 22L, 30L, 31L, 32L, 33L}) m_items[item] = ValueBuffer{};
    for (int c = 1; c <= 4; ++c) {
        const ChannelSettings settings = channels[c - 1] ? *channels[c - 1] : FactorySettings();
        for (const ItemChange& change : ChannelChanges(c, settings, ChannelParts::All()))
            change.ApplyTo(m_items[change.item]);
    }
}

bool MemoryNode::Read(long index, BYTE_T* buffer, long length) {
    const auto item = m_items.find(index);
    if (item == m_items.end() || !buffer || length < 0 || length > kValueBufferSize) return false;
    std::memcpy(buffer, item->second.data(), static_cast<std::size_t>(length));
    return true;
}

bool MemoryNode::Write(long index, BYTE_T* buffer, long length) {
    const auto item = m_items.find(index);
    if (item == m_items.end() || !buffer || length < 0 || length > kValueBufferSize) return false;
    std::memcpy(item->second.data(), buffer, static_cast<std::size_t>(length));
    return true;
}

bool MemoryNode::Name(char* buffer, long length) {
    if (!buffer || length <= 0) return false;
    const std::size_t n = std::min(m_name.size(), static_cast<std::size_t>(length));
    std::memcpy(buffer, m_name.data(), n);
    if (n < static_cast<std::size_t>(length)) buffer[n] = '\0';
    return true;
}

NodeChannels MemoryNode::Channels() const {
    NodeChannels channels;
    for (int c = 1; c <= 4; ++c) {
        const Channel& ch = ChannelInfo(c);
        channels[c - 1] = TakeChannelSettings(m_items.at(ch.driveTimeItem).data(), m_items.at(kFlagRecord).data(),
                                              m_items.at(ch.settingsRecord).data(), c);
    }
    return channels;
}

}  // namespace sunblind
