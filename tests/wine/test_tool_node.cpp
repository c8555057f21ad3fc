// The host's Windows side in-process: discovery on the real registry,
// loading the plug-in, the simulated node's options and its file.
#include <algorithm>
#include <new>
#include <set>

#include "chart.h"
#include "fw/comptr.h"
#include "plugin.h"
#include "simulatednode.h"
#include "testutil.h"
#include "wide.h"
#include "winregistry.h"
#include "wtest.h"

using namespace testutil;

namespace {

const char kA[] = "{3F1C0D11-8E2A-4B6C-9D01-A1B2C3D4E501}";
const char kB[] = "{3F1C0D11-8E2A-4B6C-9D01-A1B2C3D4E502}";
const char kC[] = "{3F1C0D11-8E2A-4B6C-9D01-A1B2C3D4E503}";
const char kD[] = "{3F1C0D11-8E2A-4B6C-9D01-A1B2C3D4E504}";

std::string FakeModule() { return ExeDir() + "\\tool_plugin.dll"; }

brmodel::Options Defaults() {
    brmodel::Options o;
    std::string error;
    brmodel::ParseOptions({}, o, error);
    return o;
}

long Read(brhost::SimulatedNode& n, long index, unsigned char* buffer = nullptr) {
    unsigned char local[32];
    return n.node.ReadItem(index, buffer ? buffer : local, 31);
}

}  // namespace

// Classes registered under HKEY_CLASSES_ROOT: matching, other program,
// malformed keys, several matches.
static void test_discovery_on_registry() {
    for (const char* c : {kA, kB, kC, kD, kFakeClsid}) DeleteClass(c);
    ok(SetValue(std::string("CLSID\\") + kA + "\\Node\\ProgramID", "01 b2 1c e5 77 3a 90 4d"), "cannot write registry");
    SetValue(std::string("CLSID\\") + kB + "\\Node\\ProgramID", "94 4B 61 6C 64 6F 72 2F");
    SetValue(std::string("CLSID\\") + kC + "\\Node\\ProgramID", "", REG_DWORD);  // not a string
    SetValue(std::string("CLSID\\") + kD + "\\Node\\TestID", "%1");             // no ProgramID

    brhost::Win32Registry registry;
    auto found = brmodel::FindPlugins(registry, kTestProgramId);
    ok(found.size() == 1 && found[0] == kA, "%u found, first %s", (unsigned)found.size(),
       found.empty() ? "-" : found[0].c_str());

    SetValue(std::string("CLSID\\") + kD + "\\Node\\ProgramID", kTestProgramId);
    found = brmodel::FindPlugins(registry, kTestProgramId);
    const std::set<std::string> both = {kA, kD};
    ok(std::set<std::string>(found.begin(), found.end()) == both, "%u found", (unsigned)found.size());
    for (const char* c : {kA, kB, kC, kD}) DeleteClass(c);
    ok(brmodel::FindPlugins(registry, kTestProgramId).empty(), "classes left behind");
}

// What Load says when there is nothing to load, and what it does when there is.
static void test_plugin_load() {
    OleInitialize(nullptr);
    for (const char* c : {kA, kFakeClsid}) DeleteClass(c);
    brhost::Win32Registry registry;
    brhost::SimulatedNode node(Defaults());
    std::string message;
    {
        brhost::Plugin plugin;
        ok(plugin.Load(registry, kTestProgramId, node.site.ClientSite(), message) == brhost::kExitNoPlugin,
           "no class registered: %s", message.c_str());
        ok(message.find(kTestProgramId) != std::string::npos, "message: %s", message.c_str());
        ok(!plugin.Loaded(), "loaded nothing");
    }
    {
        RegisterClass(kA, "C:\\nowhere\\Missing.ocx", kTestProgramId);
        brhost::Plugin plugin;
        ok(plugin.Load(registry, kTestProgramId, node.site.ClientSite(), message) == brhost::kExitLoad,
           "missing module: %s", message.c_str());
        ok(message.find("C:\\nowhere\\Missing.ocx") != std::string::npos &&
               message.find("does not exist") != std::string::npos,
           "message: %s", message.c_str());
        DeleteClass(kA);
    }
    {
        ok(RegisterClass(kFakeClsid, FakeModule(), kTestProgramId), "cannot register the stand-in");
        const long before = node.site.siteRefs();
        brhost::Plugin plugin;
        ok(plugin.Load(registry, kTestProgramId, node.site.ClientSite(), message) == brhost::kExitOk, "load: %s",
           message.c_str());
        ok(plugin.clsid == kFakeClsid && plugin.module == FakeModule(), "clsid %s module %s", plugin.clsid.c_str(),
           plugin.module.c_str());
        ok(node.site.siteRefs() > before, "the plug-in did not get the site");
        HDC dc = GetDC(nullptr);
        const SIZE size = plugin.Extent(dc);
        ok(size.cx > 50 && size.cx < 200 && size.cy > 25 && size.cy < 100, "extent %ld x %ld", size.cx, size.cy);
        HDC mem = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, 200, 100);
        HGDIOBJ old = SelectObject(mem, bitmap);
        RECT r = {10, 10, 110, 60};
        ok(plugin.Draw(mem, r), "draw failed");
        const COLORREF pixel = GetPixel(mem, 12, 12);
        ok(pixel == RGB(40, 110, 180), "picture pixel %06lx", pixel);
        SelectObject(mem, old);
        DeleteObject(bitmap);
        DeleteDC(mem);
        ReleaseDC(nullptr, dc);
        plugin.Unload();
        ok(node.site.siteRefs() == before, "site refs %ld, were %ld", node.site.siteRefs(), before);
        DeleteClass(kFakeClsid);
    }
    OleUninitialize();
}

