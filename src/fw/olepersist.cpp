// COleControl: persistence through streams, property bags and storages, all
// running DoPropExchange.
#include "olecontrol_impl.h"

using namespace olecontrol_detail;

namespace {

// Counts what a save would write (for GetSizeMax).
class CCountPropExchange : public CPropExchange {
public:
    CCountPropExchange() : CPropExchange(FALSE) {}
    BOOL ExchangeLong(LPCSTR, LONG&, LONG) override {
        ++m_count;
        return TRUE;
    }
    ULONG m_count = 0;
};

}  // namespace

// ---------------------------------------------------------------------------
// Persistence

void COleControl::DoPropExchange(CPropExchange* pPX) {
    PX_Long(pPX, "_ExtentX", m_extent.cx, kDefaultExtentX);
    PX_Long(pPX, "_ExtentY", m_extent.cy, kDefaultExtentY);
    // Saved data with a negative or absurd extent is bad data.
    if (pPX->IsLoading() && !IsSaneExtent(m_extent)) pPX->SetFailed();
}

void COleControl::OnResetState() {
    CResetPropExchange px;
    DoPropExchange(&px);
}

HRESULT COleControl::ExchangeWith(CPropExchange* pPX, HRESULT failure) {
    return AfxCallNoThrow([&] {
        DoPropExchange(pPX);
        return pPX->Failed() ? failure : S_OK;
    });
}

HRESULT COleControl::LoadFromStream(IStream* pStream) {
    if (!pStream) return E_POINTER;
    CStreamPropExchange px(pStream, TRUE);
    const HRESULT hr = ExchangeWith(&px, E_FAIL);
    if (FAILED(hr)) {
        // Bad or short data: the control starts afresh rather than half loaded.
        OnResetState();
        return hr;
    }
    m_bModified = FALSE;
    if (m_hWnd) InvalidateRect(m_hWnd, nullptr, FALSE);
    return S_OK;
}

HRESULT COleControl::SaveToStream(IStream* pStream) {
    if (!pStream) return E_POINTER;
    CStreamPropExchange px(pStream, FALSE);
    return ExchangeWith(&px, STG_E_WRITEFAULT);
}

// ---------------------------------------------------------------------------
// Persistence interfaces

STDMETHODIMP COleControl::XPersistStreamInit::GetClassID(CLSID* pClassID) try {
    METHOD_PROLOGUE;
    if (!pClassID) return E_POINTER;
    return pThis->GetClassID(pClassID);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XPersistStreamInit::IsDirty() try {
    METHOD_PROLOGUE;
    return pThis->m_bModified ? S_OK : S_FALSE;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XPersistStreamInit::Load(LPSTREAM pStm) try {
    METHOD_PROLOGUE;
    return pThis->LoadFromStream(pStm);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XPersistStreamInit::Save(LPSTREAM pStm, BOOL fClearDirty) try {
    METHOD_PROLOGUE;
    const HRESULT hr = pThis->SaveToStream(pStm);
    if (SUCCEEDED(hr) && fClearDirty) pThis->m_bModified = FALSE;
    return hr;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XPersistStreamInit::GetSizeMax(ULARGE_INTEGER* pCbSize) try {
    METHOD_PROLOGUE;
    if (!pCbSize) return E_POINTER;
    CCountPropExchange px;
    const HRESULT hr = pThis->ExchangeWith(&px, E_FAIL);
    if (FAILED(hr)) return hr;
    pCbSize->QuadPart = PX_StreamSize(px.m_count);
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XPersistStreamInit::InitNew() try {
    METHOD_PROLOGUE;
    pThis->OnResetState();
    pThis->m_bModified = FALSE;
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XPersistPropertyBag::GetClassID(CLSID* pClassID) try {
    METHOD_PROLOGUE;
    return pThis->m_xPersistStreamInit.GetClassID(pClassID);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XPersistPropertyBag::InitNew() try {
    METHOD_PROLOGUE;
    return pThis->m_xPersistStreamInit.InitNew();
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XPersistPropertyBag::Load(IPropertyBag* pPropBag, IErrorLog* pErrorLog) try {
    METHOD_PROLOGUE;
    if (!pPropBag) return E_POINTER;
    CPropBagPropExchange px(pPropBag, pErrorLog, TRUE);
    const HRESULT hr = pThis->ExchangeWith(&px, E_FAIL);
    if (FAILED(hr)) {
        pThis->OnResetState();
        return hr;
    }
    pThis->m_bModified = FALSE;
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XPersistPropertyBag::Save(IPropertyBag* pPropBag, BOOL fClearDirty, BOOL) try {
    METHOD_PROLOGUE;
    if (!pPropBag) return E_POINTER;
    CPropBagPropExchange px(pPropBag, nullptr, FALSE);
    const HRESULT hr = pThis->ExchangeWith(&px, E_FAIL);
    if (FAILED(hr)) return hr;
    if (fClearDirty) pThis->m_bModified = FALSE;
    return S_OK;
}
AFX_CATCH_RETURN

namespace {
const wchar_t kContents[] = L"Contents";
}

STDMETHODIMP COleControl::XPersistStorage::GetClassID(CLSID* pClassID) try {
    METHOD_PROLOGUE;
    return pThis->m_xPersistStreamInit.GetClassID(pClassID);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XPersistStorage::IsDirty() try {
    METHOD_PROLOGUE;
    return pThis->m_xPersistStreamInit.IsDirty();
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XPersistStorage::InitNew(IStorage* pStg) try {
    METHOD_PROLOGUE;
    if (!pStg) return E_POINTER;
    return pThis->m_xPersistStreamInit.InitNew();
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XPersistStorage::Load(IStorage* pStg) try {
    METHOD_PROLOGUE;
    if (!pStg) return E_POINTER;
    com_ptr<IStream> stream;
    HRESULT hr = pStg->OpenStream(kContents, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.put());
    if (FAILED(hr)) return hr;
    return pThis->LoadFromStream(stream.get());
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XPersistStorage::Save(IStorage* pStgSave, BOOL) try {
    METHOD_PROLOGUE;
    if (!pStgSave) return E_POINTER;
    com_ptr<IStream> stream;
    HRESULT hr = pStgSave->CreateStream(kContents, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                        stream.put());
    if (FAILED(hr)) return hr;
    return pThis->SaveToStream(stream.get());
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XPersistStorage::SaveCompleted(IStorage*) try {
    METHOD_PROLOGUE;
    pThis->m_bModified = FALSE;
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XPersistStorage::HandsOffStorage() { return S_OK; }
