// COleControl: in-place activation in a child window of the container,
// IOleInPlaceObject, IOleInPlaceActiveObject and IViewObject2.
#include "olecontrol_impl.h"

using namespace olecontrol_detail;

namespace olecontrol_detail {
const char kWindowClass[] = "FwOleControl";
}

// ---------------------------------------------------------------------------
// Verbs and in-place activation

HWND COleControl::PreModalDialog(HWND hWndParent) {
    HWND window = hWndParent;
    if (!window) {
        com_ptr<IOleWindow> site;
        if (m_pInPlaceSite) m_pInPlaceSite->GetWindow(&window);
        else if (try_query(m_pClientSite.get(), IID_IOleWindow, site) == S_OK && site && FAILED(site->GetWindow(&window)))
            window = nullptr;
    }
    HWND owner = window && ::IsWindow(window) ? ::GetAncestor(window, GA_ROOT) : nullptr;
    m_pModalFrame.reset(m_pInPlaceFrame.get());  // counted: kept until PostModalDialog
    if (m_pModalFrame) m_pModalFrame->EnableModeless(FALSE);
    return owner;
}

void COleControl::PostModalDialog() {
    com_ptr<IOleInPlaceFrame> frame = std::move(m_pModalFrame);
    if (frame) frame->EnableModeless(TRUE);
}

LRESULT CALLBACK AfxControlWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    // Registering the window allocates, handlers may: an exception leaves
    // the message to the default procedure.
    LRESULT result = 0;
    const bool handled = AfxCallNoThrowOr(false, [&] {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
            if (auto* control = static_cast<COleControl*>(create->lpCreateParams)) AfxRouting::Attach(control, hwnd);
        }
        // Only controls are registered for windows of this class.
        auto* control = static_cast<COleControl*>(CWnd::FromHandlePermanent(hwnd));
        if (!control) return false;
        switch (message) {
        case WM_PAINT:
            control->OnPaint();
            return true;
        case WM_ERASEBKGND:
            result = 1;  // the picture covers the window
            return true;
        case WM_LBUTTONDOWN:
            if (!control->m_bUIActive) {
                KeepAlive alive(control);
                control->InPlaceActivate(TRUE);
            }
            return false;
        case WM_NCDESTROY:
            AfxRouting::Detach(control);
            control->m_hWnd = nullptr;
            return false;
        default:
            return false;
        }
    });
    return handled ? result : DefWindowProcA(hwnd, message, wParam, lParam);
}

void COleControl::UnregisterWindowClass() {
    UnregisterClassA(kWindowClass, AfxGetStaticModuleState()->m_hCurrentInstanceHandle);
}

void COleControl::OnPaint() {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(m_hWnd, &ps);
    if (hdc) {
        RECT client;
        GetClientRect(m_hWnd, &client);
        OnDraw(hdc, client, ps.rcPaint);
    }
    EndPaint(m_hWnd, &ps);
}

HRESULT COleControl::InPlaceActivate(BOOL bUIActivate) {
    if (!m_pClientSite) return E_UNEXPECTED;
    if (!m_bInPlaceActive) {
        com_ptr<IOleInPlaceSite> site;
        if (try_query(m_pClientSite.get(), IID_IOleInPlaceSite, site) != S_OK) return OLE_E_NOT_INPLACEACTIVE;
        if (site->CanInPlaceActivate() != S_OK) return OLE_E_NOT_INPLACEACTIVE;
        HRESULT hr = site->OnInPlaceActivate();
        if (FAILED(hr)) return hr;
        HWND parent = nullptr;
        com_ptr<IOleInPlaceFrame> frame;
        com_ptr<IOleInPlaceUIWindow> doc;
        RECT pos = {0, 0, 0, 0}, clip = {0, 0, 0, 0};
        OLEINPLACEFRAMEINFO frameInfo;
        ZeroMemory(&frameInfo, sizeof frameInfo);
        frameInfo.cb = sizeof frameInfo;
        hr = site->GetWindow(&parent);
        if (SUCCEEDED(hr)) hr = site->GetWindowContext(frame.put(), doc.put(), &pos, &clip, &frameInfo);
        if (SUCCEEDED(hr) && !parent) hr = E_FAIL;
        if (SUCCEEDED(hr)) {
            WNDCLASSA wc;
            HINSTANCE instance = AfxGetStaticModuleState()->m_hCurrentInstanceHandle;
            if (!GetClassInfoA(instance, kWindowClass, &wc)) {
                ZeroMemory(&wc, sizeof wc);
                wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
                wc.lpfnWndProc = &AfxControlWndProc;
                wc.hInstance = instance;
                wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
                wc.lpszClassName = kWindowClass;
                RegisterClassA(&wc);
            }
            HWND hwnd = CreateWindowExA(0, kWindowClass, "", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, pos.left,
                                        pos.top, Span(pos.left, pos.right), Span(pos.top, pos.bottom), parent, nullptr,
                                        instance, this);
            if (!hwnd) hr = E_FAIL;
        }
        if (FAILED(hr)) {
            site->OnInPlaceDeactivate();
            return hr;
        }
        m_rcPos = pos;
        m_bInPlaceActive = TRUE;
        m_pInPlaceSite = std::move(site);
        m_pInPlaceFrame = std::move(frame);
        m_pInPlaceDoc = std::move(doc);
    }
    if (m_hWnd) ::ShowWindow(m_hWnd, SW_SHOW);
    if (m_pClientSite) m_pClientSite->ShowObject();
    if (bUIActivate && !m_bUIActive && m_pInPlaceSite) {
        m_bUIActive = TRUE;
        m_pInPlaceSite->OnUIActivate();
        if (m_hWnd) ::SetFocus(m_hWnd);
        if (m_pInPlaceFrame) {
            m_pInPlaceFrame->SetActiveObject(&m_xOleInPlaceActiveObject, nullptr);
            m_pInPlaceFrame->SetBorderSpace(nullptr);
        }
        if (m_pInPlaceDoc) {
            m_pInPlaceDoc->SetActiveObject(&m_xOleInPlaceActiveObject, nullptr);
            m_pInPlaceDoc->SetBorderSpace(nullptr);
        }
    }
    return S_OK;
}

