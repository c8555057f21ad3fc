// Benchmark of Brisel.ocx as the network tool uses it: registered, created
// through COM, given a simulated node's client site, its Properties verb run
// with the modal sheet driven from a timer. Prints, as Markdown:
//   - node accesses per procedure and channel beside the design's minimum
//     (the program fails when they differ);
//   - medians of the time from the verb to the node name, of a tab's first
//     showing, of a Write with its re-read and of one timer tick, with an
//     instant host and with one taking BENCH_LATENCY_MS (50) per call,
//     beside the floor of calls x latency;
//   - CPU and wall time per tick over many ticks;
//   - what the process holds with the sheet open on all four pages, before
//     and after 300 ticks per page (ten minutes of the 2000 ms timer) and
//     after BENCH_REAL_SECONDS (30) of real time with the real timers;
//   - node calls of Save settings, Load settings and Copy of all four
//     channels beside the least they could make, and the module's own time
//     among those calls with an instant and a slow host;
//   - a Load on a host taking BENCH_SLOW_LOAD_MS (300) per call: the longest
//     time the sheet left another thread's message unanswered, and the wall
//     time of its node calls against calls x latency.
// Run by scripts/bench.sh.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <prsht.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "fw/comptr.h"
#include "ocxhelp.h"
#include "pages/sunblindpage.h"
#include "proofkit.h"
#include "res/resource.h"
#include "sheetdriver.h"
#include "testutil.h"
#include "simnode/simnode.h"
#include "wtest.h"
#include "sheet/caption.h"

namespace {

double Now() {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

double ThreadCpuMs() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& f) {
        return static_cast<double>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

HWND PageOf(HWND sheet, int index) {
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_INDEXTOHWND, index, 0));
}

bool g_failed = false;

// A timed action: wall time and node calls.
struct Sample {
    double ms;
    int calls;
};
Sample Time(simnode::Node& node, const std::function<void()>& action) {
    const size_t mark = node.log.size();
    const double t0 = Now();
    action();
    const double t1 = Now();
    return {t1 - t0, static_cast<int>(node.log.size() - mark)};
}

struct Series {
    std::vector<double> ms, overhead;
    int calls = 0;
    void Add(const Sample& s, DWORD latency) {
        ms.push_back(s.ms);
        overhead.push_back(s.ms - s.calls * static_cast<double>(latency));
        calls = s.calls;
    }
};

struct Figures {
    Series name, firstShow[5], write[5], tick[5];
};

// Runs the verb once; drive gets the open sheet, which is closed after it.
bool RunVerb(IOleObject* control, IOleClientSite* site, std::function<void(HWND)> drive) {
    wtest::Closer closer(kSheetCaption, PSM_PRESSBUTTON, PSBTN_OK);
    closer.onFound = std::move(drive);
    const HRESULT hr = control->DoVerb(OLEIVERB_PROPERTIES, nullptr, site, 0, nullptr, nullptr);
    return hr == S_OK && closer.closed == 1;
}

void Accesses(IOleObject* control, simnode::Site& site) {
    simnode::Node& node = site.node;
    printf("\n## Node accesses per procedure\n\n");
    printf("| channel | procedure | reads | writes | prescribed reads | prescribed writes |\n|---|---|---|---|---|---|\n");
    RunVerb(control, site.ClientSite(), [&](HWND sheet) {
        for (int channel = 1; channel <= 4; ++channel) {
            SendMessageA(sheet, PSM_SETCURSEL, channel, 0);
            HWND page = PageOf(sheet, channel);
            struct Row {
                const char* what;
                std::function<void()> action;
                proof::Counts prescribed;
                bool failRecord;
            } rows[] = {
                {"OnRead", [&] { SendDlgItemMessageA(page, IDC_READ, BM_CLICK, 0, 0); }, proof::PrescribedRead(channel),
                 false},
                {"OnWrite (with its OnRead)", [&] { SendDlgItemMessageA(page, IDC_WRITE, BM_CLICK, 0, 0); },
                 proof::PrescribedWrite(channel), false},
                {"RefreshLiveValues", [&] { SendMessageA(page, WM_TIMER, 1, 0); }, proof::PrescribedTick(false), false},
                {"RefreshLiveValues, record read fails", [&] { SendMessageA(page, WM_TIMER, 1, 0); },
                 proof::PrescribedTick(true), true},
            };
            for (const Row& row : rows) {
                if (row.failRecord) node.failRead.insert(21);
                const size_t mark = node.log.size();
                row.action();
                const proof::Counts got = proof::CountCalls(node, mark);
                node.failRead.clear();
                const bool same = got == row.prescribed;
                if (!same) g_failed = true;
                printf("| %d | %s | %d | %d | %d | %d |%s\n", channel, row.what, got.reads, got.writes,
                       row.prescribed.reads, row.prescribed.writes, same ? "" : " **differs**");
            }
        }
    });
}

