// CWnd: a thin, non-owning wrapper of an HWND, and the one place where window
// messages are routed to the On... members of the class layer's objects.
// Windows are destroyed by their owners (the dialog manager, the sheet); a
// CWnd never destroys its window in its destructor.
#pragma once

#include <windows.h>

#include <string>

class CWnd {
public:
    CWnd() = default;
    explicit CWnd(HWND hwnd) : m_hWnd(hwnd) {}
    virtual ~CWnd();
    CWnd(const CWnd& other) : m_hWnd(other.m_hWnd) {}  // copies borrow, never register
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    // The object registered for hwnd by the routing below, or null.
    static CWnd* FromHandlePermanent(HWND hwnd);

    // Attributes
    CWnd* GetParent() const;
    CWnd GetDlgItem(int nID) const { return CWnd(::GetDlgItem(m_hWnd, nID)); }
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
    std::string GetWindowText() const;
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL DestroyWindow();

    // Operations
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
        return ::SendMessageA(m_hWnd, msg, wp, lp);
    }
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse) { return ::SetTimer(m_hWnd, nIDEvent, nElapse, nullptr); }
    BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }
    int MessageBox(const char* text, const char* caption, UINT type) {
        return ::MessageBoxA(m_hWnd, text, caption, type);
    }

protected:
    // Message handlers; each base version does the default processing.
    virtual void OnShowWindow(BOOL bShow, UINT nStatus);
    virtual void OnTimer(UINT_PTR nIDEvent);
    // WM_COMMAND; TRUE when handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);

    // The default processing of the message being routed.
    LRESULT Default();

    // Routes one message to the handlers above; TRUE when it was handled and
    // *pResult holds its result.
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);


    // Subclasses a window created elsewhere (the property sheet) so that its
    // messages are routed here; Default() then calls the original procedure.
    void SubclassWindow(HWND hwnd);

    // What Default() needs to know about the message in progress.
    struct CurrentMessage {
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        bool deferred = false;  // dialogs: default processing left to the dialog manager
    };
    CurrentMessage m_current;
    WNDPROC m_pfnSuper = nullptr;

    friend LRESULT CALLBACK AfxSubclassProc(HWND, UINT, WPARAM, LPARAM);
    friend struct AfxRouting;

private:
    // Reached only through AfxRouting: register this object for hwnd so
    // routing and FromHandlePermanent find it, and route one message to it.
    void AttachPermanent(HWND hwnd);
    void DetachPermanent();
    BOOL RouteMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
};

// The layer's window, dialog and page procedures reach the router through
// this, and nothing else does.
struct AfxRouting {
    static void Attach(CWnd* wnd, HWND hwnd) { wnd->AttachPermanent(hwnd); }
    static void Detach(CWnd* wnd) { wnd->DetachPermanent(); }
    static BOOL Route(CWnd* wnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
        return wnd->RouteMessage(message, wParam, lParam, pResult);
    }
};
