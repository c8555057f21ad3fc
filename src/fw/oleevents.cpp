// COleControl: the event source, one connection point in its container.
#include "olecontrol_impl.h"

using namespace olecontrol_detail;

// ---------------------------------------------------------------------------
// Connection points: the event source

STDMETHODIMP COleControl::XConnPtContainer::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) try {
    METHOD_PROLOGUE;
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    auto points = std::make_shared<CEnumConnPts::List>();
    if (pThis->m_piidEvents) points->push_back(com_share<IConnectionPoint>(&pThis->m_xEventConnPt));
    *ppEnum = new (std::nothrow) CEnumConnPts(IID_IEnumConnectionPoints, std::move(points));
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XConnPtContainer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) try {
    METHOD_PROLOGUE;
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    if (!pThis->m_piidEvents || !IsEqualIID(riid, *pThis->m_piidEvents)) return CONNECT_E_NOCONNECTION;
    *ppCP = com_share<IConnectionPoint>(&pThis->m_xEventConnPt).detach();
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XEventConnPt::QueryInterface(REFIID iid, void** ppv) try {
    if (!ppv) return E_POINTER;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IConnectionPoint)) return *ppv = nullptr, E_NOINTERFACE;
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XEventConnPt::GetConnectionInterface(IID* pIID) try {
    METHOD_PROLOGUE;
    if (!pIID) return E_POINTER;
    if (!pThis->m_piidEvents) return E_UNEXPECTED;
    *pIID = *pThis->m_piidEvents;
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XEventConnPt::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) try {
    METHOD_PROLOGUE;
    if (!ppCPC) return E_POINTER;
    *ppCPC = com_share<IConnectionPointContainer>(&pThis->m_xConnPtContainer).detach();
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XEventConnPt::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) try {
    METHOD_PROLOGUE;
    if (!pdwCookie) return E_POINTER;
    *pdwCookie = 0;
    if (!pUnkSink) return E_POINTER;
    com_ptr<IUnknown> sink;
    if (!pThis->m_piidEvents ||
        (try_query(pUnkSink, *pThis->m_piidEvents, sink) != S_OK && try_query(pUnkSink, IID_IDispatch, sink) != S_OK) ||
        !sink)
        return CONNECT_E_CANNOTCONNECT;
    // The map allocates; when it cannot, the sink's reference goes with
    // `sink` and the cookie is not used.
    const DWORD cookie = pThis->m_dwNextCookie;
    pThis->m_eventSinks[cookie] = std::move(sink);
    ++pThis->m_dwNextCookie;
    *pdwCookie = cookie;
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XEventConnPt::Unadvise(DWORD dwCookie) try {
    METHOD_PROLOGUE;
    auto it = pThis->m_eventSinks.find(dwCookie);
    if (it == pThis->m_eventSinks.end()) return CONNECT_E_NOCONNECTION;
    com_ptr<IUnknown> sink = std::move(it->second);
    pThis->m_eventSinks.erase(it);  // released after the entry is gone
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XEventConnPt::EnumConnections(IEnumConnections** ppEnum) try {
    if (ppEnum) *ppEnum = nullptr;
    return E_NOTIMPL;
}
AFX_CATCH_RETURN

