// brhost.exe as a user or run.sh starts it: the walk-through against the
// stand-in plug-in, and the exit codes and messages when something is wrong.
#include <cstring>

#include "nodefile.h"
#include "testutil.h"
#include "wtest.h"

using namespace testutil;

namespace {

struct Result {
    DWORD code = 0xFFFFFFFF;
    std::string out;  // stdout and stderr together
};

std::string Host() {
    // brhost.exe sits at the top of the build folder, two levels up.
    std::string dir = ExeDir();
    for (int i = 0; i < 2; ++i) dir = dir.substr(0, dir.find_last_of("\\/"));
    return dir + "\\brhost.exe";
}

Result RunHost(const std::string& args, DWORD timeoutMs = 90000) {
    Result r;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return r;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = Wide("\"" + Host() + "\" " + args);
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        r.out = "cannot start " + Host();
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return r;
    }
    CloseHandle(writeEnd);
    // What the pipe holds now; never waits for its end, which a process that
    // inherited the handle from the host (a service it started) may hold.
    auto drain = [&] {
        DWORD avail = 0;
        while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &avail, nullptr) && avail) {
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) || !got) break;
            r.out.append(buffer, got);
        }
    };
    const DWORD start = GetTickCount();
    for (;;) {
        drain();
        if (WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0) break;
        if (GetTickCount() - start > timeoutMs) {
            TerminateProcess(pi.hProcess, 0xDEAD);
            break;
        }
    }
    drain();  // what is left
    GetExitCodeProcess(pi.hProcess, &r.code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(readEnd);
    return r;
}

bool IsBitmap(const std::string& path) {
    const std::string bytes = Slurp(path);
    if (bytes.size() < 54 || bytes.compare(0, 2, "BM") != 0) return false;
    BITMAPINFOHEADER info;
    std::memcpy(&info, bytes.data() + 14, sizeof info);
    return info.biWidth > 100 && info.biHeight > 100 && info.biBitCount == 24;
}

// The name in a node file, or "" when it does not read back whole.
std::string NameIn(const std::string& path) {
    brmodel::Image image;
    std::string error;
    return brmodel::ParseImage(Slurp(path), image, error) ? image.name : "";
}

// Channel 1's drive time (item 30, 0.1 s) in a node file.
unsigned DriveTimeIn(const std::string& path) {
    brmodel::Image image;
    std::string error;
    return brmodel::ParseImage(Slurp(path), image, error) ? brmodel::GetU16(image.items, 30) : 0;
}

// The mean height, from the top, of the chart's level line in a screenshot.
double LevelLineY(const std::string& path) {
    const std::string bytes = Slurp(path);
    BITMAPINFOHEADER info = {};
    if (bytes.size() > 54) std::memcpy(&info, bytes.data() + 14, sizeof info);
    const std::size_t stride = (static_cast<std::size_t>(info.biWidth) * 3 + 3) & ~std::size_t(3);
    double sum = 0, count = 0;
    for (LONG y = 0; y < info.biHeight; ++y)  // bottom-up
        for (std::size_t at = 54 + y * stride, x = 0; x < static_cast<std::size_t>(info.biWidth); ++x, at += 3)
            if (at + 3 <= bytes.size() && bytes.compare(at, 3, "\x3C\x96\x14") == 0)  // RGB(20, 150, 60)
                sum += info.biHeight - 1 - y, ++count;
    return count ? sum / count : 0;
}

std::string Common(const std::string& node) {
    return "--program-id \"" + std::string(kTestProgramId) + "\" --node \"" + node + "\" --tick 250";
}

}  // namespace

static void test_walk_through() {
    ok(RegisterClass(kFakeClsid, ExeDir() + "\\tool_plugin.dll", kTestProgramId), "cannot register");
    const std::string dir = FreshDir("walk");
    const std::string node = dir + "\\node.txt";
    const Result r = RunHost(Common(node) + " --demo-walk \"" + dir + "\\shots\"");
    ok(r.code == 0, "exit code %lu\n%s", r.code, r.out.c_str());
    for (const char* shot : {"host", "tab1", "tab2", "tab3"})
        ok(IsBitmap(dir + "\\shots\\" + shot + ".bmp"), "%s.bmp missing or not a picture\n%s", shot, r.out.c_str());
    ok(!Exists(dir + "\\shots\\tab4.bmp"), "a tab too many");
    for (const char* said : {"sheet open with 3 tab(s)", "tab 2 \"Sunblind 1\"", "Read pressed: 1 item(s) read",
                             "Write pressed: 1 item(s) read, 1 item(s) written", "pressing Exit", "done, 3 screenshot(s)"})
        ok(r.out.find(said) != std::string::npos, "no \"%s\" in\n%s", said, r.out.c_str());
    ok(Slurp(node).find("name: Sunblind controller 1") != std::string::npos, "node file not written");
    DeleteClass(kFakeClsid);
}

