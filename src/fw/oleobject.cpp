// COleControl: IOleObject, its verbs and the user type name.
#include "olecontrol_impl.h"

using namespace olecontrol_detail;

namespace {

// The control's verbs: only Properties, shown on the container's menu, by
// the class layer's standard name.
const wchar_t kPropertiesVerb[] = L"&Properties...";

}  // namespace

HRESULT COleControl::DoVerb(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, HWND hwndParent,
                            LPCRECT lprcPosRect) {
    if (!m_pClientSite && pActiveSite) SetClientSite(pActiveSite);
    switch (iVerb) {
    case OLEIVERB_PROPERTIES:
        return OnProperties(lpmsg, hwndParent, lprcPosRect) ? S_OK : E_NOTIMPL;
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
        return InPlaceActivate(TRUE);
    case OLEIVERB_INPLACEACTIVATE:
        return InPlaceActivate(FALSE);
    case OLEIVERB_HIDE:
        UIDeactivate();
        if (m_hWnd) ::ShowWindow(m_hWnd, SW_HIDE);
        return S_OK;
    case OLEIVERB_DISCARDUNDOSTATE:
        return S_OK;
    default:
        if (iVerb > 0) {  // unknown positive verbs act as the primary one
            const HRESULT hr = InPlaceActivate(TRUE);
            return FAILED(hr) ? hr : OLEOBJ_S_INVALIDVERB;
        }
        return E_NOTIMPL;  // OLEIVERB_OPEN and the like
    }
}

HRESULT COleControl::GetUserTypeName(LPOLESTR* ppsz) {
    if (!ppsz) return E_POINTER;
    *ppsz = nullptr;
    wchar_t name[256] = {};
    if (LoadStringW(AfxGetResourceHandle(), GetUserTypeNameID(), name, 256) <= 0) {
        CLSID clsid;
        if (FAILED(GetClassID(&clsid))) return E_FAIL;
        return OleRegGetUserType(clsid, USERCLASSTYPE_FULL, ppsz);
    }
    *ppsz = CoTaskStrDup(name);
    return *ppsz ? S_OK : E_OUTOFMEMORY;
}


// ---------------------------------------------------------------------------
// IOleObject

