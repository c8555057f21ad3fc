// Whatever a user types into any of the nine editable edits of any of the
// four pages, Write stores exactly what the node's layout makes of the text
// (worked out independently of the module in proofkit.cpp) and every other
// byte goes back as read. A few rows are pinned to literal bytes as well.
#include <string>
#include <vector>

#include "node_layout.h"
#include "pages/sunblindpage.h"
#include "proofkit.h"
#include "res/resource.h"
#include "sheetdriver.h"
#include "wide.h"
#include "wtest.h"

using driver::Rig;

namespace {

// What an edit holds for an ANSI text, read back as UTF-8: the text's
// characters in the ANSI code page.
std::string AsShown(const std::string& ansi) {
    std::wstring wide(ansi.size(), L'\0');
    if (!ansi.empty())
        wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                                            &wide[0], static_cast<int>(wide.size()))));
    return brhost::Utf8(wide);
}

// Texts as long as the edit takes. Wine's edit control needs about a second
// to take or give up one of them (the module's own share is a few
// milliseconds), so each page gets one of them in all nine edits, in turn;
// BRISEL_PROOF_ALL_LONG=1 (scripts/soak.sh) gives every page all of them.
std::vector<std::string> LongInputs(size_t limit) {
    return {
        std::string(limit, '9'),                         // the longest text the edit takes
        std::string(limit - 3, '0') + "1.5",             // as long, a small number
        "-" + std::string(limit - 5, '0') + "0.05",
        std::string(limit + 1000, '7'),                  // beyond the limit, set by program
    };
}

std::vector<std::string> Inputs(size_t limit, int channel) {
    std::vector<std::string> in = {
        "", " ", "\t \t", "abc", "-", "+", ".", "-.", "e5", "1e400", "-1e400", "1e-400", "4.9e-324", "-inf",
        "inf", "INFINITY", "nan", "-nan", "nan(123)", "0x1F", "0X1f", "0x", "0x.8p1", "-0", "1,5", "1.5.5",
        "12abc", " \n12.96xyz", "65535.99", "65536", "-32768", "2147483648", "1e19", "-1e19", "\xE9\xFF\x80",
        "\xC3\xA9" "9", "9\xA0", "\x01\x02",
    };
    const std::vector<std::string> longs = LongInputs(limit);
    char all[8] = {};
    if (GetEnvironmentVariableA("BRISEL_PROOF_ALL_LONG", all, sizeof all) && all[0] == '1')
        in.insert(in.end(), longs.begin(), longs.end());
    else
        in.push_back(longs[static_cast<size_t>(channel - 1) % longs.size()]);
    return in;
}

}  // namespace

// Every input in every editable edit of every page, checked against the
// node's layout applied to the bytes read just before the write.
static void test_every_input_in_every_edit() {
    Rig rig;
    if (!ok(rig.Open(), "no sheet")) return;
    for (int channel = 1; channel <= 4; ++channel) {
        rig.Select(channel);
        HWND page = rig.Page(channel);
        const std::vector<int> edits = proof::EditableIds(channel);
        const size_t limit = static_cast<size_t>(SendDlgItemMessageA(page, edits[1], EM_GETLIMITTEXT, 0, 0));
        ok(limit >= 16 && limit < 100000, "ch %d: limit %u", channel, (unsigned)limit);
        unsigned seed = 10u * static_cast<unsigned>(channel);
        for (const std::string& input : Inputs(limit, channel)) {
            driver::FillJunk(rig.node, ++seed);
            // The same text in all nine edits: the oracle checks each
            // field's bytes from its own text.
            rig.Click(page, IDC_READ);
            for (int id : edits) rig.SetText(page, id, input);
            const proof::PageState state = proof::CaptureState(page, channel);
            if (input.size() < 256)
                ok(state.block.text[sunblind::UpSetpoint] == AsShown(input), "ch %d: edit holds '%s' for '%s'",
                   channel, state.block.text[sunblind::UpSetpoint].c_str(), input.c_str());
            const size_t mark = rig.node.log.size();
            rig.Click(page, IDC_WRITE);
            const int writes = AUDIT_WRITES(rig.node, mark, channel, state);
            ok(writes == (channel <= 2 ? 2 : 3), "ch %d '%.12s': %d writes", channel, input.c_str(), writes);
            if (!ok(IsWindow(page), "ch %d: page gone", channel)) return;
        }
    }
}

// The bytes themselves, for texts whose encoding is worked out by hand.
// Block: Down, Up (whole lux, 16 bit), before down, before up (tenths of a
// second, 16 bit), push long, push short (tenths, 8 bit), the two source
// codes, top and bottom level (half percent, 8 bit).
static void test_pinned_bytes() {
    struct Row {
        const char* text;
        const char* drive;  // first two bytes of the drive time item
        const char* block;  // the channel's 14 bytes
    } rows[] = {
        {"0x1F", "0136", "001F001F01360136363601003E3E"},
        {"-1", "FFF6", "FFFFFFFFFFF6FFF6F6F60100FEFE"},
        {"1e400", "0000", "0000000000000000000001000000"},
        {" 12.96xyz", "0081", "000C000C00810081818101001919"},
        {"6553.5", "FFFF", "19991999FFFFFFFFFFFF01003333"},
        {"nan", "0000", "0000000000000000000001000000"},
        {"+", "0000", "0000000000000000000001000000"},
        {"\xE9\xFF\x80", "0000", "0000000000000000000001000000"},
    };
    Rig rig;
    if (!ok(rig.Open(), "no sheet")) return;
    for (int channel = 1; channel <= 4; ++channel) {
        const layout::Channel& ch = layout::kChannels[channel - 1];
        rig.Select(channel);
        HWND page = rig.Page(channel);
        for (const Row& row : rows) {
            const std::string block = row.block;
            for (int id : proof::EditableIds(channel)) rig.SetText(page, id, row.text);
            proof::ChooseSources(page, channel, 1, 0);
            rig.Click(page, IDC_WRITE);
            ok(wtest::Hex(rig.node.Item(ch.driveTimeItem), 0, 2) == row.drive, "ch %d '%s': drive %s", channel,
               row.text, wtest::Hex(rig.node.Item(ch.driveTimeItem), 0, 2).c_str());
            ok(wtest::Hex(rig.node.Item(ch.record), static_cast<size_t>(ch.block), layout::kBlockSize) == block,
               "ch %d '%s': block %s expected %s", channel, row.text,
               wtest::Hex(rig.node.Item(ch.record), static_cast<size_t>(ch.block), layout::kBlockSize).c_str(),
               block.c_str());
        }
    }
}

WTEST_MAIN(WTEST(test_every_input_in_every_edit), WTEST(test_pinned_bytes))
