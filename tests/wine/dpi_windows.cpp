// The plug-in's windows at the DPI this process runs at. test_dpi.sh starts
// it once per DPI, in a prefix of its own whose desktop is the size of a
// small laptop screen: every control that shows text shows all of it, in its
// own font and within the margins its kind draws around the text, and every
// top-level window fits the work area and lies on it.
//
// The windows are one table (kWindows): a name and how the user brings the
// window up. One more window is one more row.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "res/resource.h"
#include "sheetdriver.h"
#include "testutil.h"
#include "wide.h"
#include "wtest.h"

using driver::Rig;

namespace {

// Called with a top-level window of the plug-in while it shows.
using Inspect = std::function<void(HWND)>;

// The DPI this process runs at: what it read from the prefix when it started.
int Dpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

std::wstring TextOf(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, &text[0], static_cast<int>(text.size()))));
    return text;
}

bool Is(const std::wstring& cls, const wchar_t* name) { return lstrcmpiW(cls.c_str(), name) == 0; }

// The extent of text as DrawTextW lays it out in the font of `window` (its
// WM_GETFONT, else the font its DC starts with): on one line, or wrapped at
// `width` with DT_WORDBREAK among `flags`. Without DT_NOPREFIX an access
// key's & takes no room, as on the screen.
SIZE Extent(HWND window, const std::wstring& text, UINT flags, int width = 0) {
    HDC dc = GetDC(window);
    const HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0));
    const HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    RECT r = {0, 0, (flags & DT_WORDBREAK) ? width : 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, flags | DT_CALCRECT);
    if (old) SelectObject(dc, old);
    ReleaseDC(window, dc);
    return {r.right - r.left, r.bottom - r.top};
}

int AverageCharWidth(HWND window) {
    HDC dc = GetDC(window);
    const HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0));
    const HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    if (old) SelectObject(dc, old);
    ReleaseDC(window, dc);
    return tm.tmAveCharWidth;
}

int Scaled(int px) { return MulDiv(px, Dpi(), 96); }

// One text a control shows and the room it has for it: `need` is the text's
// extent plus the margins the control's kind draws around it, `room` the
// part of the text's place in the control that the screen shows.
struct Fit {
    const char* kind;
    HWND control;
    std::wstring text;
    SIZE need, room;
    bool wraps;  // laid out in lines at the control's width: its height is what runs short
    SIZE line;   // a wrapped text's extent on one line
    RECT place;  // where the text goes, in screen coordinates
};

// What the screen shows of `place` (in the control's client coordinates):
// the part its ancestors' client areas and the work area do not cut off.
SIZE Shown(HWND control, RECT place) {
    MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&place), 2);
    HWND top = control;
    for (HWND up = GetParent(top); up && (GetWindowLongW(top, GWL_STYLE) & WS_CHILD); top = up, up = GetParent(up)) {
        RECT client;
        GetClientRect(up, &client);
        MapWindowPoints(up, nullptr, reinterpret_cast<POINT*>(&client), 2);
        IntersectRect(&place, &place, &client);
    }
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(top, MONITOR_DEFAULTTONEAREST), &monitor);
    IntersectRect(&place, &place, &monitor.rcWork);
    return {place.right - place.left, place.bottom - place.top};
}

// The text's extent with the kind's margins around it, against its place.
void Add(std::vector<Fit>& fits, const char* kind, HWND control, const std::wstring& text, SIZE extent, int marginX,
         int marginY, const RECT& place, bool wraps = false, SIZE line = {}) {
    RECT screen = place;
    MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&screen), 2);
    fits.push_back({kind, control, text, {extent.cx + marginX, extent.cy + marginY}, Shown(control, place), wraps,
                    line, screen});
}

// The texts a control shows, with the room each has.
// Each item's text and rectangle of a tab control or a header: the same
// messages in shape, each with its own item structure.
template <class Item>
void EachItem(HWND control, UINT count, UINT get, UINT rect, UINT textMask,
              const std::function<void(const wchar_t*, const RECT&)>& each) {
    const int n = static_cast<int>(SendMessageW(control, count, 0, 0));
    for (int i = 0; i < n; ++i) {
        wchar_t text[128] = {};
        Item item = {};
        item.mask = textMask;
        item.pszText = text;
        item.cchTextMax = 128;
        RECT r = {};
        SendMessageW(control, get, i, reinterpret_cast<LPARAM>(&item));
        SendMessageW(control, rect, i, reinterpret_cast<LPARAM>(&r));
        each(text, r);
    }
}