// Latency, failures and interfaces as the command line sets them.
static void test_options_on_node() {
    struct Row {
        std::vector<std::string> args;
        std::vector<long> readsFailing, writesFailing;
        bool nameFails, reader, writer;
    } rows[] = {
        {{}, {}, {}, false, true, true},
        {{"--fail-read", "21,30"}, {21, 30}, {}, false, true, true},
        {{"--fail-write", "33", "--fail-read", "13"}, {13}, {33}, false, true, true},
        {{"--fail-all"}, {13, 21, 23, 30, 33}, {21, 30, 33}, true, true, true},
        {{"--interfaces", "none"}, {}, {}, false, false, false},
        {{"--interfaces", "reader"}, {}, {}, false, true, false},
        {{"--interfaces", "writer"}, {}, {}, false, false, true},
    };
    int i = 0;
    for (const Row& row : rows) {
        brmodel::Options o;
        std::string error;
        ok(brmodel::ParseOptions(row.args, o, error), "%d: %s", i, error.c_str());
        brhost::SimulatedNode n(o);
        for (long index : {13L, 21L, 23L, 30L, 33L}) {
            const bool fails = std::count(row.readsFailing.begin(), row.readsFailing.end(), index) > 0;
            ok((Read(n, index) != 0) == fails, "%d: read %ld", i, index);
        }
        for (long index : {21L, 30L, 33L}) {
            unsigned char buffer[32] = {};
            Read(n, index, buffer);
            const bool fails = std::count(row.writesFailing.begin(), row.writesFailing.end(), index) > 0;
            ok((n.node.WriteItem(index, buffer, index == 21 ? 31 : 2) != 0) == fails, "%d: write %ld", i, index);
        }
        char name[50];
        ok((n.node.GetNodeName(name, 50) != 0) == row.nameFails, "%d: name", i);
        com_ptr<IUnknown> p;
        IOleClientSite* site = n.site.ClientSite();
        const bool reader = try_query(site, IID_INodeReader, p) == S_OK;
        const bool writer = try_query(site, IID_INodeWriter, p) == S_OK;
        p.reset();
        ok(reader == row.reader && writer == row.writer, "%d: reader %d writer %d", i, reader, writer);
        ++i;
    }

    brmodel::Options o;
    std::string error;
    brmodel::ParseOptions({"--latency", "150"}, o, error);
    brhost::SimulatedNode slow(o);
    const DWORD start = GetTickCount();
    for (int k = 0; k < 3; ++k) Read(slow, 21);
    const DWORD took = GetTickCount() - start;
    // At least the latency each; how much more is the machine's business
    // (the benchmark measures it), so the upper limit is only a sanity one.
    ok(took >= 420 && took < 60000, "three calls took %lu ms", took);
}

