#include "page_items.h"

#include <algorithm>

namespace sunblind {

PageRead ReadPage(NodeItems& node, int channel) {
    const Channel& ch = ChannelInfo(channel);
    const CBitConverter conv;
    PageRead shown;
    ValueBuffer buffer;
    if (node.Read(ch.driveTimeItem, kDisplayReadLength, buffer)) shown.topDownTime = DecodeTopDownTime(conv, buffer.data());
    if (node.Read(kFlagRecord, kDisplayReadLength, buffer)) {
        shown.luxCommon = DecodeLuxSourceCommon(conv, buffer.data(), channel);
        if (ch.settingsRecord == kFlagRecord) shown.block = DecodeBlock(conv, buffer.data(), ch.blockStart);
    }
    if (ch.settingsRecord != kFlagRecord && node.Read(ch.settingsRecord, kDisplayReadLength, buffer))
        shown.block = DecodeBlock(conv, buffer.data(), ch.blockStart);
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

void WritePage(NodeItems& node, int channel, const PageEdits& edits) {
    for (const ItemChange& change : PageChanges(channel, edits)) node.Apply(change);
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
