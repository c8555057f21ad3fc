#include "deskapp.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <ole2.h>
#include <olectl.h>  // OLEIVERB_PROPERTIES

#include <vector>

#include "deskres.h"
#include "deskcontrol.h"
#include "desksite.h"
#include "ownerwindow.h"
#include "fw/files.h"
#include "fw/text.h"
#include "pages/history.h"

using namespace sunblind;

namespace {

const wchar_t kTitle[] = L"Brisel Settings";
const wchar_t kFilter[] = L"Settings files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";

int Message(HWND owner, const std::string& text, UINT type) {
    return MessageBoxW(owner, AfxWideFromUtf8(text).c_str(), kTitle, type);
}

// The node's name as hosts give names: in the ANSI code page (what it
// cannot hold becomes '?').
std::string AnsiFromWide(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &ansi[0], n, nullptr, nullptr);
    return ansi;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring FullPath(const std::wstring& path) {
    std::vector<wchar_t> full(32768);
    const DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    return n && n < full.size() ? std::wstring(full.data(), n) : path;
}

// The Open dialog; a name that does not exist yet may be given.
bool ChooseFile(std::wstring& path) {
    std::vector<wchar_t> name(32768);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = kFilter;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.lpstrTitle = L"Open settings - Brisel Settings";
    ofn.lpstrDefExt = L"txt";
    ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&ofn)) return false;
    path = name.data();
    return true;
}

struct NameQuestion {
    std::wstring question, name;
};

INT_PTR CALLBACK NameProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* q = reinterpret_cast<NameQuestion*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        q = reinterpret_cast<NameQuestion*>(lParam);
        SetDlgItemTextW(dialog, IDC_DESK_NAME_TEXT, q->question.c_str());
        SetDlgItemTextW(dialog, IDC_DESK_NAME, q->name.c_str());
        SendDlgItemMessageW(dialog, IDC_DESK_NAME, EM_LIMITTEXT, 50, 0);  // what the node-information tab shows
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            wchar_t text[64] = {};
            GetDlgItemTextW(dialog, IDC_DESK_NAME, text, 64);
            q->name = text;
        }
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// Offers a new file of factory settings at `path`, asking for its node's
// name; true when it was written.
bool CreateFromFactory(const std::wstring& path) {
    if (Message(nullptr, AfxQuotedPath(path) + " does not exist.\n\nCreate it with factory settings?",
                MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    std::wstring stem = AfxFileName(path);
    stem = stem.substr(0, stem.rfind(L'.'));
    NameQuestion q{L"The name of the node these settings are for:", stem};
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DESK_NAME), nullptr, NameProc,
                        reinterpret_cast<LPARAM>(&q)) != IDOK)
        return false;
    SettingsFile file = FactoryFile(AfxUtf8FromWide(q.name));
    file.saved = SavedTime(CNodeHistory::Now());
    std::string error;
    if (AfxWriteFileDurably(path, FormatSettingsFile(file), error)) return true;
    Message(nullptr, AfxQuotedPath(path) + " could not be written: " + error + ".\n\nNothing was saved.",
            MB_OK | MB_ICONWARNING);
    return false;
}

// The file, read and checked as Load settings reads it; a refused file is
// said so in a Load's words.
bool ReadDocument(const std::wstring& path, DeskDocument& document) {
    const std::string refused = AfxQuotedPath(path) + " cannot be loaded: ";
    const std::string untouched = "\n\nNothing was written.";
    std::string bytes, error;
    if (!AfxReadSmallFile(path, kMaxSettingsFileBytes, bytes, error)) {
        Message(nullptr, refused + error + "." + untouched, MB_OK | MB_ICONWARNING);
        return false;
    }
    const ParsedSettingsFile parsed = ParseSettingsFile(bytes);
    if (!parsed.file) {
        Message(nullptr, refused + "\n\n" + SettingsErrorText(parsed.error) + untouched, MB_OK | MB_ICONWARNING);
        return false;
    }
    document = CompleteFromFactory(*parsed.file);
    return true;
}

// Whether the in-memory node holds what the file does not: changed
// settings, or channels the file lacked.
bool Unsaved(const DeskDocument& document, const MemoryNode& node) {
    return !document.completed.empty() || node.Channels() != document.file.channels;
}

// The sheet as the owner window shows it: placed below the owner window
// (which it would otherwise cover) as it first comes up, within the work
// area; and opened again (after Cancel at the save question) on the tab the
// user was on when it closed. The sheet is the dialog with a tab control
// that the owner window owns.
struct SheetPlacement {
    HWND owner = nullptr;
    HWND placed = nullptr;  // the sheet last placed
    int page = 0;
    HHOOK hook = nullptr;
};
SheetPlacement g_sheet;

