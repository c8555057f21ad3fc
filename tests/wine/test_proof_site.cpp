// A hostile or broken host: every call answered with error codes of every
// kind, failing reads that scribble over the buffer, successful reads that
// fill less than asked, interfaces that come and go between sheets. The
// module must not crash, must make exactly its usual node accesses, and
// must never write a byte it did not read or encode from the page.
#include <string>
#include <vector>

#include "node_layout.h"
#include "pages/sunblindpage.h"
#include "proofkit.h"
#include "res/resource.h"
#include "sheetdriver.h"
#include "wtest.h"

using driver::Rig;

namespace {

const long kCodes[] = {
    1, -1, 2, 0x7FFFFFFF, static_cast<long>(0x80000000), static_cast<long>(0x80004005) /* E_FAIL */,
    static_cast<long>(0x80004001) /* E_NOTIMPL */, static_cast<long>(0x80004003) /* E_POINTER */,
    static_cast<long>(0x8000FFFF) /* E_UNEXPECTED */, static_cast<long>(0x80070005) /* E_ACCESSDENIED */,
};

void TypeInto(Rig& rig, HWND page, int channel, const char* text) {
    for (int id : proof::EditableIds(channel)) rig.SetText(page, id, text);
}

std::vector<std::string> Texts(Rig& rig, HWND page, int channel) {
    std::vector<std::string> out;
    const SunblindControlIds& ids = SunblindIds(channel);
    for (int id : proof::EditableIds(channel)) out.push_back(rig.Text(page, id));
    out.push_back(rig.Text(page, ids.luxLevel));
    out.push_back(rig.Text(page, ids.actualLevel));
    return out;
}

// The accesses of an action on a failing node: the prescribed ones, plus
// whole ticks of the page's live timer, which a loaded machine can let fall
// due while the action runs.
bool AsPrescribed(const proof::Counts& got, const proof::Counts& prescribed) {
    const int tick = proof::PrescribedTick(true).reads, extra = got.reads - prescribed.reads;
    return got.writes == prescribed.writes && got.names == prescribed.names && extra >= 0 && extra % tick == 0;
}

}  // namespace

// Reads, writes and the name failing with each code: the failure is never
// taken for success, the accesses are those of a healthy node, and nothing
// is written that did not follow a successful read.
static void test_every_error_code() {
    for (long code : kCodes) {
        Rig rig;
        driver::FillJunk(rig.node, static_cast<unsigned>(code));
        rig.node.failAll = true;
        rig.node.failCode = code;
        rig.node.failFill = simnode::FailFill::Scribble;
        if (!ok(rig.Open(), "%08lx: no sheet", code)) continue;
        ok(rig.Text(rig.Page(0), IDC_NODENAME).empty(), "%08lx: name shown from a failed call", code);
        for (int channel = 1; channel <= 4; ++channel) {
            size_t mark = rig.node.log.size();
            rig.Select(channel);
            HWND page = rig.Page(channel);
            proof::Counts first = proof::PrescribedTick(true);
            first.reads += proof::PrescribedRead(channel).reads;
            const proof::Counts shown = proof::CountCalls(rig.node, mark);
            ok(AsPrescribed(shown, first), "%08lx ch %d: first showing made %d reads %d writes", code, channel,
               shown.reads, shown.writes);
            TypeInto(rig, page, channel, "42");
            const std::vector<std::string> typed = Texts(rig, page, channel);
            mark = rig.node.log.size();
            rig.Click(page, IDC_WRITE);
            const proof::Counts write = proof::CountCalls(rig.node, mark);
            ok(AsPrescribed(write, proof::Counts{proof::PrescribedWrite(channel).reads, 0, 0}),
               "%08lx ch %d: Write made %d reads %d writes", code, channel, write.reads, write.writes);
            mark = rig.node.log.size();
            SendMessageA(page, WM_TIMER, 1, 0);
            ok(AsPrescribed(proof::CountCalls(rig.node, mark), proof::PrescribedTick(true)), "%08lx ch %d: tick", code,
               channel);
            ok(Texts(rig, page, channel) == typed, "%08lx ch %d: a failed read changed the page", code, channel);
        }

        // Reads work again, writes fail: the bytes sent are still exact and
        // the re-read shows what the node kept, not what was typed.
        rig.node.failAll = false;
        for (long index : {21L, 22L, 30L, 31L, 32L, 33L}) rig.node.failWrite.insert(index);
        for (int channel = 1; channel <= 4; ++channel) {
            HWND page = rig.Page(channel);
            rig.Select(channel);
            TypeInto(rig, page, channel, "42");
            const proof::PageState state = proof::CaptureState(page, channel);
            const auto before = rig.node.items;
            const size_t mark = rig.node.log.size();
            rig.Click(page, IDC_WRITE);
            ok(AUDIT_WRITES(rig.node, mark, channel, state) == (channel <= 2 ? 2 : 3), "%08lx ch %d: writes", code,
               channel);
            ok(rig.node.items == before, "%08lx ch %d: node changed by failed writes", code, channel);
            const SunblindControlIds& ids = SunblindIds(channel);
            CBitConverter conv;
            const layout::Channel& ch = layout::kChannels[channel - 1];
            const auto shown = sunblind::DecodeBlock(conv, rig.node.Item(ch.record).data(), ch.block);
            ok(rig.Text(page, ids.field[sunblind::DownSetpoint]) == shown.text[sunblind::DownSetpoint],
               "%08lx ch %d: page shows %s after a failed write", code, channel,
               rig.Text(page, ids.field[sunblind::DownSetpoint]).c_str());
        }

        // Only the name fails: the tab stays empty, the pages work.
        rig.node.failWrite.clear();
        rig.node.failName = true;
        rig.node.SetName("Should not show");
        rig.Select(0);
        ok(rig.Text(rig.Page(0), IDC_NODENAME).empty(), "%08lx: name from a failed call", code);
        ok(rig.watch.boxes.empty(), "%08lx: %u message boxes", code, (unsigned)rig.watch.boxes.size());
        rig.Close();
        ok(rig.site.readerRefs() == 0 && rig.site.writerRefs() == 0 && rig.site.releases == "WR",
           "%08lx: references %ld %ld, releases %s", code, rig.site.readerRefs(), rig.site.writerRefs(),
           rig.site.releases.c_str());
    }
}

