// Allocation failures inside the module, injected on purpose: this program
// replaces operator new so that the n-th allocation made while armed fails,
// once, and runs what containers do with the control for every n until a
// run ends without the failure firing. No exception may leave a COM method,
// a window or dialog procedure (it would unwind into the caller's frames
// and end the process); a call either succeeds or fails with a result, and
// afterwards nothing is left: no object, no reference, no window.
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "control/briselapp.h"
#include "control/briselctrl.h"
#include "fw/comptr.h"
#include "fw/olefactory.h"
#include "res/resource.h"
#include "simnode/simnode.h"
#include "wtest.h"
#include "sheet/caption.h"

namespace {

// The countdown. Only allocations made while armed count; the simulated
// host disarms while it runs, so only the module's own allocations fail.
long g_countdown = 0;  // 0: off; n: the n-th armed allocation fails
long g_counted = 0;    // armed allocations so far
bool g_armed = false;
bool g_fired = false;

bool FailThisOne() {
    if (!g_armed) return false;
    ++g_counted;
    if (g_countdown == 0 || g_fired || g_counted != g_countdown) return false;
    g_fired = true;
    return true;
}

}  // namespace

void* operator new(std::size_t n) {
    if (FailThisOne()) throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    if (FailThisOne()) return nullptr;
    return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// A host: the simulated node's site, disarmed while it answers.
struct Host {
    simnode::Node node;
    simnode::Site site{node};
    Host() {
        node.SetName("Allocation test node");
        node.beforeCall = [this](simnode::Call::Op, long) { armedBefore = g_armed, g_armed = false; };
        node.onCall = [this](const simnode::Call&) { g_armed = armedBefore; };
        node.log.reserve(100000);
        site.releases.reserve(100000);
    }
    bool armedBefore = false;
};

// Presses Write on the first sunblind tab of the sheet and closes it; the
// About box is closed as it shows. Runs from a timer in the modal loop and
// allocates nothing itself, so the pages' handlers it sets off run armed.
void DriveWindow(HWND hwnd) {
    char text[64] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    if (lstrcmpA(text, kSheetCaption) == 0) {
        SendMessageA(hwnd, PSM_SETCURSEL, 1, 0);
        HWND page = reinterpret_cast<HWND>(SendMessageA(hwnd, PSM_GETCURRENTPAGEHWND, 0, 0));
        if (page) SendMessageA(GetDlgItem(page, IDC_WRITE), BM_CLICK, 0, 0);
        PostMessageA(hwnd, PSM_PRESSBUTTON, PSBTN_OK, 0);
    } else {
        PostMessageA(hwnd, WM_COMMAND, IDOK, 0);  // the About box, or a message box
    }
}

int VisibleWindows() {
    int count = 0;
    struct Each {
        static BOOL CALLBACK Window(HWND hwnd, LPARAM lp) {
            if (IsWindowVisible(hwnd)) ++*reinterpret_cast<int*>(lp);
            return TRUE;
        }
    };
    EnumThreadWindows(GetCurrentThreadId(), Each::Window, reinterpret_cast<LPARAM>(&count));
    return count;
}

// What a container does with a control, each call's result kept. The
// first failed call ends the scenario, as a careful container would stop.
using Scenario = HRESULT (*)(Host& host);

HRESULT Create(com_ptr<IOleObject>& ole) {
    IClassFactory* factory = nullptr;
    HRESULT hr = AfxDllGetClassObject(CLSID_BriselCtrl, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, IID_IOleObject, ole.put_void());
    factory->Release();
    return hr;
}

HRESULT CreateOnly(Host&) {
    com_ptr<IOleObject> ole;
    return Create(ole);
}

HRESULT ContainerCalls(Host& host) {
    com_ptr<IOleObject> ole;
    HRESULT hr = Create(ole);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = ole->SetClientSite(host.site.ClientSite()))) return hr;
    {
        com_ptr<IEnumOLEVERB> verbs;
        if (FAILED(hr = ole->EnumVerbs(verbs.put()))) return hr;
    }
    com_ptr<IConnectionPointContainer> cpc;
    if (FAILED(hr = ole->QueryInterface(IID_IConnectionPointContainer, cpc.put_void()))) return hr;
    {
        com_ptr<IEnumConnectionPoints> points;
        if (FAILED(hr = cpc->EnumConnectionPoints(points.put()))) return hr;
    }
    com_ptr<IConnectionPoint> cp;
    if (FAILED(hr = cpc->FindConnectionPoint(IID_DBriselEvents, cp.put()))) return hr;
    com_ptr<IOleObject> sink;  // another control serves as a dispatch sink
    if (FAILED(hr = Create(sink))) return hr;
    DWORD cookie = 0;
    if (FAILED(hr = cp->Advise(sink.get(), &cookie))) return hr;
    if (FAILED(hr = cp->Unadvise(cookie))) return hr;
    {
        com_ptr<IEnumSTATDATA> advises;
        if (FAILED(hr = ole->EnumAdvise(advises.put()))) return hr;
    }
    com_ptr<IDispatch> disp;
    if (FAILED(hr = ole->QueryInterface(IID_IDispatch, disp.put_void()))) return hr;
    {
        com_ptr<ITypeInfo> info;
        if (FAILED(hr = disp->GetTypeInfo(0, 0x409, info.put()))) return hr;
    }
    LPOLESTR type = nullptr;
    if (FAILED(hr = ole->GetUserType(USERCLASSTYPE_FULL, &type))) return hr;
    CoTaskMemFree(type);
    com_ptr<IViewObject> view;
    if (FAILED(hr = ole->QueryInterface(IID_IViewObject, view.put_void()))) return hr;
    HDC dc = CreateCompatibleDC(nullptr);
    const RECTL bounds = {0, 0, 40, 20};
    hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
    DeleteDC(dc);
    if (FAILED(hr)) return hr;
    com_ptr<IPersistStreamInit> persist;
    if (FAILED(hr = ole->QueryInterface(IID_IPersistStreamInit, persist.put_void()))) return hr;
    com_ptr<IStream> stream;
    CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    if (FAILED(hr = persist->Save(stream.get(), TRUE))) return hr;
    const LARGE_INTEGER zero = {};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr = persist->Load(stream.get()))) return hr;
    if (FAILED(hr = ole->Close(OLECLOSE_NOSAVE))) return hr;
    return ole->SetClientSite(nullptr);
}