// The node file: created from the default, rewritten after each write,
// refused and left alone when malformed, replaced by --reset.
static void test_node_file() {
    const std::string dir = FreshDir("host-file");
    const std::string path = dir + "\\sub\\node.txt";
    std::string error;
    brhost::WinFiles files;
    {
        brhost::SimulatedNode n(Defaults());
        ok(n.Open(path, error), "open: %s", error.c_str());
        ok(Exists(path), "default not saved");
        unsigned char buffer[32] = {};
        Read(n, 30, buffer);
        buffer[0] = 0x01;
        buffer[1] = 0x2C;  // 30.0 s
        n.node.WriteItem(30, buffer, 2);
        brmodel::Image saved;
        ok(brmodel::LoadNodeFile(files, path, saved, error), "reload: %s", error.c_str());
        ok(saved.items[30][0] == 0x01 && saved.items[30][1] == 0x2C, "write not saved: %02x %02x",
           saved.items[30][0], saved.items[30][1]);
        const std::vector<std::string> open = {"node.txt", "node.txt.lock"};
        ok(Names(dir + "\\sub") == open, "beside the open file: %u name(s)", (unsigned)Names(dir + "\\sub").size());
        n.node.failWrite = {31};
        n.node.WriteItem(31, buffer, 2);
        ok(brmodel::LoadNodeFile(files, path, saved, error) && saved.items[31][1] != 0x2C, "a failed write was saved");
    }
    ok(Names(dir + "\\sub") == std::vector<std::string>{"node.txt"}, "lock left after the node closed");
    // What crashed saves left is removed when the file is opened again.
    Spit(path + ".brisel-1A2-3B4-1.tmp", "half a fi");
    Spit(path + ".backup.tmp", "the user's own");  // not the tool's: kept
    Spit(path + ".tmp", "");
    {
        brhost::SimulatedNode n(Defaults());
        ok(n.Open(path, error), "reopen: %s", error.c_str());
        ok(n.node.items[30][1] == 0x2C, "setting lost across runs");
        ok(n.staleRemoved == 2, "%d stale temporary file(s) removed", n.staleRemoved);
        ok(Slurp(path + ".backup.tmp") == "the user's own", "the user's own file removed");
        // A second node on the same file is refused while the first has it.
        brhost::SimulatedNode second(Defaults());
        ok(!second.Open(path, error), "a second node opened the file in use");
        ok(error.find("in use by another network tool") != std::string::npos, "error: %s", error.c_str());
    }
    {
        // Other spellings of one file (its short name, "..", another case)
        // meet the same lock.
        const std::string longName = dir + "\\Sunblind node file.txt";
        brhost::SimulatedNode first(Defaults());
        ok(first.Open(longName, error), "open %s: %s", longName.c_str(), error.c_str());
        wchar_t shortName[MAX_PATH] = {};
        GetShortPathNameW(brhost::Wide(longName).c_str(), shortName, MAX_PATH);
        const std::string spellings[] = {brhost::Utf8(shortName), dir + "\\sub\\..\\SUNBLIND NODE FILE.TXT"};
        for (const std::string& other : spellings) {
            brhost::SimulatedNode second(Defaults());
            ok(other != longName && !second.Open(other, error), "opened as %s while in use", other.c_str());
        }
    }
    {
        brhost::SimulatedNode again(Defaults());
        ok(again.Open(path, error), "not free again after the first closed: %s", error.c_str());
    }
    const std::string bad = "name: x\nitem 21: zz\n";
    Spit(path, bad);
    {
        brhost::SimulatedNode n(Defaults());
        ok(!n.Open(path, error), "malformed file accepted");
        ok(error.find(path) != std::string::npos && error.find("line 2") != std::string::npos, "error: %s",
           error.c_str());
        unsigned char buffer[32] = {};
        n.node.WriteItem(30, buffer, 2);  // a node that could not be loaded never writes the file
        ok(Slurp(path) == bad, "malformed file changed");
    }
    {
        brmodel::Options o = Defaults();
        o.reset = true;
        brhost::SimulatedNode n(o);
        ok(n.Open(path, error), "reset: %s", error.c_str());
        brmodel::Image saved;
        ok(brmodel::LoadNodeFile(files, path, saved, error) && saved == brmodel::DefaultImage(), "reset did not save the default");
    }
}

// Three nodes, each on its own file beside the first, with its own name and
// lock; --reset and the failure options reach every node.
static void test_network_of_nodes() {
    const std::string dir = FreshDir("network");
    brmodel::Image west = brmodel::DefaultImage();
    west.name = "West wing";
    Spit(dir + "\\node2.txt", brmodel::FormatImage(west));
    for (bool reset : {false, true}) {
        std::vector<std::string> args = {"--nodes", "3", "--fail-read", "21"};
        if (reset) args.push_back("--reset");
        brmodel::Options o;
        std::string error;
        ok(brmodel::ParseOptions(args, o, error), "%s", error.c_str());
        brhost::Network network(o);
        if (!ok(network.Open(dir + "\\node.txt", error), "open: %s", error.c_str())) continue;
        for (int k = 1; k <= 3; ++k) {
            const std::string file = dir + "\\node" + (k == 1 ? "" : std::to_string(k)) + ".txt";
            const std::string name = k == 2 && !reset ? "West wing" : "Sunblind controller " + std::to_string(k);
            brhost::SimulatedNode& node = network.Node(k);
            ok(node.Path() == file && node.Image().name == name && Slurp(file).find("name: " + name + "\n") != std::string::npos,
               "reset %d, node %d: %s, \"%s\"", reset, k, node.Path().c_str(), node.Image().name.c_str());
            ok(Read(node, 21) != 0 && Read(node, 30) == 0, "reset %d, node %d: the failure options", reset, k);
            brhost::SimulatedNode other(o);
            ok(!other.Open(file, error) && error.find(file + " is in use") == 0, "node %d not locked: %s", k,
               error.c_str());
        }
    }
    ok(Names(dir) == (std::vector<std::string>{"node.txt", "node2.txt", "node3.txt"}), "locks left");
}