// A failing read that scribbles over the buffer, and a successful one that
// fills only part of it, on every item a Write reads: what goes back is the
// page's encoding over what the host really filled, zero elsewhere.
static void test_scribbled_and_short_reads() {
    Rig rig;
    rig.node.failFill = simnode::FailFill::Scribble;
    if (!ok(rig.Open(), "no sheet")) return;
    for (int channel = 1; channel <= 4; ++channel) {
        const layout::Channel& ch = layout::kChannels[channel - 1];
        rig.Select(channel);
        HWND page = rig.Page(channel);
        std::vector<long> items{ch.driveTimeItem, layout::kFlagRecord};
        if (ch.record != layout::kFlagRecord) items.push_back(ch.record);

        struct Variant {
            long failing;   // item whose read fails, or 0
            size_t filled;  // bytes a successful read fills, 0 for all
        };
        std::vector<Variant> variants;
        for (long item : items) variants.push_back({item, 0});
        for (size_t filled : {1u, 2u, 3u, 14u, 15u, 16u, 29u, 30u, 31u}) variants.push_back({0, filled});
        unsigned seed = 50;
        for (const Variant& v : variants) {
            driver::FillJunk(rig.node, ++seed);
            rig.Click(page, IDC_READ);  // the page shows this node's values
            TypeInto(rig, page, channel, (seed % 2) ? "17.5" : "-3");
            if (v.failing) rig.node.failRead.insert(v.failing);
            rig.node.shortRead = v.filled;
            const proof::PageState state = proof::CaptureState(page, channel);
            const size_t mark = rig.node.log.size();
            rig.Click(page, IDC_WRITE);
            const int writes = AUDIT_WRITES(rig.node, mark, channel, state);
            ok(writes == static_cast<int>(items.size()) - (v.failing ? 1 : 0), "ch %d fail %ld filled %u: %d writes",
               channel, v.failing, (unsigned)v.filled, writes);
            rig.node.failRead.clear();
            rig.node.shortRead = 0;
        }
    }
}

// Types TEXT into CHANNEL's page, writes it (and reads it back when asked),
// lets one refresh run and audits every write against the page; returns how
// many writes reached the node.
static int WriteAndAudit(Rig& rig, int channel, const char* text, bool readBack, const char* file, int line) {
    rig.Select(channel);
    HWND page = rig.Page(channel);
    TypeInto(rig, page, channel, text);
    const proof::PageState state = proof::CaptureState(page, channel);
    const size_t mark = rig.node.log.size();
    rig.Click(page, IDC_WRITE);
    if (readBack) rig.Click(page, IDC_READ);
    SendMessageA(page, WM_TIMER, 1, 0);
    return proof::AuditWrites(rig.node, mark, channel, state, file, line);
}
#define WRITE_AND_AUDIT(rig, channel, text, readBack) WriteAndAudit((rig), (channel), (text), (readBack), __FILE__, __LINE__)

