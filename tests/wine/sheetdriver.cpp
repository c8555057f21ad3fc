#include "sheetdriver.h"

#include <dlgs.h>

#include "wide.h"
#include "wtest.h"
#include "sheet/caption.h"

namespace driver {

namespace {
constexpr char kAnswered[] = "driver.answered";
}  // namespace

std::vector<std::string> ListRows(HWND list) {
    std::vector<std::string> rows;
    if (!list) return rows;
    const int n = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        std::string row;
        for (int column = 0; column < 4; ++column) {
            wchar_t text[256] = {};
            LVITEMW item = {};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = 256;
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
            row += (column ? "|" : "") + brhost::Utf8(text);
        }
        rows.push_back(row);
    }
    return rows;
}

BoxWatch::BoxWatch() : m_watch(30, [this](HWND hwnd) { Answer(hwnd); }) {}

void BoxWatch::Answer(HWND hwnd) {
    char cls[32] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (std::string(cls) != "#32770" || (GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD)) return;
    // The Open and Save As dialogs: the file name box is cmb13 (its edit
    // edt1 in older layouts).
    if (GetDlgItem(hwnd, cmb13) || GetDlgItem(hwnd, edt1)) {
        if (file.empty() || GetPropA(hwnd, kAnswered)) return;
        SetPropA(hwnd, kAnswered, reinterpret_cast<HANDLE>(1));
        SetDlgItemTextW(hwnd, GetDlgItem(hwnd, cmb13) ? cmb13 : edt1, file.c_str());
        ++fileDialogs;
        PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
        return;
    }
    // A message box has a static with id 0xFFFF for its text; pages do not.
    HWND text = GetDlgItem(hwnd, 0xFFFF);
    if (!text) return;
    if (GetPropA(hwnd, kAnswered)) return;
    SetPropA(hwnd, kAnswered, reinterpret_cast<HANDLE>(1));
    if (inspect) inspect(hwnd);
    HWND list = FindWindowExA(hwnd, nullptr, WC_LISTVIEWA, nullptr);
    boxes.push_back({wtest::Text(hwnd), wtest::Text(text), ListRows(list)});
    GetWindowRect(hwnd, &lastRect);
    if (list && escape) {
        // As the user does: the key goes to the focused list, the dialog
        // manager turns it into Cancel.
        PostMessageA(GetFocus() ? GetFocus() : list, WM_KEYDOWN, VK_ESCAPE, 0);
        return;
    }
    PostMessageA(hwnd, WM_COMMAND, GetDlgItem(hwnd, IDYES) ? IDYES : GetDlgItem(hwnd, IDCANCEL) ? answer : IDOK, 0);
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
    sheet.reset(new CSheet(kSheetCaption, nullptr, 0));
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

std::string Rig::Text(HWND page, int id) const { return wtest::Text(page, id); }

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