void Timings(IOleObject* control, simnode::Site& site, DWORD latency, int verbs, int repeats) {
    simnode::Node& node = site.node;
    node.latencyMs = latency;
    Figures f;
    for (int v = 0; v < verbs; ++v) {
        double verbStart = 0, nameRead = 0;
        size_t verbMark = node.log.size();
        node.onCall = [&](const simnode::Call& c) {
            if (c.op == simnode::Call::Name && nameRead == 0) nameRead = Now();
        };
        verbStart = Now();
        RunVerb(control, site.ClientSite(), [&](HWND sheet) {
            f.name.Add({nameRead - verbStart, static_cast<int>(node.log.size() - verbMark)}, latency);
            for (int channel = 1; channel <= 4; ++channel) {
                f.firstShow[channel].Add(Time(node, [&] { SendMessageA(sheet, PSM_SETCURSEL, channel, 0); }), latency);
                HWND page = PageOf(sheet, channel);
                for (int r = 0; r < repeats; ++r) {
                    f.write[channel].Add(
                        Time(node, [&] { SendDlgItemMessageA(page, IDC_WRITE, BM_CLICK, 0, 0); }), latency);
                    f.tick[channel].Add(Time(node, [&] { SendMessageA(page, WM_TIMER, 1, 0); }), latency);
                }
            }
        });
        node.onCall = nullptr;
        node.log.clear();
    }
    node.latencyMs = 0;
    printf("\n## Times with a host taking %lu ms per call (medians; %d verbs, %d writes and ticks per page and verb)\n\n",
           latency, verbs, repeats);
    printf("| action | channel | median ms | node calls | floor ms (calls x %lu) | overhead ms (median) |\n"
           "|---|---|---|---|---|---|\n", latency);
    auto row = [&](const char* what, int channel, const Series& s) {
        printf("| %s | %s | %.2f | %d | %lu | %.2f |\n", what, channel ? std::to_string(channel).c_str() : "-",
               proof::Median(s.ms), s.calls, s.calls * latency, proof::Median(s.overhead));
    };
    row("Properties verb to node name read", 0, f.name);
    for (int c = 1; c <= 4; ++c) row("first showing of the tab", c, f.firstShow[c]);
    for (int c = 1; c <= 4; ++c) row("Write with its re-read", c, f.write[c]);
    for (int c = 1; c <= 4; ++c) row("timer tick", c, f.tick[c]);
}

