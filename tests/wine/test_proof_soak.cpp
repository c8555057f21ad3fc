// The sheet opened and closed again and again on one control, the way a user
// of the network tool does over a day: every tab visited, edited, written
// and read, timer ticks in between. Nothing may accumulate in the host's
// process, every reference taken on the host is released once, and every
// byte written is one the page read or encoded.
//
// BRISEL_SOAK_CYCLES sets the number of sheets (default 4; scripts/soak.sh
// runs 200), BRISEL_SOAK_PUMP_MS the real time each cycle runs its message
// loop with the sheet open (default 50 ms), BRISEL_SOAK_VERBOSE=1 prints the
// figures of every cycle.
#include <cstdlib>
#include <string>

#include "pages/sunblindpage.h"
#include "proofkit.h"
#include "res/resource.h"
#include "sheetdriver.h"
#include "wtest.h"

using driver::Rig;

namespace {

long EnvNumber(const char* name, long fallback) {
    char text[32] = {};
    if (!GetEnvironmentVariableA(name, text, sizeof text)) return fallback;
    return std::strtol(text, nullptr, 10);
}

// Growth allowed between the measurement after the warm-up cycles and the
// one after the last cycle. Objects and handles must come back exactly but
// for a couple that the platform caches on its own (Wine's comctl32 and
// user32 create some lazily, e.g. for the first tooltip or caret); memory
// may move by what the allocator keeps for reuse.
constexpr long kGdiSlack = 2;
constexpr long kUserSlack = 2;
constexpr long kHandleSlack = 4;
constexpr long long kHeapSlack = 16 * 1024;
constexpr long long kPrivateSlack = 512 * 1024;
constexpr int kWarmupCycles = 2;

// Node contents that change from cycle to cycle, codes the boxes can show.
void Scramble(simnode::Node& node, unsigned seed) {
    for (auto& item : node.items)
        for (auto& b : item.second) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(seed >> 16);
        }
    for (long record : {21L, 22L})
        for (int block : {1, 15}) {
            node.Item(record)[block + 10] &= 3;
            node.Item(record)[block + 11] &= 3;
        }
}

void Edit(Rig& rig, HWND page, int channel, int cycle) {
    const SunblindControlIds& ids = SunblindIds(channel);
    const char* texts[] = {"12.3", "500", "70000", "-5", "0.05", "20", "-0.05", "100", "99.9", "abc", " 7 "};
    const std::vector<int> edits = proof::EditableIds(channel);
    for (size_t i = 0; i < edits.size(); ++i)
        rig.SetText(page, edits[i], texts[(i + static_cast<size_t>(cycle)) % (sizeof texts / sizeof *texts)]);
    const int code = (cycle + channel) % 4;
    SendDlgItemMessageA(page, ids.levelLocal, BM_SETCHECK, code & 1, 0);
    SendDlgItemMessageA(page, ids.levelCommon, BM_SETCHECK, (code >> 1) & 1, 0);
    SendDlgItemMessageA(page, ids.overrideLocal, BM_SETCHECK, (code >> 1) & 1, 0);
    SendDlgItemMessageA(page, ids.overrideCommon, BM_SETCHECK, code & 1, 0);
    rig.Click(page, cycle % 2 ? ids.luxCommon : ids.luxLocal);
}

