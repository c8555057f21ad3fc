// The control hosted in place by Wine's ATL control host window
// ("AtlAxWin" from atl.dll): created, activated and painted, and drawn
// through IViewObject into memory. What it paints is the top-left 30 x 30
// pixels of its bitmap stretched to the bounds, never mirrored; the
// bitmap's magenta right column and bottom row never appear.
#include <ole2.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "fw/comptr.h"
#include "ocxhelp.h"
#include "wide.h"
#include "wtest.h"

namespace {

using Pixels = std::vector<DWORD>;  // 0x00RRGGBB, top-down rows

constexpr DWORD kMagenta = 0xFF00FF;

// A 32-bit top-down DIB section selected into a memory DC.
struct Canvas {
    int w, h;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    DWORD* bits = nullptr;
    Canvas(int width, int height, DWORD fill) : w(width), h(height) {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        dc = CreateCompatibleDC(nullptr);
        void* p = nullptr;
        bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<DWORD*>(p);
        old = SelectObject(dc, bitmap);
        for (int i = 0; i < w * h; ++i) bits[i] = fill;
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    Pixels pixels() const {
        GdiFlush();
        Pixels out(bits, bits + w * h);
        for (DWORD& px : out) px &= 0xFFFFFF;
        return out;
    }
};

// Bitmap 1 of the module as 31 x 31 pixels.
Pixels SourceBitmap() {
    HMODULE data = LoadLibraryExA(ocx::Path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HBITMAP bmp = static_cast<HBITMAP>(LoadImageA(data, MAKEINTRESOURCEA(1), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    Pixels out;
    BITMAP info = {};
    if (bmp && GetObjectA(bmp, sizeof info, &info) && info.bmWidth == 31 && info.bmHeight == 31 &&
        info.bmBitsPixel == 4) {
        Canvas canvas(31, 31, 0);
        HDC src = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(src, bmp);
        BitBlt(canvas.dc, 0, 0, 31, 31, src, 0, 0, SRCCOPY);
        SelectObject(src, old);
        DeleteDC(src);
        out = canvas.pixels();
    }
    if (bmp) DeleteObject(bmp);
    if (data) FreeLibrary(data);
    return out;
}

// Mismatches between a w x h picture and the source's top-left 30 x 30
// pixels stretched to it, sampled at the centre of every source pixel's
// area; and whether any pixel is magenta.
int Mismatches(const Pixels& source, const Pixels& picture, int w, int h, bool* magenta) {
    int bad = 0;
    for (int sy = 0; sy < 30; ++sy) {
        for (int sx = 0; sx < 30; ++sx) {
            const int x = (2 * sx + 1) * w / 60, y = (2 * sy + 1) * h / 60;
            if (picture[y * w + x] != source[sy * 31 + sx]) ++bad;
        }
    }
    *magenta = false;
    for (DWORD px : picture) *magenta |= px == kMagenta;
    return bad;
}

void SaveBmp(const char* name, const Pixels& px, int w, int h) {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path(exe);
    path = path.substr(0, path.find_last_of('\\') + 1) + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    BITMAPFILEHEADER fh = {};
    BITMAPINFOHEADER ih = {};
    ih.biSize = sizeof ih;
    ih.biWidth = w;
    ih.biHeight = -h;
    ih.biPlanes = 1;
    ih.biBitCount = 32;
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(px.size() * 4);
    std::fwrite(&fh, sizeof fh, 1, f);
    std::fwrite(&ih, sizeof ih, 1, f);
    std::fwrite(px.data(), 4, px.size(), f);
    std::fclose(f);
}

LRESULT CALLBACK FrameProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

}  // namespace

static void test_source_bitmap() {
    const Pixels source = SourceBitmap();
    if (!ok(source.size() == 31 * 31, "bitmap 1 is not 31 x 31 at 4 bits per pixel")) return;
    int magenta = 0, inside = 0;
    for (int y = 0; y < 31; ++y)
        for (int x = 0; x < 31; ++x) {
            const bool edge = x == 30 || y == 30;
            if (source[y * 31 + x] == kMagenta) (edge ? magenta : inside)++;
        }
    ok(magenta == 61 && inside == 0, "magenta: %d on the edge, %d inside", magenta, inside);
    // Mirroring it either way would show.
    int acrossX = 0, acrossY = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            acrossX += source[y * 31 + x] != source[y * 31 + 29 - x];
            acrossY += source[y * 31 + x] != source[(29 - y) * 31 + x];
        }
    ok(acrossX > 20 && acrossY > 20, "picture is symmetric: %d %d", acrossX, acrossY);
}

// Installed into a folder whose name the ANSI code page cannot spell: the
// registration names the module's real path, COM creates the control from
// there, the control draws and, with its type library's registration gone,
// reads the library its module carries from there; unregistering leaves
// nothing behind.
static void test_any_folder() {
    const Pixels source = SourceBitmap();
    ocx::Module().Unregister();  // the build's copy steps aside
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring dir = std::wstring(temp) + L"Brisel \u65E5\u672C \u00DC";
    const std::wstring path = dir + L"\\Brisel.ocx";
    const std::string built = ocx::Path();  // the build folder's name is plain ASCII
    CreateDirectoryW(dir.c_str(), nullptr);
    if (!ok(CopyFileW(std::wstring(built.begin(), built.end()).c_str(), path.c_str(), FALSE), "copy: %lu",
            GetLastError()))
        return;
    ok(ocx::Module(path).Register() == S_OK, "register");

    const std::string cls = ocx::ClsKey(), utf8Path = brhost::Utf8(path);
    ok(wtest::DefaultValue(cls + "\\InprocServer32") == utf8Path, "InprocServer32 %s",
       wtest::DefaultValue(cls + "\\InprocServer32").c_str());
    ok(wtest::DefaultValue(cls + "\\ToolboxBitmap32") == utf8Path + ", 1", "ToolboxBitmap32 %s",
       wtest::DefaultValue(cls + "\\ToolboxBitmap32").c_str());
    BSTR lib = nullptr;
    ok(QueryPathOfRegTypeLib(ocx::kLibid, 1, 0, 0x409, &lib) == S_OK && lib && path == lib, "type library %ls",
       lib ? lib : L"(none)");
    SysFreeString(lib);

    IViewObject* view = nullptr;
    const HRESULT hr = CoCreateInstance(ocx::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IViewObject,
                                        reinterpret_cast<void**>(&view));
    if (ok(hr == S_OK && view, "CoCreateInstance 0x%08lx", hr)) {
        wchar_t loaded[MAX_PATH] = {};
        GetModuleFileNameW(GetModuleHandleW(L"Brisel.ocx"), loaded, MAX_PATH);
        ok(path == loaded, "loaded from %ls", loaded);
        const int w = 90, h = 60;
        Canvas canvas(w, h, 0x123456);
        const RECTL bounds = {0, 0, w, h};
        ok(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc, &bounds, nullptr, nullptr, 0) == S_OK,
           "Draw");
        bool magenta = true;
        ok(Mismatches(source, canvas.pixels(), w, h, &magenta) == 0 && !magenta, "drawn picture differs");
        ok(UnRegisterTypeLib(ocx::kLibid, 1, 0, 0x409, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32) == S_OK,
           "type library unregistered");
        IDispatch* disp = nullptr;
        ITypeInfo* info = nullptr;
        ok(view->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp)) == S_OK &&
               disp->GetTypeInfo(0, 0x409, &info) == S_OK && info, "type information from the module");
        if (info) info->Release();
        if (disp) disp->Release();
        view->Release();
    }
    CoFreeUnusedLibraries();
    ok(GetModuleHandleW(L"Brisel.ocx") == nullptr, "module not unloaded");

