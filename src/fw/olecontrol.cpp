#include "olecontrol.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "afxstate.h"

// Every entry of an interface part runs with the module's own state current
// and works on its object.
#define METHOD_PROLOGUE                \
    COleControl* pThis = m_pThis;      \
    (void)pThis;                       \
    AFX_MANAGE_STATE(AfxGetStaticModuleState())

namespace {

const char kWindowClass[] = "FwOleControl";
// The class layer's standard name of the Properties verb.
const wchar_t kPropertiesVerb[] = L"&Properties...";

// Keeps an object alive across a call that may make its container release it.
class KeepAlive {
public:
    explicit KeepAlive(COleControl* p) : m_p(p) { m_p->ExternalAddRef(); }
    ~KeepAlive() { m_p->ExternalRelease(); }
    KeepAlive(const KeepAlive&) = delete;
    KeepAlive& operator=(const KeepAlive&) = delete;

private:
    COleControl* m_p;
};

LPOLESTR CoTaskStrDup(const wchar_t* text) {
    const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (copy) std::memcpy(copy, text, bytes);
    return copy;
}

std::wstring ModulePathW() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(AfxGetInstanceHandle(), path, MAX_PATH);
    return (n == 0 || n >= MAX_PATH) ? std::wstring() : std::wstring(path, n);
}

// 100 x 50 pixels at 96 dots per inch, in HIMETRIC.
constexpr LONG kDefaultExtentX = 2646;
constexpr LONG kDefaultExtentY = 1323;

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

// A heap object with its own reference count that keeps the module loaded.
template <class I>
class CModuleObject : public I {
public:
    CModuleObject(REFIID iid) : m_iid(iid) { AfxOleLockApp(); }
    virtual ~CModuleObject() { AfxOleUnlockApp(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, m_iid)) {
            *ppv = static_cast<I*>(this);
            this->AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_ref)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG ref = InterlockedDecrement(&m_ref);
        if (ref == 0) delete this;
        return static_cast<ULONG>(ref);
    }

private:
    LONG m_ref = 1;
    const IID& m_iid;
};

// The control's verbs: only Properties, shown on the container's menu.
class CEnumVerbs : public CModuleObject<IEnumOLEVERB> {
public:
    explicit CEnumVerbs(ULONG position = 0) : CModuleObject(IID_IEnumOLEVERB), m_pos(position) {}
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, OLEVERB* rgelt, ULONG* pceltFetched) override {
        if (!rgelt || (celt != 1 && !pceltFetched)) return E_POINTER;
        ULONG fetched = 0;
        while (fetched < celt && m_pos < kCount) {
            OLEVERB& verb = rgelt[fetched];
            verb.lVerb = OLEIVERB_PROPERTIES;
            verb.lpszVerbName = CoTaskStrDup(kPropertiesVerb);
            if (!verb.lpszVerbName) break;
            verb.fuFlags = MF_STRING | MF_ENABLED;
            verb.grfAttribs = OLEVERBATTRIB_ONCONTAINERMENU;
            ++fetched;
            ++m_pos;
        }
        if (pceltFetched) *pceltFetched = fetched;
        return fetched == celt ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        const ULONG left = kCount - m_pos;
        m_pos += celt < left ? celt : left;
        return celt <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        m_pos = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumOLEVERB** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        *ppEnum = new (std::nothrow) CEnumVerbs(m_pos);
        return *ppEnum ? S_OK : E_OUTOFMEMORY;
    }

private:
    static constexpr ULONG kCount = 1;
    ULONG m_pos;
};