// The readings move between two of the page's 2-second refreshes, and a
// written setpoint changes where the blind goes.
// A save reaches the disk: the temporary is flushed before it is closed
// and renamed over the node file with write-through. Seen in the system
// calls themselves, which this program's imports are pointed through.
namespace durable {
std::string calls;  // 'W' write, 'F' flush of the written file, 'C' its close, 'M' a write-through rename
HANDLE written = nullptr;
decltype(&WriteFile) realWrite;
decltype(&FlushFileBuffers) realFlush;
decltype(&CloseHandle) realClose;
decltype(&MoveFileExW) realMove;
BOOL WINAPI Write(HANDLE h, LPCVOID data, DWORD size, LPDWORD wrote, LPOVERLAPPED o) {
    written = h;
    calls += 'W';
    return realWrite(h, data, size, wrote, o);
}
BOOL WINAPI Flush(HANDLE h) {
    if (h == written) calls += 'F';
    return realFlush(h);
}
BOOL WINAPI Close(HANDLE h) {
    if (h == written) calls += 'C', written = nullptr;
    return realClose(h);
}
BOOL WINAPI Move(LPCWSTR from, LPCWSTR to, DWORD flags) {
    if ((flags & MOVEFILE_WRITE_THROUGH) && (flags & MOVEFILE_REPLACE_EXISTING)) calls += 'M';
    return realMove(from, to, flags);
}
}  // namespace durable

static void test_save_reaches_the_disk() {
    const std::string path = FreshDir("host-durable") + "\\node.txt";
    std::string error;
    brhost::SimulatedNode n(Defaults());
    ok(n.Open(path, error), "open: %s", error.c_str());
    using namespace durable;
    realWrite = reinterpret_cast<decltype(realWrite)>(PatchImport("kernel32.dll", "WriteFile", (void*)Write));
    realFlush = reinterpret_cast<decltype(realFlush)>(PatchImport("kernel32.dll", "FlushFileBuffers", (void*)Flush));
    realClose = reinterpret_cast<decltype(realClose)>(PatchImport("kernel32.dll", "CloseHandle", (void*)Close));
    realMove = reinterpret_cast<decltype(realMove)>(PatchImport("kernel32.dll", "MoveFileExW", (void*)Move));
    ok(realWrite && realFlush && realClose && realMove, "imports not found");
    if (realWrite && realFlush && realClose && realMove) {
        unsigned char buffer[32] = {0x01, 0x2C};
        n.node.WriteItem(30, buffer, 2);
        ok(calls.size() > 3 && calls.find_first_not_of('W') == calls.size() - 3 &&
               calls.compare(calls.size() - 3, 3, "FCM") == 0,
           "system calls of a save: %s", calls.c_str());
    }
    PatchImport("kernel32.dll", "WriteFile", (void*)realWrite);
    PatchImport("kernel32.dll", "FlushFileBuffers", (void*)realFlush);
    PatchImport("kernel32.dll", "CloseHandle", (void*)realClose);
    PatchImport("kernel32.dll", "MoveFileExW", (void*)realMove);
}

static void test_live_node() {
    brhost::SimulatedNode n(Defaults());
    DWORD now = 1000;
    n.clock = [&] { return now; };
    unsigned char a[32], b[32];
    Read(n, 23, a);
    now += 2000;
    Read(n, 23, b);
    ok(a[0] != b[0] || a[1] != b[1], "common lux did not move: %02x%02x", a[0], a[1]);

    // Channel 1 follows the common lux; a down setpoint below it lowers
    // the blind once the time before down has passed.
    unsigned char rec[32];
    Read(n, 21, rec);
    ok(rec[0] & 0x01, "channel 1 not on common lux");
    rec[1] = 0;
    rec[2] = 100;  // down at 100 lux
    rec[5] = 0;
    rec[6] = 50;   // after 5.0 s
    n.node.WriteItem(21, rec, 31);
    unsigned char level[32];
    Read(n, 13, level);
    const int top = level[0];
    now += 4000;
    Read(n, 13, level);
    ok(level[0] == top, "moved before the delay: %d", level[0]);
    now += 6000;
    Read(n, 13, level);
    ok(level[0] < top, "did not go down: %d", level[0]);
    now += 120000;
    Read(n, 13, level);
    ok(level[0] == rec[14], "level %d, bottom %d", level[0], rec[14]);
}

