// The four sunblind pages on a simulated node, driven through real window
// messages: what each procedure reads and writes, what the controls show,
// and that every byte a page does not own goes back as the node holds it.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "node_layout.h"
#include "pages/sunblindpage.h"
#include "res/resource.h"
#include "sheetdriver.h"
#include "testutil.h"
#include "wtest.h"

using driver::FillJunk;
using driver::Rig;
using wtest::Hex;
using Bytes = std::vector<std::uint8_t>;

namespace {

using ChannelRow = layout::Channel;
using layout::kChannels;

// The node's calls since mark, as "R21:31 W30:2 N".
std::string Trace(const simnode::Node& node, size_t mark = 0) {
    std::string out;
    for (size_t i = mark; i < node.log.size(); ++i) {
        const auto& c = node.log[i];
        if (!out.empty()) out += ' ';
        if (c.op == simnode::Call::Name) {
            out += 'N';
            continue;
        }
        out += c.op == simnode::Call::Read ? 'R' : 'W';
        out += std::to_string(c.index) + ':' + std::to_string(c.length);
    }
    return out;
}

// The bytes of the last write to index since mark.
const Bytes* LastWrite(const simnode::Node& node, long index, size_t mark = 0) {
    const Bytes* found = nullptr;
    for (size_t i = mark; i < node.log.size(); ++i)
        if (node.log[i].op == simnode::Call::Write && node.log[i].index == index) found = &node.log[i].bytes;
    return found;
}

void SetBlock(simnode::Node& node, const ChannelRow& ch, const Bytes& block) {
    auto& rec = node.Item(ch.record);
    std::copy(block.begin(), block.end(), rec.begin() + ch.block);
}

void SetFlag(simnode::Node& node, int channel, bool common) {
    auto& b = node.Item(layout::kFlagRecord)[0];
    const std::uint8_t bit = kChannels[channel - 1].luxBit;
    b = static_cast<std::uint8_t>(common ? (b | bit) : (b & ~bit));
}

// Opens the sheet and shows the channel's tab.
HWND ShowChannel(Rig& rig, int channel) {
    if (!rig.Sheet() && !rig.Open()) return nullptr;
    rig.Select(channel);
    return rig.Page(channel);
}


}  // namespace

static void test_tabs_and_unshown_pages() {
    Rig rig;
    if (!ok(rig.Open(), "no sheet")) return;
    const char* captions[] = {"Node infomation", "Sunblind 1", "Sunblind 2", "Sunblind 3", "Sunblind 4"};
    ok(SendMessageA(rig.Tab(), TCM_GETITEMCOUNT, 0, 0) == 5, "tab count");
    for (int i = 0; i < 5; ++i) ok(rig.TabText(i) == captions[i], "tab %d: %s", i, rig.TabText(i).c_str());
    wtest::pump(200);
    // Pages never shown have made no node access and started no timer.
    ok(Trace(rig.node) == "N", "calls before any sunblind tab: %s", Trace(rig.node).c_str());
    rig.Select(2);
    ok(Trace(rig.node).find("R30") == std::string::npos, "channel 1 read without being shown");
}

// The first showing: one live refresh (window creation), then the settings.
static void test_first_showing_reads() {
    for (const ChannelRow& ch : kChannels) {
        for (bool common : {false, true}) {
            Rig rig;
            SetFlag(rig.node, ch.number, common);
            if (!ok(rig.Open(), "no sheet")) return;
            const size_t mark = rig.node.log.size();
            ShowChannel(rig, ch.number);
            std::string expected = "R21:31 R" + std::to_string(common ? 23 : ch.localLuxItem) + ":31 R" +
                                   std::to_string(ch.levelItem) + ":31 R" + std::to_string(ch.driveTimeItem) + ":31 R21:31";
            if (ch.record == 22) expected += " R22:31";
            ok(Trace(rig.node, mark) == expected, "ch %d common %d: %s", ch.number, common,
               Trace(rig.node, mark).c_str());
        }
    }
}

// What the controls show for given node contents.
static void test_controls_show_node_values() {
    // Down 500, Up 100, before down 12.3 s, before up 0.5 s, push long 1.0,
    // push short -1.0, level source 3, override 2, top 100 %, bottom 72.5 %.
    const Bytes block = {0x01, 0xF4, 0x00, 0x64, 0x00, 0x7B, 0x00, 0x05, 0x0A, 0xF6, 0x03, 0x02, 0xC8, 0x91};
    for (const ChannelRow& ch : kChannels) {
        Rig rig;
        FillJunk(rig.node, 7u + ch.number);
        rig.node.Item(21)[0] = 0;
        SetFlag(rig.node, ch.number, true);
        SetBlock(rig.node, ch, block);
        rig.node.Item(ch.driveTimeItem)[0] = 0x00, rig.node.Item(ch.driveTimeItem)[1] = 0x7B;
        rig.node.Item(23)[0] = 0x03, rig.node.Item(23)[1] = 0xE8;
        rig.node.Item(ch.levelItem)[0] = 0x91;
        HWND page = ShowChannel(rig, ch.number);
        if (!ok(page != nullptr, "ch %d: no page", ch.number)) continue;
        const SunblindControlIds& ids = SunblindIds(ch.number);
        struct {
            int id;
            const char* text;
        } shown[] = {
            {ids.field[sunblind::DownSetpoint], "500"}, {ids.field[sunblind::UpSetpoint], "100"},
            {ids.field[sunblind::TimeBeforeDown], "12.3"}, {ids.field[sunblind::TimeBeforeUp], "0.5"},
            {ids.field[sunblind::PushTimeLong], "1.0"}, {ids.field[sunblind::PushTimeShort], "-1.0"},
            {ids.field[sunblind::TopLevel], "100.0"}, {ids.field[sunblind::BottomLevel], "72.5"},
            {ids.topDownTime, "12.3"}, {ids.luxLevel, "1000"}, {ids.actualLevel, "72.5"},
        };
        for (const auto& s : shown)
            ok(rig.Text(page, s.id) == s.text, "ch %d id %d: '%s' expected '%s'", ch.number, s.id,
               rig.Text(page, s.id).c_str(), s.text);
        ok(rig.Check(page, ids.levelLocal) == 1 && rig.Check(page, ids.levelCommon) == 1, "ch %d level boxes",
           ch.number);
        ok(rig.Check(page, ids.overrideLocal) == 0 && rig.Check(page, ids.overrideCommon) == 1,
           "ch %d override boxes", ch.number);
        ok(rig.Check(page, ids.luxCommon) == 1 && rig.Check(page, ids.luxLocal) == 0, "ch %d lux radios",
           ch.number);
    }
}

