#include "progress.h"

#include "fw/text.h"
#include "pages/nodeaccess.h"
#include "res/resource.h"

CNodeProgress::CNodeProgress(CWnd* sheet, const std::string& caption)
    : CDialog(IDD_PROGRESS, sheet), m_sheet(sheet), m_caption(caption), m_start(GetTickCount()) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&icc);
    SetOperationRunning(m_sheet, true);
    if (m_sheet) m_sheetWasEnabled = !::EnableWindow(m_sheet->m_hWnd, FALSE);
    if (Create()) {
        SetWindowTextW(m_hWnd, AfxWideFromUtf8(m_caption).c_str());
        UpdateData(FALSE);
    }
}

CNodeProgress::~CNodeProgress() {
    // The sheet first, so that activation goes back to it and not to
    // another application's window.
    if (m_sheet && m_sheetWasEnabled) ::EnableWindow(m_sheet->m_hWnd, TRUE);
    if (m_hWnd) DestroyWindow();
    SetOperationRunning(m_sheet, false);
}

void CNodeProgress::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRESS_BAR, m_bar);
}

BOOL CNodeProgress::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == IDCANCEL) {  // Stop, or Esc
        m_stop = true;
        ::EnableWindow(::GetDlgItem(m_hWnd, IDCANCEL), FALSE);
        SetDlgItemTextW(m_hWnd, IDCANCEL, L"Stopping");
        return TRUE;
    }
    return CWnd::OnCommand(wParam, lParam);
}

void CNodeProgress::Step(const std::string& what, int expectedCalls) {
    m_expected = expectedCalls;
    if (m_hWnd) SetDlgItemTextW(m_hWnd, IDC_PROGRESS_STEP, AfxWideFromUtf8(what + " ...").c_str());
    ShowCount();
    Pump();
}

bool CNodeProgress::StopAsked() {
    Pump();
    return m_stop;
}

bool CNodeProgress::Read(long index, BYTE_T* buffer, long length) {
    sunblind::ItemAccess* node = NodeOf(m_sheet);
    return Counted(node && node->Read(index, buffer, length));
}

bool CNodeProgress::Write(long index, BYTE_T* buffer, long length) {
    sunblind::ItemAccess* node = NodeOf(m_sheet);
    return Counted(node && node->Write(index, buffer, length));
}

bool CNodeProgress::Name(char* buffer, long length) {
    sunblind::ItemAccess* node = NodeOf(m_sheet);
    return Counted(node && node->Name(buffer, length));
}

bool CNodeProgress::Counted(bool result) {
    ++m_done;
    ShowCount();
    Pump();
    return result;
}

void CNodeProgress::ShowCount() {
    if (!m_hWnd) return;
    if (m_expected < m_done) m_expected = m_done;
    m_bar.SetRange32(0, m_expected);
    m_bar.SetPos(m_done);
    const std::wstring calls = std::to_wstring(m_done) + L" of " + std::to_wstring(m_expected) + L" node calls";
    SetDlgItemTextW(m_hWnd, IDC_PROGRESS_CALLS, calls.c_str());
}

namespace {

bool IsInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

}  // namespace

// Answers what is waiting, for at most kPumpMs (a host that posts without
// end does not hold the operation up). Input goes to this window alone: the
// sheet's controls keep their focus while this window is not yet shown,
// and a key must not start another command in the middle of this one.
void CNodeProgress::Pump() {
    if (m_hWnd && !m_shown && GetTickCount() - m_start >= kShowAfterMs) {
        m_shown = true;
        ShowWindow(SW_SHOW);
    }
    const DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < kPumpMs && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {  // the thread is ending: stop, and leave the quit to its loop
            PostQuitMessage(static_cast<int>(msg.wParam));
            m_stop = true;
            break;
        }
        const bool ours = m_hWnd && (msg.hwnd == m_hWnd || IsChild(m_hWnd, msg.hwnd));
        if (IsInput(msg.message) && !ours) continue;
        if (ours && IsDialogMessageW(m_hWnd, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
