// brhost: a stand-in network tool. It runs the sunblind controller's
// configuration plug-in against a simulated node: finds the plug-in through
// the registry, creates it in-process, shows its picture and opens its
// Properties, while the node's lux readings and blind levels move.
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "options.h"
#include "plugin.h"
#include "simulatednode.h"
#include "walk.h"
#include "winregistry.h"

using namespace brhost;

namespace {

constexpr UINT kOpenProperties = WM_APP + 1;
constexpr UINT_PTR kRefreshTimer = 1;
constexpr int kIdProperties = 100, kIdReset = 101, kIdExit = 102;

struct Host {
    brmodel::Options options;
    std::unique_ptr<SimulatedNode> node;
    Plugin plugin;
    std::unique_ptr<DemoWalk> walk;
    HWND window = nullptr;
    bool inVerb = false;
    int exitCode = kExitOk;
};
Host* g_host = nullptr;

// Someone may be watching unless the walk-through runs or errors go to a
// file or pipe (a script, a test).
bool Interactive() {
    if (g_host && !g_host->options.demoDir.empty()) return false;
    const DWORD type = GetFileType(GetStdHandle(STD_ERROR_HANDLE));
    return type != FILE_TYPE_PIPE && type != FILE_TYPE_DISK;
}

// Errors go to stderr and, when someone is watching, to a message box.
int Report(int code, const std::string& message) {
    std::fprintf(stderr, "brhost: %s\n", message.c_str());
    std::fflush(stderr);
    if (Interactive())
        MessageBoxA(g_host ? g_host->window : nullptr, message.c_str(), "Brisel network tool",
                    MB_ICONERROR | MB_OK);
    return code;
}

std::string Describe(const brmodel::Options& o) {
    const char* which[] = {"none", "reader", "writer", "reader and writer"};
    std::string s = "Node access: " + std::string(which[static_cast<int>(o.interfaces)]);
    if (o.latencyMs) s += ", " + std::to_string(o.latencyMs) + " ms per call";
    if (o.failAll) s += ", every call fails";
    auto list = [](const std::set<long>& items) {
        std::string out;
        for (long i : items) out += (out.empty() ? "" : ",") + std::to_string(i);
        return out;
    };
    if (!o.failRead.empty()) s += ", reads of " + list(o.failRead) + " fail";
    if (!o.failWrite.empty()) s += ", writes of " + list(o.failWrite) + " fail";
    return s;
}

void Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    Host& h = *g_host;
    HGDIOBJ font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));

    const SIZE size = h.plugin.Extent(dc);
    RECT picture = {12, 52, 12 + size.cx, 52 + size.cy};
    if (!h.plugin.Draw(dc, picture)) {
        const char text[] = "(the plug-in draws nothing)";
        TextOutA(dc, picture.left, picture.top, text, sizeof text - 1);
    }
    FrameRect(dc, &picture, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));

    const brmodel::Image image = h.node->Image();
    std::vector<std::string> lines = {
        "Node: " + image.name,
        "Node file: " + h.node->Path(),
        "Plug-in: " + h.plugin.clsid + "  " + h.plugin.module,
        Describe(h.options),
        "Calls: " + std::to_string(h.node->reads) + " reads, " + std::to_string(h.node->writes) + " writes, " +
            std::to_string(h.node->failures) + " failed",
        "",
    };
    if (!h.node->saveError.empty()) lines.push_back("Not saved: " + h.node->saveError);
    const char* goal[] = {"holding", "going up", "going down"};
    for (int n = 1; n <= 4; ++n) {
        const brmodel::Settings s = brmodel::GetSettings(image.items, n);
        const auto& c = h.node->Simulation().State(n);
        char line[200];
        std::snprintf(line, sizeof line, "Sunblind %d: lux %u (%s), level %.1f %% (%s), down at %u lux, up at %u lux",
                      n, brmodel::GetU16(image.items, s.commonLux ? brmodel::kCommonLux : brmodel::Channel(n).localLux),
                      s.commonLux ? "common" : "local", image.items.at(brmodel::Channel(n).level)[0] / 2.0,
                      goal[static_cast<int>(c.goal)], s.downSetpoint, s.upSetpoint);
        lines.push_back(line);
    }
    int y = picture.bottom + 16;
    for (const std::string& line : lines) {
        TextOutA(dc, 12, y, line.c_str(), static_cast<int>(line.size()));
        y += 18;
    }
    SelectObject(dc, font);
    EndPaint(hwnd, &ps);
}