// Source codes both ways; a code outside 0-3 leaves the boxes alone.
static void test_source_codes() {
    const ChannelRow& ch = kChannels[2];
    const SunblindControlIds& ids = SunblindIds(ch.number);
    struct {
        std::uint8_t code;
        int local, common;  // shown, starting from both checked
    } shown[] = {{0, 0, 0}, {1, 1, 0}, {2, 0, 1}, {3, 1, 1}, {5, 1, 1}, {0xFF, 1, 1}};
    Rig rig;
    HWND page = ShowChannel(rig, ch.number);
    for (const auto& row : shown) {
        SendDlgItemMessageA(page, ids.levelLocal, BM_SETCHECK, 1, 0);
        SendDlgItemMessageA(page, ids.levelCommon, BM_SETCHECK, 1, 0);
        rig.node.Item(22)[ch.block + 10] = row.code;
        rig.Click(page, IDC_READ);
        ok(rig.Check(page, ids.levelLocal) == row.local && rig.Check(page, ids.levelCommon) == row.common,
           "code %d shows %d %d", row.code, rig.Check(page, ids.levelLocal), rig.Check(page, ids.levelCommon));
    }
    struct {
        int local, common;
        std::uint8_t code;
    } stored[] = {{0, 0, 0}, {1, 0, 1}, {0, 1, 2}, {1, 1, 3}};
    for (const auto& row : stored) {
        SendDlgItemMessageA(page, ids.overrideLocal, BM_SETCHECK, row.local, 0);
        SendDlgItemMessageA(page, ids.overrideCommon, BM_SETCHECK, row.common, 0);
        const size_t mark = rig.node.log.size();
        rig.Click(page, IDC_WRITE);
        const Bytes* rec = LastWrite(rig.node, 22, mark);
        ok(rec && (*rec)[ch.block + 11] == row.code, "boxes %d %d stored %d", row.local, row.common,
           rec ? (*rec)[ch.block + 11] : -1);
    }
}

// Edited values reach the node as the encodings say; every byte the channel
// does not own goes back as the node holds it just before the write, even
// when the node changed it after the page last showed it.
static void test_write_bytes_after_edits() {
    for (const ChannelRow& ch : kChannels) {
        Rig rig;
        FillJunk(rig.node, 100u + ch.number);
        HWND page = ShowChannel(rig, ch.number);
        if (!ok(page != nullptr, "no page")) continue;
        const SunblindControlIds& ids = SunblindIds(ch.number);
        const char* texts[sunblind::kFieldCount] = {};
        texts[sunblind::DownSetpoint] = "500";
        texts[sunblind::UpSetpoint] = "70000";
        texts[sunblind::TimeBeforeDown] = "12.34";
        texts[sunblind::TimeBeforeUp] = "-5";
        texts[sunblind::PushTimeLong] = "20";
        texts[sunblind::PushTimeShort] = "-0.05";
        texts[sunblind::TopLevel] = "100";
        texts[sunblind::BottomLevel] = "99.9";
        for (int f = 0; f < sunblind::kFieldCount; ++f) rig.SetText(page, ids.field[f], texts[f]);
        rig.SetText(page, ids.topDownTime, "abc");
        // The user sets the boxes (each click toggles one): level local only,
        // override both.
        for (const auto& box : {std::make_pair(ids.levelLocal, 1), std::make_pair(ids.levelCommon, 0),
                                std::make_pair(ids.overrideLocal, 1), std::make_pair(ids.overrideCommon, 1)}) {
            SendDlgItemMessageA(page, box.first, BM_SETCHECK, !box.second, 0);
            rig.Click(page, box.first);
        }
        rig.Click(page, ids.luxCommon);

        // Someone else changes bytes this page does not own.
        FillJunk(rig.node, 900u + ch.number);
        SetFlag(rig.node, ch.number, false);
        const Bytes before21 = rig.node.Item(21), before22 = rig.node.Item(22), beforeDrive = rig.node.Item(ch.driveTimeItem);

        const size_t mark = rig.node.log.size();
        rig.Click(page, IDC_WRITE);
        std::string expected = "R" + std::to_string(ch.driveTimeItem) + ":32 W" + std::to_string(ch.driveTimeItem) + ":2 R21:32 W21:31";
        if (ch.record == 22) expected += " R22:32 W22:31";
        expected += " R" + std::to_string(ch.driveTimeItem) + ":31 R21:31";
        if (ch.record == 22) expected += " R22:31";
        ok(Trace(rig.node, mark) == expected, "ch %d: %s", ch.number, Trace(rig.node, mark).c_str());

        const Bytes* drive = LastWrite(rig.node, ch.driveTimeItem, mark);
        ok(drive && Hex(*drive, 0, drive->size()) == "0000", "ch %d drive %s", ch.number,
           drive ? Hex(*drive, 0, drive->size()).c_str() : "none");
        ok(Hex(rig.node.Item(ch.driveTimeItem), 0, 2) == "0000" &&
               Hex(rig.node.Item(ch.driveTimeItem), 2, 30) == Hex(beforeDrive, 2, 30),
           "ch %d drive item %s, was %s", ch.number, Hex(rig.node.Item(ch.driveTimeItem), 0, 32).c_str(),
           Hex(beforeDrive, 0, 32).c_str());

        const Bytes* flagRec = LastWrite(rig.node, 21, mark);
        if (!ok(flagRec && flagRec->size() == 31, "ch %d: no record 21 write", ch.number)) continue;
        Bytes expect21(before21.begin(), before21.begin() + 31);
        expect21[0] = static_cast<std::uint8_t>(expect21[0] | ch.luxBit);
        const Bytes* blockRec = ch.record == 21 ? flagRec : LastWrite(rig.node, 22, mark);
        if (!ok(blockRec && blockRec->size() == 31, "ch %d: no block write", ch.number)) continue;
        Bytes expectBlock(ch.record == 21 ? expect21 : Bytes(before22.begin(), before22.begin() + 31));
        const Bytes block = {0x01, 0xF4, 0x11, 0x70, 0x00, 0x7B, 0xFF, 0xCE, 0xC8, 0x00, 0x01, 0x03, 0xC8, 0xC7};
        std::copy(block.begin(), block.end(), expectBlock.begin() + ch.block);
        // Channels 1 and 2 keep block and flag in record 21, channels 3 and 4 split them.
        const Bytes& expectFlagRec = ch.record == 21 ? expectBlock : expect21;
        ok(*flagRec == expectFlagRec, "ch %d record 21: %s expected %s", ch.number, Hex(*flagRec, 0, 31).c_str(),
           Hex(expectFlagRec, 0, 31).c_str());
        if (ch.record == 22)
            ok(*blockRec == expectBlock, "ch %d record 22: %s expected %s", ch.number,
               Hex(*blockRec, 0, 31).c_str(), Hex(expectBlock, 0, 31).c_str());
        // The re-read shows what the node holds now.
        ok(rig.Text(page, ids.field[sunblind::UpSetpoint]) == "4464", "ch %d up setpoint shows %s", ch.number,
           rig.Text(page, ids.field[sunblind::UpSetpoint]).c_str());
        ok(rig.Text(page, ids.field[sunblind::TimeBeforeUp]) == "6548.6", "ch %d before up shows %s", ch.number,
           rig.Text(page, ids.field[sunblind::TimeBeforeUp]).c_str());
    }
}

