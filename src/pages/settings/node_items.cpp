#include "node_items.h"

#include <algorithm>
#include <stdexcept>

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

Outcome NodeItems::Apply(const ItemChange& change, ValueBuffer* before, ValueBuffer* sent) {
    ValueBuffer buffer;
    if (!Read(change.item, kWriteReadLength, buffer)) return Outcome::ReadFailed;
    if (before) *before = buffer;
    change.ApplyTo(buffer);
    buffer[change.writeLength] = 0;  // not handed over: the host sees only writeLength bytes
    if (sent) *sent = buffer;
    return m_node->Write(change.item, buffer.data(), change.writeLength) ? Outcome::Taken : Outcome::Refused;
}

NodeItems::Result NodeItems::ApplyAll(const std::vector<long>& items, const std::vector<ChangeGroup>& groups,
                                      Steps* steps) {
    Result result;
    // Each item's bytes as the node holds them, as far as known.
    std::vector<ValueBuffer> held(items.size());
    std::vector<bool> known(items.size(), false);
    auto slot = [&](long item) {
        const auto at = std::find(items.begin(), items.end(), item);
        if (at == items.end()) throw std::invalid_argument("sunblind: a change of an item not read");
        return static_cast<std::size_t>(at - items.begin());
    };
    // The calls still to come if every write is taken: a write and a read
    // back per item whose bytes change.
    auto expected = [&](std::size_t fromGroup) {
        std::vector<ValueBuffer> sim = held;
        int calls = 0;
        for (std::size_t g = fromGroup; g < groups.size(); ++g)
            for (const ItemChange& c : groups[g].changes) {
                ValueBuffer& b = sim[slot(c.item)];
                ValueBuffer wanted = b;
                c.ApplyTo(wanted);
                if (wanted != b) calls += 2, b = wanted;
            }
        return calls;
    };
    auto fail = [&](long item) {
        result.readFailed = true;
        result.failedItem = item;
        return result;
    };
    int made = 0;  // calls made so far
    std::size_t changes = 0;  // at most: each change written and read back
    for (const ChangeGroup& g : groups) changes += g.changes.size();
    if (steps) steps->Step("Reading the items to change", static_cast<int>(items.size() + 2 * changes));
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (steps && steps->StopAsked()) return result.stopped = true, result;
        ++made;
        if (!Read(items[i], kWriteReadLength, held[i])) return fail(items[i]);
        known[i] = true;
    }
    if (steps) steps->Replacing(items, held);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (steps && steps->StopAsked()) return result.stopped = true, result;
        const std::vector<ItemChange>& changes = groups[g].changes;
        // An item whose read back failed is read again before it is changed.
        for (const ItemChange& c : changes) {
            const std::size_t s = slot(c.item);
            if (known[s]) continue;
            ++made;
            if (!Read(c.item, kWriteReadLength, held[s])) return fail(c.item);
            known[s] = true;
        }
        if (steps) steps->Step("Writing " + groups[g].name, made + expected(g));
        std::vector<Outcome> outcomes(changes.size(), Outcome::Unchanged);
        std::vector<ValueBuffer> after(changes.size()), before(changes.size());
        for (std::size_t i = 0; i < changes.size(); ++i) {
            ValueBuffer& now = held[slot(changes[i].item)];
            ValueBuffer wanted = now;
            changes[i].ApplyTo(wanted);
            after[i] = before[i] = now;
            if (wanted == now) continue;
            wanted[changes[i].writeLength] = 0;
            outcomes[i] = Outcome::Taken;
            ++made;
            if (!m_node->Write(changes[i].item, wanted.data(), changes[i].writeLength))
                result.refused.push_back(changes[i].item);
        }
        for (std::size_t i = 0; i < changes.size(); ++i) {
            if (outcomes[i] == Outcome::Unchanged) continue;
            const std::size_t s = slot(changes[i].item);
            ++made;
            if (!Read(changes[i].item, kDisplayReadLength, held[s])) {
                outcomes[i] = Outcome::NotReadBack;
                known[s] = false;
                continue;
            }
            after[i] = held[s];
            if (!changes[i].HeldBy(held[s])) outcomes[i] = Outcome::NotTaken;
        }
        result.outcomes.push_back(outcomes);
        result.before.push_back(before);
        result.readBack.push_back(after);
        result.groupsDone = g + 1;
    }
    return result;
}

}  // namespace sunblind
