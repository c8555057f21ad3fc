// brhost: a stand-in network tool. It runs the sunblind controller's
// configuration plug-in against a network of simulated nodes: finds the
// plug-in through the registry, creates one control per node in-process,
// lists the nodes, shows the selected node's picture and opens its
// Properties, while every node's lux readings and blind levels move and a
// trend chart shows what the selected node's settings make of them.
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "chart.h"
#include "fw/handles.h"
#include "options.h"
#include "plugin.h"
#include "simulatednode.h"
#include "walk.h"
#include "wide.h"
#include "winregistry.h"

using namespace brhost;

namespace {

constexpr UINT kOpenProperties = WM_APP + 1;
constexpr UINT_PTR kRefreshTimer = 1;
constexpr int kIdProperties = 100, kIdReset = 101, kIdExit = 102, kIdNodeList = 103;
constexpr int kListRows = 5;  // node lines the list shows before it scrolls

struct Host {
    brmodel::Options options;
    std::unique_ptr<Network> network;
    // One control per node, each sited on its node for its life.
    std::vector<std::unique_ptr<Plugin>> plugins;
    int selected = 1;
    std::unique_ptr<DemoWalk> walk;
    HWND window = nullptr, list = nullptr;
    bool inVerb = false;
    int exitCode = kExitOk;