// A Write of what the page shows, unedited, leaves the node as it was, also
// where the node holds source codes the check boxes cannot show (they go
// back as read).
static void test_unedited_write_changes_nothing() {
    const std::uint8_t codes[][2] = {{1, 2}, {5, 0x80}, {0xFF, 3}};  // level, override source
    for (const ChannelRow& ch : kChannels) {
        for (unsigned seed : {1u, 2u, 3u}) {
            Rig rig;
            FillJunk(rig.node, seed * 31u + ch.number);
            rig.node.Item(ch.record)[ch.block + 10] = codes[seed - 1][0];
            rig.node.Item(ch.record)[ch.block + 11] = codes[seed - 1][1];
            const auto before = rig.node.items;
            HWND page = ShowChannel(rig, ch.number);
            rig.Click(page, IDC_WRITE);
            ok(rig.node.items == before, "ch %d seed %u: node changed", ch.number, seed);
            ok(LastWrite(rig.node, ch.record) != nullptr, "ch %d: nothing written", ch.number);
        }
    }
}

// A code the boxes cannot show goes back as read until the user clicks one
// of that pair's boxes; then the pair's boxes are stored.
static void test_unshown_code_kept_until_its_boxes_change() {
    const ChannelRow& ch = kChannels[2];
    const SunblindControlIds& ids = SunblindIds(ch.number);
    Rig rig;
    rig.node.Item(ch.record)[ch.block + 10] = 5;
    rig.node.Item(ch.record)[ch.block + 11] = 0x80;
    HWND page = ShowChannel(rig, ch.number);
    rig.Click(page, IDC_WRITE);
    const Bytes& rec = rig.node.Item(ch.record);
    ok(rec[ch.block + 10] == 5 && rec[ch.block + 11] == 0x80, "unedited: codes %d %d", rec[ch.block + 10],
       rec[ch.block + 11]);
    SendDlgItemMessageA(page, ids.levelLocal, BM_SETCHECK, 0, 0);  // a click toggles it on
    SendDlgItemMessageA(page, ids.levelCommon, BM_SETCHECK, 1, 0);
    rig.Click(page, ids.levelLocal);
    rig.Click(page, IDC_WRITE);
    ok(rec[ch.block + 10] == 3 && rec[ch.block + 11] == 0x80, "level boxes clicked: codes %d %d",
       rec[ch.block + 10], rec[ch.block + 11]);
}

// The tab's first reads fail, later ones work: a Write then stores only what
// the user typed; the channel's other settings, its lux source and the
// drive time go back as the node holds them.
static void test_write_after_failed_first_read() {
    struct Row {
        int channel;
        std::vector<long> failing;  // at the first showing
        bool typeDriveTime, typeDownSetpoint;
    } rows[] = {{1, {21}, true, false}, {1, {30, 21}, false, true}, {3, {22}, true, true}, {4, {32, 21, 22}, false, false}};
    for (const Row& row : rows) {
        const ChannelRow& ch = kChannels[row.channel - 1];
        const SunblindControlIds& ids = SunblindIds(ch.number);
        Rig rig;
        FillJunk(rig.node, 40u + ch.number);
        for (long i : row.failing) rig.node.failRead.insert(i);
        HWND page = ShowChannel(rig, ch.number);
        if (!ok(page != nullptr, "no page")) continue;
        rig.node.failRead.clear();
        Bytes expectDrive = rig.node.Item(ch.driveTimeItem), expectRecord = rig.node.Item(ch.record);
        const auto type = [&](int id, const char* text) {
            rig.SetText(page, id, text);
            SendDlgItemMessageA(page, id, EM_SETMODIFY, TRUE, 0);  // as typing leaves it
        };
        if (row.typeDriveTime) {
            type(ids.topDownTime, "12.5");
            expectDrive[0] = 0x00, expectDrive[1] = 0x7D;
        }
        if (row.typeDownSetpoint) {
            type(ids.field[sunblind::DownSetpoint], "1234");
            expectRecord[ch.block] = 0x04, expectRecord[ch.block + 1] = 0xD2;
        }
        const auto before = rig.node.items;
        rig.Click(page, IDC_WRITE);
        for (const auto& item : before) {
            const Bytes& expected = item.first == ch.driveTimeItem ? expectDrive : item.first == ch.record ? expectRecord
                                                                                                  : item.second;
            ok(rig.node.Item(item.first) == expected, "ch %d, failing %ld: item %ld %s, expected %s", row.channel,
               row.failing[0], item.first, Hex(rig.node.Item(item.first), 0, 32).c_str(),
               Hex(expected, 0, 32).c_str());
        }
    }
}

// Each step of Read and Write stands alone when its read fails.
static void test_failed_reads_skip_only_their_item() {
    struct Row {
        int channel;
        std::vector<long> failing;
        const char* writes;  // indices written by Write, in order
    } rows[] = {
        {1, {30}, "21"},     {1, {21}, "30"},       {2, {31, 21}, ""},
        {3, {33}, "21 22"},  {3, {21}, "33 22"},    {3, {22}, "33 21"},
        {4, {21, 22}, "32"}, {4, {32, 21, 22}, ""},
    };
    for (const Row& row : rows) {
        const ChannelRow& ch = kChannels[row.channel - 1];
        Rig rig;
        FillJunk(rig.node, 5u);
        HWND page = ShowChannel(rig, ch.number);
        const SunblindControlIds& ids = SunblindIds(ch.number);
        const std::string shownBefore = rig.Text(page, ids.field[sunblind::DownSetpoint]);
        for (long i : row.failing) rig.node.failRead.insert(i);
        rig.SetText(page, ids.field[sunblind::DownSetpoint], "1234");
        const size_t mark = rig.node.log.size();
        rig.Click(page, IDC_WRITE);
        std::string writes;
        size_t reads = 0;
        for (size_t i = mark; i < rig.node.log.size(); ++i) {
            const auto& c = rig.node.log[i];
            if (c.op == simnode::Call::Write) writes += (writes.empty() ? "" : " ") + std::to_string(c.index);
            if (c.op == simnode::Call::Read && c.length == 31) ++reads;
        }
        ok(writes == row.writes, "ch %d fail %ld: writes '%s'", row.channel, row.failing[0], writes.c_str());
        ok(reads == (ch.record == 22 ? 3u : 2u), "ch %d: re-read made %u reads", row.channel, (unsigned)reads);
        // Stored and re-read, or kept because the re-read failed as well.
        ok(rig.Text(page, ids.field[sunblind::DownSetpoint]) == "1234", "ch %d: down setpoint %s (was %s)",
           row.channel, rig.Text(page, ids.field[sunblind::DownSetpoint]).c_str(), shownBefore.c_str());
    }
}