// What the host's callbacks throw during a plug-in's call ends as that
// call's failure code, never in the plug-in.
static void test_callback_failures_stay_in_the_node() {
    brhost::SimulatedNode n(Defaults());
    com_ptr<INodeReader> reader;
    com_ptr<INodeWriter> writer;
    n.site.ClientSite()->QueryInterface(IID_INodeReader, reader.put_void());
    n.site.ClientSite()->QueryInterface(IID_INodeWriter, writer.put_void());
    if (!ok(reader && writer, "no node access")) return;
    struct Row {
        const char* what;
        void (*thrower)();
        long code;
    } rows[] = {
        {"out of memory", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY},
        {"anything else", [] { throw 42; }, E_FAIL},
    };
    for (const Row& row : rows) {
        n.node.beforeCall = [&](simnode::Call::Op, long) { row.thrower(); };
        unsigned char buffer[32] = {};
        char name[51] = {};
        ok(reader->ReadItem(21, buffer, 31) == row.code, "%s: read", row.what);
        ok(reader->GetNodeName(name, 50) == row.code, "%s: name", row.what);
        ok(writer->WriteItem(30, buffer, 2) == row.code, "%s: write", row.what);
    }
    n.node.beforeCall = nullptr;
    unsigned char buffer[32] = {};
    ok(reader->ReadItem(21, buffer, 31) == 0, "the node works again");
}

// The chart draws at any size without failing, and at a usable size shows
// every channel's level line: a smoke test, the scales are tested natively.
static void test_chart_draws() {
    brhost::SimulatedNode n(Defaults());
    std::string error;
    const std::string dir = FreshDir("chart");
    ok(n.Open(dir + "\\node.txt", error), "open: %s", error.c_str());
    ok(n.History().Of(1).size() >= 590, "warm-up history: %u samples", (unsigned)n.History().Of(1).size());
    const std::wstring titles[4] = {L"one", L"two", L"three", L"four"};
    HDC screen = GetDC(nullptr);
    for (SIZE size : {SIZE{0, 0}, SIZE{1, 1}, SIZE{40, 30}, SIZE{300, 120}, SIZE{900, 560}}) {
        brhost::MemoryCanvas canvas(screen, size.cx, size.cy);
        if (!ok(canvas.ready(), "no canvas")) continue;
        RECT area = {0, 0, size.cx, size.cy};
        FillRect(canvas.dc(), &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        brhost::DrawTrends(canvas.dc(), area, n.History(), titles);
        if (size.cx < 900) continue;
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = size.cx;
        info.bmiHeader.biHeight = -size.cy;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        std::vector<DWORD> pixels(static_cast<std::size_t>(size.cx * size.cy));
        HBITMAP bitmap = static_cast<HBITMAP>(GetCurrentObject(canvas.dc(), OBJ_BITMAP));
        ok(GetDIBits(canvas.dc(), bitmap, 0, size.cy, pixels.data(), &info, DIB_RGB_COLORS) == size.cy, "GetDIBits");
        // Level green (0x00RRGGBB in a DIB) in each quarter of the picture.
        int quarters[4] = {};
        for (int y = 0; y < size.cy; ++y)
            for (int x = 0; x < size.cx; ++x)
                if (pixels[static_cast<std::size_t>(y * size.cx + x)] == 0x14963C)
                    ++quarters[(y >= size.cy / 2) * 2 + (x >= size.cx / 2)];
        for (int q = 0; q < 4; ++q) ok(quarters[q] > 50, "panel %d: %d level pixels", q + 1, quarters[q]);
    }
    ReleaseDC(nullptr, screen);
}

WTEST_MAIN(WTEST(test_discovery_on_registry), WTEST(test_plugin_load), WTEST(test_options_on_node),
           WTEST(test_node_file), WTEST(test_network_of_nodes), WTEST(test_save_reaches_the_disk), WTEST(test_live_node), WTEST(test_callback_failures_stay_in_the_node),
           WTEST(test_chart_draws))
