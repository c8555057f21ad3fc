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
}

void COleControl::OnResetState() {
    CResetPropExchange px;
    DoPropExchange(&px);
}

BOOL COleControl::ExchangeWith(CPropExchange* pPX) {
    DoPropExchange(pPX);
    return !pPX->Failed();
}

HRESULT COleControl::LoadFromStream(IStream* pStream) {
    if (!pStream) return E_POINTER;
    CStreamPropExchange px(pStream, TRUE);
    if (!ExchangeWith(&px)) {
        // Bad or short data: the control starts afresh rather than half loaded.
        OnResetState();
        return E_FAIL;
    }
    m_bModified = FALSE;
    if (m_hWnd) InvalidateRect(m_hWnd, nullptr, FALSE);
    return S_OK;
}

HRESULT COleControl::SaveToStream(IStream* pStream) {
    if (!pStream) return E_POINTER;
    CStreamPropExchange px(pStream, FALSE);
    return ExchangeWith(&px) ? S_OK : STG_E_WRITEFAULT;
}

// ---------------------------------------------------------------------------
// Persistence interfaces

STDMETHODIMP COleControl::XPersistStreamInit::GetClassID(CLSID* pClassID) {
    METHOD_PROLOGUE;
    if (!pClassID) return E_POINTER;
    return pThis->GetClassID(pClassID);
}

STDMETHODIMP COleControl::XPersistStreamInit::IsDirty() {
    METHOD_PROLOGUE;
    return pThis->m_bModified ? S_OK : S_FALSE;
}

STDMETHODIMP COleControl::XPersistStreamInit::Load(LPSTREAM pStm) {
    METHOD_PROLOGUE;
    return pThis->LoadFromStream(pStm);
}

STDMETHODIMP COleControl::XPersistStreamInit::Save(LPSTREAM pStm, BOOL fClearDirty) {
    METHOD_PROLOGUE;
    const HRESULT hr = pThis->SaveToStream(pStm);
    if (SUCCEEDED(hr) && fClearDirty) pThis->m_bModified = FALSE;
    return hr;
}

STDMETHODIMP COleControl::XPersistStreamInit::GetSizeMax(ULARGE_INTEGER* pCbSize) {
    METHOD_PROLOGUE;
    if (!pCbSize) return E_POINTER;
    CCountPropExchange px;
    pThis->DoPropExchange(&px);
    pCbSize->QuadPart = PX_StreamSize(px.m_count);
    return S_OK;
}

STDMETHODIMP COleControl::XPersistStreamInit::InitNew() {
    METHOD_PROLOGUE;
    pThis->OnResetState();
    pThis->m_bModified = FALSE;
    return S_OK;
}

STDMETHODIMP COleControl::XPersistPropertyBag::GetClassID(CLSID* pClassID) {
    METHOD_PROLOGUE;
    return pThis->m_xPersistStreamInit.GetClassID(pClassID);
}

STDMETHODIMP COleControl::XPersistPropertyBag::InitNew() {
    METHOD_PROLOGUE;
    return pThis->m_xPersistStreamInit.InitNew();
}

STDMETHODIMP COleControl::XPersistPropertyBag::Load(IPropertyBag* pPropBag, IErrorLog* pErrorLog) {
    METHOD_PROLOGUE;
    if (!pPropBag) return E_POINTER;
    CPropBagPropExchange px(pPropBag, pErrorLog, TRUE);
    if (!pThis->ExchangeWith(&px)) {
        pThis->OnResetState();
        return E_FAIL;
    }
    pThis->m_bModified = FALSE;
    return S_OK;
}

STDMETHODIMP COleControl::XPersistPropertyBag::Save(IPropertyBag* pPropBag, BOOL fClearDirty, BOOL) {
    METHOD_PROLOGUE;
    if (!pPropBag) return E_POINTER;
    CPropBagPropExchange px(pPropBag, nullptr, FALSE);
    if (!pThis->ExchangeWith(&px)) return E_FAIL;
    if (fClearDirty) pThis->m_bModified = FALSE;
    return S_OK;
}

namespace {
const wchar_t kContents[] = L"Contents";
}

STDMETHODIMP COleControl::XPersistStorage::GetClassID(CLSID* pClassID) {
    METHOD_PROLOGUE;
    return pThis->m_xPersistStreamInit.GetClassID(pClassID);
}

STDMETHODIMP COleControl::XPersistStorage::IsDirty() {
    METHOD_PROLOGUE;
    return pThis->m_xPersistStreamInit.IsDirty();
}

STDMETHODIMP COleControl::XPersistStorage::InitNew(IStorage* pStg) {
    METHOD_PROLOGUE;
    if (!pStg) return E_POINTER;
    return pThis->m_xPersistStreamInit.InitNew();
}

STDMETHODIMP COleControl::XPersistStorage::Load(IStorage* pStg) {
    METHOD_PROLOGUE;
    if (!pStg) return E_POINTER;
    com_ptr<IStream> stream;
    HRESULT hr = pStg->OpenStream(kContents, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.put());
    if (FAILED(hr)) return hr;
    return pThis->LoadFromStream(stream.get());
}

STDMETHODIMP COleControl::XPersistStorage::Save(IStorage* pStgSave, BOOL) {
    METHOD_PROLOGUE;
    if (!pStgSave) return E_POINTER;
    com_ptr<IStream> stream;
    HRESULT hr = pStgSave->CreateStream(kContents, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                        stream.put());
    if (FAILED(hr)) return hr;
    return pThis->SaveToStream(stream.get());
}

STDMETHODIMP COleControl::XPersistStorage::SaveCompleted(IStorage*) {
    METHOD_PROLOGUE;
    pThis->m_bModified = FALSE;
    return S_OK;
}

STDMETHODIMP COleControl::XPersistStorage::HandsOffStorage() { return S_OK; }