void Texts(HWND control, std::vector<Fit>& fits) {
    const std::wstring cls = ClassOf(control), text = TextOf(control);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    RECT client;
    GetClientRect(control, &client);
    if (Is(cls, L"Static")) {
        // Left, centred and right texts wrap at the control's width; the
        // others that show text keep to their lines; icons, bitmaps and
        // frames show none.
        const LONG type = style & SS_TYPEMASK;
        const bool wraps = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
        if (text.empty() || (!wraps && type != SS_SIMPLE && type != SS_LEFTNOWORDWRAP)) return;
        const UINT flags = DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
        const SIZE line = Extent(control, text, flags);
        if (wraps)
            Add(fits, "static", control, text, Extent(control, text, flags | DT_WORDBREAK, client.right), 0, 0, client,
                true, line);
        else
            Add(fits, "static", control, text, Extent(control, text, flags | (type == SS_SIMPLE ? DT_SINGLELINE : 0)),
                0, 0, client);
    } else if (Is(cls, L"Button")) {
        const LONG type = style & BS_TYPEMASK;
        if (text.empty() || type == BS_OWNERDRAW || type == BS_USERBUTTON) return;
        const bool multiline = (style & BS_MULTILINE) != 0;
        const bool push = type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_PUSHBOX ||
                          (style & BS_PUSHLIKE);
        // The margins of the kind across and down.
        int mx = 0, my = 0;
        const char* kind;
        if (type == BS_GROUPBOX) {
            // The caption sits on the frame's top edge, indented from its
            // corners at both ends.
            mx = 2 * Scaled(7), kind = "group box";
        } else if (push) {
            // Inside the 3-D edge and the focus rectangle.
            mx = 2 * (GetSystemMetrics(SM_CXEDGE) + 1), my = 2 * (GetSystemMetrics(SM_CYEDGE) + 1);
            kind = "push button";
        } else {
            // Check boxes and radio buttons: the box (13 px at 96 DPI) and a
            // gap of half a character before the text.
            mx = Scaled(13) + AverageCharWidth(control) / 2;
            kind = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON ? "radio button" : "check box";
        }
        const SIZE line = Extent(control, text, DT_SINGLELINE);
        if (multiline && type != BS_GROUPBOX)
            Add(fits, kind, control, text, Extent(control, text, DT_WORDBREAK, client.right - mx), mx, my, client, true,
                line);
        else
            Add(fits, kind, control, text, line, mx, my, client);
    } else if (Is(cls, L"Edit")) {
        // Within the formatting rectangle, which leaves out the margins.
        if (text.empty()) return;
        RECT format = {};
        SendMessageW(control, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
        const UINT flags = DT_NOPREFIX | DT_EXPANDTABS;
        const SIZE line = Extent(control, text, flags | DT_SINGLELINE);
        if (style & ES_MULTILINE)
            Add(fits, "edit", control, text, Extent(control, text, flags | DT_WORDBREAK, format.right - format.left), 0, 0,
                format, true, line);
        else
            Add(fits, "edit", control, text, line, 0, 0, format);
    } else if (Is(cls, L"ComboBox")) {
        // A drop-down list shows the chosen item in its item rectangle; any
        // item may be chosen. (A drop-down combo's edit is checked as an edit.)
        if ((style & 3) != CBS_DROPDOWNLIST) return;
        COMBOBOXINFO info = {};
        info.cbSize = sizeof info;
        if (!GetComboBoxInfo(control, &info)) return;
        const int n = static_cast<int>(SendMessageW(control, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            std::wstring item(static_cast<size_t>(SendMessageW(control, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
            item.resize(static_cast<size_t>(SendMessageW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0]))));
            Add(fits, "drop-down list item", control, item, Extent(control, item, DT_NOPREFIX | DT_SINGLELINE), 0, 0,
                info.rcItem);
        }
    } else if (Is(cls, WC_TABCONTROLW)) {
        // Each tab shows its whole caption inside its edges, and all of the
        // tab lies within the control (no tab pushed behind scroll arrows).
        EachItem<TCITEMW>(control, TCM_GETITEMCOUNT, TCM_GETITEMW, TCM_GETITEMRECT, TCIF_TEXT,
                          [&](const wchar_t* caption, const RECT& r) {
                              Add(fits, "tab", control, caption, Extent(control, caption, DT_SINGLELINE),
                                  2 * GetSystemMetrics(SM_CXEDGE), 0, r);
                          });
    } else if (Is(cls, WC_HEADERW)) {
        // Each column's heading within the header's own text margins, and the
        // column within the list's width.
        const int margin = static_cast<int>(SendMessageW(control, HDM_GETBITMAPMARGIN, 0, 0));
        EachItem<HDITEMW>(control, HDM_GETITEMCOUNT, HDM_GETITEMW, HDM_GETITEMRECT, HDI_TEXT,
                          [&](const wchar_t* heading, const RECT& r) {
                              Add(fits, "column heading", control, heading, Extent(control, heading, DT_SINGLELINE),
                                  2 * margin, 0, r);
                          });
    }
}

BOOL CALLBACK CollectChild(HWND child, LPARAM out) {
    if (IsWindowVisible(child)) Texts(child, *reinterpret_cast<std::vector<Fit>*>(out));
    return TRUE;
}

std::string Narrow(const std::wstring& text) { return brhost::Utf8(text); }

// Where the text's place is, in the coordinates of the dialog that holds the
// control; for a control of a dialog template, also its rectangle there in
// dialog units, as the resource script gives it.
std::string Place(const Fit& f) {
    HWND dialog = GetParent(f.control);
    while (dialog && !Is(ClassOf(dialog), L"#32770")) dialog = GetParent(dialog);
    RECT r = f.place;
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    char text[160];
    std::snprintf(text, sizeof text, "(%ld,%ld)-(%ld,%ld) px", r.left, r.top, r.right, r.bottom);
    std::string place = text;
    if (dialog && dialog == GetParent(f.control)) {
        RECT units = {0, 0, 4, 8}, c;
        MapDialogRect(dialog, &units);
        GetWindowRect(f.control, &c);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&c), 2);
        const auto x = [&](long px) { return (px * 4 + units.right / 2) / units.right; };
        const auto y = [&](long px) { return (px * 8 + units.bottom / 2) / units.bottom; };
        std::snprintf(text, sizeof text, ", the control about %ld, %ld, %ld, %ld in dialog units", x(c.left), y(c.top),
                      x(c.right - c.left), y(c.bottom - c.top));
        place += text;
    }
    return place;
}

