// Control wrappers: each borrows its control's HWND (bound by DDX_Control).
#pragma once

#include "wnd.h"

#include <commctrl.h>

#include <string>

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

class CProgressCtrl : public CWnd {
public:
    void SetRange32(int nLower, int nUpper) { SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(nLower), nUpper); }
    int SetPos(int nPos) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(nPos))); }
};

// A list view in report mode; texts in UTF-16.
class CListCtrl : public CWnd {
public:
    int InsertColumn(int nCol, const std::wstring& heading) {
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(heading.c_str());
        column.iSubItem = nCol;
        return static_cast<int>(SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(nCol), reinterpret_cast<LPARAM>(&column)));
    }
    int InsertItem(int nItem, const std::wstring& text) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = nItem;
        item.pszText = const_cast<wchar_t*>(text.c_str());
        return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    }
    BOOL SetItemText(int nItem, int nSubItem, const std::wstring& text) {
        LVITEMW item = {};
        item.iSubItem = nSubItem;
        item.pszText = const_cast<wchar_t*>(text.c_str());
        return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(&item)));
    }
    BOOL SetColumnWidth(int nCol, int cx) {
        return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(nCol), MAKELPARAM(cx, 0)));
    }
    int GetColumnWidth(int nCol) const { return static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(nCol))); }
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    DWORD SetExtendedStyle(DWORD style) {
        return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(style)));
    }
    BOOL SetItemState(int nItem, UINT state, UINT mask) {
        LVITEMW item = {};
        item.state = state;
        item.stateMask = mask;
        return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(&item)));
    }
};