STDMETHODIMP COleControl::XOleObject::SetClientSite(IOleClientSite* pClientSite) try {
    METHOD_PROLOGUE;
    // Dropping the site deactivates in place, which calls the container
    // back: it may release its last reference meanwhile.
    KeepAlive alive(pThis);
    pThis->SetClientSite(pClientSite);
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleObject::GetClientSite(IOleClientSite** ppClientSite) try {
    METHOD_PROLOGUE;
    if (!ppClientSite) return E_POINTER;
    return pThis->m_pClientSite.copy_to(ppClientSite);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleObject::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP COleControl::XOleObject::Close(DWORD dwSaveOption) try {
    METHOD_PROLOGUE;
    KeepAlive alive(pThis);
    if ((dwSaveOption == OLECLOSE_SAVEIFDIRTY || dwSaveOption == OLECLOSE_PROMPTSAVE) && pThis->m_bModified &&
        pThis->m_pClientSite)
        pThis->m_pClientSite->SaveObject();
    pThis->InPlaceDeactivate();
    if (pThis->m_pOleAdviseHolder) pThis->m_pOleAdviseHolder->SendOnClose();
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleObject::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

STDMETHODIMP COleControl::XOleObject::GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) try {
    METHOD_PROLOGUE;
    if (!ppmk) return E_POINTER;
    *ppmk = nullptr;
    if (!pThis->m_pClientSite) return E_UNEXPECTED;
    return pThis->m_pClientSite->GetMoniker(dwAssign, dwWhichMoniker, ppmk);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleObject::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

STDMETHODIMP COleControl::XOleObject::GetClipboardData(DWORD, IDataObject** ppDataObject) try {
    if (ppDataObject) *ppDataObject = nullptr;
    return E_NOTIMPL;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleObject::DoVerb(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, LONG,
                                             HWND hwndParent, LPCRECT lprcPosRect) try {
    METHOD_PROLOGUE;
    KeepAlive alive(pThis);
    return pThis->DoVerb(iVerb, lpmsg, pActiveSite, hwndParent, lprcPosRect);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleObject::EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) try {
    if (!ppEnumOleVerb) return E_POINTER;
    static const OLEVERB kVerbs[] = {
        {OLEIVERB_PROPERTIES, const_cast<LPOLESTR>(kPropertiesVerb), MF_STRING | MF_ENABLED,
         OLEVERBATTRIB_ONCONTAINERMENU},
    };
    *ppEnumOleVerb = nullptr;
    auto verbs = std::make_shared<CEnumVerbs::List>(std::begin(kVerbs), std::end(kVerbs));
    *ppEnumOleVerb = new (std::nothrow) CEnumVerbs(IID_IEnumOLEVERB, std::move(verbs));
    return *ppEnumOleVerb ? S_OK : E_OUTOFMEMORY;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleObject::Update() { return S_OK; }
STDMETHODIMP COleControl::XOleObject::IsUpToDate() { return S_OK; }

STDMETHODIMP COleControl::XOleObject::GetUserClassID(CLSID* pClsid) try {
    METHOD_PROLOGUE;
    if (!pClsid) return E_POINTER;
    return pThis->GetClassID(pClsid);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleObject::GetUserType(DWORD, LPOLESTR* pszUserType) try {
    METHOD_PROLOGUE;
    return pThis->GetUserTypeName(pszUserType);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleObject::SetExtent(DWORD dwDrawAspect, SIZEL* psizel) try {
    METHOD_PROLOGUE;
    if (!psizel) return E_INVALIDARG;
    if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!IsSaneExtent(*psizel)) return E_INVALIDARG;
    if (psizel->cx != pThis->m_extent.cx || psizel->cy != pThis->m_extent.cy) {
        pThis->m_extent = *psizel;
        pThis->SetModifiedFlag();
    }
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleObject::GetExtent(DWORD dwDrawAspect, SIZEL* psizel) try {
    METHOD_PROLOGUE;
    if (!psizel) return E_INVALIDARG;
    if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *psizel = pThis->m_extent;
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleObject::Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) try {
    METHOD_PROLOGUE;
    if (!pdwConnection) return E_POINTER;
    *pdwConnection = 0;
    if (!pThis->m_pOleAdviseHolder) {
        HRESULT hr = CreateOleAdviseHolder(pThis->m_pOleAdviseHolder.put());
        if (FAILED(hr)) return hr;
    }
    return pThis->m_pOleAdviseHolder->Advise(pAdvSink, pdwConnection);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleObject::Unadvise(DWORD dwConnection) try {
    METHOD_PROLOGUE;
    if (!pThis->m_pOleAdviseHolder) return OLE_E_NOCONNECTION;
    return pThis->m_pOleAdviseHolder->Unadvise(dwConnection);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleObject::EnumAdvise(IEnumSTATDATA** ppenumAdvise) try {
    METHOD_PROLOGUE;
    if (!ppenumAdvise) return E_POINTER;
    *ppenumAdvise = nullptr;
    // Nobody advised yet: the holder that Advise would make lists nobody,
    // which is a valid, empty enumerator (never S_OK with none).
    if (!pThis->m_pOleAdviseHolder) {
        const HRESULT hr = CreateOleAdviseHolder(pThis->m_pOleAdviseHolder.put());
        if (FAILED(hr)) return hr;
    }
    return pThis->m_pOleAdviseHolder->EnumAdvise(ppenumAdvise);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleObject::GetMiscStatus(DWORD, DWORD* pdwStatus) try {
    METHOD_PROLOGUE;
    if (!pdwStatus) return E_POINTER;
    *pdwStatus = pThis->GetMiscStatus();
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XOleObject::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