// The walk on node 1 (by default) or node 2: that node's control has that
// node's site, so the plug-in reads its name and rounds its drive time in
// its file only; the chart shows that node, where node 2's blinds stay at
// 0 % and node 1's move.
static void test_walk_on_the_selected_node() {
    ok(RegisterClass(kFakeClsid, ExeDir() + "\\tool_plugin.dll", kTestProgramId), "cannot register");
    const char* names[] = {"Sunblind controller 1", "West wing"};
    const unsigned before[] = {123, 456}, after[] = {120, 460};  // the stand-in writes whole seconds
    double levelY[2] = {};
    for (int s : {0, 1}) {
        const std::string dir = FreshDir("walk-select"), files[] = {dir + "\\node.txt", dir + "\\node2.txt"};
        for (int k : {0, 1}) {
            brmodel::Image image = brmodel::DefaultImage();
            image.name = names[k];
            brmodel::PutU16(image.items, 30, before[k]);
            for (int n = 1; n <= 4 && k == 1; ++n) {
                brmodel::Settings settings = brmodel::GetSettings(image.items, n);
                settings.topLevel = settings.bottomLevel = image.items[brmodel::Channel(n).level][0] = 0;
                brmodel::PutSettings(image.items, n, settings);
            }
            Spit(files[k], brmodel::FormatImage(image));
        }
        const Result r = RunHost(Common(files[0]) + " --nodes 2" + (s ? " --select 2" : "") + " --demo-walk \"" + dir + "\"");
        ok(r.code == 0 && r.out.find("plugin: node \"" + std::string(names[s]) + "\"") != std::string::npos &&
               r.out.find("plugin: node \"" + std::string(names[1 - s])) == std::string::npos,
           "node %d: exit code %lu\n%s", s + 1, r.code, r.out.c_str());
        for (int k : {0, 1})
            ok(DriveTimeIn(files[k]) == (k == s ? after[k] : before[k]), "node %d selected: node %d's drive time %u",
               s + 1, k + 1, DriveTimeIn(files[k]));
        levelY[s] = LevelLineY(dir + "\\host.bmp");
    }
    ok(levelY[0] > 0 && levelY[1] > levelY[0] + 20, "level line at %.0f (node 1), %.0f (node 2)", levelY[0], levelY[1]);
    DeleteClass(kFakeClsid);
}

// The real plug-in, registered by its own DllRegisterServer, found by the
// node's program ID: five tabs, Read and Write on "Sunblind 1".
static void test_walk_with_the_module() {
    const std::string module = Host().substr(0, Host().find_last_of('\\')) + "\\Brisel.ocx";
    HMODULE ocx = LoadLibraryA(module.c_str());
    if (!ok(ocx != nullptr, "cannot load %s", module.c_str())) return;
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto reg = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(ocx, "DllRegisterServer")));
    auto unreg = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(ocx, "DllUnregisterServer")));
    ok(reg && reg() == S_OK, "DllRegisterServer failed");
    // On a network of two the walk also saves node 1's settings and loads
    // them into node 2, which then holds node 1's parameter records and
    // drive times.
    for (const char* nodes : {"1", "2"}) {
        const std::string dir = FreshDir("walk-module");
        const Result r = RunHost("--node \"" + dir + "\\node.txt\" --tick 250 --nodes " + nodes + " --demo-walk \"" +
                                 dir + "\"");
        ok(r.code == 0, "%s node(s): exit code %lu\n%s", nodes, r.code, r.out.c_str());
        const bool two = nodes[0] == '2';
        for (const char* said : {"sheet open with 5 tab(s)", "tab 5 \"Sunblind 4\"", "Write pressed:",
                                 two ? "done, 6 screenshot(s)" : "done, 5 screenshot(s)"})
            ok(r.out.find(said) != std::string::npos, "%s node(s): no \"%s\" in\n%s", nodes, said, r.out.c_str());
        ok(r.out.find("0 item(s) written") == std::string::npos, "nothing written\n%s", r.out.c_str());
        for (int tab = 1; tab <= 5; ++tab)
            ok(IsBitmap(dir + "\\tab" + std::to_string(tab) + ".bmp"), "tab%d.bmp missing", tab);
        if (!two) continue;
        ok(IsBitmap(dir + "\\confirm.bmp") && r.out.find("written and read back") != std::string::npos,
           "no confirmation picture or read-back\n%s", r.out.c_str());
        const std::string first = Slurp(dir + "\\node.txt"), second = Slurp(dir + "\\node2.txt");
        for (const char* item : {"item 21:", "item 22:", "item 30:", "item 31:", "item 32:", "item 33:"}) {
            auto line = [&](const std::string& text) {
                const std::size_t at = text.find(item);
                return at == std::string::npos ? std::string("none") : text.substr(at, text.find('\n', at) - at);
            };
            ok(line(first) == line(second), "%s node 2 has %s, node 1 %s", item, line(second).c_str(),
               line(first).c_str());
        }
    }
    if (unreg) unreg();
    FreeLibrary(ocx);
}

