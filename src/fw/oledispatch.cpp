// COleControl: IDispatch from the dispatch map, type information through the
// type-library cache, and IProvideClassInfo2.
#include "olecontrol_impl.h"

using namespace olecontrol_detail;

// ---------------------------------------------------------------------------
// Type library cache

// Objects of every apartment share a cache: the count changes atomically,
// the library is read and replaced under the lock, and a library that goes
// is released after the lock is left.

namespace {
class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&m_lock); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& m_lock;
};
}  // namespace

void CTypeLibCache::Lock() { InterlockedIncrement(&m_cRef); }

void CTypeLibCache::Unlock() {
    com_ptr<ITypeLib> released;
    ExclusiveLock lock(m_lock);
    for (;;) {
        const LONG old = InterlockedCompareExchange(&m_cRef, 0, 0);
        if (old <= 0) return;  // unbalanced: never below zero
        if (InterlockedCompareExchange(&m_cRef, old - 1, old) != old) continue;
        if (old == 1) released = std::move(m_pTypeLib);
        return;
    }
}

BOOL CTypeLibCache::Lookup(LCID lcid, ITypeLib** ppTypeLib) {
    ExclusiveLock lock(m_lock);
    if (!m_pTypeLib || m_lcid != lcid) return FALSE;
    m_pTypeLib.copy_to(ppTypeLib);
    return TRUE;
}

void CTypeLibCache::Cache(LCID lcid, ITypeLib* pTypeLib) {
    com_ptr<ITypeLib> replaced;
    ExclusiveLock lock(m_lock);
    if (InterlockedCompareExchange(&m_cRef, 0, 0) == 0 || !pTypeLib) return;  // nobody would release it
    replaced = std::move(m_pTypeLib);
    m_pTypeLib.reset(pTypeLib);
    m_lcid = lcid;
}

CTypeLibCache* AfxGetTypeLibCache(const GUID* pTypeLibID) {
    // Never destroyed: a library still cached when the process ends is left
    // to the process's end rather than released into an unloaded oleaut32.
    static std::vector<CTypeLibCache*>* caches = new std::vector<CTypeLibCache*>;
    static SRWLOCK cachesLock = SRWLOCK_INIT;
    if (!pTypeLibID) return nullptr;
    ExclusiveLock lock(cachesLock);
    for (CTypeLibCache* cache : *caches) {
        if (IsEqualGUID(cache->GetLibID(), *pTypeLibID)) return cache;
    }
    std::unique_ptr<CTypeLibCache> cache(new CTypeLibCache(*pTypeLibID));
    caches->push_back(cache.get());
    return cache.release();
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
    // The cache and the module's path allocate.
    return AfxCallNoThrow([&] { return LookUpTypeInfo(lcid, guid, ppTypeInfo); });
}

HRESULT COleControl::LookUpTypeInfo(LCID lcid, REFGUID guid, ITypeInfo** ppTypeInfo) {
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
            const std::wstring path = AfxGetModulePathW(AfxGetInstanceHandle());
            if (path.empty() || FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.put())) || !lib)
                return FAILED(hr) ? hr : TYPE_E_CANTLOADLIBRARY;
        }
        if (cache) cache->Cache(lcid, lib.get());
    }
    return lib->GetTypeInfoOfGuid(guid, ppTypeInfo);
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
    return AfxCallNoThrow([&] {
        (this->*(entry->pfn))();
        return S_OK;
    });
}

// ---------------------------------------------------------------------------
// IDispatch

STDMETHODIMP COleControl::XDispatch::GetTypeInfoCount(UINT* pctinfo) try {
    METHOD_PROLOGUE;
    if (!pctinfo) return E_POINTER;
    *pctinfo = pThis->GetTypeInfoCount();
    return S_OK;
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XDispatch::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) try {
    METHOD_PROLOGUE;
    if (!ppTInfo) return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0 || pThis->GetTypeInfoCount() == 0 || !pThis->m_piidPrimary) return DISP_E_BADINDEX;
    return pThis->GetTypeInfoOfGuid(lcid, *pThis->m_piidPrimary, ppTInfo);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XDispatch::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                                   DISPID* rgDispId) try {
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
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XDispatch::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                            DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
                                            UINT* puArgErr) try {
    METHOD_PROLOGUE;
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return pThis->Invoke(dispIdMember, wFlags, pDispParams, pVarResult, puArgErr);
}
AFX_CATCH_RETURN

// ---------------------------------------------------------------------------
// IProvideClassInfo2

STDMETHODIMP COleControl::XProvideClassInfo::GetClassInfo(ITypeInfo** ppTI) try {
    METHOD_PROLOGUE;
    if (!ppTI) return E_POINTER;
    *ppTI = nullptr;
    CLSID clsid;
    HRESULT hr = pThis->GetClassID(&clsid);
    if (FAILED(hr)) return hr;
    return pThis->GetTypeInfoOfGuid(GetUserDefaultLCID(), clsid, ppTI);
}
AFX_CATCH_RETURN

STDMETHODIMP COleControl::XProvideClassInfo::GetGUID(DWORD dwGuidKind, GUID* pGUID) try {
    METHOD_PROLOGUE;
    if (!pGUID) return E_POINTER;
    if (dwGuidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID || !pThis->m_piidEvents) {
        *pGUID = GUID_NULL;
        return E_INVALIDARG;
    }
    *pGUID = *pThis->m_piidEvents;
    return S_OK;
}
AFX_CATCH_RETURN

