#include "node_items.h"

#include <algorithm>

namespace sunblind {

void ItemChange::ApplyTo(ValueBuffer& buffer) const {
    for (std::size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<BYTE_T>((buffer[i] & ~mask[i]) | (bytes[i] & mask[i]));
}

bool ItemChange::HeldBy(const ValueBuffer& buffer) const {
    for (std::size_t i = 0; i < buffer.size(); ++i)
        if ((buffer[i] ^ bytes[i]) & mask[i]) return false;
    return true;
}

void ItemChange::Merge(const ItemChange& other) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<BYTE_T>((bytes[i] & ~other.mask[i]) | (other.bytes[i] & other.mask[i]));
        mask[i] |= other.mask[i];
    }
    if (other.writeLength > writeLength) writeLength = other.writeLength;
}

ChannelParts ChannelParts::All() {
    ChannelParts all;
    all.driveTime = all.luxBit = true;
    all.block.fill(0xFF);
    return all;
}

std::vector<ItemChange> ChannelChanges(int channel, const ChannelSettings& settings, const ChannelParts& parts) {
    const Channel& ch = ChannelInfo(channel);
    const CBitConverter conv;
    ItemChange drive, flag, record;
    drive.item = ch.driveTimeItem;
    drive.writeLength = kDriveTimeWriteLength;
    std::copy(settings.driveTime.begin(), settings.driveTime.end(), drive.bytes.begin());
    drive.mask[0] = drive.mask[1] = parts.driveTime ? 0xFF : 0;
    flag.item = kFlagRecord;
    record.item = ch.settingsRecord;
    flag.writeLength = record.writeLength = kRecordWriteLength;
    EncodeLuxSource(conv, flag.bytes.data(), channel, settings.luxCommon);
    EncodeLuxSource(conv, flag.mask.data(), channel, parts.luxBit);
    std::copy(settings.block.begin(), settings.block.end(), record.bytes.begin() + ch.blockStart);
    std::copy(parts.block.begin(), parts.block.end(), record.mask.begin() + ch.blockStart);
    if (record.item == flag.item) {
        flag.Merge(record);
        return {drive, flag};
    }
    return {drive, flag, record};
}

bool NodeItems::Read(long item, long length, ValueBuffer& buffer) {
    buffer.fill(0);
    return m_node && m_node->Read(item, buffer.data(), length);
}

bool NodeItems::Name(std::string& name, long length) {
    std::string buffer(static_cast<std::size_t>(length) + 1, '\0');  // always ends
    if (!m_node || !m_node->Name(&buffer[0], length)) return false;
    name = buffer.c_str();
    return true;
}

Outcome NodeItems::Apply(const ItemChange& change) {
    ValueBuffer buffer;
    if (!Read(change.item, kWriteReadLength, buffer)) return Outcome::ReadFailed;
    change.ApplyTo(buffer);
    buffer[change.writeLength] = 0;  // not handed over: the host sees only writeLength bytes
    return m_node->Write(change.item, buffer.data(), change.writeLength) ? Outcome::Taken : Outcome::Refused;
}

NodeItems::Result NodeItems::ApplyAll(const std::vector<ItemChange>& changes) {
    Result result;
    std::vector<ValueBuffer> now(changes.size());
    for (std::size_t i = 0; i < changes.size(); ++i)
        if (!Read(changes[i].item, kWriteReadLength, now[i])) {
            result.readFailed = true;
            result.failedItem = changes[i].item;
            return result;
        }
    result.outcomes.assign(changes.size(), Outcome::Unchanged);
    result.readBack = now;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        ValueBuffer wanted = now[i];
        changes[i].ApplyTo(wanted);
        if (wanted == now[i]) continue;
        wanted[changes[i].writeLength] = 0;
        result.outcomes[i] = Outcome::Taken;
        if (!m_node->Write(changes[i].item, wanted.data(), changes[i].writeLength))
            result.refused.push_back(changes[i].item);
    }
    for (std::size_t i = 0; i < changes.size(); ++i) {
        Outcome& o = result.outcomes[i];
        if (o == Outcome::Unchanged) continue;
        if (!Read(changes[i].item, kDisplayReadLength, result.readBack[i])) {
            o = Outcome::NotReadBack;
            continue;
        }
        if (!changes[i].HeldBy(result.readBack[i])) o = Outcome::NotTaken;
    }
    return result;
}

}  // namespace sunblind