void PlaceBelowOwner(HWND sheet) {
    RECT o, s;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetWindowRect(g_sheet.owner, &o) || !GetWindowRect(sheet, &s) ||
        !GetMonitorInfoW(MonitorFromWindow(g_sheet.owner, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const RECT& work = monitor.rcWork;
    const LONG width = s.right - s.left, height = s.bottom - s.top;
    LONG x = o.left + (o.right - o.left - width) / 2, y = o.bottom + 4;
    if (y + height > work.bottom) y = work.bottom - height;
    if (x + width > work.right) x = work.right - width;
    SetWindowPos(sheet, nullptr, x < work.left ? work.left : x, y < work.top ? work.top : y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK SheetHook(int code, WPARAM wParam, LPARAM lParam) {
    const HWND window = reinterpret_cast<HWND>(wParam);
    const bool sheet = (code == HCBT_DESTROYWND || code == HCBT_ACTIVATE) &&
                       GetWindow(window, GW_OWNER) == g_sheet.owner && PropSheet_GetTabControl(window);
    if (sheet && code == HCBT_DESTROYWND) {
        // The tab strip's selection: once Exit is pressed the sheet reports
        // no current page any more.
        const int page = TabCtrl_GetCurSel(PropSheet_GetTabControl(window));
        g_sheet.page = page > 0 ? page : 0;
    }
    if (sheet && code == HCBT_ACTIVATE && g_sheet.placed != window) {
        g_sheet.placed = window;
        PlaceBelowOwner(window);
        if (g_sheet.page > 0) PostMessageW(window, PSM_SETCURSEL, static_cast<WPARAM>(g_sheet.page), 0);
        g_sheet.page = 0;
    }
    return CallNextHookEx(g_sheet.hook, code, wParam, lParam);
}

// Writes the file as Save settings writes it, after keeping what it
// replaces in the file's history; false, said to the user, when the file
// could not be written.
bool SaveDocument(HWND owner, const std::wstring& path, const DeskDocument& opened, const NodeChannels& now) {
    const LocalTime time = CNodeHistory::Now();
    SettingsFile file = opened.file;
    file.saved = SavedTime(time);
    file.channels = now;
    ChangeRecord record{time, CNodeHistory::User(), opened.file.nodeName, "Save " + AfxUtf8FromWide(AfxFileName(path)), {}};
    for (int c = 1; c <= 4; ++c)
        if (opened.file.channels[c - 1] && now[c - 1])
            record.channels.push_back({c, *opened.file.channels[c - 1], *now[c - 1], now[c - 1]});
    const CNodeHistory history = CNodeHistory::OfSettingsFile(path);
    std::string previous, historyError, error;
    if (AfxReadSmallFile(path, kMaxSettingsFileBytes, previous, error)) history.Keep(time, "Save", previous, historyError);
    if (!AfxWriteFileDurably(path, FormatSettingsFile(file), error)) {
        Message(owner,
                AfxQuotedPath(path) + " could not be written: " + error +
                    ".\n\nNothing was saved. Save settings on the Node infomation tab writes them elsewhere.",
                MB_OK | MB_ICONWARNING);
        return false;
    }
    if (historyError.empty()) history.Log(record, historyError);
    if (!historyError.empty())
        Message(owner, "The settings were saved to " + AfxQuotedPath(path) + ".\n\nThe history was not written: " +
                           historyError + ".",
                MB_OK | MB_ICONWARNING);
    return true;
}

}  // namespace

int RunDesk(std::wstring path) {
    if (path.empty() && !ChooseFile(path)) return 0;
    path = FullPath(path);
    if (!Exists(path) && !CreateFromFactory(path)) return 0;
    DeskDocument document;
    if (!ReadDocument(path, document)) return 1;
    MemoryNode node(AnsiFromWide(AfxWideFromUtf8(document.file.nodeName)), document.file.channels);
    COwnerWindow owner(path, [&] { return Unsaved(document, node); });
    if (!document.completed.empty())
        Message(owner.Handle(),
                AfxQuotedPath(path) + " holds no settings for " + ChannelNames(document.completed) +
                    ". They are shown with factory settings, and saving writes all four channels.",
                MB_OK | MB_ICONINFORMATION);
    CDeskControl control;
    std::string error;
    if (!owner.Handle() || !control.Load(error)) {
        Message(owner.Handle(), "The settings cannot be shown: " + (error.empty() ? "no window" : error) + ".",
                MB_OK | MB_ICONERROR);
        return 1;
    }
    CDeskSite* site = new CDeskSite(node, path);
    control.Control()->SetClientSite(site);
    g_sheet = {owner.Handle(), nullptr, 0, SetWindowsHookExW(WH_CBT, SheetHook, nullptr, GetCurrentThreadId())};
    for (;;) {
        RECT where = {};
        GetWindowRect(owner.Handle(), &where);
        const HRESULT shown = control.Control()->DoVerb(OLEIVERB_PROPERTIES, nullptr, site, 0, owner.Handle(), &where);
        if (FAILED(shown)) {
            Message(owner.Handle(), "The settings window could not be opened. The file was not changed.",
                    MB_OK | MB_ICONERROR);
            break;
        }
        if (!Unsaved(document, node)) break;
        const NodeChannels now = node.Channels();
        const int answer = Message(owner.Handle(), "Save changes to " + AfxQuotedPath(path) + "?",
                                   MB_YESNOCANCEL | MB_ICONQUESTION);
        if (answer == IDNO || (answer == IDYES && SaveDocument(owner.Handle(), path, document, now))) break;
    }
    if (g_sheet.hook) UnhookWindowsHookEx(g_sheet.hook);
    g_sheet = {};
    control.Control()->SetClientSite(nullptr);
    site->Release();
    return 0;
}