// A host that fails every call: nothing changes on the page, nothing written.
static void test_host_failing_everything() {
    for (const ChannelRow& ch : kChannels) {
        Rig rig;
        rig.node.failAll = true;
        rig.node.failFill = simnode::FailFill::Scribble;
        HWND page = ShowChannel(rig, ch.number);
        const SunblindControlIds& ids = SunblindIds(ch.number);
        rig.SetText(page, ids.field[sunblind::UpSetpoint], "77");
        rig.Click(page, IDC_WRITE);
        rig.Click(page, IDC_READ);
        // The page's own timer, not a message with its id guessed: wait
        // for a tick to try the live values.
        const size_t mark = rig.node.log.size();
        const auto ticked = [&] {
            for (size_t i = mark; i < rig.node.log.size(); ++i)
                if (rig.node.log[i].op == simnode::Call::Read) return true;
            return false;
        };
        ok(wtest::pump_until(ticked, 20000), "ch %d: no tick", ch.number);
        for (int f = 0; f < sunblind::kFieldCount; ++f)
            ok(rig.Text(page, ids.field[f]) == (f == sunblind::UpSetpoint ? "77" : ""), "ch %d field %d: %s",
               ch.number, f, rig.Text(page, ids.field[f]).c_str());
        ok(rig.Text(page, ids.luxLevel).empty() && rig.Text(page, ids.actualLevel).empty(), "live values shown");
        ok(LastWrite(rig.node, 21) == nullptr && LastWrite(rig.node, 22) == nullptr &&
               LastWrite(rig.node, ch.driveTimeItem) == nullptr,
           "ch %d: a write after failed reads", ch.number);
    }
}

// A host that reports success but fills fewer bytes than asked never gets
// stale or stack bytes back: what it did not fill goes back as zero.
static void test_short_reads_send_no_garbage() {
    const ChannelRow& ch = kChannels[1];
    Rig rig;
    FillJunk(rig.node, 77u);
    HWND page = ShowChannel(rig, ch.number);
    rig.node.shortRead = 2;
    const size_t mark = rig.node.log.size();
    rig.Click(page, IDC_WRITE);
    const Bytes* rec = LastWrite(rig.node, 21, mark);
    if (!ok(rec != nullptr, "no record write")) return;
    ok(Hex(*rec, 2, 13) == std::string(26, '0') && Hex(*rec, 29, 2) == "0000", "unfilled bytes sent: %s",
       Hex(*rec, 0, 31).c_str());
}

// The lux value follows the flag stored in the node, not the radio buttons.
static void test_lux_follows_stored_flag() {
    const ChannelRow& ch = kChannels[3];
    const SunblindControlIds& ids = SunblindIds(ch.number);
    Rig rig;
    rig.node.Item(23)[1] = 50;
    rig.node.Item(ch.localLuxItem)[1] = 20;
    HWND page = ShowChannel(rig, ch.number);
    ok(rig.Text(page, ids.luxLevel) == "20", "local lux %s", rig.Text(page, ids.luxLevel).c_str());
    rig.Click(page, ids.luxCommon);
    ok(rig.Check(page, ids.luxCommon) == 1 && rig.Check(page, ids.luxLocal) == 0, "radio pair not exclusive");
    SendMessageA(page, WM_TIMER, 1, 0);
    ok(rig.Text(page, ids.luxLevel) == "20", "lux followed the unwritten radio: %s", rig.Text(page, ids.luxLevel).c_str());
    rig.Click(page, IDC_WRITE);
    SendMessageA(page, WM_TIMER, 1, 0);
    ok(rig.Text(page, ids.luxLevel) == "50", "lux after write %s", rig.Text(page, ids.luxLevel).c_str());
    ok((rig.node.Item(21)[0] & 0x08) != 0, "flag not stored");

    // A failed lux read keeps the last value; the level still refreshes.
    rig.node.failRead.insert(23);
    rig.node.Item(23)[1] = 99;
    rig.node.Item(ch.levelItem)[0] = 3;
    SendMessageA(page, WM_TIMER, 1, 0);
    ok(rig.Text(page, ids.luxLevel) == "50" && rig.Text(page, ids.actualLevel) == "1.5", "after failed lux: %s %s",
       rig.Text(page, ids.luxLevel).c_str(), rig.Text(page, ids.actualLevel).c_str());
    const size_t mark = rig.node.log.size();
    SendMessageA(page, WM_TIMER, 1, 0);
    ok(Trace(rig.node, mark) == "R21:31 R23:31 R17:31", "tick: %s", Trace(rig.node, mark).c_str());
}

// Typed and unwritten values give way to the node's on the next showing.
static void test_showing_replaces_typed_values() {
    const ChannelRow& ch = kChannels[0];
    const SunblindControlIds& ids = SunblindIds(ch.number);
    Rig rig;
    rig.node.Item(21)[ch.block + 1] = 42;
    HWND page = ShowChannel(rig, ch.number);
    rig.SetText(page, ids.field[sunblind::DownSetpoint], "999");
    rig.Select(2);
    rig.Select(1);
    ok(rig.Text(page, ids.field[sunblind::DownSetpoint]) == "42", "shows %s",
       rig.Text(page, ids.field[sunblind::DownSetpoint]).c_str());
}

// Whatever is typed, Write stores what the encodings say and never crashes.
static void test_bad_input_in_edits() {
    std::string longText(40000, '9');
    struct Row {
        std::string text;
        const char* down;  // stored Down setpoint bytes
    } rows[] = {
        {"", "0000"}, {"   ", "0000"}, {"abc", "0000"}, {"-", "0000"}, {"+", "0000"},
        {"1e400", "0000"}, {"-inf", "0000"}, {"nan", "0000"}, {"0x1F", "001F"}, {longText, "0000"},
        {"\xE9\xFF\x80", "0000"}, {" 12.9kg", "000C"}, {"-1", "FFFF"},
    };
    const ChannelRow& ch = kChannels[1];
    const SunblindControlIds& ids = SunblindIds(ch.number);
    Rig rig;
    HWND page = ShowChannel(rig, ch.number);
    for (const Row& row : rows) {
        for (int f = 0; f < sunblind::kFieldCount; ++f) rig.SetText(page, ids.field[f], row.text);
        rig.SetText(page, ids.topDownTime, row.text);
        const size_t mark = rig.node.log.size();
        rig.Click(page, IDC_WRITE);
        const Bytes* rec = LastWrite(rig.node, 21, mark);
        ok(rec && Hex(*rec, ch.block, 2) == row.down, "'%.20s': down %s", row.text.c_str(),
           rec ? Hex(*rec, ch.block, 2).c_str() : "none");
        ok(IsWindow(page), "page gone");
    }
}

// The real timer: every 2 s, also on a page that is no longer in front.
static void test_real_timer_keeps_ticking_when_hidden() {
    const ChannelRow& ch = kChannels[0];
    Rig rig;
    const DWORD start = GetTickCount();  // before the page and its timer exist
    ShowChannel(rig, ch.number);
    rig.Select(3);
    const auto levelReads = [&] {
        int n = 0;
        for (const auto& c : rig.node.log) n += c.op == simnode::Call::Read && c.index == ch.levelItem;
        return n;
    };
    // Two more ticks, however busy the machine, and not sooner than two
    // periods after the timer was set (a busy machine only delays them).
    const int before = levelReads();
    wtest::pump_until([&] { return levelReads() - before >= 2; }, 30000);
    const DWORD took = GetTickCount() - start;
    ok(levelReads() - before >= 2, "hidden page ticked %d times in %lu ms", levelReads() - before, took);
    ok(took >= 3500, "two ticks within %lu ms of showing the page", took);
}

