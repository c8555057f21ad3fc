#include "sheetdriver.h"

#include <dlgs.h>

#include "testutil.h"

#include "wtest.h"

namespace driver {

namespace {

BoxWatch* g_watch = nullptr;

// Message texts as UTF-8, whatever the ANSI code page can show.
std::string Utf8Text(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, &text[0], static_cast<int>(text.size()))));
    return hosttest::U(text);
}

BOOL CALLBACK FindBox(HWND hwnd, LPARAM) {
    char cls[32] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (std::string(cls) != "#32770" || !IsWindowVisible(hwnd)) return TRUE;
    if (GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD) return TRUE;
    // The Open and Save As dialogs: the file name box is cmb13 (its edit
    // edt1 in older layouts).
    if (GetDlgItem(hwnd, cmb13) || GetDlgItem(hwnd, edt1)) {
        if (!g_watch || g_watch->file.empty() || GetPropA(hwnd, "driver.answered")) return TRUE;
        SetPropA(hwnd, "driver.answered", reinterpret_cast<HANDLE>(1));
        SetDlgItemTextW(hwnd, GetDlgItem(hwnd, cmb13) ? cmb13 : edt1, g_watch->file.c_str());
        ++g_watch->fileDialogs;
        PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    // A message box has a static with id 0xFFFF for its text; pages do not.
    HWND text = GetDlgItem(hwnd, 0xFFFF);
    if (!text) return TRUE;
    if (g_watch) g_watch->boxes.push_back({Utf8Text(hwnd), Utf8Text(text)});
    const int answer = GetDlgItem(hwnd, IDYES)                        ? IDYES
                       : GetDlgItem(hwnd, IDCANCEL) && g_watch        ? g_watch->answer
                                                                      : IDOK;
    PostMessageA(hwnd, WM_COMMAND, answer, 0);
    return TRUE;
}

void CALLBACK WatchTick(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), FindBox, 0);
}

}  // namespace

std::string WindowText(HWND hwnd) {
    char text[8192] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

BoxWatch::BoxWatch() {
    g_watch = this;
    m_timer = SetTimer(nullptr, 0, 30, WatchTick);
}

BoxWatch::~BoxWatch() {
    KillTimer(nullptr, m_timer);
    if (g_watch == this) g_watch = nullptr;
}

Rig::Rig() {
    node.SetName("Sunblind controller 7");
    ctrl.SetClientSite(site.ClientSite());
}

Rig::~Rig() {
    Close();
    ctrl.SetClientSite(nullptr);
}

bool Rig::Open() {
    g_pCurrentControl = &ctrl;
    sheet.reset(new CSheet("Sarp", nullptr, 0));
    if (!sheet->Create()) return false;
    wtest::pump(50);
    return Sheet() != nullptr;
}

void Rig::Close() {
    if (!sheet) return;
    if (Sheet()) {
        PostMessageA(Sheet(), PSM_PRESSBUTTON, PSBTN_OK, 0);
        wtest::pump(20);
    }
    sheet.reset();  // destroys any window left, then releases the interfaces
    wtest::pump(10);
}

HWND Rig::Tab() const { return sheet ? sheet->GetTabControl() : nullptr; }

HWND Rig::Page(int index) const {
    if (!Sheet()) return nullptr;
    return reinterpret_cast<HWND>(SendMessageA(Sheet(), PSM_INDEXTOHWND, index, 0));
}

HWND Rig::CurrentPage() const {
    return Sheet() ? reinterpret_cast<HWND>(SendMessageA(Sheet(), PSM_GETCURRENTPAGEHWND, 0, 0)) : nullptr;
}

bool Rig::Select(int index) {
    const bool done = SendMessageA(Sheet(), PSM_SETCURSEL, index, 0) != 0;
    wtest::pump(20);
    return done;
}

std::string Rig::TabText(int index) const {
    char text[128] = {};
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    if (!SendMessageA(Tab(), TCM_GETITEMA, index, reinterpret_cast<LPARAM>(&item))) return "<none>";
    return text;
}

std::string Rig::Text(HWND page, int id) const { return WindowText(GetDlgItem(page, id)); }

void Rig::SetText(HWND page, int id, const std::string& text) { SetDlgItemTextA(page, id, text.c_str()); }

int Rig::Check(HWND page, int id) const {
    return static_cast<int>(SendDlgItemMessageA(page, id, BM_GETCHECK, 0, 0));
}

void Rig::Click(HWND page, int id) {
    SendDlgItemMessageA(page, id, BM_CLICK, 0, 0);
    wtest::pump(10);
}

void FillJunk(simnode::Node& node, unsigned seed) {
    for (auto& item : node.items)
        for (auto& b : item.second) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(seed >> 16);
        }
}

}  // namespace driver
