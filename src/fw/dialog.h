// CDialog on a dialog template from the module's resources, and the dialog
// data exchange that binds control wrappers to their controls.
#pragma once

#include "wnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_pDlgWnd(pDlgWnd), m_bSaveAndValidate(bSaveAndValidate) {}
    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Binds a wrapper to the dialog's control nIDC; the wrapper borrows the HWND.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr)
        : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

    // Runs the dialog modally; -1 when it could not be created.
    virtual INT_PTR DoModal();
    // Creates the dialog modeless (shown when its template says so); its
    // owner destroys it with DestroyWindow.
    BOOL Create();
    void EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

    // Runs DoDataExchange (binding the control wrappers); TRUE sets the
    // default focus.
    virtual BOOL OnInitDialog();

protected:
    virtual void DoDataExchange(CDataExchange* pDX) {}
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // Routes WM_INITDIALOG as well as what CWnd routes.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

    // IDOK and IDCANCEL end a modal dialog.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
};

// The dialog procedures of the layer: AfxDlgProc for dialogs run by DoModal
// (WM_INITDIALOG's lParam is the CDialog), AfxPageProc for property pages
// (lParam is the PROPSHEETPAGE whose lParam is the page). Afterwards the
// object is found by its window and the message routed to it.
INT_PTR CALLBACK AfxDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AfxPageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