    SimulatedNode& Node() { return network->Node(selected); }
    Plugin& Control() { return *plugins.at(static_cast<std::size_t>(selected - 1)); }
};
Host* g_host = nullptr;
// The exit code of a failure that escapes as an exception: that of the stage
// the host is in.
int g_stage = kExitUsage;

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
        MessageBoxW(g_host ? g_host->window : nullptr, Wide(message).c_str(), L"Brisel network tool",
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

// Channel n's panel title: what drives it and what it does now.
std::wstring PanelTitle(Host& h, const brmodel::Image& image, int n) {
    const brmodel::Settings s = brmodel::GetSettings(image.items, n);
    const auto& c = h.Node().Simulation().State(n);
    const double level = image.items.at(brmodel::Channel(n).level)[0] / 2.0;
    const char* course = c.goal == brmodel::Simulation::Goal::Top
                             ? (level >= s.topLevel ? "up" : "going up")
                             : c.goal == brmodel::Simulation::Goal::Bottom ? (level <= s.bottomLevel ? "down" : "going down")
                                                                           : "holding";
    char line[200];
    std::snprintf(line, sizeof line, "Sunblind %d: %u lux (%s), level %.1f %% %s; down %u lux after %.0f s, up %u lux",
                  n, brmodel::GetU16(image.items, s.commonLux ? brmodel::kCommonLux : brmodel::Channel(n).localLux),
                  s.commonLux ? "common" : "local", level, course, s.downSetpoint, s.timeBeforeDown, s.upSetpoint);
    return Wide(line);
}

// Where things go: the picture under the button with the status lines
// beside it, the node list beneath both, the chart below the list.
struct Layout {
    RECT picture, list;
    int chartTop;
};

Layout Arrange(Host& h, HDC dc, const RECT& client) {
    Layout l;
    const SIZE size = h.Control().Extent(dc);
    l.picture = {12, 52, 12 + size.cx, 52 + size.cy};
    const int statusBottom = 12 + 6 * 16;  // room for every status line
    const LONG rows = std::min(h.network->Size(), kListRows);
    const LONG rowHeight = h.list ? std::max<LONG>(12, static_cast<LONG>(SendMessageW(h.list, LB_GETITEMHEIGHT, 0, 0))) : 16;
    const LONG top = std::max<LONG>(l.picture.bottom, statusBottom) + 8;
    l.list = {12, top, std::max<LONG>(12, client.right - 12), top + rows * rowHeight + 4};
    l.chartTop = l.list.bottom + 8;
    return l;
}

void PlaceList(Host& h) {
    if (!h.list) return;
    RECT client;
    GetClientRect(h.window, &client);
    const Layout l = Arrange(h, unique_window_dc(h.window).get(), client);
    MoveWindow(h.list, l.list.left, l.list.top, l.list.right - l.list.left, l.list.bottom - l.list.top, TRUE);
}

// One line per node: its number, name and file.
void FillList(Host& h) {
    if (!h.list) return;
    SendMessageW(h.list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(h.list, LB_RESETCONTENT, 0, 0);
    for (int k = 1; k <= h.network->Size(); ++k) {
        SimulatedNode& node = h.network->Node(k);
        const std::wstring line =
            std::to_wstring(k) + L"\t" + Display(node.Image().name) + L"\t" + Wide(node.Path());
        SendMessageW(h.list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    }
    SendMessageW(h.list, LB_SETCURSEL, static_cast<WPARAM>(h.selected - 1), 0);
    SendMessageW(h.list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(h.list, nullptr, TRUE);
}

std::wstring Title(Host& h) { return L"Brisel network tool - " + Display(h.Node().Image().name); }

// The picture, status lines and chart show node k from now on.
void Select(Host& h, int k) {
    if (k < 1 || k > h.network->Size() || h.inVerb) return;
    h.selected = k;
    SetWindowTextW(h.window, Title(h).c_str());
    if (h.list) SendMessageW(h.list, LB_SETCURSEL, static_cast<WPARAM>(k - 1), 0);
    InvalidateRect(h.window, nullptr, FALSE);
}

// Everything goes into a bitmap first and onto the screen in one piece.
void Paint(HWND hwnd) {
    const unique_paint_dc painting(hwnd);
    HDC screen = painting.get();
    RECT client;
    GetClientRect(hwnd, &client);
    MemoryCanvas canvas(screen, client.right, client.bottom);
    HDC dc = canvas.ready() ? canvas.dc() : screen;
    Host& h = *g_host;
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    const int saved = SaveDC(dc);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));

    const Layout layout = Arrange(h, dc, client);
    const RECT picture = layout.picture;
    SimulatedNode& node = h.Node();
    Plugin& plugin = h.Control();
    if (!plugin.Draw(dc, picture)) {
        const wchar_t text[] = L"(the plug-in draws nothing)";
        TextOutW(dc, picture.left, picture.top, text, static_cast<int>(wcslen(text)));
    }
    FrameRect(dc, &picture, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));

    const brmodel::Image image = node.Image();
    const std::string which = h.network->Size() > 1 ? " " + std::to_string(h.selected) + " of " +
                                                          std::to_string(h.network->Size())
                                                    : "";
    std::vector<std::wstring> lines = {
        L"Node" + Wide(which) + L": " + Display(image.name),
        Wide("Node file: " + node.Path()),
        Wide("Plug-in: " + plugin.clsid + "  " + plugin.module),
        Wide(Describe(h.options)),
        Wide("Calls: " + std::to_string(node.reads) + " reads, " + std::to_string(node.writes) + " writes, " +
             std::to_string(node.failures) + " failed"),
    };
    if (!node.saveError.empty()) lines.push_back(Wide("Not saved: " + node.saveError));
    int y = 12;
    for (const std::wstring& line : lines) {
        TextOutW(dc, picture.right + 20, y, line.c_str(), static_cast<int>(line.size()));
        y += 16;
    }
    RestoreDC(dc, saved);

    std::wstring titles[4];
    for (int n = 1; n <= 4; ++n) titles[n - 1] = PanelTitle(h, image, n);
    const RECT chart = {12, layout.chartTop, client.right - 12, client.bottom - 8};
    DrawTrends(dc, chart, node.History(), titles);
    if (dc != screen) BitBlt(screen, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
}

void OpenProperties(HWND hwnd) {
    Host& h = *g_host;
    if (h.inVerb) return;
    h.inVerb = true;
    if (h.walk) h.walk->Start();
    const HRESULT hr = h.Control().Properties(hwnd, h.Node().site.ClientSite());
    h.inVerb = false;
    if (h.walk) {
        h.walk->Stop();
        if (SUCCEEDED(hr) && h.walk->WantsNode()) {
            // The walk goes on with the next node's sheet.
            Select(h, h.walk->WantsNode());
            h.walk->OnNextNode(h.Node());
            PostMessageW(hwnd, kOpenProperties, 0, 0);
            return;
        }
        if (FAILED(hr)) h.exitCode = Report(kExitPlugin, "The plug-in's Properties failed: " + DescribeHresult(hr));
        else if (!h.walk->Finished()) h.exitCode = Report(kExitPlugin, "The plug-in's Properties returned before the walk-through ended");
        else if (!h.walk->Succeeded()) h.exitCode = Report(kExitPlugin, "Walk-through failed: " + h.walk->error);
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
    } else if (FAILED(hr)) {
        Report(kExitPlugin, "The plug-in's Properties failed: " + DescribeHresult(hr));
    }
    InvalidateRect(hwnd, nullptr, FALSE);
}

LRESULT Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;  // Paint covers everything
    case WM_SIZE:
        if (g_host) PlaceList(*g_host);
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
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
            g_host->network->Advance();
            InvalidateRect(hwnd, nullptr, FALSE);
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
        case kIdNodeList:
            if (HIWORD(wParam) == LBN_SELCHANGE) {
                const LRESULT row = SendMessageW(g_host->list, LB_GETCURSEL, 0, 0);
                if (row != LB_ERR) Select(*g_host, static_cast<int>(row) + 1);
            } else if (HIWORD(wParam) == LBN_DBLCLK) {
                OpenProperties(hwnd);
            }
            return 0;
        case kIdReset: {
            std::string error;
            const std::wstring question =
                L"Replace the settings of \"" + Display(g_host->Node().Image().name) + L"\" with the built-in default node?";
            if (MessageBoxW(hwnd, question.c_str(), L"Brisel network tool", MB_OKCANCEL | MB_ICONQUESTION) == IDOK &&
                !g_host->Node().Reset(error))
                Report(kExitNodeFile, error);
            FillList(*g_host);
            SetWindowTextW(hwnd, Title(*g_host).c_str());
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        }
        case kIdExit:
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// No exception leaves the window procedure: it ends the host with its stage's code.
LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return Handle(hwnd, message, wParam, lParam);
    } catch (const std::exception& e) {
        if (g_host) g_host->exitCode = Report(g_stage, std::string("Unexpected failure: ") + e.what());
    } catch (...) {
        if (g_host) g_host->exitCode = Report(g_stage, "Unexpected failure");
    }
    PostQuitMessage(0);
    return 0;
}

HWND CreateHostWindow(HINSTANCE instance, Host& h) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.hbrBackground = nullptr;  // Paint draws the background with the rest
    wc.lpszClassName = L"BriselHostWindow";
    RegisterClassW(&wc);

