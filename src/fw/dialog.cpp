#include "dialog.h"

#include <commctrl.h>
#include <prsht.h>

#include "afxstate.h"
#include "nothrow.h"

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    rControl.m_hWnd = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
}

INT_PTR CDialog::DoModal() {
    return ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate),
                             m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr, &AfxDlgProc,
                             reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::Create() {
    return ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate),
                                m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr, &AfxDlgProc,
                                reinterpret_cast<LPARAM>(this)) != nullptr;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(LOWORD(wParam));
        return TRUE;
    }
    return CWnd::OnCommand(wParam, lParam);
}

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_INITDIALOG) {
        *pResult = OnInitDialog();
        return TRUE;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, pResult);
}

namespace {

INT_PTR RouteDialogMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, CDialog* initObject) {
    CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
    if (message == WM_INITDIALOG && !wnd && initObject) {
        AfxRouting::Attach(initObject, hwnd);
        wnd = initObject;
    }
    if (!wnd) return FALSE;
    if (message == WM_NCDESTROY) {
        AfxRouting::Detach(wnd);
        wnd->m_hWnd = nullptr;
        return FALSE;
    }
    LRESULT result = 0;
    if (!AfxRouting::Route(wnd, message, wParam, lParam, &result)) return FALSE;
    if (message == WM_INITDIALOG) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK AfxDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* init = message == WM_INITDIALOG ? reinterpret_cast<CDialog*>(lParam) : nullptr;
    // A handler that throws leaves the message to the dialog manager. A
    // modal dialog that could not be set up (its object not registered for
    // its window, so nothing would ever end it) ends at once, as one that
    // could not be created.
    INT_PTR result = FALSE;
    const bool routed = AfxCallNoThrowOr(false, [&] {
        result = RouteDialogMessage(hwnd, message, wParam, lParam, init);
        return true;
    });
    if (!routed && message == WM_INITDIALOG) ::EndDialog(hwnd, -1);
    return result;
}

INT_PTR CALLBACK AfxPageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* init = nullptr;
    if (message == WM_INITDIALOG && lParam)
        init = reinterpret_cast<CDialog*>(reinterpret_cast<PROPSHEETPAGEA*>(lParam)->lParam);
    return AfxCallNoThrowOr<INT_PTR>(FALSE, [&] { return RouteDialogMessage(hwnd, message, wParam, lParam, init); });
}
