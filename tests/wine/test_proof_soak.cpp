// The sheet opened and closed again and again on one control, the way a user
// of the network tool does over a day: every tab visited, edited, written
// and read, timer ticks in between. Nothing may accumulate in the host's
// process, every reference taken on the host is released once, and every
// byte written is one the page read or encoded.
//
// Two ways in: the sheet built in this process the way the verb builds it,
// and Brisel.ocx itself, registered, created through COM and given a client
// site, its Properties verb run with the modal sheet driven from a timer;
// at the end the module must agree to unload and go.
//
// BRISEL_SOAK_CYCLES sets the number of sheets (default: the warm-up and
// the fewest cycles that can be judged, below; scripts/soak.sh runs 200),
// BRISEL_SOAK_PUMP_MS the real time each cycle runs its message loop with
// the sheet open (default 50 ms), BRISEL_SOAK_VERBOSE=1 prints the figures
// of every cycle.
#include <string>

#include "fw/comptr.h"
#include "ocxhelp.h"
#include "pages/sunblindpage.h"
#include "proofkit.h"
#include "res/resource.h"
#include "sheetdriver.h"
#include "wtest.h"
#include "sheet/caption.h"

using driver::Rig;

namespace {

// The judgement. The warm-up cycles let the platform and the allocator fill
// their caches (Wine's comctl32 and user32 create some objects lazily, e.g.
// for the first tooltip or caret). Over the judged cycles after it, GDI
// objects, windows and kernel handles must not grow at all: one leaked per
// sheet would show as kJudgedCycles. The heap may move by what the
// allocator keeps for reuse, which must stay below what one open sheet
// holds, so that even one sheet's worth leaked shows.
constexpr int kWarmupCycles = 2;
constexpr int kJudgedCycles = 6;
constexpr int kDefaultCycles = kWarmupCycles + kJudgedCycles;
constexpr long long kHeapSlack = 16 * 1024;
constexpr long long kPrivateSlack = 512 * 1024;

// What the process held just before the first sheet opened, and what one
// open sheet added to it.
proof::Usage g_beforeFirstSheet;
long long g_sheetHeapBytes = 0;

// Node contents that change from cycle to cycle, codes the boxes can show.
void Scramble(simnode::Node& node, unsigned seed) {
    driver::FillJunk(node, seed);
    for (long record : {21L, 22L})
        for (int block : {1, 15}) {
            node.Item(record)[block + 10] &= 3;
            node.Item(record)[block + 11] &= 3;
        }
}

HWND PageOf(HWND sheet, int index) {
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_INDEXTOHWND, index, 0));
}

void Click(HWND page, int id) { SendDlgItemMessageA(page, id, BM_CLICK, 0, 0); }

void Edit(HWND page, int channel, int cycle) {
    const SunblindControlIds& ids = SunblindIds(channel);
    const char* texts[] = {"12.3", "500", "70000", "-5", "0.05", "20", "-0.05", "100", "99.9", "abc", " 7 "};
    const std::vector<int> edits = proof::EditableIds(channel);
    for (size_t i = 0; i < edits.size(); ++i)
        SetDlgItemTextA(page, edits[i], texts[(i + static_cast<size_t>(cycle)) % (sizeof texts / sizeof *texts)]);
    const int code = (cycle + channel) % 4;
    proof::ChooseSources(page, channel, code, (code & 1) << 1 | code >> 1);
    Click(page, cycle % 2 ? ids.luxCommon : ids.luxLocal);
}