    ok(ocx::Module(path).Unregister() == S_OK, "unregister");
    ok(!wtest::KeyExists(ocx::ClsKey()) && !wtest::KeyExists(ocx::kProgId) &&
           !wtest::KeyExists("TypeLib\\" + ocx::GuidText(ocx::kLibid)), "entries left behind");
    ok(DeleteFileW(path.c_str()), "module not removed: %lu", GetLastError());
    ok(RemoveDirectoryW(dir.c_str()), "folder not removed: %lu", GetLastError());
    ok(ocx::Module().Register() == S_OK, "register the build's copy again");
}

// ATL's host window creates the control from its ProgID, activates it in
// place and lets it paint.
static void host_once() {
    const Pixels source = SourceBitmap();
    HMODULE atl = LoadLibraryA("atl.dll");
    auto axInit = reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
    auto axGet = reinterpret_cast<HRESULT(WINAPI*)(HWND, IUnknown**)>(
        reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
    if (!ok(axInit && axGet, "atl.dll: no AtlAxWinInit") || !ok(!source.empty(), "no bitmap 1 in the module")) return;
    axInit();  // FALSE once the window class is registered

    WNDCLASSA wc = {};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "BriselTestFrame";
    RegisterClassA(&wc);
    HWND frame = CreateWindowExA(0, "BriselTestFrame", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 400, 300,
                                 nullptr, nullptr, wc.hInstance, nullptr);
    const int W = 240, H = 150;
    HWND host = CreateWindowExA(0, "AtlAxWin", ocx::kProgId, WS_CHILD | WS_VISIBLE, 10, 10, W, H, frame, nullptr,
                                wc.hInstance, nullptr);
    if (!ok(host != nullptr, "no AtlAxWin window")) {
        DestroyWindow(frame);
        return;
    }

    // In place active: the control has its window, however long that takes.
    com_ptr<IUnknown> control;
    HWND window = nullptr;
    const auto active = [&] {
        if (!control && (axGet(host, control.put()) != S_OK || !control)) return false;
        com_ptr<IOleInPlaceObject> inplace;
        control->QueryInterface(IID_IOleInPlaceObject, inplace.put_void());
        if (!inplace) return false;
        HWND got = nullptr;
        if (inplace->GetWindow(&got) == S_OK) window = got;
        return window != nullptr;
    };
    wtest::pump_until(active, 20000);
    ok(control.get() != nullptr, "no control in the host");
    if (ok(window != nullptr, "not in-place active: no control window")) {
        RECT rc = {};
        GetClientRect(window, &rc);
        ok(GetParent(window) == host && IsWindowVisible(window), "window not shown in the host");
        ok(rc.right == W && rc.bottom == H, "window %ld x %ld", rc.right, rc.bottom);

        // What is on the screen, once painting has caught up.
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        Pixels screen;
        bool magenta = true;
        int bad = -1;
        wtest::pump_until(
            [&] {
                Canvas shot(W, H, 0x123456);
                HDC dc = GetDC(window);
                BitBlt(shot.dc, 0, 0, W, H, dc, 0, 0, SRCCOPY);
                ReleaseDC(window, dc);
                screen = shot.pixels();
                magenta = true;
                bad = Mismatches(source, screen, W, H, &magenta);
                return bad == 0;
            },
            10000);
        SaveBmp("atl_host.bmp", screen, W, H);
        ok(bad == 0, "%d of 900 sampled pixels differ on the screen", bad);
        ok(!magenta, "the bitmap's last row or column is on the screen");
    }

    // Drawn into memory with every orientation of the bounds.
    if (control) {
        com_ptr<IViewObject> view;
        control->QueryInterface(IID_IViewObject, view.put_void());
        const int w = 90, h = 60;
        const RECTL bounds[] = {{0, 0, w, h}, {w, 0, 0, h}, {0, h, w, 0}, {w, h, 0, 0}};
        Pixels first;
        int i = 0;
        for (const RECTL& b : bounds) {
            Canvas canvas(w, h, 0x123456);
            const HRESULT hr =
                view ? view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc, &b, nullptr, nullptr, 0)
                     : E_FAIL;
            ok(hr == S_OK, "%d: Draw 0x%08lx", i, hr);
            const Pixels px = canvas.pixels();
            if (i == 0) {
                first = px;
                bool magenta = true;
                ok(Mismatches(source, px, w, h, &magenta) == 0, "drawn picture differs from the bitmap");
                ok(!magenta, "the bitmap's last row or column is drawn");
            } else {
                ok(px == first, "%d: reversed bounds paint differently", i);
            }
            ++i;
        }
        // Bounds wider or taller than a GDI coordinate can hold: nothing is
        // painted (and nothing mirrored), the call still succeeds.
        const RECTL huge[] = {{LONG_MIN, LONG_MIN, LONG_MAX, LONG_MAX}, {LONG_MAX, 0, LONG_MIN, h},
                              {0, LONG_MAX, w, LONG_MIN}, {-2147483000, 0, 1000, h}, {10, 10, -2147483640, 50}};
        for (const RECTL& b : huge) {
            Canvas canvas(w, h, 0x123456);
            const HRESULT hr =
                view ? view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc, &b, nullptr, nullptr, 0)
                     : E_FAIL;
            ok(hr == S_OK && canvas.pixels() == Pixels(w * h, 0x123456), "bounds %ld %ld %ld %ld: 0x%08lx, painted",
               b.left, b.top, b.right, b.bottom, hr);
        }
        // Drawing into a part of a larger surface leaves the rest alone.
        Canvas canvas(w, h, 0x123456);
        const RECTL part = {60, 40, 20, 10};
        if (view) view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc, &part, nullptr, nullptr, 0);
        const Pixels px = canvas.pixels();
        int outside = 0, inside = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool in = x >= 20 && x < 60 && y >= 10 && y < 40;
                if (px[y * w + x] != 0x123456) (in ? inside : outside)++;
            }
        ok(outside == 0 && inside > 1000, "part drawn: %d inside, %d outside", inside, outside);
        struct Bad {
            DWORD aspect;
            bool dc, rect;
            HRESULT expected;
        } bad[] = {{DVASPECT_ICON, true, true, DV_E_DVASPECT},
                   {DVASPECT_CONTENT, false, true, E_INVALIDARG},
                   {DVASPECT_CONTENT, true, false, E_INVALIDARG}};
        for (const Bad& b : bad) {
            const HRESULT hr = view ? view->Draw(b.aspect, -1, nullptr, nullptr, nullptr, b.dc ? canvas.dc : nullptr,
                                                 b.rect ? &part : nullptr, nullptr, nullptr, 0)
                                    : E_FAIL;
            ok(hr == b.expected, "bad Draw: 0x%08lx", hr);
        }
        view.reset();
        control.reset();
    }

    // Closing the host closes the control and takes its window away.
    DestroyWindow(frame);
    wtest::pump_until([&] { return !window || !IsWindow(window); }, 10000);
    ok(!window || !IsWindow(window), "control window left behind");
}

// Hosted, unloaded once nothing is left, and hosted again by a fresh copy
// of the module (whose window class must not be the unloaded one's).
static void test_atl_host() {
    for (int round = 0; round < 2; ++round) {
        host_once();
        CoFreeUnusedLibraries();
        ok(GetModuleHandleA("Brisel.ocx") == nullptr, "round %d: module not unloaded", round);
    }
}

WTEST_MAIN(WTEST(ocx::init), WTEST(test_source_bitmap), WTEST(test_atl_host), WTEST(test_any_folder), WTEST(ocx::done))