// A tab's first showing with no reader, so no node access at all: what the
// platform takes to create the page's dialog and its controls.
INT_PTR CALLBACK BareDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// The floor of a tab's first showing: the page's own dialog template from
// Brisel.ocx, created and shown as a child of the sheet by a bare
// CreateDialogIndirect, with no class layer and no node access.
double BareFirstShow(HWND sheet, int channel) {
    HMODULE ocx = GetModuleHandleA("Brisel.ocx");
    HRSRC found = ocx ? FindResourceW(ocx, MAKEINTRESOURCEW(IDD_SUNBLIND1 + channel - 1), MAKEINTRESOURCEW(5) /* RT_DIALOG */) : nullptr;
    HGLOBAL loaded = found ? LoadResource(ocx, found) : nullptr;
    auto* tmpl = loaded ? static_cast<const DLGTEMPLATE*>(LockResource(loaded)) : nullptr;
    if (!tmpl) {
        printf("No dialog template %d in Brisel.ocx\n", channel);
        return 0;
    }
    const double t0 = Now();
    HWND dialog = CreateDialogIndirectParamW(ocx, tmpl, sheet, BareDialogProc, 0);
    if (dialog) ShowWindow(dialog, SW_SHOW);
    const double t1 = Now();
    if (!dialog) printf("CreateDialogIndirect failed for channel %d\n", channel);
    if (dialog) DestroyWindow(dialog);
    return t1 - t0;
}

void FirstShowWithoutNode(IOleObject* control, simnode::Site& site, int verbs) {
    site.offerReader = false;
    std::vector<double> ms[5], floors[5];
    for (int v = 0; v < verbs; ++v)
        RunVerb(control, site.ClientSite(), [&](HWND sheet) {
            for (int channel = 1; channel <= 4; ++channel) {
                // The page first: what it loads on the way (template, font) only
                // helps the floor that follows, which keeps the ratio honest.
                ms[channel].push_back(Time(site.node, [&] { SendMessageA(sheet, PSM_SETCURSEL, channel, 0); }).ms);
                floors[channel].push_back(BareFirstShow(sheet, channel));
            }
        });
    site.offerReader = true;
    printf("\n## First showing of a tab without a reader (no node access: creating the page's dialog)\n\n");
    printf("Floor: the same dialog template created and shown by a bare CreateDialogIndirect in the same sheet,\n"
           "right after the tab's own first showing. Ratio: median over floor median.\n\n");
    printf("| channel | median ms | floor median ms | ratio |\n|---|---|---|---|\n");
    for (int c = 1; c <= 4; ++c) {
        const double shown = proof::Median(ms[c]), bare = proof::Median(floors[c]);
        printf("| %d | %.2f | %.2f | %.2f |\n", c, shown, bare, bare > 0 ? shown / bare : 0.0);
    }
}

void TickCost(IOleObject* control, simnode::Site& site, int ticks) {
    RunVerb(control, site.ClientSite(), [&](HWND sheet) {
        for (int c = 1; c <= 4; ++c) SendMessageA(sheet, PSM_SETCURSEL, c, 0);
        HWND pages[4];
        for (int c = 1; c <= 4; ++c) pages[c - 1] = PageOf(sheet, c);
        site.node.log.clear();
        const double cpu0 = ThreadCpuMs(), wall0 = Now();
        for (int t = 0; t < ticks; ++t) {
            SendMessageA(pages[t % 4], WM_TIMER, 1, 0);
            if (t % 64 == 63) site.node.log.clear();  // the simulated node's log is the bench's, not the module's
        }
        const double cpu = ThreadCpuMs() - cpu0, wall = Now() - wall0;
        printf("\n## Cost of one tick (%d ticks spread over the four pages, instant host)\n\n", ticks);
        printf("| measure | per tick |\n|---|---|\n| CPU time of the thread (GetThreadTimes) | %.4f ms |\n"
               "| wall time (QueryPerformanceCounter) | %.4f ms |\n", cpu / ticks, wall / ticks);
        printf("\nThe figures include the simulated node's own work (copying 31 bytes and logging each call).\n");
    });
}