    HMENU bar = CreateMenu(), node = CreatePopupMenu();
    AppendMenuW(node, MF_STRING, kIdProperties, L"&Properties...");
    AppendMenuW(node, MF_STRING, kIdReset, L"&Reset to default node");
    AppendMenuW(node, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(node, MF_STRING, kIdExit, L"E&xit");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(node), L"&Node");

    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, Title(h).c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                                1000, 740, nullptr, bar, instance, nullptr);
    h.window = hwnd;
    const WPARAM font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
    HWND button = CreateWindowExW(0, L"BUTTON", L"Properties...", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 12, 10, 110,
                                  28, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdProperties)), instance,
                                  nullptr);
    SendMessageW(button, WM_SETFONT, font, TRUE);
    h.list = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"Nodes",
                             WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_USETABSTOPS |
                                 LBS_NOINTEGRALHEIGHT,
                             0, 0, 0, 0, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdNodeList)), instance,
                             nullptr);
    SendMessageW(h.list, WM_SETFONT, font, TRUE);
    INT stops[] = {16, 130};  // dialog units: number, name, file
    SendMessageW(h.list, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(stops));
    FillList(h);
    PlaceList(h);
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
        if (Interactive()) MessageBoxW(nullptr, Wide(brmodel::kUsage).c_str(), L"Brisel network tool", MB_OK);
        return kExitOk;
    }

    g_stage = kExitNodeFile;
    host.network = std::make_unique<Network>(host.options);
    host.selected = static_cast<int>(host.options.select);
    brmodel::SaveStep stop;
    if (brmodel::ParseStep(host.options.stopSaveAfter, stop))
        for (int k = 1; k <= host.network->Size(); ++k)
            host.network->Node(k).afterSaveStep = [stop](brmodel::SaveStep step) {
                if (step != stop) return;
                std::printf("save: stopped after %s\n", brmodel::StepName(step));
                std::fflush(stdout);
                TerminateProcess(GetCurrentProcess(), kExitStopped);  // as a crash: nothing more runs
            };
    const std::string path = host.options.nodeFile.empty() ? DefaultNodeFile() : host.options.nodeFile;
    if (!host.network->Open(path, error))
        return Report(kExitNodeFile, "The node file cannot be used: " + error +
                                         "\nThe file was left as it is. Correct it, choose another with --node, "
                                         "or start from the default node with --reset.");
    for (int k = 1; k <= host.network->Size(); ++k) {
        SimulatedNode& node = host.network->Node(k);
        std::printf("node: %s (%s)\n", node.Image().name.c_str(), node.Path().c_str());
        if (node.staleRemoved)
            std::printf("node: removed %d temporary file(s) of an earlier save that did not finish\n",
                        node.staleRemoved);
    }

    g_stage = kExitLoad;
    const HRESULT init = OleInitialize(nullptr);
    if (FAILED(init)) return Report(kExitLoad, "OLE cannot be initialised: " + DescribeHresult(init));
    int code;
    {
        auto unload = [&] {
            for (auto& plugin : host.plugins) plugin->Unload();
        };
        for (int k = 1; k <= host.network->Size(); ++k) {
            host.plugins.push_back(std::make_unique<Plugin>());
            IOleClientSite* site = host.network->Node(k).site.ClientSite();
            const int found = k == 1 ? host.plugins[0]->Load(Win32Registry(), host.options.programId, site, error)
                                     : host.plugins.back()->LoadLike(*host.plugins[0], site, error);
            if (found != kExitOk) {
                unload();
                OleUninitialize();
                return Report(found, k == 1 ? error : "Node " + std::to_string(k) + ": " + error);
            }
        }
        const Plugin& first = *host.plugins[0];
        std::printf("plug-in: %s (%s)\n", first.clsid.c_str(), first.module.c_str());
        for (const std::string& other : first.others)
            std::printf("plug-in: %s matches too and is not used\n", other.c_str());
        std::fflush(stdout);

        g_stage = kExitPlugin;
        CreateHostWindow(instance, host);
        ShowWindow(host.window, SW_SHOWNORMAL);
        UpdateWindow(host.window);
        SetTimer(host.window, kRefreshTimer, 1000, nullptr);
        if (!host.options.demoDir.empty()) {
            CreateDirectoryW(Wide(host.options.demoDir).c_str(), nullptr);
            std::string why;
            const std::string shot = host.options.demoDir + "\\host.bmp";
            if (SaveWindowBitmap(host.window, shot, why)) std::printf("walk: screenshot %s\n", shot.c_str());
            else std::printf("walk: no screenshot of the host window: %s\n", why.c_str());
            host.walk = std::make_unique<DemoWalk>(host.window, host.options.demoDir, host.options.tickMs, host.Node());
            // On a network the walk saves this node's settings and loads
            // them into the next node.
            if (host.network->Size() > 1) host.walk->loadInto = host.selected % host.network->Size() + 1;
        }
        if (host.walk || host.options.properties) PostMessageW(host.window, kOpenProperties, 0, 0);

        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (!host.network->Save(error)) std::fprintf(stderr, "brhost: %s\n", error.c_str());
        unload();
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

// Arguments arrive as UTF-16 and are kept as UTF-8, so any path works.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    std::vector<std::string> args;
    int argc = 0;
    if (const unique_local<wchar_t*> argv{CommandLineToArgvW(GetCommandLineW(), &argc)})
        for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv.get()[i]));
    try {
        return Run(instance, args);
    } catch (const std::exception& e) {
        g_host = nullptr;
        return Report(g_stage, std::string("Unexpected failure: ") + e.what());
    } catch (...) {
        g_host = nullptr;
        return Report(g_stage, "Unexpected failure");
    }
}