// ---- Settings files and copying, from the node-information page ---------

namespace {

// The bytes the pages own, written out here: record 21's low four bits of
// byte 0 (the LuxSource bits of channels 1-4), bytes 1-28 of records 21 and
// 22 (two 14-byte blocks each), bytes 0-1 of the drive time items.
struct OwnedByte {
    long item;
    int byte;
    std::uint8_t mask;
};
std::vector<OwnedByte> OwnedBytes(const std::vector<int>& channels) {
    std::vector<OwnedByte> owned;
    for (int c : channels) {
        const ChannelRow& ch = kChannels[c - 1];
        owned.push_back({layout::kFlagRecord, 0, ch.luxBit});
        for (int i = 0; i < layout::kBlockSize; ++i) owned.push_back({ch.record, ch.block + i, 0xFF});
        owned.push_back({ch.driveTimeItem, 0, 0xFF});
        owned.push_back({ch.driveTimeItem, 1, 0xFF});
    }
    return owned;
}

// Every byte of `after` is `owner`'s where a channel in `channels` owns it
// (owner's channel `from[c]`), and `before`'s everywhere else.
int WrongBytes(const std::map<long, Bytes>& after, const std::map<long, Bytes>& before,
               const std::map<long, Bytes>& owner, const std::vector<int>& channels, const int from[4]) {
    int wrong = 0;
    std::map<long, Bytes> expected = before;
    for (int c : channels) {
        const std::vector<OwnedByte> target = OwnedBytes({c}), source = OwnedBytes({from[c - 1]});
        for (std::size_t i = 0; i < target.size(); ++i) {
            const std::uint8_t bit = source[i].mask, sourceByte = owner.at(source[i].item)[source[i].byte];
            std::uint8_t& b = expected[target[i].item][target[i].byte];
            if (target[i].mask == 0xFF)
                b = sourceByte;
            else
                b = static_cast<std::uint8_t>((b & ~target[i].mask) | ((sourceByte & bit) ? target[i].mask : 0));
        }
    }
    for (const auto& item : expected)
        for (std::size_t i = 0; i < item.second.size(); ++i) wrong += after.at(item.first)[i] != item.second[i];
    return wrong;
}

int Writes(const simnode::Node& node) {
    int n = 0;
    for (const auto& c : node.log) n += c.op == simnode::Call::Write;
    return n;
}

const int kSame[4] = {1, 2, 3, 4};

std::string LastBox(const Rig& rig) { return rig.watch.boxes.empty() ? "<none>" : rig.watch.boxes.back().text; }

}  // namespace

// Saved from one node and loaded into another, every byte the pages own
// arrives exactly, whatever it holds (codes the boxes cannot show too);
// every other byte of the second node stays its own. The confirmation
// names the differences; opening the sheet makes no call beyond today's.
static void test_settings_save_and_load() {
    const std::string file = testutil::FreshDir("settings") + "\\Node 日本 settings.txt";
    for (unsigned seed : {1u, 2u, 3u}) {
        std::map<long, Bytes> saved;  // the first node's items
        {
            Rig a;  // one sheet at a time: every watch answers all boxes of the thread
            FillJunk(a.node, seed);
            ok(a.Open(), "seed %u: first sheet not open", seed);
            a.watch.file = brhost::Wide(file);
            const std::size_t opened = a.node.log.size();
            a.Click(a.Page(0), IDC_SAVESETTINGS);
            ok(a.watch.fileDialogs == 1, "seed %u: save dialog answered %d times", seed, a.watch.fileDialogs);
            ok(Trace(a.node, opened) == "N R21:31 R22:31 R30:31 R31:31 R33:31 R32:31", "seed %u: save made %s", seed,
               Trace(a.node, opened).c_str());
            ok(LastBox(a).find("saved to") != std::string::npos, "seed %u: %s", seed, LastBox(a).c_str());
            saved = a.node.items;
        }
        const std::string text = testutil::Slurp(file);
        ok(text.compare(0, 27, "Brisel settings, format 1\r\n") == 0 &&
               text.find("Node name = Sunblind controller 7\r\n") != std::string::npos,
           "seed %u: file starts %.60s", seed, text.c_str());
        Rig b;
        FillJunk(b.node, seed + 100);
        const auto before = b.node.items;
        ok(b.Open(), "seed %u: second sheet not open", seed);
        b.watch.file = brhost::Wide(file);
        const std::size_t loading = b.node.log.size();
        b.Click(b.Page(0), IDC_LOADSETTINGS);
        // Read for the list (and the node's name for the question), read again
        // right before writing, then channel by channel: write what changes,
        // read it back (channel 3's lux bit is the node's already).
        ok(Trace(b.node, loading) ==
               "R21:31 R22:31 R30:31 R31:31 R33:31 R32:31 N R21:32 R22:32 R30:32 R31:32 R33:32 R32:32 W30:2 W21:31 "
               "R30:31 R21:31 W31:2 W21:31 R31:31 R21:31 W33:2 W22:31 R33:31 R22:31 W32:2 W21:31 W22:31 R32:31 R21:31 "
               "R22:31",
           "seed %u: load made %s", seed, Trace(b.node, loading).c_str());
        ok(b.watch.boxes.size() == 2 && b.watch.boxes[0].text.find("(saved from \"Sunblind controller 7\") into "
                                                                   "\"Sunblind controller 7\"?") != std::string::npos &&
               !b.watch.boxes[0].rows.empty() && b.watch.boxes[0].rows[0].compare(0, 25, "Sunblind 1|Down setpoint|") == 0,
           "seed %u: confirmation %s, first row %s", seed, b.watch.boxes.empty() ? "<none>" : b.watch.boxes[0].text.c_str(),
           b.watch.boxes.empty() || b.watch.boxes[0].rows.empty() ? "<none>" : b.watch.boxes[0].rows[0].c_str());
        ok(LastBox(b).find("read back") != std::string::npos, "seed %u: %s", seed, LastBox(b).c_str());
        const int wrong = WrongBytes(b.node.items, before, saved, {1, 2, 3, 4}, kSame);
        ok(wrong == 0, "seed %u: %d bytes of the second node differ from what they should be", seed, wrong);
        // Loading the same file again changes nothing and writes nothing.
        const int writes = Writes(b.node);
        b.Click(b.Page(0), IDC_LOADSETTINGS);
        ok(Writes(b.node) == writes && LastBox(b).find("already holds") != std::string::npos, "seed %u: reload: %s",
           seed, LastBox(b).c_str());
    }
}