// One open sheet: every sunblind tab shown, edited, written, read; ticks on
// every page created so far, with the record read failing on some.
void DriveSheet(HWND sheet, simnode::Node& node, int cycle) {
    for (int channel = 1; channel <= 4; ++channel) {
        if (!ok(SendMessageA(sheet, PSM_SETCURSEL, channel, 0) != 0, "cycle %d: tab %d", cycle, channel)) continue;
        HWND page = PageOf(sheet, channel);
        Edit(page, channel, cycle);

        const proof::PageState state = proof::CaptureState(page, channel, true);
        size_t mark = node.log.size();
        Click(page, IDC_WRITE);
        ok(AUDIT_WRITES(node, mark, channel, state) == (channel <= 2 ? 2 : 3), "cycle %d ch %d: writes", cycle,
           channel);
        ok(proof::CountCalls(node, mark) == proof::PrescribedWrite(channel), "cycle %d ch %d: Write accesses", cycle,
           channel);

        mark = node.log.size();
        Click(page, IDC_READ);
        ok(proof::CountCalls(node, mark) == proof::PrescribedRead(channel), "cycle %d ch %d: Read accesses", cycle,
           channel);

        const bool failRecord = (cycle + channel) % 3 == 0;
        if (failRecord) node.failRead.insert(21);
        for (int shown = 1; shown <= channel; ++shown) {
            mark = node.log.size();
            SendMessageA(PageOf(sheet, shown), WM_TIMER, 1, 0);
            ok(proof::CountCalls(node, mark) == proof::PrescribedTick(failRecord), "cycle %d ch %d: tick accesses",
               cycle, shown);
        }
        node.failRead.clear();
    }
    wtest::pump(static_cast<DWORD>(wtest::EnvNumber("BRISEL_SOAK_PUMP_MS", 50)));
    if (cycle == 0) {
        // The counters must see what an open sheet holds, or they prove nothing.
        const proof::Usage open = proof::Measure();
        ok(open.user >= 5 * 40 && open.gdi > 0 && open.handles > 0, "counters blind: %s",
           proof::Describe(open).c_str());
        g_sheetHeapBytes = open.heapBytes - g_beforeFirstSheet.heapBytes;
    }
    SendMessageA(sheet, PSM_SETCURSEL, 0, 0);
}

void Cycle(Rig& rig, int cycle) {
    rig.node.log.clear();
    Scramble(rig.node, 1000u + static_cast<unsigned>(cycle));
    if (cycle == 0) g_beforeFirstSheet = proof::Measure();
    if (!ok(rig.Open(), "cycle %d: no sheet", cycle)) return;
    DriveSheet(rig.Sheet(), rig.node, cycle);
    rig.Close();
    ok(rig.watch.boxes.empty(), "cycle %d: %u message boxes", cycle, (unsigned)rig.watch.boxes.size());
}

// Measures after the warm-up and at the end, and holds the growth to the
// limits above; fewer cycles than can be judged fail.
class Growth {
public:
    explicit Growth(int cycles) : m_cycles(cycles), m_verbose(wtest::EnvNumber("BRISEL_SOAK_VERBOSE", 0) != 0) {}
    void AfterCycle(int cycle) {
        if (cycle + 1 < kWarmupCycles) return;
        m_last = proof::Measure();
        if (cycle + 1 == kWarmupCycles) m_baseline = m_last;
        if (m_verbose) printf("cycle %d: %s\n", cycle, proof::Describe(m_last).c_str());
    }
    void Check() {
        if (!ok(m_cycles >= kDefaultCycles, "%d cycles are too few to judge: %d warm-up and %d judged needed",
                m_cycles, kWarmupCycles, kJudgedCycles))
            return;
        printf("after warm-up: %s\nafter %d cycles: %s\none open sheet: %lld heap bytes\n",
               proof::Describe(m_baseline).c_str(), m_cycles, proof::Describe(m_last).c_str(), g_sheetHeapBytes);
        ok(m_last.gdi == m_baseline.gdi, "GDI objects %ld -> %ld", m_baseline.gdi, m_last.gdi);
        ok(m_last.user == m_baseline.user, "USER objects %ld -> %ld", m_baseline.user, m_last.user);
        ok(m_last.handles == m_baseline.handles, "handles %ld -> %ld", m_baseline.handles, m_last.handles);
        ok(kHeapSlack < g_sheetHeapBytes, "heap allowance %lld is not below one open sheet's %lld bytes", kHeapSlack,
           g_sheetHeapBytes);
        ok(m_last.heapBytes - m_baseline.heapBytes <= kHeapSlack, "heap bytes %lld -> %lld", m_baseline.heapBytes,
           m_last.heapBytes);
        ok(m_last.privateBytes - m_baseline.privateBytes <= kPrivateSlack, "private bytes %lld -> %lld",
           m_baseline.privateBytes, m_last.privateBytes);
    }

private:
    int m_cycles;
    bool m_verbose;
    proof::Usage m_baseline, m_last;
};

}  // namespace