// The connection points of a control (one counted reference each).
class CEnumConnPts : public CModuleObject<IEnumConnectionPoints> {
public:
    explicit CEnumConnPts(std::vector<IConnectionPoint*> points, ULONG position = 0)
        : CModuleObject(IID_IEnumConnectionPoints), m_points(std::move(points)), m_pos(position) {
        for (IConnectionPoint* p : m_points) p->AddRef();
    }
    ~CEnumConnPts() override {
        for (IConnectionPoint* p : m_points) p->Release();
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, IConnectionPoint** ppCP, ULONG* pcFetched) override {
        if (!ppCP || (celt != 1 && !pcFetched)) return E_POINTER;
        ULONG fetched = 0;
        while (fetched < celt && m_pos < m_points.size()) {
            ppCP[fetched] = m_points[m_pos++];
            ppCP[fetched++]->AddRef();
        }
        if (pcFetched) *pcFetched = fetched;
        return fetched == celt ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        const ULONG left = static_cast<ULONG>(m_points.size()) - m_pos;
        m_pos += celt < left ? celt : left;
        return celt <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        m_pos = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        *ppEnum = new (std::nothrow) CEnumConnPts(m_points, m_pos);
        return *ppEnum ? S_OK : E_OUTOFMEMORY;
    }

private:
    std::vector<IConnectionPoint*> m_points;
    ULONG m_pos;
};

}  // namespace

// ---------------------------------------------------------------------------
// Type library cache

void CTypeLibCache::Lock() { ++m_cRef; }

void CTypeLibCache::Unlock() {
    if (m_cRef > 0 && --m_cRef == 0) m_pTypeLib.reset();
}

BOOL CTypeLibCache::Lookup(LCID lcid, ITypeLib** ppTypeLib) {
    if (!m_pTypeLib || m_lcid != lcid) return FALSE;
    *ppTypeLib = m_pTypeLib.get();
    m_pTypeLib->AddRef();
    return TRUE;
}

void CTypeLibCache::Cache(LCID lcid, ITypeLib* pTypeLib) {
    if (m_cRef == 0 || !pTypeLib) return;  // nobody would release it
    pTypeLib->AddRef();
    m_pTypeLib.attach(pTypeLib);
    m_lcid = lcid;
}

CTypeLibCache* AfxGetTypeLibCache(const GUID* pTypeLibID) {
    // Never destroyed: a library still cached when the process ends is left
    // to the process's end rather than released into an unloaded oleaut32.
    static std::vector<CTypeLibCache*>* caches = new std::vector<CTypeLibCache*>;
    if (!pTypeLibID) return nullptr;
    for (CTypeLibCache* cache : *caches) {
        if (IsEqualGUID(cache->GetLibID(), *pTypeLibID)) return cache;
    }
    caches->push_back(new CTypeLibCache(*pTypeLibID));
    return caches->back();
}

// ---------------------------------------------------------------------------
// Object

COleControl::COleControl() {
    m_extent.cx = kDefaultExtentX;
    m_extent.cy = kDefaultExtentY;
    AfxOleLockApp();
}

COleControl::~COleControl() {
    InPlaceDeactivate();
    for (auto& sink : m_eventSinks) sink.second->Release();
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
    if (pClientSite) pClientSite->AddRef();
    m_pClientSite.attach(pClientSite);
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
    delete this;
}

HRESULT COleControl::ExternalQueryInterface(REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IUnknown* p = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleObject))
        p = &m_xOleObject;
    else if (IsEqualIID(iid, IID_IDispatch) || (m_piidPrimary && IsEqualIID(iid, *m_piidPrimary)))
        p = &m_xDispatch;
    else if (IsEqualIID(iid, IID_IOleControl))
        p = &m_xOleControl;
    else if (IsEqualIID(iid, IID_IOleInPlaceObject) || IsEqualIID(iid, IID_IOleWindow))
        p = &m_xOleInPlaceObject;
    else if (IsEqualIID(iid, IID_IOleInPlaceActiveObject))
        p = &m_xOleInPlaceActiveObject;
    else if (IsEqualIID(iid, IID_IViewObject) || IsEqualIID(iid, IID_IViewObject2))
        p = &m_xViewObject;
    else if (IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2))
        p = &m_xProvideClassInfo;
    else if (IsEqualIID(iid, IID_IConnectionPointContainer))
        p = &m_xConnPtContainer;
    // IPersistStreamInit begins with IPersistStream's entries.
    else if (IsEqualIID(iid, IID_IPersistStreamInit) || IsEqualIID(iid, IID_IPersistStream) ||
             IsEqualIID(iid, IID_IPersist))
        p = &m_xPersistStreamInit;
    else if (IsEqualIID(iid, IID_IPersistPropertyBag))
        p = &m_xPersistPropertyBag;
    else if (IsEqualIID(iid, IID_IPersistStorage))
        p = &m_xPersistStorage;
    if (!p) return E_NOINTERFACE;
    ExternalAddRef();
    *ppv = p;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Type information