// A file that cannot be loaded is refused with words naming the problem,
// before the node is touched; so is a confirmation the user cancels.
static void test_settings_refused_files() {
    const std::string dir = testutil::FreshDir("settings-bad");
    const std::string file = dir + "\\good.txt";
    {
        Rig good;
        ok(good.Open(), "sheet not open");
        good.watch.file = brhost::Wide(file);
        good.Click(good.Page(0), IDC_SAVESETTINGS);
    }
    const std::string text = testutil::Slurp(file);
    ok(text.size() > 500, "no settings file saved: %u bytes", (unsigned)text.size());
    const std::size_t down = text.find("Down setpoint = ");
    const struct {
        const char* name;
        std::string bytes;
        const char* says;  // in the message
    } rows[] = {
        {"empty", "", "empty"},
        {"truncated", text.substr(0, text.size() / 2), "incomplete"},
        {"UTF-16", std::string("\xFF\xFE", 2) + std::string("B\0r\0i\0", 6), "UTF-16"},
        {"a line over 1 KB", text.substr(0, down) + "Down setpoint = " + std::string(1100, '1') + text.substr(down + 21),
         "Line 9: This line is 1129 bytes long; a line may have at most 1024."},
        {"over 64 KB", text + std::string(70000, '#'), "64 KB"},
        {"a duplicate key", text.substr(0, down) + "Down setpoint = 1\r\n" + text.substr(down),
         "Line 10: Down setpoint appears twice in [Sunblind 1] (first on line 9)."},
        {"format 2", "Brisel settings, format 2" + text.substr(text.find("\r\n")), "format 2"},
        {"out of range", text.substr(0, down) + "Down setpoint = 70000" + text.substr(text.find("\r\n", down)),
         "70000"},
    };
    for (const auto& row : rows) {
        Rig rig;
        ok(rig.Open(), "%s: sheet not open", row.name);
        const auto before = rig.node.items;
        testutil::Spit(dir + "\\bad.txt", row.bytes);
        rig.watch.file = brhost::Wide(dir + "\\bad.txt");
        rig.Click(rig.Page(0), IDC_LOADSETTINGS);
        ok(rig.watch.boxes.size() == 1 && LastBox(rig).find(row.says) != std::string::npos &&
               LastBox(rig).find("The node was not changed") != std::string::npos,
           "%s: %s", row.name, LastBox(rig).c_str());
        ok(Writes(rig.node) == 0 && rig.node.items == before, "%s: the node was written", row.name);
    }
    {
        Rig rig;
        FillJunk(rig.node, 9);
        const auto before = rig.node.items;
        ok(rig.Open(), "cancel: sheet not open");
        rig.watch.file = brhost::Wide(file);
        rig.watch.answer = IDCANCEL;
        rig.Click(rig.Page(0), IDC_LOADSETTINGS);
        ok(rig.watch.boxes.size() == 1 && Writes(rig.node) == 0 && rig.node.items == before,
           "cancelled load: %d writes, %u boxes", Writes(rig.node), (unsigned)rig.watch.boxes.size());
    }
    {
        // A file that cannot be replaced (another program has it open)
        // stays whole, and nothing is left beside it.
        Rig rig;
        ok(rig.Open(), "in use: sheet not open");
        const std::string busy = dir + "\\in use.txt";
        testutil::Spit(busy, "the old file");
        HANDLE held = CreateFileW(brhost::Wide(busy).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        rig.watch.file = brhost::Wide(busy);
        rig.Click(rig.Page(0), IDC_SAVESETTINGS);
        CloseHandle(held);
        ok(LastBox(rig).find("could not be written") != std::string::npos, "in use: %s", LastBox(rig).c_str());
        ok(testutil::Slurp(busy) == "the old file", "a file in use was changed");
        ok(testutil::Names(dir).size() == 3, "%u files beside the one in use", (unsigned)testutil::Names(dir).size());
    }
}

// The wait cursor shows while a page's Write (with its Read), a Read and a
// Save make their item calls.
static void test_wait_cursor_during_node_calls() {
    Rig rig;
    HWND page = ShowChannel(rig, 3);
    if (!ok(page != nullptr, "no page")) return;
    KillTimer(page, 1);  // no live-value tick among the counted calls
    const HCURSOR wait = LoadCursor(nullptr, IDC_WAIT);
    int calls = 0, waiting = 0;
    rig.node.beforeCall = [&](simnode::Call::Op op, long) {
        if (op == simnode::Call::Name) return;  // the name, read as a tab shows, is one quick call
        ++calls, waiting += GetCursor() == wait;
    };
    rig.Click(page, IDC_WRITE);
    rig.Click(page, IDC_READ);
    rig.Select(0);
    rig.watch.file = brhost::Wide(testutil::FreshDir("settings-cursor") + "\\c.txt");
    rig.Click(rig.Page(0), IDC_SAVESETTINGS);
    rig.node.beforeCall = nullptr;
    ok(calls == 9 + 3 + 6 && waiting == calls, "%d of %d item calls under the wait cursor", waiting, calls);
}

// The node-information tab's own commands have access keys, each once on
// the tab; the "To" boxes' keys are their channels' digits.
static void test_node_tab_access_keys() {
    Rig rig;
    if (!ok(rig.Open(), "no sheet")) return;
    HWND page = rig.Page(0);
    auto keys = [&] {
        std::string found;
        for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            const std::string text = wtest::Text(child);
            const std::size_t amp = text.find('&');
            if (amp != std::string::npos && amp + 1 < text.size()) found += char(toupper(text[amp + 1]));
        }
        std::sort(found.begin(), found.end());
        return found;
    };
    ok(keys() == "234CFLRST", "access keys %s", keys().c_str());
    SendDlgItemMessageA(page, IDC_COPYFROM, CB_SETCURSEL, 2, 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_COPYFROM, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_COPYFROM)));
    ok(keys() == "124CFLRST" && rig.Text(page, IDC_COPYTO3) == "Sunblind &4", "from Sunblind 3: %s, %s", keys().c_str(),
       rig.Text(page, IDC_COPYTO3).c_str());
}