void OpenProperties(HWND hwnd) {
    Host& h = *g_host;
    if (h.inVerb) return;
    h.inVerb = true;
    if (h.walk) h.walk->Start();
    const HRESULT hr = h.plugin.Properties(hwnd, h.node->site.ClientSite());
    h.inVerb = false;
    if (h.walk) {
        h.walk->Stop();
        if (FAILED(hr)) h.exitCode = Report(kExitPlugin, "The plug-in's Properties failed: " + DescribeHresult(hr));
        else if (!h.walk->Finished()) h.exitCode = Report(kExitPlugin, "The plug-in's Properties returned before the walk-through ended");
        else if (!h.walk->Succeeded()) h.exitCode = Report(kExitPlugin, "Walk-through failed: " + h.walk->error);
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
    } else if (FAILED(hr)) {
        Report(kExitPlugin, "The plug-in's Properties failed: " + DescribeHresult(hr));
    }
    InvalidateRect(hwnd, nullptr, TRUE);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        if (g_host) {
            Paint(hwnd);
            return 0;
        }
        break;
    case WM_TIMER:
        if (wParam == DemoWalk::kTimer && g_host->walk) {
            g_host->walk->Tick();
            return 0;
        }
        if (wParam == kRefreshTimer) {
            g_host->node->Advance();
            RECT r;
            GetClientRect(hwnd, &r);
            r.top = 40;
            InvalidateRect(hwnd, &r, TRUE);
            return 0;
        }
        break;
    case kOpenProperties:
        OpenProperties(hwnd);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kIdProperties:
            OpenProperties(hwnd);
            return 0;
        case kIdReset: {
            std::string error;
            if (MessageBoxA(hwnd, "Replace the node's settings with the built-in default node?", "Brisel network tool",
                            MB_OKCANCEL | MB_ICONQUESTION) == IDOK &&
                !g_host->node->Reset(error))
                Report(kExitNodeFile, error);
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        }
        case kIdExit:
            PostMessageA(hwnd, WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND CreateHostWindow(HINSTANCE instance, const std::string& nodeName) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "BriselHostWindow";
    RegisterClassA(&wc);

    HMENU bar = CreateMenu(), node = CreatePopupMenu();
    AppendMenuA(node, MF_STRING, kIdProperties, "&Properties...");
    AppendMenuA(node, MF_STRING, kIdReset, "&Reset to default node");
    AppendMenuA(node, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(node, MF_STRING, kIdExit, "E&xit");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(node), "&Node");

    const std::string title = "Brisel network tool - " + nodeName;
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 620, 340, nullptr,
                                bar, instance, nullptr);
    HWND button = CreateWindowExA(0, "BUTTON", "Properties...", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 12, 10, 110,
                                  28, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdProperties)), instance,
                                  nullptr);
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    return hwnd;
}

int Run(HINSTANCE instance, const std::vector<std::string>& args) {
    Host host;
    g_host = &host;
    std::string error;
    if (!brmodel::ParseOptions(args, host.options, error)) {
        host.options.demoDir.clear();
        return Report(kExitUsage, error + "\n\n" + brmodel::kUsage);
    }
    if (host.options.help) {
        std::printf("%s", brmodel::kUsage);
        if (Interactive()) MessageBoxA(nullptr, brmodel::kUsage, "Brisel network tool", MB_OK);
        return kExitOk;
    }

    host.node = std::make_unique<SimulatedNode>(host.options);
    const std::string path = host.options.nodeFile.empty() ? DefaultNodeFile() : host.options.nodeFile;
    if (!host.node->Open(path, error))
        return Report(kExitNodeFile, "The node file cannot be used: " + error +
                                         "\nThe file was left as it is. Correct it, choose another with --node, "
                                         "or start from the default node with --reset.");
    std::printf("node: %s (%s)\n", host.node->Image().name.c_str(), path.c_str());

    const HRESULT init = OleInitialize(nullptr);
    if (FAILED(init)) return Report(kExitLoad, "OLE cannot be initialised: " + DescribeHresult(init));
    int code;
    {
        const int found = host.plugin.Load(Win32Registry(), host.options.programId, host.node->site.ClientSite(), error);
        if (found != kExitOk) {
            OleUninitialize();
            return Report(found, error);
        }
        std::printf("plug-in: %s (%s)\n", host.plugin.clsid.c_str(), host.plugin.module.c_str());
        for (const std::string& other : host.plugin.others)
            std::printf("plug-in: %s matches too and is not used\n", other.c_str());
        std::fflush(stdout);

        host.window = CreateHostWindow(instance, host.node->Image().name);
        ShowWindow(host.window, SW_SHOWNORMAL);
        UpdateWindow(host.window);
        SetTimer(host.window, kRefreshTimer, 1000, nullptr);
        if (!host.options.demoDir.empty()) {
            CreateDirectoryA(host.options.demoDir.c_str(), nullptr);
            std::string why;
            const std::string shot = host.options.demoDir + "\\host.bmp";
            if (SaveWindowBitmap(host.window, shot, why)) std::printf("walk: screenshot %s\n", shot.c_str());
            else std::printf("walk: no screenshot of the host window: %s\n", why.c_str());
            host.walk = std::make_unique<DemoWalk>(host.window, host.options.demoDir, host.options.tickMs, *host.node);
        }
        if (host.walk || host.options.properties) PostMessageA(host.window, kOpenProperties, 0, 0);

        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (!host.node->Save(error)) std::fprintf(stderr, "brhost: %s\n", error.c_str());
        host.plugin.Unload();
        code = host.exitCode;
        if (host.walk && code == kExitOk)
            std::printf("walk: done, %u screenshot(s) in %s\n", static_cast<unsigned>(host.walk->shots.size()),
                        host.options.demoDir.c_str());
    }
    OleUninitialize();
    std::fflush(stdout);
    g_host = nullptr;
    return code;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    std::vector<std::string> args;
    for (int i = 1; i < __argc; ++i) args.emplace_back(__argv[i]);
    return Run(instance, args);
}