HRESULT COleControl::GetTypeLib(LCID, LPTYPELIB* ppTypeLib) {
    if (ppTypeLib) *ppTypeLib = nullptr;
    return TYPE_E_CANTLOADLIBRARY;
}

HRESULT COleControl::GetTypeInfoOfGuid(LCID lcid, REFGUID guid, ITypeInfo** ppTypeInfo) {
    if (!ppTypeInfo) return E_POINTER;
    *ppTypeInfo = nullptr;
    CTypeLibCache* cache = GetTypeLibCache();
    if (cache && !m_pLockedCache) {
        cache->Lock();
        m_pLockedCache = cache;
    }
    com_ptr<ITypeLib> lib;
    if (!cache || !cache->Lookup(lcid, lib.put())) {
        HRESULT hr = GetTypeLib(lcid, lib.put());
        if (FAILED(hr) || !lib) {
            // Not registered: the library that the module carries.
            const std::wstring path = ModulePathW();
            if (path.empty() || FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.put())) || !lib)
                return FAILED(hr) ? hr : TYPE_E_CANTLOADLIBRARY;
        }
        if (cache) cache->Cache(lcid, lib.get());
    }
    return lib->GetTypeInfoOfGuid(guid, ppTypeInfo);
}

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
// Verbs and in-place activation

LRESULT CALLBACK AfxControlWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        if (auto* control = static_cast<COleControl*>(create->lpCreateParams)) control->AttachPermanent(hwnd);
    }
    // Only controls are registered for windows of this class.
    auto* control = static_cast<COleControl*>(CWnd::FromHandlePermanent(hwnd));
    if (control) {
        switch (message) {
        case WM_PAINT:
            control->OnPaint();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the picture covers the window
        case WM_LBUTTONDOWN:
            if (!control->m_bUIActive) {
                KeepAlive alive(control);
                control->InPlaceActivate(TRUE);
            }
            break;
        case WM_NCDESTROY:
            control->DetachPermanent();
            control->m_hWnd = nullptr;
            break;
        default:
            break;
        }
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
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
                                        pos.top, pos.right - pos.left, pos.bottom - pos.top, parent, nullptr,
                                        instance, this);
            if (!hwnd) hr = E_FAIL;
        }
        if (FAILED(hr)) {
            site->OnInPlaceDeactivate();
            return hr;
        }
        m_rcPos = pos;
        m_bInPlaceActive = TRUE;
        m_pInPlaceSite.attach(site.get());
        site.get()->AddRef();
        if (frame) {
            frame->AddRef();
            m_pInPlaceFrame.attach(frame.get());
        }
        if (doc) {
            doc->AddRef();
            m_pInPlaceDoc.attach(doc.get());
        }
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
    DetachPermanent();
    m_hWnd = nullptr;
    m_pInPlaceDoc.reset();
    m_pInPlaceFrame.reset();
    com_ptr<IOleInPlaceSite> site;
    site.attach(m_pInPlaceSite.get());
    if (site) site->AddRef();
    m_pInPlaceSite.reset();
    if (site) site->OnInPlaceDeactivate();
    return S_OK;
}