// The change table of a file that differs in every one of the 48 settings:
// one row per setting, grouped by channel in the file's order, the values in
// the page's units, the target node named; it fits the screen's work area.
// Cancel and Esc write nothing; OK writes it all.
static void test_change_table() {
    const std::string dir = testutil::FreshDir("settings-table");
    std::string text = "Brisel settings, format 1\r\nNode name = Desk\r\nSaved = today\r\n";
    for (int c = 1; c <= 4; ++c)
        text += "[Sunblind " + std::to_string(c) + "]\r\nDown setpoint = 100" + std::to_string(c) +
                "\r\nUp setpoint = 200\r\nTime before down = 1.5\r\nTime before up = 2.5\r\nPush time short = 0.3\r\n"
                "Push time long = -0.4\r\nTop down time = 12.5\r\nTop level = 50.5\r\nBottum level = 10.0\r\n"
                "nviLux = Common\r\nnviLevel = Local\r\nnviOverrideLevel = Local and Common\r\n";
    text += "End of settings\r\n";
    testutil::Spit(dir + "\\all.txt", text);
    const char* const want[12] = {"Down setpoint|0|100", "Up setpoint|0|200", "Time before down|0.0|1.5",
                                  "Time before up|0.0|2.5", "Push time short|0.0|0.3", "Push time long|0.0|-0.4",
                                  "Top down time|0.0|12.5", "Top level|0.0|50.5", "Bottum level|0.0|10.0",
                                  "nviLux|Local|Common", "nviLevel|None|Local", "nviOverrideLevel|None|Local and Common"};
    for (const char* how : {"Cancel", "Esc", "OK"}) {
        Rig rig;
        FillJunk(rig.node, 4);
        for (const ChannelRow& ch : kChannels) {  // every setting 0, "Local", "None"
            SetBlock(rig.node, ch, Bytes(layout::kBlockSize, 0));
            SetFlag(rig.node, ch.number, false);
            rig.node.Item(ch.driveTimeItem)[0] = rig.node.Item(ch.driveTimeItem)[1] = 0;
        }
        const auto before = rig.node.items;
        ok(rig.Open(), "%s: sheet not open", how);
        rig.watch.file = brhost::Wide(dir + "\\all.txt");
        rig.watch.answer = std::string(how) == "OK" ? IDOK : IDCANCEL;
        rig.watch.escape = std::string(how) == "Esc";
        rig.Click(rig.Page(0), IDC_LOADSETTINGS);
        if (!ok(!rig.watch.boxes.empty(), "%s: no change table", how)) continue;
        const driver::Box& table = rig.watch.boxes[0];
        ok(table.caption == "Load settings" && table.text.find("into \"Sunblind controller 7\"?") != std::string::npos,
           "%s: %s: %s", how, table.caption.c_str(), table.text.c_str());
        ok(table.rows.size() == 48, "%s: %u rows", how, unsigned(table.rows.size()));
        for (std::size_t i = 0; i < table.rows.size() && i < 48; ++i) {
            const std::string row = "Sunblind " + std::to_string(i / 12 + 1) + "|" + want[i % 12];
            const std::string wanted = i % 12 ? row : row + std::to_string(i / 12 + 1);
            ok(table.rows[i] == wanted, "%s: row %u is %s, not %s", how, unsigned(i), table.rows[i].c_str(), wanted.c_str());
        }
        RECT work;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        const RECT& r = rig.watch.lastRect;
        ok(r.left >= work.left && r.top >= work.top && r.right <= work.right && r.bottom <= work.bottom,
           "%s: the table (%ld,%ld)-(%ld,%ld) leaves the work area (%ld,%ld)-(%ld,%ld)", how, r.left, r.top, r.right,
           r.bottom, work.left, work.top, work.right, work.bottom);
        if (std::string(how) == "OK")  // channel by channel: record 21 for each (its lux bit), 22 for 3 and 4
            ok(Writes(rig.node) == 10 && LastBox(rig).find("read back") != std::string::npos, "OK: %d writes, %s",
               Writes(rig.node), LastBox(rig).c_str());
        else
            ok(Writes(rig.node) == 0 && rig.node.items == before && rig.watch.boxes.size() == 1,
               "%s: %d writes, %u boxes", how, Writes(rig.node), unsigned(rig.watch.boxes.size()));
    }
}

// Copy: the chosen channel's settings go to the checked channels, with the
// same confirmation and check; a node refusing a write is reported.
static void test_settings_copy() {
    const struct {
        const char* name;
        int from;                // 1..4
        std::vector<int> boxes;  // "To" boxes checked, 0..2
        std::set<long> failWrite;
        std::vector<int> targets;
        const char* says;
    } rows[] = {
        {"2 to the three others", 2, {0, 1, 2}, {}, {1, 3, 4}, "read back"},
        {"4 to 1", 4, {0}, {}, {1}, "read back"},
        {"1 to 3", 1, {1}, {}, {3}, "read back"},
        {"1 to 3, record 22 refused", 1, {1}, {22}, {3}, "refused the write of item 22"},
    };
    for (const auto& row : rows) {
        Rig rig;
        FillJunk(rig.node, 5);
        rig.node.failWrite = row.failWrite;
        const auto before = rig.node.items;
        ok(rig.Open(), "%s: sheet not open", row.name);
        HWND page = rig.Page(0);
        SendDlgItemMessageA(page, IDC_COPYFROM, CB_SETCURSEL, row.from - 1, 0);
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_COPYFROM, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_COPYFROM)));
        for (int box : row.boxes) rig.Click(page, IDC_COPYTO1 + box);
        rig.Click(page, IDC_COPY);
        ok(rig.watch.boxes.size() == 2 && LastBox(rig).find(row.says) != std::string::npos, "%s: %s", row.name,
           LastBox(rig).c_str());
        int from[4] = {1, 2, 3, 4};
        for (int t : row.targets) from[t - 1] = row.from;
        if (row.failWrite.empty()) {
            const int wrong = WrongBytes(rig.node.items, before, before, row.targets, from);
            ok(wrong == 0, "%s: %d bytes wrong", row.name, wrong);
        } else {
            ok(rig.node.items.at(22) == before.at(22) && LastBox(rig).find("Sunblind 3") != std::string::npos,
               "%s: record 22 changed, or channel 3 not named", row.name);
        }
    }
}

namespace {

BOOL CALLBACK FindProgress(HWND hwnd, LPARAM out) {
    if (!GetDlgItem(hwnd, IDC_PROGRESS_BAR)) return TRUE;
    *reinterpret_cast<HWND*>(out) = hwnd;
    return FALSE;
}

// The progress window of this thread's sheet (a dialog with the bar), or null.
HWND ProgressWindow() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindProgress, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Another thread's message to a window of the sheet's thread, which notes
// as it answers how many node calls had been made by then: the thread
// answers between node calls, not only after the operation.
struct Probe {
    const simnode::Node* node;
    HWND target = nullptr;
    volatile LONG sending = 0;
    std::size_t answeredAt = 0;