HRESULT PropertiesAndAbout(Host& host) {
    com_ptr<IOleObject> ole;
    HRESULT hr = Create(ole);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = ole->SetClientSite(host.site.ClientSite()))) return hr;
    const wtest::WindowWatch watch(20, DriveWindow);
    hr = ole->DoVerb(OLEIVERB_PROPERTIES, nullptr, nullptr, 0, nullptr, nullptr);
    if (SUCCEEDED(hr)) {
        com_ptr<IDispatch> disp;
        hr = ole->QueryInterface(IID_IDispatch, disp.put_void());
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        if (SUCCEEDED(hr)) hr = disp->Invoke(DISPID_ABOUTBOX, IID_NULL, 0x409, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
    }
    ole->SetClientSite(nullptr);
    return hr;
}

// One run with the n-th allocation failing (n = 0: none).
struct Run {
    HRESULT hr = S_OK;
    bool escaped = false;  // an exception reached the caller
    bool fired = false;
    long counted = 0;
    bool leftOver = false;  // objects, references or windows left afterwards
    std::vector<simnode::Call> writes;  // what the node was given, in order
};

// True when every write of `run` is one of `clean`'s, in the same order and
// with the same bytes: a failure may leave a write out, never change one.
bool WritesWithin(const std::vector<simnode::Call>& run, const std::vector<simnode::Call>& clean) {
    std::size_t next = 0;
    for (const simnode::Call& w : run) {
        while (next < clean.size() && (clean[next].index != w.index || clean[next].bytes != w.bytes)) ++next;
        if (next == clean.size()) return false;
        ++next;
    }
    return true;
}