// A node without access interfaces: the plug-in warns, the walk answers.
static void test_walk_without_interfaces() {
    RegisterClass(kFakeClsid, ExeDir() + "\\tool_plugin.dll", kTestProgramId);
    const std::string dir = FreshDir("walk-none");
    const Result r = RunHost(Common(dir + "\\node.txt") + " --interfaces none --demo-walk \"" + dir + "\"");
    ok(r.code == 0, "exit code %lu\n%s", r.code, r.out.c_str());
    ok(r.out.find("message box \"Plugin: Node not available!\"") != std::string::npos, "%s", r.out.c_str());
    ok(r.out.find("Read pressed: 0 item(s) read") != std::string::npos, "%s", r.out.c_str());
    DeleteClass(kFakeClsid);
}

// Each problem: its exit code, a message that says what is wrong, and the
// node file as it was.
static void test_failures_exit_clearly() {
    const std::string dir = FreshDir("fail");
    const std::string node = dir + "\\node.txt";
    const std::string bad = "name: broken\nitem 21: 01 02 xx\n";
    const std::string huge = "name: huge\n" + std::string(brmodel::kMaxNodeFile, '#');
    struct Row {
        const char* what;
        std::string args;
        bool registerMissing;
        std::string file;  // the node file's content; empty: none
        DWORD code;
        const char* message;
    } rows[] = {
        {"unknown option", "--frobnicate", false, "", 1, "unknown option \"--frobnicate\""},
        {"bad list", Common(node) + " --fail-read 21,99", false, "", 1, "--fail-read: \"99\""},
        {"malformed node file", Common(node) + " --demo-walk \"" + dir + "\"", false, bad, 2, "line 2: \"xx\" is not a byte"},
        {"node file over 64 KB", Common(node) + " --demo-walk \"" + dir + "\"", false, huge, 2, "larger than 64 KB"},
        {"no plug-in", Common(node) + " --demo-walk \"" + dir + "\"", false, "", 3, "No registered plug-in"},
        {"module missing", Common(node) + " --demo-walk \"" + dir + "\"", true, "", 4, "which does not exist"},
    };
    for (const Row& row : rows) {
        DeleteClass(kFakeClsid);
        if (row.registerMissing) RegisterClass(kFakeClsid, dir + "\\Gone.ocx", kTestProgramId);
        if (!row.file.empty()) Spit(node, row.file);
        else DeleteFileW(Wide(node).c_str());
        const Result r = RunHost(row.args, 30000);
        ok(r.code == row.code, "%s: exit code %lu\n%s", row.what, r.code, r.out.c_str());
        ok(r.out.find(row.message) != std::string::npos, "%s: no \"%s\" in\n%s", row.what, row.message, r.out.c_str());
        if (!row.file.empty()) ok(Slurp(node) == row.file, "%s: the file changed", row.what);
    }
    DeleteClass(kFakeClsid);
}

// A user profile like C:\users\Jürgen 日本: the tool writes its node
// file there, reads it back on the next start and leaves nothing beside it.
static void test_node_file_in_any_folder() {
    ok(RegisterClass(kFakeClsid, ExeDir() + "\\tool_plugin.dll", kTestProgramId), "cannot register");
    const std::string top = FreshDir("unicode");
    const std::string dir = top + "\\Jürgen 日本";
    const std::string node = dir + "\\node.txt";
    const std::string walk = Common(node) + " --demo-walk \"" + top + "\\shots\"";
    Result r = RunHost(walk);
    ok(r.code == 0, "first run: exit code %lu\n%s", r.code, r.out.c_str());
    ok(r.out.find("node: Sunblind controller 1 (" + node + ")") != std::string::npos, "path in the output:\n%s",
       r.out.c_str());
    ok(NameIn(node) == "Sunblind controller 1", "not written whole: %s", Slurp(node).c_str());
    ok(Names(dir) == std::vector<std::string>{"node.txt"}, "beside the file: %u name(s)",
       static_cast<unsigned>(Names(dir).size()));

    // Renamed in the file: the next start reads that, and writes it back.
    std::string text = Slurp(node);
    const std::string renamed = "Jürgen's blinds 日本";
    text.replace(text.find("\nname: ") + 7, std::string("Sunblind controller 1").size(), renamed);
    Spit(node, text);
    r = RunHost(walk);
    ok(r.code == 0, "second run: exit code %lu\n%s", r.code, r.out.c_str());
    ok(r.out.find("node: " + renamed + " (") != std::string::npos, "not read back:\n%s", r.out.c_str());
    ok(NameIn(node) == renamed, "not written back: %s", Slurp(node).c_str());
    ok(Names(dir) == std::vector<std::string>{"node.txt"}, "beside the file after the second run");
    DeleteClass(kFakeClsid);
}