void LongRun(IOleObject* control, simnode::Site& site, int ticksPerPage, int realSeconds) {
    RunVerb(control, site.ClientSite(), [&](HWND sheet) {
        for (int c = 1; c <= 4; ++c) SendMessageA(sheet, PSM_SETCURSEL, c, 0);
        SendMessageA(sheet, PSM_SETCURSEL, 0, 0);
        wtest::pump(200);
        site.node.log.clear();
        const proof::Usage before = proof::Measure();
        std::vector<std::pair<int, proof::Usage>> during;
        for (int t = 0; t < ticksPerPage; ++t) {
            for (int c = 1; c <= 4; ++c) SendMessageA(PageOf(sheet, c), WM_TIMER, 1, 0);
            site.node.log.clear();
            if (t + 1 == 1 || t + 1 == 10 || t + 1 == ticksPerPage / 2) {
                wtest::pump(50);
                during.push_back({t + 1, proof::Measure()});
            }
        }
        wtest::pump(50);
        const proof::Usage afterTicks = proof::Measure();
        int levelReads = 0;
        for (int second = 0; second < realSeconds; ++second) {
            wtest::pump(1000);
            for (const simnode::Call& call : site.node.log)
                if (call.op == simnode::Call::Read &&
                    (call.index == 13 || call.index == 14 || call.index == 17 || call.index == 18))
                    ++levelReads;
            site.node.log.clear();  // the bench's record, not the module's memory
        }
        const proof::Usage afterReal = proof::Measure();
        printf("\n## The sheet open on all four pages\n\n");
        printf("%d ticks sent to each page (what 10 minutes of the 2000 ms timer give), then %d s of real time "
               "with the pages' own timers (%d real ticks seen over the four pages).\n\n",
               ticksPerPage, realSeconds, levelReads);
        printf("| when | GDI objects | USER objects | handles | private KiB | heap bytes |\n|---|---|---|---|---|---|\n");
        auto row = [](const char* what, const proof::Usage& u) {
            printf("| %s | %ld | %ld | %ld | %lld | %lld |\n", what, u.gdi, u.user, u.handles, u.privateBytes / 1024,
                   u.heapBytes);
        };
        row("all pages shown", before);
        for (const auto& d : during) row(("after " + std::to_string(d.first) + " ticks per page").c_str(), d.second);
        row(("after " + std::to_string(ticksPerPage) + " ticks per page").c_str(), afterTicks);
        row("after the real time", afterReal);
        printf("\nSources: GDI %s, USER %s, handles %s, private %s.\n", before.gdiFrom, before.userFrom,
               before.handlesFrom, before.privateFrom);
    });
}

// Save settings, Load settings (all four channels differ; one channel's
// record bytes only) and Copy of one channel to the other three, on the
// node-information tab. The dialogs are
// answered by the sheet driver's watch; what counts as the module's time is
// that of each burst of node calls (calls closer than 15 ms apart) beyond
// the host's latency, so the answering of the dialogs is left out.
void Commissioning(IOleObject* control, simnode::Site& site, DWORD latency) {
    simnode::Node& node = site.node;
    node.latencyMs = latency;
    std::vector<double> starts, ends;
    node.beforeCall = [&](simnode::Call::Op, long) { starts.push_back(Now()); };
    node.onCall = [&](const simnode::Call&) { ends.push_back(Now()); };
    const std::string file = testutil::FreshDir("bench-settings") + "\\settings.txt";
    printf("\n## Settings files and copying, host taking %lu ms per call\n\n", static_cast<unsigned long>(latency));
    printf("| action | reads | writes | least reads | least writes | module's time among the calls (ms) |\n"
           "|---|---|---|---|---|---|\n");
    RunVerb(control, site.ClientSite(), [&](HWND sheet) {
        driver::BoxWatch watch;
        watch.file = brhost::Wide(file);
        HWND page = PageOf(sheet, 0);
        const struct Row {
            const char* what;
            int button;
            std::function<void()> before;
            proof::Counts least;
        } rows[] = {
            {"Save settings (four channels)", IDC_SAVESETTINGS, [] {}, {6, 0}},
            // The node changed since the save: every channel differs.
            {"Load settings (four channels differ)", IDC_LOADSETTINGS,
             [&] { for (long item : {21L, 22L, 30L, 31L, 32L, 33L}) node.Item(item)[1] ^= 0x55; }, {6, 6}},
            // Only Sunblind 2's block in record 21 differs: its drive time
            // item must not be written again with the bytes it holds.
            {"Load settings (Sunblind 2 differs in record 21 only)", IDC_LOADSETTINGS,
             [&] { node.Item(21)[20] ^= 0x11; }, {9, 1}},
            {"Copy Sunblind 1 to the other three", IDC_COPY,
             [&] {
                 // Channels 2-4 no longer hold channel 1's settings.
                 node.Item(21)[20] ^= 0x33;
                 for (long item : {31L, 32L, 33L}) node.Item(item)[1] ^= 0x33;
                 node.Item(22)[5] ^= 0x33;
                 node.Item(22)[20] ^= 0x33;
                 for (int box : {IDC_COPYTO1, IDC_COPYTO2, IDC_COPYTO3}) SendDlgItemMessageA(page, box, BM_CLICK, 0, 0);
             },
             {6, 5}},
        };
        for (const Row& row : rows) {
            row.before();
            starts.clear();
            ends.clear();
            const size_t mark = node.log.size();
            SendDlgItemMessageA(page, row.button, BM_CLICK, 0, 0);
            const proof::Counts got = proof::CountCalls(node, mark);
            double own = 0;
            for (size_t i = 1; i < starts.size() && i < ends.size(); ++i)
                if (starts[i] - ends[i - 1] < 15) own += starts[i] - ends[i - 1];
            printf("| %s | %d | %d | %d | %d | %.2f |\n", row.what, got.reads, got.writes, row.least.reads,
                   row.least.writes, own);
        }
    });
    node.beforeCall = nullptr;
    node.onCall = nullptr;
    node.latencyMs = 0;
}

