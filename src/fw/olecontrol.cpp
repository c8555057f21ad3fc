// COleControl, the object core: counting, the interface table, the client
// site and IOleControl. The other families live beside it: oleobject.cpp
// (IOleObject and verbs), oleinplace.cpp (in-place activation, its window and
// IViewObject2), oledispatch.cpp (IDispatch, type and class information),
// oleevents.cpp (connection points) and olepersist.cpp (persistence).
#include "olecontrol_impl.h"

using namespace olecontrol_detail;

namespace olecontrol_detail {

LPOLESTR CoTaskStrDup(const wchar_t* text) {
    const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (copy) std::memcpy(copy, text, bytes);
    return copy;
}

}  // namespace olecontrol_detail

COleControl::COleControl() {
    m_extent.cx = kDefaultExtentX;
    m_extent.cy = kDefaultExtentY;
    AfxOleLockApp();
}

COleControl::~COleControl() {
    InPlaceDeactivate();
    m_eventSinks.clear();
    m_pViewAdviseSink.reset();
    m_pOleAdviseHolder.reset();
    m_pClientSite.reset();
    if (m_pLockedCache) m_pLockedCache->Unlock();
    AfxOleUnlockApp();
}

void COleControl::InitializeIIDs(const IID* piidPrimary, const IID* piidEvents) {
    m_piidPrimary = piidPrimary;
    m_piidEvents = piidEvents;
}

void COleControl::SetClientSite(IOleClientSite* pClientSite) {
    if (pClientSite == m_pClientSite.get()) return;
    if (!pClientSite) InPlaceDeactivate();
    m_pClientSite.reset(pClientSite);
}

ULONG COleControl::ExternalAddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_dwRef)); }

ULONG COleControl::ExternalRelease() {
    const LONG ref = InterlockedDecrement(&m_dwRef);
    if (ref == 0) OnFinalRelease();
    return static_cast<ULONG>(ref < 0 ? 0 : ref);
}

void COleControl::OnFinalRelease() {
    // Calls that the container makes into the object while it is torn down
    // must not bring the count to zero a second time.
    m_dwRef = 1;
    // In-place deactivation tells the container, which may call back: that
    // happens here, while the derived control still exists, not in the base
    // destructor after it has gone.
    AfxCallNoThrow([this] { return InPlaceDeactivate(); });
    delete this;
}

HRESULT COleControl::ExternalQueryInterface(REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    struct Entry {
        const IID* iid;
        IUnknown* (*part)(COleControl*);
    };
    static const Entry kTable[] = {
        {&IID_IUnknown, [](COleControl* p) -> IUnknown* { return &p->m_xOleObject; }},
        {&IID_IOleObject, [](COleControl* p) -> IUnknown* { return &p->m_xOleObject; }},
        {&IID_IDispatch, [](COleControl* p) -> IUnknown* { return &p->m_xDispatch; }},
        {&IID_IOleControl, [](COleControl* p) -> IUnknown* { return &p->m_xOleControl; }},
        {&IID_IOleInPlaceObject, [](COleControl* p) -> IUnknown* { return &p->m_xOleInPlaceObject; }},
        {&IID_IOleWindow, [](COleControl* p) -> IUnknown* { return &p->m_xOleInPlaceObject; }},
        {&IID_IOleInPlaceActiveObject, [](COleControl* p) -> IUnknown* { return &p->m_xOleInPlaceActiveObject; }},
        {&IID_IViewObject, [](COleControl* p) -> IUnknown* { return &p->m_xViewObject; }},
        {&IID_IViewObject2, [](COleControl* p) -> IUnknown* { return &p->m_xViewObject; }},
        {&IID_IProvideClassInfo, [](COleControl* p) -> IUnknown* { return &p->m_xProvideClassInfo; }},
        {&IID_IProvideClassInfo2, [](COleControl* p) -> IUnknown* { return &p->m_xProvideClassInfo; }},
        {&IID_IConnectionPointContainer, [](COleControl* p) -> IUnknown* { return &p->m_xConnPtContainer; }},
        // IPersistStreamInit begins with IPersistStream's entries.
        {&IID_IPersistStreamInit, [](COleControl* p) -> IUnknown* { return &p->m_xPersistStreamInit; }},
        {&IID_IPersistStream, [](COleControl* p) -> IUnknown* { return &p->m_xPersistStreamInit; }},
        {&IID_IPersist, [](COleControl* p) -> IUnknown* { return &p->m_xPersistStreamInit; }},
        {&IID_IPersistPropertyBag, [](COleControl* p) -> IUnknown* { return &p->m_xPersistPropertyBag; }},
        {&IID_IPersistStorage, [](COleControl* p) -> IUnknown* { return &p->m_xPersistStorage; }},
    };
    IUnknown* p = nullptr;
    for (const Entry& e : kTable) {
        if (IsEqualIID(iid, *e.iid)) {
            p = e.part(this);
            break;
        }
    }
    // The control's own dispatch interface is answered by IDispatch.
    if (!p && m_piidPrimary && IsEqualIID(iid, *m_piidPrimary)) p = &m_xDispatch;
    if (!p) return E_NOINTERFACE;
    ExternalAddRef();
    *ppv = p;
    return S_OK;
}

// ---------------------------------------------------------------------------
// IOleControl

STDMETHODIMP COleControl::XOleControl::GetControlInfo(CONTROLINFO* pCI) try {
    if (!pCI) return E_POINTER;
    pCI->cb = sizeof *pCI;
    pCI->hAccel = nullptr;
    pCI->cAccel = 0;
    pCI->dwFlags = 0;
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleControl::OnMnemonic(MSG*) { return S_OK; }
STDMETHODIMP COleControl::XOleControl::OnAmbientPropertyChange(DISPID) { return S_OK; }

STDMETHODIMP COleControl::XOleControl::FreezeEvents(BOOL bFreeze) try {
    METHOD_PROLOGUE;
    if (bFreeze)
        ++pThis->m_nFreezeEvents;
    else if (pThis->m_nFreezeEvents > 0)
        --pThis->m_nFreezeEvents;
    return S_OK;
}
AFX_CATCH_RETURN
