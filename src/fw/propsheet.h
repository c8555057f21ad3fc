// CPropertySheet and CPropertyPage over the common controls' PropertySheet.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

#include "dialog.h"

class CPropertyPage : public CDialog {
public:
    // The template and, when nIDCaption is not 0, the tab caption string
    // come from the module's resources.
    explicit CPropertyPage(UINT nIDTemplate, UINT nIDCaption = 0);

    PROPSHEETPAGEA m_psp;

protected:
    // Pages do not end themselves on IDOK / IDCANCEL: the sheet owns those.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override { return CWnd::OnCommand(wParam, lParam); }

private:
    std::string m_strCaption;
};

class CPropertySheet : public CWnd {
public:
    CPropertySheet(const char* pszCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
    ~CPropertySheet() override;

    void AddPage(CPropertyPage* pPage) { m_pages.push_back(pPage); }
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }

    // Runs the sheet modally; returns what PropertySheet returns.
    virtual INT_PTR DoModal();
    // Creates the sheet modeless (for a host that drives it itself); the
    // caller destroys it with DestroyWindow once PSM_GETCURRENTPAGEHWND
    // answers null.
    BOOL Create(CWnd* pParentWnd = nullptr, DWORD dwStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE);

    // Called once the sheet's window and its first page exist.
    virtual BOOL OnInitDialog() { return TRUE; }

    BOOL SetActivePage(int nPage) { return static_cast<BOOL>(SendMessage(PSM_SETCURSEL, nPage, 0)); }
    HWND GetTabControl() const { return reinterpret_cast<HWND>(SendMessage(PSM_GETTABCONTROL)); }

    PROPSHEETHEADERA m_psh;

private:
    INT_PTR Run(DWORD extraFlags, HWND parent);
    static int CALLBACK SheetCallback(HWND hwnd, UINT message, LPARAM lParam);

    std::string m_strCaption;
    std::vector<CPropertyPage*> m_pages;
    std::vector<PROPSHEETPAGEA> m_pageStructs;
};
