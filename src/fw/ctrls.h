// Control wrappers: each borrows its control's HWND (bound by DDX_Control).
#pragma once

#include "wnd.h"

class CEdit : public CWnd {
public:
    void SetReadOnly(BOOL bReadOnly = TRUE) { SendMessage(EM_SETREADONLY, bReadOnly); }
    // Whether the user changed the text since it was last set (setting the
    // text clears the flag).
    BOOL GetModify() const { return SendMessage(EM_GETMODIFY) != 0; }
};

class CButton : public CWnd {
public:
    // BST_UNCHECKED (0), BST_CHECKED (1) or BST_INDETERMINATE (2).
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int nCheck) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(nCheck)); }
};

class CComboBox : public CWnd {
public:
    int AddString(const char* text) { return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int nSelect) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(nSelect))); }
};
