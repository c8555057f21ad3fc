#include "page_items.h"

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
    const Channel& ch = ChannelInfo(channel);
    const CBitConverter conv;
    ItemChange drive, flag, record;
    drive.item = ch.driveTimeItem;
    drive.writeLength = kDriveTimeWriteLength;
    if (edits.topDownTime) {
        EncodeTopDownTime(conv, drive.bytes.data(), *edits.topDownTime);
        drive.mask[0] = drive.mask[1] = 0xFF;
    }
    flag.item = kFlagRecord;
    record.item = ch.settingsRecord;
    flag.writeLength = record.writeLength = kRecordWriteLength;
    if (edits.luxCommon) {
        EncodeLuxSource(conv, flag.bytes.data(), channel, *edits.luxCommon);
        EncodeLuxSource(conv, flag.mask.data(), channel, true);
    }
    BYTE_T* block = record.bytes.data() + ch.blockStart;
    BYTE_T* mask = record.mask.data() + ch.blockStart;
    for (const Setting& d : kSettings) {
        const std::optional<int>* code = d.label == "nviLevel"           ? &edits.levelSource
                                         : d.label == "nviOverrideLevel" ? &edits.overrideSource
                                                                         : nullptr;
        if (d.field >= 0 && edits.field[d.field]) {
            EncodeNumber(conv, d, block + d.offset, TextToReal(edits.field[d.field]->c_str()));
            std::fill_n(mask + d.offset, d.width, BYTE_T(0xFF));
        } else if (code && *code) {
            block[d.offset] = static_cast<BYTE_T>(**code & 0xFF);  // a code is stored as its low 8 bits
            mask[d.offset] = 0xFF;
        }
    }
    if (record.item == flag.item) {
        flag.Merge(record);
        return {drive, flag};
    }
    return {drive, flag, record};
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