// Every text of the window and its children fits; the window fits the work
// area of its monitor and lies on it.
void CheckWindow(const std::string& where, HWND top) {
    RECT window;
    GetWindowRect(top, &window);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(top, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    const long w = window.right - window.left, h = window.bottom - window.top;
    ok(window.left >= work.left && window.top >= work.top && window.right <= work.right && window.bottom <= work.bottom,
       "%s: the window is %ldx%ld px at (%ld,%ld)-(%ld,%ld), beyond the %ldx%ld work area%s", where.c_str(), w, h,
       window.left, window.top, window.right, window.bottom, work.right - work.left, work.bottom - work.top,
       w > work.right - work.left || h > work.bottom - work.top ? ": too big for it" : ": placed off it");

    std::vector<Fit> fits;
    EnumChildWindows(top, CollectChild, reinterpret_cast<LPARAM>(&fits));
    ok(!fits.empty(), "%s: no texts found", where.c_str());
    // The closest fits: a text on one line has its width to spare, one that
    // takes several lines its height.
    const Fit* tightest[2] = {};
    const auto lines = [](const Fit& f) { return f.wraps && f.line.cx > f.room.cx; };
    const auto spare = [&](const Fit& f) {
        if (lines(f)) return f.room.cy - f.need.cy;
        return f.room.cx - (f.wraps ? f.line.cx : f.need.cx);
    };
    for (const Fit& f : fits) {
        const long across = f.room.cx - f.need.cx, down = f.room.cy - f.need.cy;
        char wrapped[96] = "";
        if (f.wraps)
            std::snprintf(wrapped, sizeof wrapped, " (wrapped at its width; %ldx%ld px on one line)", f.line.cx,
                          f.line.cy);
        ok(across >= 0 && down >= 0, "%s: %s %d \"%s\" at %s: needs %ldx%ld px%s, has %ldx%ld", where.c_str(), f.kind,
           static_cast<short>(GetDlgCtrlID(f.control)), Narrow(f.text).c_str(), Place(f).c_str(), f.need.cx,
           f.need.cy, wrapped, f.room.cx, f.room.cy);
        const Fit*& t = tightest[lines(f)];
        if (!t || spare(f) < spare(*t)) t = &f;
    }
    // What passed, and by how little: the figures a layout change moves.
    std::printf("%s: window %ldx%ld px at (%ld,%ld), work area %ldx%ld; %u texts", where.c_str(), w, h, window.left,
                window.top, work.right - work.left, work.bottom - work.top, static_cast<unsigned>(fits.size()));
    for (const Fit* t : tightest) {
        if (!t) continue;
        std::wstring text = t->text;
        if (text.size() > 40) text = text.substr(0, 37) + L"...";
        std::printf("; closest %s: %s %d \"%s\" needs %ldx%ld px, has %ldx%ld", lines(*t) ? "in height" : "in width",
                    t->kind, static_cast<short>(GetDlgCtrlID(t->control)), Narrow(text).c_str(),
                    lines(*t) || !t->wraps ? t->need.cx : t->line.cx, t->need.cy, t->room.cx, t->room.cy);
    }
    std::printf("\n");
    std::fflush(stdout);
    // By hand: BRISEL_TEST_HOLD_MS keeps each window up that long (for a look or a screenshot).
    wtest::pump(static_cast<DWORD>(wtest::EnvNumber("BRISEL_TEST_HOLD_MS", 0)));
}

// ---- How each window is brought up ------------------------------------------

// A node whose every byte is 0x88: five-digit setpoints and lux, times of
// four digits and a tenth, negative push times; the pages' edits show texts
// about as wide as they ever do.
void WideValues(simnode::Node& node) {
    for (auto& item : node.items) std::fill(item.second.begin(), item.second.end(), std::uint8_t{0x88});
}

// The sheet with one tab selected, as a click selects it.
bool SheetTab(Rig& rig, int tab, const Inspect& inspect) {
    WideValues(rig.node);
    if (!rig.Open() || !rig.Select(tab) || !rig.CurrentPage()) return false;
    wtest::pump(100);
    inspect(rig.Sheet());
    return true;
}

// The change table of a Load that changes all 48 settings (four channels of
// twelve, each to its widest value) of a node that holds zeros; answered
// with Cancel.
bool ChangeTable(Rig& rig, const Inspect& inspect) {
    const std::string file = testutil::FreshDir("dpi") + "\\settings of the other node.txt";
    std::string text = "Brisel settings, format 1\r\nNode name = Sunblind controller 12\r\nSaved = today\r\n";
    for (int c = 1; c <= 4; ++c)
        text += "[Sunblind " + std::to_string(c) + "]\r\nDown setpoint = 65535\r\nUp setpoint = 65535\r\n"
                "Time before down = 6553.5\r\nTime before up = 6553.5\r\nPush time short = -12.8\r\n"
                "Push time long = -12.8\r\nTop down time = 6553.5\r\nTop level = 127.5\r\nBottum level = 127.5\r\n"
                "nviLux = Common\r\nnviLevel = Local and Common\r\nnviOverrideLevel = Local and Common\r\n";
    testutil::Spit(file, text + "End of settings\r\n");
    if (!rig.Open()) return false;
    bool shown = false;
    rig.watch.file = brhost::Wide(file);
    rig.watch.answer = IDCANCEL;
    rig.watch.inspect = [&](HWND box) {
        if (shown || !FindWindowExW(box, nullptr, WC_LISTVIEWW, nullptr)) return;
        shown = true;
        inspect(box);
    };
    rig.Click(rig.Page(0), IDC_LOADSETTINGS);
    rig.watch.inspect = nullptr;
    return shown;
}

// The About box, from the control's automation.
bool AboutBox(Rig& rig, const Inspect& inspect) {
    bool shown = false;
    rig.watch.inspect = [&](HWND box) {
        if (shown || wtest::Text(box) != "About Brisel Control") return;
        shown = true;
        inspect(box);
    };
    rig.ctrl.AboutBox();
    rig.watch.inspect = nullptr;
    return shown;
}

// The progress window of a Copy of Sunblind 1 to the three others on a node
// taking 60 ms per call while it runs (the window shows after 250 ms), seen
// at the first write of Sunblind 4: its longest step.
bool Progress(Rig& rig, const Inspect& inspect) {
    WideValues(rig.node);
    rig.node.Item(33)[0] ^= 1;  // Sunblind 4's drive time differs from Sunblind 1's
    if (!rig.Open()) return false;
    HWND page = rig.Page(0);
    for (int box : {IDC_COPYTO1, IDC_COPYTO2, IDC_COPYTO3}) rig.Click(page, box);
    bool shown = false;
    rig.node.beforeCall = [&](simnode::Call::Op op, long) {
        rig.node.latencyMs = rig.sheet->OperationRunning() ? 60 : 0;
        if (shown || op != simnode::Call::Write) return;
        for (HWND top = GetTopWindow(nullptr); top; top = GetWindow(top, GW_HWNDNEXT)) {
            HWND step = GetDlgItem(top, IDC_PROGRESS_STEP);
            if (!step || !IsWindowVisible(top) || wtest::Text(step) != "Writing Sunblind 4 ...") continue;
            shown = true;
            inspect(top);
        }
    };
    rig.Click(page, IDC_COPY);
    rig.node.beforeCall = nullptr;
    rig.node.latencyMs = 0;
    return shown;
}

struct PluginWindow {
    const char* name;
    bool (*show)(Rig& rig, const Inspect& inspect);  // false when the window did not show
};

const PluginWindow kWindows[] = {
    {"sheet, Node infomation tab", [](Rig& rig, const Inspect& inspect) { return SheetTab(rig, 0, inspect); }},
    {"sheet, Sunblind 1 tab", [](Rig& rig, const Inspect& inspect) { return SheetTab(rig, 1, inspect); }},
    {"sheet, Sunblind 2 tab", [](Rig& rig, const Inspect& inspect) { return SheetTab(rig, 2, inspect); }},
    {"sheet, Sunblind 3 tab", [](Rig& rig, const Inspect& inspect) { return SheetTab(rig, 3, inspect); }},
    {"sheet, Sunblind 4 tab", [](Rig& rig, const Inspect& inspect) { return SheetTab(rig, 4, inspect); }},
    {"change table of a Load of 48 changes", ChangeTable},
    {"About box", AboutBox},
    {"progress of a Copy", Progress},
};

}  // namespace