HRESULT COleControl::SetObjectRects(LPCRECT lprcPosRect, LPCRECT) {
    if (!lprcPosRect) return E_INVALIDARG;
    m_rcPos = *lprcPosRect;
    if (m_hWnd)
        MoveWindow(m_hWnd, m_rcPos.left, m_rcPos.top, m_rcPos.right - m_rcPos.left, m_rcPos.bottom - m_rcPos.top,
                   TRUE);
    return S_OK;
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

HRESULT COleControl::Invoke(DISPID dispid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                            UINT* puArgErr) {
    const AFX_DISPMAP_ENTRY* entry = GetDispatchMap();
    while (entry && entry->lpszName && entry->dispid != dispid) ++entry;
    if (!entry || !entry->lpszName) return DISP_E_MEMBERNOTFOUND;
    // Methods take no arguments and give no result; a call spelled as a
    // property read (VB's "x = obj.Method") is a call too.
    if (!(wFlags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
    if (!pDispParams) return E_INVALIDARG;
    if (pDispParams->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (pDispParams->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (pVarResult) VariantInit(pVarResult);
    KeepAlive alive(this);
    (this->*(entry->pfn))();
    return S_OK;
}

// ---------------------------------------------------------------------------
// IOleObject

STDMETHODIMP COleControl::XOleObject::SetClientSite(IOleClientSite* pClientSite) {
    METHOD_PROLOGUE;
    pThis->SetClientSite(pClientSite);
    return S_OK;
}

STDMETHODIMP COleControl::XOleObject::GetClientSite(IOleClientSite** ppClientSite) {
    METHOD_PROLOGUE;
    if (!ppClientSite) return E_POINTER;
    *ppClientSite = pThis->m_pClientSite.get();
    if (*ppClientSite) (*ppClientSite)->AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::XOleObject::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP COleControl::XOleObject::Close(DWORD dwSaveOption) {
    METHOD_PROLOGUE;
    KeepAlive alive(pThis);
    if ((dwSaveOption == OLECLOSE_SAVEIFDIRTY || dwSaveOption == OLECLOSE_PROMPTSAVE) && pThis->m_bModified &&
        pThis->m_pClientSite)
        pThis->m_pClientSite->SaveObject();
    pThis->InPlaceDeactivate();
    if (pThis->m_pOleAdviseHolder) pThis->m_pOleAdviseHolder->SendOnClose();
    return S_OK;
}

STDMETHODIMP COleControl::XOleObject::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

STDMETHODIMP COleControl::XOleObject::GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) {
    METHOD_PROLOGUE;
    if (!ppmk) return E_POINTER;
    *ppmk = nullptr;
    if (!pThis->m_pClientSite) return E_UNEXPECTED;
    return pThis->m_pClientSite->GetMoniker(dwAssign, dwWhichMoniker, ppmk);
}

STDMETHODIMP COleControl::XOleObject::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

STDMETHODIMP COleControl::XOleObject::GetClipboardData(DWORD, IDataObject** ppDataObject) {
    if (ppDataObject) *ppDataObject = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::XOleObject::DoVerb(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, LONG,
                                             HWND hwndParent, LPCRECT lprcPosRect) {
    METHOD_PROLOGUE;
    KeepAlive alive(pThis);
    return pThis->DoVerb(iVerb, lpmsg, pActiveSite, hwndParent, lprcPosRect);
}

STDMETHODIMP COleControl::XOleObject::EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) {
    if (!ppEnumOleVerb) return E_POINTER;
    *ppEnumOleVerb = new (std::nothrow) CEnumVerbs();
    return *ppEnumOleVerb ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP COleControl::XOleObject::Update() { return S_OK; }
STDMETHODIMP COleControl::XOleObject::IsUpToDate() { return S_OK; }

STDMETHODIMP COleControl::XOleObject::GetUserClassID(CLSID* pClsid) {
    METHOD_PROLOGUE;
    if (!pClsid) return E_POINTER;
    return pThis->GetClassID(pClsid);
}

STDMETHODIMP COleControl::XOleObject::GetUserType(DWORD, LPOLESTR* pszUserType) {
    METHOD_PROLOGUE;
    return pThis->GetUserTypeName(pszUserType);
}

STDMETHODIMP COleControl::XOleObject::SetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
    METHOD_PROLOGUE;
    if (!psizel) return E_INVALIDARG;
    if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (psizel->cx != pThis->m_extent.cx || psizel->cy != pThis->m_extent.cy) {
        pThis->m_extent = *psizel;
        pThis->SetModifiedFlag();
    }
    return S_OK;
}

STDMETHODIMP COleControl::XOleObject::GetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
    METHOD_PROLOGUE;
    if (!psizel) return E_INVALIDARG;
    if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *psizel = pThis->m_extent;
    return S_OK;
}

STDMETHODIMP COleControl::XOleObject::Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) {
    METHOD_PROLOGUE;
    if (!pdwConnection) return E_POINTER;
    *pdwConnection = 0;
    if (!pThis->m_pOleAdviseHolder) {
        HRESULT hr = CreateOleAdviseHolder(pThis->m_pOleAdviseHolder.put());
        if (FAILED(hr)) return hr;
    }
    return pThis->m_pOleAdviseHolder->Advise(pAdvSink, pdwConnection);
}

STDMETHODIMP COleControl::XOleObject::Unadvise(DWORD dwConnection) {
    METHOD_PROLOGUE;
    if (!pThis->m_pOleAdviseHolder) return OLE_E_NOCONNECTION;
    return pThis->m_pOleAdviseHolder->Unadvise(dwConnection);
}

STDMETHODIMP COleControl::XOleObject::EnumAdvise(IEnumSTATDATA** ppenumAdvise) {
    METHOD_PROLOGUE;
    if (!ppenumAdvise) return E_POINTER;
    *ppenumAdvise = nullptr;
    if (!pThis->m_pOleAdviseHolder) return S_OK;
    return pThis->m_pOleAdviseHolder->EnumAdvise(ppenumAdvise);
}

STDMETHODIMP COleControl::XOleObject::GetMiscStatus(DWORD, DWORD* pdwStatus) {
    METHOD_PROLOGUE;
    if (!pdwStatus) return E_POINTER;
    *pdwStatus = pThis->GetMiscStatus();
    return S_OK;
}

STDMETHODIMP COleControl::XOleObject::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---------------------------------------------------------------------------
// IDispatch

STDMETHODIMP COleControl::XDispatch::GetTypeInfoCount(UINT* pctinfo) {
    METHOD_PROLOGUE;
    if (!pctinfo) return E_POINTER;
    *pctinfo = pThis->GetTypeInfoCount();
    return S_OK;
}

STDMETHODIMP COleControl::XDispatch::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) {
    METHOD_PROLOGUE;
    if (!ppTInfo) return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0 || pThis->GetTypeInfoCount() == 0 || !pThis->m_piidPrimary) return DISP_E_BADINDEX;
    return pThis->GetTypeInfoOfGuid(lcid, *pThis->m_piidPrimary, ppTInfo);
}

STDMETHODIMP COleControl::XDispatch::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                                   DISPID* rgDispId) {
    METHOD_PROLOGUE;
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!rgszNames || !rgDispId) return E_POINTER;
    if (cNames == 0) return E_INVALIDARG;
    HRESULT hr = S_OK;
    rgDispId[0] = DISPID_UNKNOWN;
    const AFX_DISPMAP_ENTRY* entry = pThis->GetDispatchMap();
    for (; entry && entry->lpszName; ++entry) {
        if (rgszNames[0] && lstrcmpiW(entry->lpszName, rgszNames[0]) == 0) {
            rgDispId[0] = entry->dispid;
            break;
        }
    }
    if (rgDispId[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    // The methods have no parameters, so no parameter name is known.
    for (UINT i = 1; i < cNames; ++i) {
        rgDispId[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

STDMETHODIMP COleControl::XDispatch::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                            DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
                                            UINT* puArgErr) {
    METHOD_PROLOGUE;
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return pThis->Invoke(dispIdMember, wFlags, pDispParams, pVarResult, puArgErr);
}

// ---------------------------------------------------------------------------
// IOleControl

STDMETHODIMP COleControl::XOleControl::GetControlInfo(CONTROLINFO* pCI) {
    if (!pCI) return E_POINTER;
    pCI->cb = sizeof *pCI;
    pCI->hAccel = nullptr;
    pCI->cAccel = 0;
    pCI->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP COleControl::XOleControl::OnMnemonic(MSG*) { return S_OK; }
STDMETHODIMP COleControl::XOleControl::OnAmbientPropertyChange(DISPID) { return S_OK; }

STDMETHODIMP COleControl::XOleControl::FreezeEvents(BOOL bFreeze) {
    METHOD_PROLOGUE;
    if (bFreeze)
        ++pThis->m_nFreezeEvents;
    else if (pThis->m_nFreezeEvents > 0)
        --pThis->m_nFreezeEvents;
    return S_OK;
}

// ---------------------------------------------------------------------------
// IOleInPlaceObject, IOleInPlaceActiveObject

STDMETHODIMP COleControl::XOleInPlaceObject::GetWindow(HWND* phwnd) {
    METHOD_PROLOGUE;
    if (!phwnd) return E_POINTER;
    *phwnd = pThis->m_hWnd;
    return pThis->m_hWnd ? S_OK : E_FAIL;
}

STDMETHODIMP COleControl::XOleInPlaceObject::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP COleControl::XOleInPlaceObject::InPlaceDeactivate() {
    METHOD_PROLOGUE;
    KeepAlive alive(pThis);
    return pThis->InPlaceDeactivate();
}

STDMETHODIMP COleControl::XOleInPlaceObject::UIDeactivate() {
    METHOD_PROLOGUE;
    KeepAlive alive(pThis);
    return pThis->UIDeactivate();
}

STDMETHODIMP COleControl::XOleInPlaceObject::SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) {
    METHOD_PROLOGUE;
    return pThis->SetObjectRects(lprcPosRect, lprcClipRect);
}

STDMETHODIMP COleControl::XOleInPlaceObject::ReactivateAndUndo() { return E_NOTIMPL; }

STDMETHODIMP COleControl::XOleInPlaceActiveObject::GetWindow(HWND* phwnd) {
    METHOD_PROLOGUE;
    return pThis->m_xOleInPlaceObject.GetWindow(phwnd);
}

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
                                            ULONG_PTR) {
    METHOD_PROLOGUE;
    if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!hdcDraw || !lprcBounds) return E_INVALIDARG;
    const RECT bounds = {lprcBounds->left, lprcBounds->top, lprcBounds->right, lprcBounds->bottom};
    pThis->OnDraw(hdcDraw, bounds, bounds);
    return S_OK;
}

STDMETHODIMP COleControl::XViewObject::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                                   LOGPALETTE** ppColorSet) {
    if (ppColorSet) *ppColorSet = nullptr;
    return S_FALSE;  // no particular colours
}