static void test_open_close_cycles() {
    const int cycles = static_cast<int>(wtest::EnvNumber("BRISEL_SOAK_CYCLES", kDefaultCycles));
    Rig rig;
    const long siteRefs = rig.site.siteRefs();
    Growth growth(cycles);
    std::string releases;
    for (int cycle = 0; cycle < cycles && wtest::g_failed < 20; ++cycle) {
        Cycle(rig, cycle);
        releases += "WR";
        ok(rig.site.readerRefs() == 0 && rig.site.writerRefs() == 0, "cycle %d: refs left reader %ld writer %ld",
           cycle, rig.site.readerRefs(), rig.site.writerRefs());
        ok(rig.site.releases == releases, "cycle %d: releases %s", cycle, rig.site.releases.c_str());
        ok(rig.site.siteRefs() == siteRefs, "cycle %d: site refs %ld, were %ld", cycle, rig.site.siteRefs(), siteRefs);
        growth.AfterCycle(cycle);
    }
    growth.Check();
}

// The same through the module as a host uses it: registered, created by
// COM, Properties verb with the modal sheet; afterwards it unloads.
static void test_control_verb_cycles() {
    const int cycles = static_cast<int>(wtest::EnvNumber("BRISEL_SOAK_CYCLES", kDefaultCycles));
    CoInitialize(nullptr);
    {
        ocx::Module registration;
        if (!ok(registration.Register() == S_OK, "register %s", ocx::Path().c_str())) return;
    }
    simnode::Node node;
    node.SetName("Soak node");
    simnode::Site site(node);
    Growth growth(cycles);
    {
        com_ptr<IOleObject> control;
        HRESULT hr = CoCreateInstance(ocx::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, control.put_void());
        if (!ok(hr == S_OK && control, "CoCreateInstance 0x%08lx", hr)) return;
        ok(control->SetClientSite(site.ClientSite()) == S_OK, "SetClientSite");
        const long siteRefs = site.siteRefs();
        std::string releases;
        for (int cycle = 0; cycle < cycles && wtest::g_failed < 20; ++cycle) {
            node.log.clear();
            Scramble(node, 2000u + static_cast<unsigned>(cycle));
            // The modal sheet of the running verb, driven from a thread timer.
            wtest::Closer closer(kSheetCaption, PSM_PRESSBUTTON, PSBTN_OK);
            closer.onFound = [&](HWND sheet) { DriveSheet(sheet, node, cycle); };
            if (cycle == 0) g_beforeFirstSheet = proof::Measure();
            hr = control->DoVerb(OLEIVERB_PROPERTIES, nullptr, site.ClientSite(), 0, nullptr, nullptr);
            ok(hr == S_OK && closer.closed == 1, "cycle %d: Properties 0x%08lx, sheet driven %d", cycle, hr,
               closer.closed);
            ok(!FindWindowA(nullptr, kSheetCaption), "cycle %d: sheet left open", cycle);
            releases += "WR";
            ok(site.readerRefs() == 0 && site.writerRefs() == 0 && site.releases == releases,
               "cycle %d: refs reader %ld writer %ld, releases %s", cycle, site.readerRefs(), site.writerRefs(),
               site.releases.c_str());
            ok(site.siteRefs() == siteRefs, "cycle %d: site refs %ld, were %ld", cycle, site.siteRefs(), siteRefs);
            growth.AfterCycle(cycle);
        }
        control->SetClientSite(nullptr);
        control->Close(OLECLOSE_NOSAVE);
    }
    growth.Check();
    ok(site.siteRefs() == 0, "site refs %ld after the control went", site.siteRefs());

    ok(ocx::LoadedCanUnloadNow() == S_OK, "DllCanUnloadNow 0x%08lx", ocx::LoadedCanUnloadNow());
    CoFreeUnusedLibraries();
    ok(!GetModuleHandleA("Brisel.ocx"), "module still loaded");
    {
        ocx::Module registration;
        ok(registration.Unregister() == S_OK, "unregister");
    }
    CoUninitialize();
}

WTEST_MAIN(WTEST(test_open_close_cycles), WTEST(test_control_verb_cycles))
