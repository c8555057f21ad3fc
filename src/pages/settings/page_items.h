// A sunblind page's procedures on the node, through the node seam: what its
// Read shows, what its Write changes, what its timer refreshes. The page
// only moves texts and check states between these and its controls.
// No Win32 here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "node_items.h"

namespace sunblind {

// What a Read shows: each part only when the read it comes from succeeded
// (a failed read leaves the controls it would have filled as they were).
// Reads the drive time item, record 21 and, for channels 3 and 4, record
// 22, each with the display length.
struct PageRead {
    std::optional<std::string> topDownTime;
    std::optional<bool> luxCommon;
    std::optional<BlockValues> block;
    std::optional<ChannelSettings> settings;  // the bytes, when every read succeeded
};
PageRead ReadPage(NodeItems& node, int channel);

// What a Write stores: each part only when set (the page showed it after a
// read, or the user typed or clicked it); the node's own bytes stay
// everywhere else.
struct PageEdits {
    std::optional<std::string> topDownTime;
    std::optional<bool> luxCommon;
    std::array<std::optional<std::string>, kFieldCount> field;
    std::optional<int> levelSource, overrideSource;
};
// In the order written: the drive time item, record 21, then record 22 for
// channels 3 and 4.
std::vector<ItemChange> PageChanges(int channel, const PageEdits& edits);
// Applies each in turn (NodeItems::Apply: a failed read skips its item).
// Returns the channel as each item's read before its write found it, and
// as written; an item whose read failed counts as unchanged.
struct PageWrite {
    ChannelSettings before, wanted;
};
PageWrite WritePage(NodeItems& node, int channel, const PageEdits& edits);

// The live values: record 21's flag chooses the common or the channel's
// local lux item; then the level item. Empty where a read failed.
struct LiveValues {
    std::optional<std::string> lux, level;
};
LiveValues ReadLive(NodeItems& node, int channel);

}  // namespace sunblind