HRESULT COleControl::UIDeactivate() {
    if (!m_bUIActive) return S_OK;
    m_bUIActive = FALSE;
    if (m_pInPlaceDoc) m_pInPlaceDoc->SetActiveObject(nullptr, nullptr);
    if (m_pInPlaceFrame) m_pInPlaceFrame->SetActiveObject(nullptr, nullptr);
    if (m_pInPlaceSite) m_pInPlaceSite->OnUIDeactivate(FALSE);
    return S_OK;
}

HRESULT COleControl::InPlaceDeactivate() {
    if (!m_bInPlaceActive) return S_OK;
    UIDeactivate();
    m_bInPlaceActive = FALSE;
    if (m_hWnd && IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
    AfxRouting::Detach(this);
    m_hWnd = nullptr;
    m_pInPlaceDoc.reset();
    m_pInPlaceFrame.reset();
    // Told last, with the site no longer held as the active one.
    com_ptr<IOleInPlaceSite> site = std::move(m_pInPlaceSite);
    if (site) site->OnInPlaceDeactivate();
    return S_OK;
}

HRESULT COleControl::SetObjectRects(LPCRECT lprcPosRect, LPCRECT) {
    if (!lprcPosRect) return E_INVALIDARG;
    m_rcPos = *lprcPosRect;
    if (m_hWnd)
        MoveWindow(m_hWnd, m_rcPos.left, m_rcPos.top, Span(m_rcPos.left, m_rcPos.right),
                   Span(m_rcPos.top, m_rcPos.bottom), TRUE);
    return S_OK;
}

// ---------------------------------------------------------------------------
// IOleInPlaceObject, IOleInPlaceActiveObject

STDMETHODIMP COleControl::XOleInPlaceObject::GetWindow(HWND* phwnd) try {
    METHOD_PROLOGUE;
    if (!phwnd) return E_POINTER;
    *phwnd = pThis->m_hWnd;
    return pThis->m_hWnd ? S_OK : E_FAIL;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleInPlaceObject::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP COleControl::XOleInPlaceObject::InPlaceDeactivate() try {
    METHOD_PROLOGUE;
    KeepAlive alive(pThis);
    return pThis->InPlaceDeactivate();
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleInPlaceObject::UIDeactivate() try {
    METHOD_PROLOGUE;
    KeepAlive alive(pThis);
    return pThis->UIDeactivate();
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleInPlaceObject::SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) try {
    METHOD_PROLOGUE;
    return pThis->SetObjectRects(lprcPosRect, lprcClipRect);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleInPlaceObject::ReactivateAndUndo() { return E_NOTIMPL; }

STDMETHODIMP COleControl::XOleInPlaceActiveObject::GetWindow(HWND* phwnd) try {
    METHOD_PROLOGUE;
    return pThis->m_xOleInPlaceObject.GetWindow(phwnd);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleInPlaceActiveObject::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
STDMETHODIMP COleControl::XOleInPlaceActiveObject::TranslateAccelerator(LPMSG) { return S_FALSE; }
STDMETHODIMP COleControl::XOleInPlaceActiveObject::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP COleControl::XOleInPlaceActiveObject::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP COleControl::XOleInPlaceActiveObject::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP COleControl::XOleInPlaceActiveObject::EnableModeless(BOOL) { return S_OK; }

// ---------------------------------------------------------------------------
// IViewObject2

STDMETHODIMP COleControl::XViewObject::Draw(DWORD dwDrawAspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC hdcDraw,
                                            LPCRECTL lprcBounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                                            ULONG_PTR) try {
    METHOD_PROLOGUE;
    if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!hdcDraw || !lprcBounds) return E_INVALIDARG;
    const RECT bounds = {lprcBounds->left, lprcBounds->top, lprcBounds->right, lprcBounds->bottom};
    pThis->OnDraw(hdcDraw, bounds, bounds);
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XViewObject::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                                   LOGPALETTE** ppColorSet) try {
    if (ppColorSet) *ppColorSet = nullptr;
    return S_FALSE;  // no particular colours
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XViewObject::Freeze(DWORD, LONG, void*, DWORD* pdwFreeze) try {
    if (pdwFreeze) *pdwFreeze = 0;
    return E_NOTIMPL;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XViewObject::Unfreeze(DWORD) { return E_NOTIMPL; }

STDMETHODIMP COleControl::XViewObject::SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) try {
    METHOD_PROLOGUE;
    pThis->m_pViewAdviseSink.reset(pAdvSink);
    pThis->m_dwViewAdviseAspects = aspects;
    pThis->m_dwViewAdviseFlags = advf;
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XViewObject::GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) try {
    METHOD_PROLOGUE;
    if (pAspects) *pAspects = pThis->m_dwViewAdviseAspects;
    if (pAdvf) *pAdvf = pThis->m_dwViewAdviseFlags;
    if (ppAdvSink) pThis->m_pViewAdviseSink.copy_to(ppAdvSink);
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XViewObject::GetExtent(DWORD dwDrawAspect, LONG, DVTARGETDEVICE*, LPSIZEL lpsizel) try {
    METHOD_PROLOGUE;
    return pThis->m_xOleObject.GetExtent(dwDrawAspect, lpsizel);
}
AFX_CATCH_RETURN

