// brhost.exe as a user or run.sh starts it: the walk-through against the
// stand-in plug-in, and the exit codes and messages when something is wrong.
#include <cstring>

#include "test_hostutil.h"
#include "wtest.h"

using namespace hosttest;

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
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi = {};
    std::string cmd = "\"" + Host() + "\" " + args;
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        r.out = "cannot start " + Host();
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return r;
    }
    CloseHandle(writeEnd);
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD avail = 0;
        while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &avail, nullptr) && avail) {
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) || !got) break;
            r.out.append(buffer, got);
        }
        if (WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0) break;
        if (GetTickCount() - start > timeoutMs) {
            TerminateProcess(pi.hProcess, 0xDEAD);
            break;
        }
    }
    // What is left in the pipe; not up to its end, which a process that
    // inherited the handle from the host (a service it started) may hold.
    DWORD avail = 0;
    while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &avail, nullptr) && avail) {
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) || !got) break;
        r.out.append(buffer, got);
    }
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

std::string Common(const std::string& node) {
    return "--program-id \"" + std::string(kTestProgramId) + "\" --node \"" + node + "\" --tick 250";
}

}  // namespace

static void test_walk_through() {
    ok(RegisterClass(kFakeClsid, ExeDir() + "\\test_hostplugin.dll", kTestProgramId), "cannot register");
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
    const std::string dir = FreshDir("walk-module");
    const Result r = RunHost("--node \"" + dir + "\\node.txt\" --tick 250 --demo-walk \"" + dir + "\"");
    ok(r.code == 0, "exit code %lu\n%s", r.code, r.out.c_str());
    for (const char* said : {"sheet open with 5 tab(s)", "tab 5 \"Sunblind 4\"", "Write pressed:", "done, 5 screenshot(s)"})
        ok(r.out.find(said) != std::string::npos, "no \"%s\" in\n%s", said, r.out.c_str());
    ok(r.out.find("0 item(s) written") == std::string::npos, "nothing written\n%s", r.out.c_str());
    for (int tab = 1; tab <= 5; ++tab)
        ok(IsBitmap(dir + "\\tab" + std::to_string(tab) + ".bmp"), "tab%d.bmp missing", tab);
    if (unreg) unreg();
    FreeLibrary(ocx);
}

// A node without access interfaces: the plug-in warns, the walk answers.
static void test_walk_without_interfaces() {
    RegisterClass(kFakeClsid, ExeDir() + "\\test_hostplugin.dll", kTestProgramId);
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
    struct Row {
        const char* what;
        std::string args;
        bool registerMissing;
        bool badFile;
        DWORD code;
        const char* message;
    } rows[] = {
        {"unknown option", "--frobnicate", false, false, 1, "unknown option \"--frobnicate\""},
        {"bad list", Common(node) + " --fail-read 21,99", false, false, 1, "--fail-read: \"99\""},
        {"malformed node file", Common(node) + " --demo-walk \"" + dir + "\"", false, true, 2, "line 2: \"xx\" is not a byte"},
        {"no plug-in", Common(node) + " --demo-walk \"" + dir + "\"", false, false, 3, "No registered plug-in"},
        {"module missing", Common(node) + " --demo-walk \"" + dir + "\"", true, false, 4, "which does not exist"},
    };
    for (const Row& row : rows) {
        DeleteClass(kFakeClsid);
        if (row.registerMissing) RegisterClass(kFakeClsid, dir + "\\Gone.ocx", kTestProgramId);
        if (row.badFile) Spit(node, bad);
        else DeleteFileA(node.c_str());
        const Result r = RunHost(row.args, 30000);
        ok(r.code == row.code, "%s: exit code %lu\n%s", row.what, r.code, r.out.c_str());
        ok(r.out.find(row.message) != std::string::npos, "%s: no \"%s\" in\n%s", row.what, row.message, r.out.c_str());
        if (row.badFile) ok(Slurp(node) == bad, "%s: the file changed", row.what);
    }
    DeleteClass(kFakeClsid);
}

WTEST_MAIN(WTEST(test_walk_through), WTEST(test_walk_with_the_module), WTEST(test_walk_without_interfaces), WTEST(test_failures_exit_clearly))