STDMETHODIMP COleControl::XViewObject::Freeze(DWORD, LONG, void*, DWORD* pdwFreeze) {
    if (pdwFreeze) *pdwFreeze = 0;
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::XViewObject::Unfreeze(DWORD) { return E_NOTIMPL; }

STDMETHODIMP COleControl::XViewObject::SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) {
    METHOD_PROLOGUE;
    if (pAdvSink) pAdvSink->AddRef();
    pThis->m_pViewAdviseSink.attach(pAdvSink);
    pThis->m_dwViewAdviseAspects = aspects;
    pThis->m_dwViewAdviseFlags = advf;
    return S_OK;
}

STDMETHODIMP COleControl::XViewObject::GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) {
    METHOD_PROLOGUE;
    if (pAspects) *pAspects = pThis->m_dwViewAdviseAspects;
    if (pAdvf) *pAdvf = pThis->m_dwViewAdviseFlags;
    if (ppAdvSink) {
        *ppAdvSink = pThis->m_pViewAdviseSink.get();
        if (*ppAdvSink) (*ppAdvSink)->AddRef();
    }
    return S_OK;
}

STDMETHODIMP COleControl::XViewObject::GetExtent(DWORD dwDrawAspect, LONG, DVTARGETDEVICE*, LPSIZEL lpsizel) {
    METHOD_PROLOGUE;
    return pThis->m_xOleObject.GetExtent(dwDrawAspect, lpsizel);
}