// One control, one site, consecutive sheets while the host's interfaces come
// and go: each sheet takes what is offered then, warns only when nothing is,
// reads only through a reader, writes only after reading, and gives back
// exactly what it took.
static void test_interfaces_change_between_sheets() {
    struct Row {
        bool reader, writer, nullOnSuccess;
        const char* releases;  // what this sheet releases
    } rows[] = {
        {true, true, false, "WR"},  {false, false, false, ""}, {true, false, false, "R"},
        {false, true, false, "W"},  {true, true, true, ""},    {true, true, false, "WR"},
        {false, true, false, "W"},  {true, false, false, "R"}, {false, false, false, ""},
        {true, true, false, "WR"},
    };
    Rig rig;
    std::string releases;
    size_t boxes = 0;
    int i = 0;
    for (const Row& row : rows) {
        rig.site.offerReader = row.reader;
        rig.site.offerWriter = row.writer;
        rig.site.nullOnSuccess = row.nullOnSuccess;
        const bool reader = row.reader && !row.nullOnSuccess, writer = row.writer && !row.nullOnSuccess;
        driver::FillJunk(rig.node, 300u + static_cast<unsigned>(i));
        rig.node.log.clear();
        if (!ok(rig.Open(), "%d: no sheet", i)) continue;
        if (!reader && !writer) ++boxes;
        wtest::pump_until([&] { return rig.watch.boxes.size() >= boxes; }, 20000);
        for (int channel = 1; channel <= 4; ++channel) {
            const int writes = WRITE_AND_AUDIT(rig, channel, "8", true);
            ok(writes == (reader && writer ? (channel <= 2 ? 2 : 3) : 0), "%d ch %d: %d writes", i, channel, writes);
            std::vector<std::string> typedOnly(9, "8");
            typedOnly.resize(11);  // the live values stay empty
            if (!reader) ok(Texts(rig, rig.Page(channel), channel) == typedOnly, "%d ch %d: page filled without a reader", i, channel);
        }
        if (!reader) ok(rig.node.log.empty(), "%d: %u node calls without a reader", i, (unsigned)rig.node.log.size());
        rig.Close();
        releases += row.releases;
        ok(rig.watch.boxes.size() == boxes, "%d: %u warnings, expected %u", i, (unsigned)rig.watch.boxes.size(),
           (unsigned)boxes);
        ok(rig.site.releases == releases, "%d: releases %s, expected %s", i, rig.site.releases.c_str(),
           releases.c_str());
        ok(rig.site.readerRefs() == 0 && rig.site.writerRefs() == 0, "%d: references left", i);
        ++i;
    }
}

// A host that writes a terminating zero just past the length it is given,
// on reads, writes and the name: it always finds a zeroed spare byte there,
// and the page still writes exactly what it read and encoded.
static void test_host_writes_past_length() {
    Rig rig;
    driver::FillJunk(rig.node, 77);
    rig.node.SetName(std::string(60, 'N'));  // fills all 50 bytes
    rig.node.writesPastLength = true;
    if (!ok(rig.Open(), "no sheet")) return;
    for (int channel = 1; channel <= 4; ++channel) WRITE_AND_AUDIT(rig, channel, "12", false);
    rig.Select(0);
    int reads = 0, writes = 0, names = 0, bad = 0;
    for (const simnode::Call& call : rig.node.log) {
        (call.op == simnode::Call::Read ? reads : call.op == simnode::Call::Write ? writes : names)++;
        if (call.spare != 0) ++bad;
    }
    ok(bad == 0 && reads > 40 && writes >= 10 && names >= 1, "%d of %d reads, %d writes, %d names found no zero byte",
       bad, reads, writes, names);
    ok(rig.Text(rig.Page(0), IDC_NODENAME) == std::string(50, 'N'), "name %s", rig.Text(rig.Page(0), IDC_NODENAME).c_str());
    rig.Close();
}

WTEST_MAIN(WTEST(test_every_error_code), WTEST(test_scribbled_and_short_reads), WTEST(test_host_writes_past_length),
           WTEST(test_interfaces_change_between_sheets))
