#include "olefactory.h"

#include "nothrow.h"
#include "olecontrol.h"

namespace {

LONG g_objectCount = 0;  // live objects of the module's classes
LONG g_serverLocks = 0;  // IClassFactory::LockServer(TRUE) not yet undone

// Decrements count unless it is already 0: an unbalanced release by a
// client must not make the module look unused while it is not.
LONG DecrementToZero(LONG& count) {
    for (;;) {
        const LONG old = InterlockedCompareExchange(&count, 0, 0);
        if (old <= 0) return 0;
        if (InterlockedCompareExchange(&count, old - 1, old) == old) return old - 1;
    }
}

COleObjectFactory*& FirstFactory() {
    static COleObjectFactory* first = nullptr;
    return first;
}

}  // namespace

void AfxOleLockApp() { InterlockedIncrement(&g_objectCount); }
void AfxOleUnlockApp() { DecrementToZero(g_objectCount); }

BOOL AfxOleCanExitApp() {
    if (InterlockedCompareExchange(&g_objectCount, 0, 0) != 0) return FALSE;
    if (InterlockedCompareExchange(&g_serverLocks, 0, 0) != 0) return FALSE;
    return !COleObjectFactory::AnyReferenced();
}

COleObjectFactory::COleObjectFactory(REFCLSID clsid, const CRuntimeClass* pRuntimeClass, BOOL bMultiInstance,
                                     LPCSTR lpszProgID)
    : m_clsid(clsid), m_pRuntimeClass(pRuntimeClass), m_bMultiInstance(bMultiInstance), m_lpszProgID(lpszProgID) {
    m_pNextFactory = FirstFactory();
    FirstFactory() = this;
}

COleObjectFactory::~COleObjectFactory() {
    for (COleObjectFactory** p = &FirstFactory(); *p; p = &(*p)->m_pNextFactory) {
        if (*p == this) {
            *p = m_pNextFactory;
            break;
        }
    }
}

BOOL COleObjectFactory::UpdateRegistry(BOOL) { return TRUE; }

BOOL COleObjectFactory::UpdateRegistryAll(BOOL bRegister) {
    for (COleObjectFactory* f = FirstFactory(); f; f = f->m_pNextFactory) {
        if (!f->UpdateRegistry(bRegister)) return FALSE;
    }
    return TRUE;
}

COleObjectFactory* COleObjectFactory::Find(REFCLSID clsid) {
    for (COleObjectFactory* f = FirstFactory(); f; f = f->m_pNextFactory) {
        if (IsEqualCLSID(f->m_clsid, clsid)) return f;
    }
    return nullptr;
}

HRESULT STDMETHODCALLTYPE COleObjectFactory::QueryInterface(REFIID iid, void** ppv) try {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}
AFX_CATCH_RETURN

BOOL COleObjectFactory::AnyReferenced() {
    for (COleObjectFactory* f = FirstFactory(); f; f = f->m_pNextFactory) {
        if (InterlockedCompareExchange(&f->m_dwRef, 0, 0) != 0) return TRUE;
    }
    return FALSE;
}

ULONG STDMETHODCALLTYPE COleObjectFactory::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_dwRef)); }

// A static object: the last release only lets the module go.
ULONG STDMETHODCALLTYPE COleObjectFactory::Release() { return static_cast<ULONG>(DecrementToZero(m_dwRef)); }

COleControl* COleObjectFactory::OnCreateObject() {
    return m_pRuntimeClass ? m_pRuntimeClass->CreateObject() : nullptr;
}

HRESULT STDMETHODCALLTYPE COleObjectFactory::CreateInstance(IUnknown* pUnkOuter, REFIID iid, void** ppv) try {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    COleControl* object = OnCreateObject();
    if (!object) return E_OUTOFMEMORY;
    // The new object holds one reference of its own, which this owner takes
    // over; the query adds the caller's and the owner drops ours on return,
    // which deletes the object when the query failed.
    com_ptr<IUnknown> owner;
    owner.attach(object->GetControllingUnknown());
    return object->ExternalQueryInterface(iid, ppv);
}
AFX_CATCH_RETURN

HRESULT STDMETHODCALLTYPE COleObjectFactory::LockServer(BOOL fLock) try {
    if (fLock)
        InterlockedIncrement(&g_serverLocks);
    else
        DecrementToZero(g_serverLocks);
    return S_OK;
}
AFX_CATCH_RETURN

HRESULT AfxDllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    COleObjectFactory* factory = COleObjectFactory::Find(rclsid);
    if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
    return factory->QueryInterface(riid, ppv);
}

HRESULT AfxDllCanUnloadNow() { return AfxOleCanExitApp() ? S_OK : S_FALSE; }
