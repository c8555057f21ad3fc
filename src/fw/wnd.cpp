#include "wnd.h"

#include "nothrow.h"

#include <map>
#include <vector>

namespace {

// HWND -> object, for the windows whose messages the layer routes. One map
// per thread: a window's messages arrive on the thread that created it, and
// controls may live in several single-threaded apartments at once. The map
// is made when the thread registers its first window and goes with its last
// (a plain pointer: nothing is left to destroy when the thread or the
// module goes).
using WindowMap = std::map<HWND, CWnd*>;
thread_local WindowMap* t_permanentMap = nullptr;

WindowMap& PermanentMap() {
    if (!t_permanentMap) t_permanentMap = new WindowMap;
    return *t_permanentMap;
}

void DropMapIfEmpty() {
    if (t_permanentMap && t_permanentMap->empty()) {
        delete t_permanentMap;
        t_permanentMap = nullptr;
    }
}

}  // namespace

CWnd::~CWnd() { DetachPermanent(); }

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
    if (!t_permanentMap) return nullptr;
    auto it = t_permanentMap->find(hwnd);
    return it == t_permanentMap->end() ? nullptr : it->second;
}

CWnd* CWnd::GetParent() const { return FromHandlePermanent(::GetParent(m_hWnd)); }

std::string CWnd::GetWindowText() const {
    const int length = ::GetWindowTextLengthA(m_hWnd);
    std::vector<char> text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    const int got = ::GetWindowTextA(m_hWnd, text.data(), static_cast<int>(text.size()));
    return std::string(text.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

void CWnd::AttachPermanent(HWND hwnd) {
    m_hWnd = hwnd;
    PermanentMap()[hwnd] = this;
}

void CWnd::DetachPermanent() {
    if (!t_permanentMap) return;
    auto& map = *t_permanentMap;
    for (auto it = map.begin(); it != map.end(); ++it) {
        if (it->second == this) {
            map.erase(it);
            break;
        }
    }
    DropMapIfEmpty();
}

LRESULT CALLBACK AfxSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
    if (!wnd) return ::DefWindowProcA(hwnd, message, wParam, lParam);
    WNDPROC super = wnd->m_pfnSuper;
    if (message == WM_NCDESTROY) {
        // Unhook before the window goes; the object outlives its window.
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
        wnd->m_pfnSuper = nullptr;
        wnd->DetachPermanent();
        wnd->m_hWnd = nullptr;
        return ::CallWindowProcA(super, hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    // A handler that throws leaves the message to the original procedure.
    if (AfxCallNoThrowOr(FALSE, [&] { return wnd->RouteMessage(message, wParam, lParam, &result); })) return result;
    return ::CallWindowProcA(super, hwnd, message, wParam, lParam);
}

void CWnd::SubclassWindow(HWND hwnd) {
    AttachPermanent(hwnd);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxSubclassProc)));
}

BOOL CWnd::RouteMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    const CurrentMessage saved = m_current;  // handlers may send messages to themselves
    m_current = CurrentMessage{message, wParam, lParam, false};
    BOOL handled = OnWndMsg(message, wParam, lParam, pResult);
    if (handled && m_current.deferred) handled = FALSE;
    m_current = saved;
    return handled;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    switch (message) {
    case WM_SHOWWINDOW:
        OnShowWindow(static_cast<BOOL>(wParam), static_cast<UINT>(lParam));
        *pResult = 0;
        return TRUE;
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        *pResult = 0;
        return TRUE;
    case WM_COMMAND:
        if (OnCommand(wParam, lParam)) {
            *pResult = 0;
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

void CWnd::OnShowWindow(BOOL, UINT) { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
BOOL CWnd::OnCommand(WPARAM, LPARAM) { return FALSE; }

LRESULT CWnd::Default() {
    if (m_pfnSuper)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, m_current.message, m_current.wParam, m_current.lParam);
    // A dialog's default processing is the dialog manager's, which runs once
    // the dialog procedure reports the message as not handled.
    m_current.deferred = true;
    return 0;
}
