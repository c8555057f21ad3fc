// CFileDialog: the system's Open and Save As dialogs, wide-character
// throughout so a file anywhere, named in any script, can be chosen.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "wnd.h"

class CFileDialog {
public:
    // filter: pairs of display text and pattern, each ending in a zero, the
    // whole ending in a second zero ("Text files\0*.txt\0").
    CFileDialog(BOOL bOpenFileDialog, const wchar_t* lpszDefExt, const std::wstring& fileName, DWORD dwFlags,
                const wchar_t* lpszFilter, CWnd* pParentWnd);

    // IDOK when a file was chosen, IDCANCEL when the user cancelled or the
    // dialog could not be shown (CommDlgExtendedError tells which).
    INT_PTR DoModal();
    std::wstring GetPathName() const;

    OPENFILENAMEW m_ofn;

private:
    BOOL m_bOpenFileDialog;
    std::vector<wchar_t> m_file;  // room for the longest path Windows takes
};
