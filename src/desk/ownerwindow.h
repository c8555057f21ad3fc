// COwnerWindow: Brisel Settings' small window, "<file name> - Brisel
// Settings", which stands in the taskbar for the file and owns the sheet.
// Closing it is not a way out (the sheet's Exit is, with its question), nor
// is the end of the session while the settings have changes not saved:
// Windows is then told why it has to wait.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

class COwnerWindow {
public:
    // Shown at once, at the top of the work area; `unsaved` says whether the
    // settings have changes not saved.
    COwnerWindow(const std::wstring& path, std::function<bool()> unsaved);
    ~COwnerWindow();
    COwnerWindow(const COwnerWindow&) = delete;
    COwnerWindow& operator=(const COwnerWindow&) = delete;

    HWND Handle() const { return m_hWnd; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    std::function<bool()> m_unsaved;
    HWND m_hWnd = nullptr;
    HFONT m_font = nullptr;
};
