#include "restorelist.h"

#include "fw/files.h"
#include "fw/text.h"
#include "res/resource.h"
#include "settings_file.h"

using namespace sunblind;

CRestoreList::CRestoreList(CWnd* pParentWnd, const std::vector<CNodeHistory::Entry>& backups, const NodeChannels& now)
    : CDialog(IDD_RESTORE, pParentWnd), m_backups(backups), m_now(now) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
}

void CRestoreList::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_RESTORE_LIST, m_list);
}

BOOL CRestoreList::OnInitDialog() {
    CDialog::OnInitDialog();
    m_list.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    const wchar_t* headings[] = {L"Time", L"Action", L"Channels", L"Settings changed back"};
    for (int i = 0; i < 4; ++i) m_list.InsertColumn(i, headings[i]);
    int row = 0;
    for (const CNodeHistory::Entry& e : m_backups) {
        std::string bytes, error, channels, back = "?";
        if (AfxReadSmallFile(e.path, kMaxSettingsFileBytes, bytes, error)) {
            const ParsedSettingsFile parsed = ParseSettingsFile(bytes);
            if (parsed.file) {
                std::size_t changes = 0;
                for (int c = 1; c <= 4; ++c) {
                    const auto& held = parsed.file->channels[c - 1];
                    if (!held) continue;
                    channels += (channels.empty() ? "" : ", ") + std::to_string(c);
                    if (m_now[c - 1]) changes += ChannelDifferences(*m_now[c - 1], *held).size();
                }
                back = std::to_string(changes);
            } else {
                channels = "(unreadable)";
            }
        }
        m_list.InsertItem(row, AfxWideFromUtf8(e.time));
        m_list.SetItemText(row, 1, AfxWideFromUtf8(e.action));
        m_list.SetItemText(row, 2, AfxWideFromUtf8(channels));
        m_list.SetItemText(row++, 3, AfxWideFromUtf8(back));
    }
    for (int i = 0; i < 4; ++i) {
        m_list.SetColumnWidth(i, LVSCW_AUTOSIZE_USEHEADER);
    }
    if (row) m_list.SetItemState(0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    ::SetFocus(m_list.m_hWnd);
    return FALSE;
}

BOOL CRestoreList::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == IDOK)
        m_chosen = static_cast<int>(m_list.SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return CDialog::OnCommand(wParam, lParam);
}

BOOL CRestoreList::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    // A double click on a row chooses it.
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->idFrom == IDC_RESTORE_LIST &&
        reinterpret_cast<NMHDR*>(lParam)->code == NM_DBLCLK) {
        PostMessageW(m_hWnd, WM_COMMAND, IDOK, 0);
        *pResult = 0;
        return TRUE;
    }
    return CDialog::OnWndMsg(message, wParam, lParam, pResult);
}