// One sheet: every sunblind tab shown, edited, written, read; ticks on
// every page created so far, with the record read failing on some.
void Cycle(Rig& rig, int cycle) {
    rig.node.log.clear();
    Scramble(rig.node, 1000u + static_cast<unsigned>(cycle));
    if (!ok(rig.Open(), "cycle %d: no sheet", cycle)) return;
    for (int channel = 1; channel <= 4; ++channel) {
        if (!ok(rig.Select(channel), "cycle %d: tab %d", cycle, channel)) continue;
        HWND page = rig.Page(channel);
        Edit(rig, page, channel, cycle);

        const proof::PageState state = proof::CaptureState(page, channel);
        size_t mark = rig.node.log.size();
        rig.Click(page, IDC_WRITE);
        ok(AUDIT_WRITES(rig.node, mark, channel, state) == (channel <= 2 ? 2 : 3), "cycle %d ch %d: writes",
           cycle, channel);
        ok(proof::CountCalls(rig.node, mark) == proof::PrescribedWrite(channel), "cycle %d ch %d: Write accesses",
           cycle, channel);

        mark = rig.node.log.size();
        rig.Click(page, IDC_READ);
        ok(proof::CountCalls(rig.node, mark) == proof::PrescribedRead(channel), "cycle %d ch %d: Read accesses",
           cycle, channel);

        const bool failRecord = (cycle + channel) % 3 == 0;
        if (failRecord) rig.node.failRead.insert(21);
        for (int shown = 1; shown <= channel; ++shown) {
            mark = rig.node.log.size();
            SendMessageA(rig.Page(shown), WM_TIMER, 1, 0);
            ok(proof::CountCalls(rig.node, mark) == proof::PrescribedTick(failRecord),
               "cycle %d ch %d: tick accesses", cycle, shown);
        }
        rig.node.failRead.clear();
    }
    wtest::pump(static_cast<DWORD>(EnvNumber("BRISEL_SOAK_PUMP_MS", 50)));
    if (cycle == 0) {
        // The counters must see what an open sheet holds, or they prove nothing.
        const proof::Usage open = proof::Measure();
        ok(open.user >= 5 * 40 && open.gdi > 0 && open.handles > 0, "counters blind: %s",
           proof::Describe(open).c_str());
    }
    rig.Select(0);
    rig.Close();
    ok(rig.watch.boxes.empty(), "cycle %d: %u message boxes", cycle, (unsigned)rig.watch.boxes.size());
}

}  // namespace

static void test_open_close_cycles() {
    const int cycles = static_cast<int>(EnvNumber("BRISEL_SOAK_CYCLES", 4));
    const bool verbose = EnvNumber("BRISEL_SOAK_VERBOSE", 0) != 0;
    Rig rig;
    const long siteRefs = rig.site.siteRefs();
    proof::Usage baseline, last;
    std::string releases;
    for (int cycle = 0; cycle < cycles && wtest::g_failed < 20; ++cycle) {
        Cycle(rig, cycle);
        releases += "WR";
        ok(rig.site.readerRefs() == 0 && rig.site.writerRefs() == 0, "cycle %d: refs left reader %ld writer %ld",
           cycle, rig.site.readerRefs(), rig.site.writerRefs());
        ok(rig.site.releases == releases, "cycle %d: releases %s", cycle, rig.site.releases.c_str());
        ok(rig.site.siteRefs() == siteRefs, "cycle %d: site refs %ld, were %ld", cycle, rig.site.siteRefs(), siteRefs);
        if (cycle + 1 < kWarmupCycles) continue;
        last = proof::Measure();
        if (cycle + 1 == kWarmupCycles) baseline = last;
        if (verbose) printf("cycle %d: %s\n", cycle, proof::Describe(last).c_str());
    }
    if (cycles <= kWarmupCycles) return;
    printf("after warm-up: %s\nafter %d cycles: %s\n", proof::Describe(baseline).c_str(), cycles,
           proof::Describe(last).c_str());
    ok(last.gdi - baseline.gdi <= kGdiSlack, "GDI objects %ld -> %ld", baseline.gdi, last.gdi);
    ok(last.user - baseline.user <= kUserSlack, "USER objects %ld -> %ld", baseline.user, last.user);
    ok(last.handles - baseline.handles <= kHandleSlack, "handles %ld -> %ld", baseline.handles, last.handles);
    ok(last.heapBytes - baseline.heapBytes <= kHeapSlack, "heap bytes %lld -> %lld", baseline.heapBytes,
       last.heapBytes);
    ok(last.privateBytes - baseline.privateBytes <= kPrivateSlack, "private bytes %lld -> %lld",
       baseline.privateBytes, last.privateBytes);
}

WTEST_MAIN(WTEST(test_open_close_cycles))
