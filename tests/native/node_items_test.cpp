// The node seam with a logging fake node: every procedure's calls (item,
// length, order) against a table written from the node's description, and
// every byte that no page owns unchanged afterwards.
#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "node_layout.h"
#include "node_transfer.h"
#include "page_items.h"

using namespace sunblind;

namespace {

using Bytes = std::vector<BYTE_T>;

// 32 junk bytes per item; logs calls as "R21:31", "W30:2".
struct FakeNode final : ItemAccess {
    std::map<long, Bytes> items;
    std::vector<std::string> log;
    std::set<long> failRead, failWrite, dropWrite;  // dropWrite: answered 0, not kept
    int failReadAfterWrites = -1;                   // reads fail once this many writes were made
    int writes = 0;

    explicit FakeNode(unsigned seed) {
        std::mt19937 rng(seed);
        for (long i : {13, 14, 17, 18, 21, 22, 23, 24, 25, 26, 27, 30, 31, 32, 33}) {
            Bytes b(32);
            for (auto& x : b) x = BYTE_T(rng());
            items[i] = b;
        }
    }
    bool Read(long index, BYTE_T* buffer, long length) override {
        log.push_back("R" + std::to_string(index) + ":" + std::to_string(length));
        if (failRead.count(index) || (failReadAfterWrites >= 0 && writes >= failReadAfterWrites)) return false;
        std::copy_n(items.at(index).begin(), length, buffer);
        return true;
    }
    bool Write(long index, BYTE_T* buffer, long length) override {
        log.push_back("W" + std::to_string(index) + ":" + std::to_string(length));
        ++writes;
        if (failWrite.count(index)) return false;
        if (!dropWrite.count(index)) std::copy_n(buffer, length, items.at(index).begin());
        return true;
    }
    bool Name(char* buffer, long length) override {
        std::string("Node").copy(buffer, length);
        return true;
    }
    std::string Log() const {
        std::string s;
        for (const auto& c : log) s += (s.empty() ? "" : " ") + c;
        return s;
    }
};

const layout::Channel& Ch(int c) { return layout::kChannels[c - 1]; }

// Every byte of every item that no channel page owns, as one string: the
// drive time items past byte 1, record 21's flag byte's upper four bits and
// the records' bytes outside the two blocks.
std::string Unowned(const FakeNode& node) {
    std::string s;
    for (const auto& [item, b] : node.items) {
        for (int i = 0; i < 32; ++i) {
            bool owned = false;
            for (const layout::Channel& c : layout::kChannels) {
                if (item == c.driveTimeItem && i < 2) owned = true;
                if (item == c.record && i >= c.block && i < c.block + layout::kBlockSize) owned = true;
            }
            if (item == layout::kFlagRecord && i == 0) s += char(b[0] & 0xF0);
            else if (!owned && item != 23 && !(item >= 24 && item <= 27) && item != 13 && item != 14 && item != 17 &&
                     item != 18)
                s += char(b[i]);
        }
    }
    return s;
}

// A channel's settings as the node holds them, read from the fake's bytes
// through the layout table.
ChannelSettings Held(const FakeNode& node, int c) {
    ChannelSettings s;
    std::copy_n(node.items.at(Ch(c).driveTimeItem).begin(), 2, s.driveTime.begin());
    s.luxCommon = node.items.at(21)[0] & Ch(c).luxBit;
    std::copy_n(node.items.at(Ch(c).record).begin() + Ch(c).block, layout::kBlockSize, s.block.begin());
    return s;
}

ChannelSettings Other(const ChannelSettings& s) {
    ChannelSettings o = s;
    for (auto& b : o.block) b = BYTE_T(~b);
    o.driveTime[0] ^= 0xFF;
    o.luxCommon = !s.luxCommon;
    return o;
}

// The items the wanted channels live in, in reading order: 21, 22 when a
// channel of it is wanted, the drive time items by channel.
std::vector<long> ItemsOf(const std::vector<int>& channels) {
    std::vector<long> items = {21};
    if (std::any_of(channels.begin(), channels.end(), [](int c) { return Ch(c).record == 22; })) items.push_back(22);
    for (int c : channels) items.push_back(Ch(c).driveTimeItem);
    return items;
}

std::string Calls(const char* op, const std::vector<long>& items, int length, long driveLength = -1) {
    std::string s;
    for (long i : items) {
        const bool drive = i >= 30;
        s += (s.empty() ? "" : " ") + std::string(op) + std::to_string(i) + ":" +
             std::to_string(drive && driveLength > 0 ? driveLength : length);
    }
    return s;
}

// A channel's writes and read-backs, in the page's order: its drive time
// item, record 21, record 22 for channels 3 and 4.
std::string WriteCalls(int c) {
    std::vector<long> items = {Ch(c).driveTimeItem, 21};
    if (Ch(c).record == 22) items.push_back(22);
    return Calls("W", items, 31, 2) + " " + Calls("R", items, 31);
}

// Steps that the user stops at a given step ("Writing Sunblind 2").
struct StopAt final : TransferSteps {
    std::string at;
    std::vector<std::string> seen;
    std::vector<int> expected;
    bool stop = false;
    void Step(const std::string& what, int calls) override {
        seen.push_back(what);
        expected.push_back(calls);
        if (what == at) stop = true;
    }
    bool StopAsked() override { return stop; }
};

TEST(NodeSeam, PageReadAndWriteCallTheDesignsItems) {
    const struct {
        int channel;
        const char* read;
        const char* write;
    } rows[] = {
        {1, "R30:31 R21:31", "R30:32 W30:2 R21:32 W21:31"},
        {2, "R31:31 R21:31", "R31:32 W31:2 R21:32 W21:31"},
        {3, "R33:31 R21:31 R22:31", "R33:32 W33:2 R21:32 W21:31 R22:32 W22:31"},
        {4, "R32:31 R21:31 R22:31", "R32:32 W32:2 R21:32 W21:31 R22:32 W22:31"},
    };
    for (const auto& row : rows) {
        FakeNode node(row.channel);
        NodeItems items(&node);
        const PageRead shown = ReadPage(items, row.channel);
        EXPECT_EQ(node.Log(), row.read) << row.channel;
        ASSERT_TRUE(shown.topDownTime && shown.luxCommon && shown.block);
        // The page writes back what it showed: every item goes back as it was.
        PageEdits edits;
        edits.topDownTime = *shown.topDownTime;
        edits.luxCommon = *shown.luxCommon;
        for (int f = 0; f < kFieldCount; ++f) edits.field[f] = shown.block->text[f];
        const auto before = node.items;
        node.log.clear();
        WritePage(items, row.channel, edits);
        EXPECT_EQ(node.Log(), row.write) << row.channel;
        EXPECT_TRUE(node.items == before) << row.channel;
        // A failed read skips its item and only that one.
        node.log.clear();
        node.failRead = {21};
        edits.topDownTime = "1.5";
        WritePage(items, row.channel, edits);
        EXPECT_EQ(node.Log().find("W21"), std::string::npos) << row.channel;
        EXPECT_EQ(node.items.at(Ch(row.channel).driveTimeItem)[1], 15) << row.channel;
    }
}

// Save reads six items; Load and Copy read, write and read back only the
// wanted channels' items, for every subset of the four.
TEST(NodeSeam, SaveLoadAndCopyCallsForEverySubsetOfChannels) {
    {
        FakeNode node(7);
        NodeItems items(&node);
        std::string error;
        ASSERT_TRUE(ReadChannels(items, error));
        EXPECT_EQ(node.Log(), "R21:31 R22:31 R30:31 R31:31 R33:31 R32:31");
    }
    for (int mask = 1; mask < 16; ++mask) {
        std::vector<int> channels;
        for (int c = 1; c <= 4; ++c)
            if (mask & (1 << (c - 1))) channels.push_back(c);
        FakeNode node(100 + mask);
        const std::string unowned = Unowned(node);
        NodeChannels wanted;
        for (int c : channels) wanted[c - 1] = Other(Held(node, c));
        NodeItems items(&node);
        const TransferResult r = WriteChannels(items, wanted);
        const std::vector<long> touched = ItemsOf(channels);
        std::string calls = Calls("R", touched, 32);
        for (int c : channels) calls += " " + WriteCalls(c);
        EXPECT_EQ(node.Log(), calls) << "channels mask " << mask;
        EXPECT_EQ(r.written, channels) << mask;
        EXPECT_TRUE(r.error.empty() && r.notTaken.empty()) << mask << ": " << r.error;
        for (int c = 1; c <= 4; ++c)
            EXPECT_EQ(Held(node, c), wanted[c - 1] ? *wanted[c - 1] : Held(FakeNode(100 + mask), c)) << mask << " " << c;
        EXPECT_EQ(Unowned(node), unowned) << mask;
    }
}

// What may go wrong at the node, and what the user is told.
TEST(NodeSeam, FailuresLoseNothingAndAreNamed) {
    const struct {
        const char* name;
        std::vector<int> channels;
        std::set<long> failRead, failWrite, dropWrite;
        int failReadAfterWrites;
        const char* calls;
        const char* error;  // in the message; "" for none
        std::vector<int> notTaken;
        bool nodeChanged;
    } rows[] = {
        {"refused write", {3}, {}, {22}, {}, -1, "R21:32 R22:32 R33:32 W33:2 W21:31 W22:31 R33:31 R21:31 R22:31",
         "refused the write of item 22", {3}, true},
        {"answered 0, not kept", {2, 4}, {}, {}, {31}, -1,
         "R21:32 R22:32 R31:32 R32:32 W31:2 W21:31 R31:31 R21:31 W32:2 W21:31 W22:31 R32:31 R21:31 R22:31", "", {2},
         true},
        {"read fails before any write", {1, 3}, {22}, {}, {}, -1, "R21:32 R22:32", "item 22. Nothing was written", {},
         false},
        {"read fails after the first write", {1}, {}, {}, {}, 1, "R21:32 R30:32 W30:2 W21:31 R30:31 R21:31",
         "could not be checked", {1}, true},
        // Channel 2 starts from record 21 as read back after channel 1:
        // that read failed, so it is read again, fails, and channel 2 is
        // not written.
        {"read back fails, then the next channel's read", {1, 2}, {}, {}, {}, 2,
         "R21:32 R30:32 R31:32 W30:2 W21:31 R30:31 R21:31 R21:32", "could not be checked", {1}, true},
    };
    for (const auto& row : rows) {
        FakeNode node(55);
        const auto before = node.items;
        const std::string unowned = Unowned(node);
        NodeChannels wanted;
        for (int c : row.channels) wanted[c - 1] = Other(Held(node, c));
        node.failRead = row.failRead;
        node.failWrite = row.failWrite;
        node.dropWrite = row.dropWrite;
        node.failReadAfterWrites = row.failReadAfterWrites;
        NodeItems items(&node);
        const TransferResult r = WriteChannels(items, wanted);
        EXPECT_EQ(node.Log(), row.calls) << row.name;
        if (*row.error) EXPECT_NE(r.error.find(row.error), std::string::npos) << row.name << ": " << r.error;
        else EXPECT_EQ(r.error, "") << row.name;
        EXPECT_EQ(r.notTaken, row.notTaken) << row.name;
        EXPECT_EQ(node.items != before, row.nodeChanged) << row.name;
        EXPECT_EQ(Unowned(node), unowned) << row.name;
    }
}

// At the floor: an item whose bytes would not change is neither written nor
// read back, and a Load without any difference writes nothing.
TEST(NodeSeam, UnchangedItemsAreNotWritten) {
    const struct {
        const char* name;
        void (*change)(ChannelSettings&);
        const char* calls;
    } rows[] = {
        {"block only", [](ChannelSettings& s) { s.block[3] ^= 1; }, "R21:32 R31:32 W21:31 R21:31"},
        {"drive time only", [](ChannelSettings& s) { s.driveTime[1] ^= 1; }, "R21:32 R31:32 W31:2 R31:31"},
        {"lux bit only", [](ChannelSettings& s) { s.luxCommon = !s.luxCommon; }, "R21:32 R31:32 W21:31 R21:31"},
        {"nothing", [](ChannelSettings&) {}, "R21:32 R31:32"},
    };
    for (const auto& row : rows) {
        FakeNode node(9);
        NodeChannels wanted;
        wanted[1] = Held(node, 2);
        row.change(*wanted[1]);
        NodeItems items(&node);
        const TransferResult r = WriteChannels(items, wanted);
        EXPECT_EQ(node.Log(), row.calls) << row.name;
        EXPECT_TRUE(r.error.empty() && r.notTaken.empty()) << row.name;
        EXPECT_EQ(Held(node, 2), *wanted[1]) << row.name;
    }
}

// Stop between channels: the channel in progress is finished with its
// read-back, no further channel changes, and the result names both.
TEST(NodeSeam, StopFinishesTheChannelInProgressAndNoOther) {
    const struct {
        const char* stopAt;
        const char* calls;
        std::vector<int> written, notWritten;
        std::vector<int> expected;  // the calls expected in all, told at each step
    } rows[] = {
        {"", "R21:32 R22:32 R30:32 R31:32 R33:32 R32:32", {1, 2, 3, 4}, {}, {26, 26, 26, 26, 26}},
        {"Reading the items to change", "", {}, {1, 2, 3, 4}, {26}},
        {"Writing Sunblind 1", "R21:32 R22:32 R30:32 R31:32 R33:32 R32:32 W30:2 W21:31 R30:31 R21:31", {1},
         {2, 3, 4}, {26, 26}},
        {"Writing Sunblind 3", "", {1, 2, 3}, {4}, {26, 26, 26, 26}},
    };
    for (const auto& row : rows) {
        FakeNode node(31);
        const FakeNode before(31);
        NodeChannels wanted;
        for (int c = 1; c <= 4; ++c) wanted[c - 1] = Other(Held(node, c));
        StopAt steps;
        steps.at = row.stopAt;
        NodeItems items(&node);
        const TransferResult r = WriteChannels(items, wanted, &steps);
        if (*row.calls) {
            EXPECT_EQ(node.Log().substr(0, std::string(row.calls).size()), row.calls) << row.stopAt;
        }
        if (!*row.stopAt) {
            EXPECT_EQ(static_cast<int>(node.log.size()), 26);
        }
        EXPECT_EQ(r.written, row.written) << row.stopAt;
        EXPECT_EQ(r.notWritten, row.notWritten) << row.stopAt;
        EXPECT_EQ(r.stopped, *row.stopAt != 0) << row.stopAt;
        EXPECT_EQ(steps.expected, row.expected) << row.stopAt;
        for (int c = 1; c <= 4; ++c) {
            const bool changed = std::count(row.written.begin(), row.written.end(), c) > 0;
            EXPECT_EQ(Held(node, c), changed ? *wanted[c - 1] : Held(before, c)) << row.stopAt << " " << c;
        }
        EXPECT_EQ(Unowned(node), Unowned(before)) << row.stopAt;
    }
    // A stop while the four channels are read leaves nothing read.
    FakeNode node(32);
    StopAt steps;
    steps.at = "Reading the settings of the four channels";
    NodeItems items(&node);
    std::string error = "x";
    EXPECT_FALSE(ReadChannels(items, error, &steps));
    EXPECT_EQ(error, "");
    EXPECT_EQ(node.Log(), "");
}

// What a Load or Copy tells its history: the channels it will write as the
// node holds them, before the first write; and per channel written, before,
// wanted and as read back (none when that read failed).
TEST(NodeSeam, TheHistorySeesTheChannelsBeforeTheFirstWrite) {
    struct Hook final : TransferSteps {
        FakeNode* node;
        std::size_t callsBefore = 0;
        NodeChannels seen;
        void Step(const std::string&, int) override {}
        bool StopAsked() override { return false; }
        void ReplacingChannels(const NodeChannels& before) override {
            callsBefore = node->log.size();
            seen = before;
        }
    };
    FakeNode node(41);
    const FakeNode before(41);
    NodeChannels wanted;
    wanted[1] = Other(Held(node, 2));
    wanted[3] = Held(node, 4);  // unchanged: not written, no record
    Hook hook;
    hook.node = &node;
    node.dropWrite = {31};  // Sunblind 2's drive time answered but not kept
    NodeItems items(&node);
    const TransferResult r = WriteChannels(items, wanted, &hook);
    EXPECT_EQ(node.Log().substr(0, 34), "R21:32 R22:32 R31:32 R32:32 W31:2 ");  // 22: Sunblind 4
    EXPECT_EQ(hook.callsBefore, 4u);
    ASSERT_TRUE(hook.seen[1] && hook.seen[3]);
    EXPECT_EQ(*hook.seen[1], Held(before, 2));
    EXPECT_EQ(*hook.seen[3], Held(before, 4));
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(r.records[0].channel, 2);
    EXPECT_EQ(r.records[0].before, Held(before, 2));
    EXPECT_EQ(r.records[0].wanted, *wanted[1]);
    ASSERT_TRUE(r.records[0].after);
    EXPECT_EQ(*r.records[0].after, Held(node, 2));
    EXPECT_NE(r.records[0].after->driveTime, wanted[1]->driveTime);  // not kept: the log says "not taken"
}

}  // namespace