// ---------------------------------------------------------------------------
// IProvideClassInfo2

STDMETHODIMP COleControl::XProvideClassInfo::GetClassInfo(ITypeInfo** ppTI) {
    METHOD_PROLOGUE;
    if (!ppTI) return E_POINTER;
    *ppTI = nullptr;
    CLSID clsid;
    HRESULT hr = pThis->GetClassID(&clsid);
    if (FAILED(hr)) return hr;
    return pThis->GetTypeInfoOfGuid(GetUserDefaultLCID(), clsid, ppTI);
}

STDMETHODIMP COleControl::XProvideClassInfo::GetGUID(DWORD dwGuidKind, GUID* pGUID) {
    METHOD_PROLOGUE;
    if (!pGUID) return E_POINTER;
    if (dwGuidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID || !pThis->m_piidEvents) {
        *pGUID = GUID_NULL;
        return E_INVALIDARG;
    }
    *pGUID = *pThis->m_piidEvents;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Connection points: the event source

STDMETHODIMP COleControl::XConnPtContainer::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    METHOD_PROLOGUE;
    if (!ppEnum) return E_POINTER;
    std::vector<IConnectionPoint*> points;
    if (pThis->m_piidEvents) points.push_back(&pThis->m_xEventConnPt);
    *ppEnum = new (std::nothrow) CEnumConnPts(points);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP COleControl::XConnPtContainer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    METHOD_PROLOGUE;
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    if (!pThis->m_piidEvents || !IsEqualIID(riid, *pThis->m_piidEvents)) return CONNECT_E_NOCONNECTION;
    *ppCP = &pThis->m_xEventConnPt;
    (*ppCP)->AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::XEventConnPt::GetConnectionInterface(IID* pIID) {
    METHOD_PROLOGUE;
    if (!pIID) return E_POINTER;
    if (!pThis->m_piidEvents) return E_UNEXPECTED;
    *pIID = *pThis->m_piidEvents;
    return S_OK;
}

STDMETHODIMP COleControl::XEventConnPt::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    METHOD_PROLOGUE;
    if (!ppCPC) return E_POINTER;
    *ppCPC = &pThis->m_xConnPtContainer;
    (*ppCPC)->AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::XEventConnPt::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    METHOD_PROLOGUE;
    if (!pdwCookie) return E_POINTER;
    *pdwCookie = 0;
    if (!pUnkSink) return E_POINTER;
    void* sink = nullptr;
    if (!pThis->m_piidEvents ||
        (pUnkSink->QueryInterface(*pThis->m_piidEvents, &sink) != S_OK &&
         pUnkSink->QueryInterface(IID_IDispatch, &sink) != S_OK) ||
        !sink)
        return CONNECT_E_CANNOTCONNECT;
    const DWORD cookie = pThis->m_dwNextCookie++;
    pThis->m_eventSinks[cookie] = static_cast<IUnknown*>(sink);
    *pdwCookie = cookie;
    return S_OK;
}

STDMETHODIMP COleControl::XEventConnPt::Unadvise(DWORD dwCookie) {
    METHOD_PROLOGUE;
    auto it = pThis->m_eventSinks.find(dwCookie);
    if (it == pThis->m_eventSinks.end()) return CONNECT_E_NOCONNECTION;
    IUnknown* sink = it->second;
    pThis->m_eventSinks.erase(it);
    sink->Release();
    return S_OK;
}

STDMETHODIMP COleControl::XEventConnPt::EnumConnections(IEnumConnections** ppEnum) {
    if (ppEnum) *ppEnum = nullptr;
    return E_NOTIMPL;
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