    explicit Probe(const simnode::Node* n) : node(n) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"BriselTestProbe";
        RegisterClassW(&wc);  // once per process; later calls fail harmlessly
        target = CreateWindowW(L"BriselTestProbe", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(target, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Probe() { DestroyWindow(target); }
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Probe*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (message != WM_APP || !self) return DefWindowProcW(hwnd, message, wParam, lParam);
        self->answeredAt = self->node->log.size();
        return 0;
    }
    static DWORD WINAPI Run(void* p) {
        auto* probe = static_cast<Probe*>(p);
        InterlockedExchange(&probe->sending, 1);
        SendMessageW(probe->target, WM_APP, 0, 0);
        return 0;
    }
};

}  // namespace

// Copy of Sunblind 1 to the three others on a slow node (the window shows
// after 250 ms: the six reads before the first write take 360), with the live
// timers of all four pages ticking every 50 ms: a progress window shows the
// step; the sheet answers another thread's message between node calls and
// takes no input; no live value is read between the operation's calls (the
// timers resume after); Stop (the button or Esc) at a given node call
// finishes the channel in progress and changes no further channel.
static void test_progress_and_stop() {
    const struct {
        const char* name;
        int stopAtWrite;  // the 1-based write before which Stop is pressed; 0: never
        bool escape;
        std::vector<int> changed;  // channels that get Sunblind 1's settings
        const char* says;
    } rows[] = {
        {"not stopped", 0, false, {2, 3, 4}, "The settings were written and read back: the node holds them."},
        {"Stop in Sunblind 2", 1, false, {2}, "Stopped. Written and read back: Sunblind 2. Not changed: Sunblind 3, Sunblind 4."},
        {"Esc in Sunblind 3", 4, true, {2, 3}, "Stopped. Written and read back: Sunblind 2, Sunblind 3. Not changed: Sunblind 4."},
    };
    for (const auto& row : rows) {
        Rig rig;
        FillJunk(rig.node, 8);
        const auto before = rig.node.items;
        for (int c = 1; c <= 4; ++c) ShowChannel(rig, c);
        rig.Select(0);
        for (int c = 1; c <= 4; ++c) SetTimer(rig.Page(c), 1, 50, nullptr);  // the live timer, faster
        HWND page = rig.Page(0);
        for (int box : {0, 1, 2}) rig.Click(page, IDC_COPYTO1 + box);
        int writes = 0;
        bool sheetEnabled = true;
        std::string step, calls;
        Probe probe(&rig.node);
        HANDLE thread = nullptr;
        std::size_t end = 0;
        rig.node.beforeCall = [&](simnode::Call::Op op, long) {
            // Slow while the operation runs: the live reads between (the
            // table is open then) would take the thread whole at this pace.
            rig.node.latencyMs = rig.sheet->OperationRunning() ? 60 : 0;
            if (rig.sheet->OperationRunning()) end = rig.node.log.size() + 1;  // this call's place
            if (op != simnode::Call::Write) return;
            if (++writes == 1) {
                // Another thread's message, answered between node calls.
                thread = CreateThread(nullptr, 0, Probe::Run, &probe, 0, nullptr);
                // Its message waits for this thread before the write is made.
                for (int i = 0; i < 200 && !probe.sending; ++i) Sleep(10);
                Sleep(50);
                sheetEnabled = IsWindowEnabled(rig.Sheet()) != FALSE;
                // A key for the sheet's Copy button meanwhile starts nothing.
                PostMessageA(GetDlgItem(page, IDC_COPY), WM_KEYDOWN, VK_SPACE, 0);
                PostMessageA(GetDlgItem(page, IDC_COPY), WM_KEYUP, VK_SPACE, 0xC0000001);
                HWND progress = ProgressWindow();
                step = progress ? wtest::Text(GetDlgItem(progress, IDC_PROGRESS_STEP)) : "<no window>";
                calls = progress && IsWindowVisible(progress) ? wtest::Text(GetDlgItem(progress, IDC_PROGRESS_CALLS)) : "<hidden>";
            }
            if (writes == row.stopAtWrite) {
                HWND progress = ProgressWindow();
                if (row.escape) PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
                else PostMessageA(GetDlgItem(progress, IDCANCEL), BM_CLICK, 0, 0);
            }
        };
        const std::size_t start = rig.node.log.size();
        rig.Click(page, IDC_COPY);
        rig.node.beforeCall = nullptr;
        rig.node.latencyMs = 0;  // else the 50 ms live ticks, slower than their period, flood the queue
        if (thread) WaitForSingleObject(thread, 5000), CloseHandle(thread);
        ok(step == "Writing Sunblind 2 ..." && calls.compare(0, 5, "5 of ") == 0 && !sheetEnabled,
           "%s: at the first write the window says \"%s\", \"%s\"; sheet %s", row.name, step.c_str(), calls.c_str(),
           sheetEnabled ? "enabled" : "disabled");
        ok(probe.answeredAt > start && probe.answeredAt < end, "%s: the other thread's message answered at call %d of %u",
           row.name, int(probe.answeredAt) - int(start), unsigned(end - start));
        // Nothing but the Copy's own calls: six reads and the name for the
        // table; after it (live reads may come while the table is open) five
        // reads of 32 bytes (records 21, 22 and the targets' drive times),
        // then writes, each read back with 31.
        const std::string own = Trace(rig.node, start);
        std::size_t again = start;
        while (again < end && rig.node.log[again].length != 32) ++again;
        int reads32 = 0, reads31 = 0, written = 0, other = 0;
        for (std::size_t i = again; i < end; ++i) {
            const simnode::Call& c = rig.node.log[i];
            if (c.op == simnode::Call::Write) ++written;
            else if (c.op == simnode::Call::Read && c.length == 32) ++reads32;
            else if (c.op == simnode::Call::Read && c.length == 31) ++reads31;
            else ++other;
        }
        ok(own.compare(0, 44, "R21:31 R22:31 R30:31 R31:31 R33:31 R32:31 N ") == 0 && reads32 == 5 &&
               reads31 == written && written == writes && other == 0,
           "%s: the operation's calls: %s", row.name, own.c_str());
        ok(LastBox(rig) == row.says && rig.watch.boxes.size() == 2, "%s: %u boxes, the last: %s", row.name,
           unsigned(rig.watch.boxes.size()), LastBox(rig).c_str());
        ok(!ProgressWindow() && IsWindowEnabled(rig.Sheet()), "%s: progress left open or sheet disabled", row.name);
        int from[4] = {1, 2, 3, 4};
        for (int c : row.changed) from[c - 1] = 1;
        const int wrong = WrongBytes(rig.node.items, before, before, row.changed, from);
        ok(wrong == 0, "%s: %d bytes wrong", row.name, wrong);
        // The live values come back once it is over.
        const std::size_t after = rig.node.log.size();
        wtest::pump(300);
        ok(rig.node.log.size() > after, "%s: no live-value read after the operation", row.name);
    }
}

WTEST_MAIN(WTEST(test_tabs_and_unshown_pages), WTEST(test_first_showing_reads),
           WTEST(test_controls_show_node_values), WTEST(test_source_codes), WTEST(test_write_bytes_after_edits),
           WTEST(test_unedited_write_changes_nothing),
           WTEST(test_unshown_code_kept_until_its_boxes_change), WTEST(test_write_after_failed_first_read), WTEST(test_failed_reads_skip_only_their_item),
           WTEST(test_host_failing_everything), WTEST(test_short_reads_send_no_garbage),
           WTEST(test_lux_follows_stored_flag), WTEST(test_showing_replaces_typed_values),
           WTEST(test_bad_input_in_edits), WTEST(test_real_timer_keeps_ticking_when_hidden),
           WTEST(test_settings_save_and_load), WTEST(test_settings_refused_files), WTEST(test_change_table), WTEST(test_node_tab_access_keys), WTEST(test_wait_cursor_during_node_calls), WTEST(test_progress_and_stop),
           WTEST(test_settings_copy))