// A save stopped dead after each of its steps, as by a crash: the node file
// reads back whole, the old one before the rename and the new one after it;
// the next start removes what the stopped save left beside it.
static void test_save_stopped_after_each_step() {
    DeleteClass(kFakeClsid);
    const std::string dir = FreshDir("stopped") + "\\Jürgen 日本";
    const std::string node = dir + "\\node.txt";
    struct Row {
        const char* step;
        const char* name;  // in the file afterwards
        bool left;         // a temporary file left beside it
    } rows[] = {
        {"create", "Old node", true}, {"write", "Old node", true},  {"flush", "Old node", true},
        {"close", "Old node", true},  {"replace", "Sunblind controller 1", false},
    };
    for (const Row& row : rows) {
        RemoveTree(dir);
        CreateDirectoryW(Wide(dir).c_str(), nullptr);
        std::string old = brmodel::FormatImage(brmodel::DefaultImage());
        old.replace(old.find("\nname: ") + 7, std::string("Sunblind controller 1").size(), "Old node");
        Spit(node, old);
        // --reset saves the built-in node at once, before any plug-in is looked for.
        Result r = RunHost(Common(node) + " --reset --stop-save-after " + row.step, 30000);
        ok(r.code == 9, "%s: exit code %lu\n%s", row.step, r.code, r.out.c_str());
        ok(r.out.find(std::string("save: stopped after ") + row.step) != std::string::npos, "%s:\n%s", row.step,
           r.out.c_str());
        ok(NameIn(node) == row.name, "%s: the file reads \"%s\"", row.step, NameIn(node).c_str());
        int temps = 0;
        for (const std::string& name : Names(dir)) temps += brmodel::IsTempOf(name, "node.txt");
        ok(temps == (row.left ? 1 : 0), "%s: %d temporary file(s)", row.step, temps);

        // The next start: no plug-in for the program ID, but the file is opened.
        r = RunHost(Common(node), 30000);
        ok(r.code == 3, "%s: next start: exit code %lu\n%s", row.step, r.code, r.out.c_str());
        ok((r.out.find("removed 1 temporary file(s)") != std::string::npos) == row.left, "%s: next start:\n%s",
           row.step, r.out.c_str());
        ok(Names(dir) == std::vector<std::string>{"node.txt"}, "%s: %u name(s) beside the file", row.step,
           static_cast<unsigned>(Names(dir).size()));
        ok(NameIn(node) == row.name, "%s: next start changed the file", row.step);
    }
}

// Another tool has the node file: this one says so and leaves it alone.
static void test_node_file_in_use() {
    const std::string dir = FreshDir("in-use");
    const std::string node = dir + "\\node.txt";
    const std::string text = brmodel::FormatImage(brmodel::DefaultImage());
    Spit(node, text);
    HANDLE other = CreateFileW(Wide(node + ".lock").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ok(other != INVALID_HANDLE_VALUE, "cannot hold the lock");
    const Result r = RunHost(Common(node) + " --reset", 30000);
    ok(r.code == 2, "exit code %lu\n%s", r.code, r.out.c_str());
    ok(r.out.find("is in use by another network tool") != std::string::npos, "%s", r.out.c_str());
    ok(Slurp(node) == text, "the file changed although --reset was given");
    CloseHandle(other);
}

WTEST_MAIN(WTEST(test_walk_through), WTEST(test_walk_on_the_selected_node), WTEST(test_walk_with_the_module), WTEST(test_walk_without_interfaces),
           WTEST(test_failures_exit_clearly), WTEST(test_node_file_in_any_folder), WTEST(test_save_stopped_after_each_step),
           WTEST(test_node_file_in_use))
