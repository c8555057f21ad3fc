#include "changetable.h"

#include <algorithm>

#include "fw/text.h"
#include "res/resource.h"

using namespace sunblind;

CChangeTable::CChangeTable(CWnd* pParentWnd, std::string caption, std::string question,
                           const std::vector<ChannelChange>& changes)
    : CDialog(IDD_CHANGES, pParentWnd), m_caption(std::move(caption)), m_question(std::move(question)),
      m_changes(changes) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
}

void CChangeTable::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CHANGES_LIST, m_list);
}

BOOL CChangeTable::OnInitDialog() {
    CDialog::OnInitDialog();
    SetWindowTextW(m_hWnd, AfxWideFromUtf8(m_caption).c_str());
    SetDlgItemTextW(m_hWnd, IDC_CHANGES_QUESTION, AfxWideFromUtf8(m_question).c_str());
    RECT r;
    GetWindowRect(m_hWnd, &r);
    m_min = {r.right - r.left, r.bottom - r.top};
    FillList();
    FitToWorkArea();
    ::SetFocus(m_list.m_hWnd);  // arrows scroll the rows; Enter is Cancel, the default
    return FALSE;
}

void CChangeTable::FillList() {
    m_list.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    const wchar_t* headings[] = {L"Channel", L"Setting", L"On the node now", L"After"};
    for (int i = 0; i < 4; ++i) m_list.InsertColumn(i, headings[i]);
    int row = 0;
    for (const ChannelChange& c : m_changes) {
        const std::wstring channel = L"Sunblind " + std::to_wstring(c.channel);
        if (c.differences.empty()) {
            m_list.InsertItem(row, channel);
            m_list.SetItemText(row++, 1, L"(no change)");
        }
        for (const Difference& d : c.differences) {
            m_list.InsertItem(row, channel);
            m_list.SetItemText(row, 1, AfxWideFromUtf8(std::string(d.setting->label)));
            m_list.SetItemText(row, 2, AfxWideFromUtf8(SettingText(*d.setting, d.now)));
            m_list.SetItemText(row++, 3, AfxWideFromUtf8(SettingText(*d.setting, d.after)));
        }
    }
    // Columns as wide as their widest text or heading in the list's own font.
    HDC dc = GetDC(m_list.m_hWnd);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(m_list.SendMessage(WM_GETFONT)));
    for (int i = 0; i < 4; ++i) {
        m_list.SetColumnWidth(i, LVSCW_AUTOSIZE);
        SIZE heading = {};
        GetTextExtentPoint32W(dc, headings[i], lstrlenW(headings[i]), &heading);
        const int pad = 4 * GetSystemMetrics(SM_CXEDGE) + heading.cy;  // the header's own margins
        m_list.SetColumnWidth(i, std::max<int>(m_list.GetColumnWidth(i), heading.cx + pad));
    }
    SelectObject(dc, old);
    ReleaseDC(m_list.m_hWnd, dc);
    if (row) m_list.SetItemState(0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
}

// Wide enough for the columns, tall enough for the rows, never beyond the
// work area of the monitor the sheet is on; centred there.
void CChangeTable::FitToWorkArea() {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : m_hWnd;
    GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT work = monitor.rcWork;
    RECT window, list;
    GetWindowRect(m_hWnd, &window);
    GetWindowRect(m_list.m_hWnd, &list);
    // What the list needs without scroll bars: its columns, its heading and
    // rows, its border (and room for a vertical scroll bar when it is cut).
    const int border = 2 * GetSystemMetrics(SM_CXEDGE) + 2;
    int columns = GetSystemMetrics(SM_CXVSCROLL) + border;
    for (int i = 0; i < 4; ++i) columns += m_list.GetColumnWidth(i);
    RECT item = {LVIR_BOUNDS, 0, 0, 0}, heading = {};
    m_list.SendMessage(LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
    if (HWND header = reinterpret_cast<HWND>(m_list.SendMessage(LVM_GETHEADER))) GetWindowRect(header, &heading);
    const int rows = (item.bottom - item.top) * m_list.GetItemCount() + (heading.bottom - heading.top) + border;
    const int wantW = (window.right - window.left) + std::max<int>(0, columns - (list.right - list.left));
    const int wantH = (window.bottom - window.top) + std::max<int>(0, rows - (list.bottom - list.top));
    const int w = std::min<int>(wantW, work.right - work.left), h = std::min<int>(wantH, work.bottom - work.top);
    m_min = {std::min<int>(m_min.cx, w), std::min<int>(m_min.cy, h)};
    MoveWindow(m_hWnd, work.left + (work.right - work.left - w) / 2, work.top + (work.bottom - work.top - h) / 2, w, h,
               TRUE);
    RECT client;
    GetClientRect(m_hWnd, &client);
    Layout(client.right, client.bottom);
}

void CChangeTable::Layout(int cx, int cy) {
    RECT unit = {7, 7, 50, 14};  // margin, margin, button width, button height in dialog units
    MapDialogRect(m_hWnd, &unit);
    const int margin = unit.left, bw = unit.right, bh = unit.bottom;
    // The question as tall as its words need at this width (a long path or
    // node name wraps onto more lines), at least the template's two lines.
    HWND question = ::GetDlgItem(m_hWnd, IDC_CHANGES_QUESTION);
    RECT q = {0, 0, std::max(1, cx - 2 * margin), 0};
    HDC dc = GetDC(question);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(question, WM_GETFONT, 0, 0)));
    const std::wstring words = AfxWideFromUtf8(m_question);
    DrawTextW(dc, words.c_str(), -1, &q, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(question, dc);
    RECT two = {0, 0, 0, 26};
    MapDialogRect(m_hWnd, &two);
    const int qh = std::max<int>(q.bottom - q.top, two.bottom);
    const int buttonsTop = cy - margin - bh;
    MoveWindow(question, margin, margin, cx - 2 * margin, qh, TRUE);
    MoveWindow(m_list.m_hWnd, margin, margin + qh + margin / 2, cx - 2 * margin,
               std::max(0, buttonsTop - margin - (margin + qh + margin / 2)), TRUE);
    MoveWindow(::GetDlgItem(m_hWnd, IDCANCEL), cx - margin - bw, buttonsTop, bw, bh, TRUE);
    MoveWindow(::GetDlgItem(m_hWnd, IDOK), cx - 2 * margin - 2 * bw + margin / 2, buttonsTop, bw, bh, TRUE);
}

BOOL CChangeTable::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_SIZE && m_list.m_hWnd) {
        Layout(LOWORD(lParam), HIWORD(lParam));
        return FALSE;  // the dialog manager's own handling goes on
    }
    if (message == WM_GETMINMAXINFO && m_min.cx) {
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {m_min.cx, m_min.cy};
        return FALSE;
    }
    return CDialog::OnWndMsg(message, wParam, lParam, pResult);
}