BOOL CALLBACK FindProgress(HWND hwnd, LPARAM found) {
    if (!GetDlgItem(hwnd, IDC_PROGRESS_BAR)) return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

// Another thread that sends the sheet WM_NULL every 50 ms, each time waiting
// for the answer, and keeps the longest wait.
struct Prober {
    HWND sheet;
    volatile LONG stop = 0;
    double longest = 0;
    static DWORD WINAPI Run(void* p) {
        auto* self = static_cast<Prober*>(p);
        while (!self->stop) {
            const double t0 = Now();
            DWORD_PTR result = 0;
            SendMessageTimeoutW(self->sheet, WM_NULL, 0, 0, SMTO_NORMAL, 120000, &result);
            if (Now() - t0 > self->longest) self->longest = Now() - t0;
            Sleep(50);
        }
        return 0;
    }
};

// A Load of four channels that all differ, on a node taking `latency` ms per
// call, while a prober thread sends the sheet messages: the longest the
// sheet left one unanswered, and the wall time of the node calls made under
// the progress window (the reads for the table; the writes after it) against
// their floor, calls x latency. The file dialog and the table, answered by
// the sheet driver, are not the node's time and are left out.
void SlowLoad(IOleObject* control, simnode::Site& site, DWORD latency) {
    simnode::Node& node = site.node;
    const std::string file = testutil::FreshDir("bench-slow-load") + "\\settings.txt";
    struct Timed {
        double start, end;
        bool underProgress;
    };
    std::vector<Timed> calls;
    double longest = 0;
    RunVerb(control, site.ClientSite(), [&](HWND sheet) {
        driver::BoxWatch watch;
        watch.file = brhost::Wide(file);
        HWND page = PageOf(sheet, 0);
        SendDlgItemMessageA(page, IDC_SAVESETTINGS, BM_CLICK, 0, 0);
        for (long item : {21L, 22L, 30L, 31L, 32L, 33L}) node.Item(item)[1] ^= 0x55;
        node.latencyMs = latency;
        node.beforeCall = [&](simnode::Call::Op, long) {
            bool progress = false;
            EnumThreadWindows(GetCurrentThreadId(), FindProgress, reinterpret_cast<LPARAM>(&progress));
            calls.push_back({Now(), 0, progress});
        };
        node.onCall = [&](const simnode::Call&) { calls.back().end = Now(); };
        Prober prober{sheet};
        HANDLE thread = CreateThread(nullptr, 0, Prober::Run, &prober, 0, nullptr);
        SendDlgItemMessageA(page, IDC_LOADSETTINGS, BM_CLICK, 0, 0);
        InterlockedExchange(&prober.stop, 1);
        // The prober's last message needs this thread's answer.
        while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) wtest::pump(1);
        CloseHandle(thread);
        longest = prober.longest;
        node.beforeCall = nullptr;
        node.onCall = nullptr;
        node.latencyMs = 0;
    });
    // Each run of calls under a progress window, from its first call's start
    // to its last call's end.
    double wall = 0;
    int counted = 0;
    for (std::size_t i = 0; i < calls.size();) {
        if (!calls[i].underProgress) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j + 1 < calls.size() && calls[j + 1].underProgress) ++j;
        wall += calls[j].end - calls[i].start;
        counted += static_cast<int>(j - i + 1);
        i = j + 1;
    }
    const double floor = static_cast<double>(counted) * latency;
    printf("\n## Load settings (four channels differ), host taking %lu ms per call\n\n", static_cast<unsigned long>(latency));
    printf("| measure | value |\n|---|---|\n");
    printf("| node calls in all | %u |\n", unsigned(calls.size()));
    printf("| longest time the sheet left a message unanswered (ms) | %.0f |\n", longest);
    printf("| node calls under the progress window | %d |\n", counted);
    printf("| their wall time (ms) | %.0f |\n", wall);
    printf("| floor, calls x %lu ms (ms) | %.0f |\n", static_cast<unsigned long>(latency), floor);
    printf("| wall time over the floor | %+.1f %% |\n", floor > 0 ? (wall - floor) * 100.0 / floor : 0.0);
}

}  // namespace