// The process runs at the DPI the prefix was given, on the desktop it was
// given, and the dialogs' fonts grow with the DPI: without these the other
// checks would measure the same layout every time.
static void test_dpi_in_effect() {
    const int dpi = Dpi();
    const long wantDpi = wtest::EnvNumber("BRISEL_TEST_DPI", 0);
    const long width = wtest::EnvNumber("BRISEL_TEST_DESKTOP_WIDTH", 0);
    const long height = wtest::EnvNumber("BRISEL_TEST_DESKTOP_HEIGHT", 0);
    ok(dpi == wantDpi, "runs at %d DPI, not the %ld test_dpi.sh set", dpi, wantDpi);
    ok(GetSystemMetrics(SM_CXSCREEN) == width && GetSystemMetrics(SM_CYSCREEN) == height,
       "%d DPI: the desktop is %dx%d, not %ldx%ld", dpi, GetSystemMetrics(SM_CXSCREEN),
       GetSystemMetrics(SM_CYSCREEN), width, height);
    Rig rig;
    if (!ok(rig.Open(), "%d DPI: no sheet", dpi)) return;
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(rig.Page(0), WM_GETFONT, 0, 0)), sizeof font, &font);
    // The pages' templates ask for 8 points.
    ok(font.lfHeight == -MulDiv(8, dpi, 72), "%d DPI: the page's font is %ld px high, not 8 points", dpi,
       font.lfHeight);
    // Which font the system draws it in, for whoever reads a failure.
    HDC dc = GetDC(rig.Page(0));
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(rig.Page(0), WM_GETFONT, 0, 0)));
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(rig.Page(0), dc);
    std::printf("%d DPI: the pages' font %s is drawn in %s, %ld px high, %ld px on average across\n", dpi,
                Narrow(font.lfFaceName).c_str(), Narrow(face).c_str(), tm.tmHeight, tm.tmAveCharWidth);
}

// Each window of the table, brought up on a fresh sheet and simulated node.
static void test_windows() {
    for (const PluginWindow& window : kWindows) {
        const std::string where = std::to_string(Dpi()) + " DPI, " + window.name;
        Rig rig;
        bool inspected = false;
        // Called from a timer while a modal window runs: nothing may be
        // thrown through the window procedures beneath it.
        const bool shown = window.show(rig, [&](HWND top) {
            inspected = true;
            try {
                CheckWindow(where, top);
            } catch (...) {
                ok(false, "%s: the check stopped on an exception", where.c_str());
            }
        });
        ok(shown && inspected, "%s: the window did not show", where.c_str());
    }
}

WTEST_MAIN(WTEST(test_dpi_in_effect), WTEST(test_windows))
