#include "page_items.h"

#include <algorithm>

#include "node_transfer.h"

namespace sunblind {

PageRead ReadPage(NodeItems& node, int channel) {
    const Channel& ch = ChannelInfo(channel);
    const CBitConverter conv;
    PageRead shown;
    ValueBuffer drive, flag, record;
    if (node.Read(ch.driveTimeItem, kDisplayReadLength, drive)) shown.topDownTime = DecodeTopDownTime(conv, drive.data());
    if (node.Read(kFlagRecord, kDisplayReadLength, flag)) {
        shown.luxCommon = DecodeLuxSourceCommon(conv, flag.data(), channel);
        if (ch.settingsRecord == kFlagRecord) shown.block = DecodeBlock(conv, flag.data(), ch.blockStart);
    }
    if (ch.settingsRecord != kFlagRecord && node.Read(ch.settingsRecord, kDisplayReadLength, record))
        shown.block = DecodeBlock(conv, record.data(), ch.blockStart);
    if (shown.topDownTime && shown.luxCommon && shown.block)
        shown.settings = TakeChannelSettings(drive.data(), flag.data(),
                                             ch.settingsRecord == kFlagRecord ? flag.data() : record.data(), channel);
    return shown;
}

std::vector<ItemChange> PageChanges(int channel, const PageEdits& edits) {
    const CBitConverter conv;
    ChannelSettings s;
    ChannelParts parts;
    if (edits.topDownTime) EncodeTopDownTime(conv, s.driveTime.data(), *edits.topDownTime);
    parts.driveTime = edits.topDownTime.has_value();
    s.luxCommon = edits.luxCommon.value_or(false);
    parts.luxBit = edits.luxCommon.has_value();
    for (const Setting& d : kSettings) {
        const std::optional<int>* code = d.label == "nviLevel"           ? &edits.levelSource
                                         : d.label == "nviOverrideLevel" ? &edits.overrideSource
                                                                         : nullptr;
        if (d.field >= 0 && edits.field[d.field]) {
            EncodeNumber(conv, d, s.block.data() + d.offset, TextToReal(edits.field[d.field]->c_str()));
            std::fill_n(parts.block.begin() + d.offset, d.width, BYTE_T(0xFF));
        } else if (code && *code) {
            Store(s, d, **code);  // a code is stored as its low 8 bits
            parts.block[d.offset] = 0xFF;
        }
    }
    return ChannelChanges(channel, s, parts);
}

PageWrite WritePage(NodeItems& node, int channel, const PageEdits& edits) {
    const Channel& ch = ChannelInfo(channel);
    // Per item as read and as sent: the drive time item, record 21, the
    // settings record (record 21 again for channels 1 and 2).
    ValueBuffer before[3] = {}, sent[3] = {};
    auto slot = [&](long item) { return item == ch.driveTimeItem ? 0 : item == kFlagRecord ? 1 : 2; };
    for (const ItemChange& change : PageChanges(channel, edits)) {
        const int i = slot(change.item);
        node.Apply(change, &before[i], &sent[i]);
    }
    const int record = ch.settingsRecord == kFlagRecord ? 1 : 2;
    return {TakeChannelSettings(before[0].data(), before[1].data(), before[record].data(), channel),
            TakeChannelSettings(sent[0].data(), sent[1].data(), sent[record].data(), channel)};
}

LiveValues ReadLive(NodeItems& node, int channel) {
    const Channel& ch = ChannelInfo(channel);
    const CBitConverter conv;
    LiveValues live;
    ValueBuffer buffer;
    // The stored flag, not the radio buttons, chooses the lux item.
    if (node.Read(kFlagRecord, kDisplayReadLength, buffer)) {
        const long luxItem = DecodeLuxSourceCommon(conv, buffer.data(), channel) ? kCommonLuxItem : ch.localLuxItem;
        if (node.Read(luxItem, kDisplayReadLength, buffer)) live.lux = DecodeLuxLevel(conv, buffer.data());
    }
    if (node.Read(ch.levelItem, kDisplayReadLength, buffer)) live.level = DecodeActualLevel(conv, buffer.data());
    return live;
}

}  // namespace sunblind