int main() {
    CoInitialize(nullptr);
    {
        ocx::Module registration;
        if (registration.Register() != S_OK) {
            printf("cannot register %s\n", ocx::Path().c_str());
            return 2;
        }
    }
    simnode::Node node;
    node.SetName("Bench node");
    simnode::Site site(node);
    com_ptr<IOleObject> object;
    if (CoCreateInstance(ocx::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object.put_void()) != S_OK) {
        printf("cannot create the control\n");
        return 2;
    }
    IOleObject* control = object.get();
    control->SetClientSite(site.ClientSite());
    RunVerb(control, site.ClientSite(), [](HWND) {});  // warm-up: first loads of comctl32 and the dialogs

    const DWORD latency = static_cast<DWORD>(wtest::EnvNumber("BENCH_LATENCY_MS", 50));
    Accesses(control, site);
    Timings(control, site, 0, static_cast<int>(wtest::EnvNumber("BENCH_VERBS", 15)), 10);
    Timings(control, site, latency, static_cast<int>(wtest::EnvNumber("BENCH_SLOW_VERBS", 3)), 2);
    FirstShowWithoutNode(control, site, static_cast<int>(wtest::EnvNumber("BENCH_VERBS", 15)));
    TickCost(control, site, static_cast<int>(wtest::EnvNumber("BENCH_TICKS", 4000)));
    LongRun(control, site, 300, static_cast<int>(wtest::EnvNumber("BENCH_REAL_SECONDS", 30)));
    Commissioning(control, site, 0);
    Commissioning(control, site, latency);
    SlowLoad(control, site, static_cast<DWORD>(wtest::EnvNumber("BENCH_SLOW_LOAD_MS", 300)));

    control->SetClientSite(nullptr);
    control->Close(OLECLOSE_NOSAVE);
    object.reset();
    CoFreeUnusedLibraries();
    printf("\nModule unloaded at the end: %s\n", GetModuleHandleA("Brisel.ocx") ? "no" : "yes");
    {
        ocx::Module registration;
        registration.Unregister();
    }
    CoUninitialize();
    if (g_failed) printf("\nFAILED: node accesses differ from the prescribed ones\n");
    return g_failed ? 1 : 0;
}