Run RunOnce(Scenario scenario, long n) {
    Host host;
    Run run;
    g_countdown = n;
    g_counted = 0;
    g_fired = false;
    g_armed = true;
    try {
        run.hr = scenario(host);
    } catch (...) {
        run.escaped = true;
    }
    g_armed = false;
    run.fired = g_fired;
    run.counted = g_counted;
    g_countdown = 0;
    for (const simnode::Call& call : host.node.log)
        if (call.op == simnode::Call::Write) run.writes.push_back(call);
    wtest::pump(10);
    run.leftOver = !AfxOleCanExitApp() || host.site.siteRefs() != 0 || host.site.readerRefs() != 0 ||
                   host.site.writerRefs() != 0 || VisibleWindows() != 0;
    return run;
}

}  // namespace

// Every row: one clean run counts the module's allocations; then the
// failure is injected at each of them (every one up to 400, then spread
// evenly). Each run ends with a result, never an exception, succeeds when
// the failure did not fire, and leaves nothing behind.
static void test_allocation_failures() {
    CoInitialize(nullptr);
    const struct Row {
        const char* name;
        Scenario scenario;
        long spreadTo;  // at most this many runs
    } rows[] = {
        {"create", CreateOnly, 400},
        {"container calls", ContainerCalls, 400},
        {"Properties and About", PropertiesAndAbout, 60},
    };
    long injected = 0;
    for (const Row& row : rows) {
        const Run clean = RunOnce(row.scenario, 0);
        ok(clean.hr == S_OK && !clean.escaped, "%s: clean run 0x%08lx", row.name, clean.hr);
        ok(clean.counted > 0, "%s: no allocation counted", row.name);
        ok(row.scenario != PropertiesAndAbout || !clean.writes.empty(), "%s: nothing written", row.name);
        const long step = clean.counted <= row.spreadTo ? 1 : (clean.counted + row.spreadTo - 1) / row.spreadTo;
        int escaped = 0, wrongResult = 0, leftOver = 0, fired = 0, wrongWrites = 0;
        for (long n = 1; n <= clean.counted; n += step) {
            if (getenv("ALLOC_TRACE"))
                std::printf("%s: run %ld of %ld at %lu ms\n", row.name, n, clean.counted, GetTickCount()), std::fflush(stdout);
            const Run run = RunOnce(row.scenario, n);
            fired += run.fired;
            // A failed allocation is either absorbed (a page shows less) or
            // reported as E_OUTOFMEMORY.
            const bool wrong = run.fired ? run.hr != S_OK && run.hr != E_OUTOFMEMORY : run.hr != S_OK;
            // Whatever the result, the node got nothing the clean run did not
            // give it; a run the failure missed gave it exactly the same.
            const bool badWrites = run.fired ? !WritesWithin(run.writes, clean.writes)
                                             : !WritesWithin(run.writes, clean.writes) ||
                                                   run.writes.size() != clean.writes.size();
            wrongWrites += badWrites;
            if ((run.escaped || wrong || run.leftOver) && escaped + wrongResult + leftOver < 5)
                std::printf("%s: allocation %ld: hr 0x%08lx, escaped %d, left over %d\n", row.name, n,
                            static_cast<unsigned long>(run.hr), run.escaped, run.leftOver);
            escaped += run.escaped;
            wrongResult += wrong;
            leftOver += run.leftOver;
        }
        injected += fired;
        ok(escaped == 0, "%s: %d exceptions escaped", row.name, escaped);
        ok(wrongResult == 0, "%s: %d runs with a wrong result", row.name, wrongResult);
        ok(leftOver == 0, "%s: %d runs left objects, references or windows", row.name, leftOver);
        ok(wrongWrites == 0, "%s: %d runs wrote what the clean run did not", row.name, wrongWrites);
        std::printf("%s: %ld allocations, failure injected at %d of them (every %ld.)\n", row.name, clean.counted,
                    fired, step);
    }
    std::printf("allocation failures injected: %ld\n", injected);
    CoUninitialize();
}

WTEST_MAIN(WTEST(test_allocation_failures))
