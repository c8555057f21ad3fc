// COleObjectFactory: the class factories of the module's COM classes. Each
// factory is a static object that joins the module's list when it is
// constructed; DllGetClassObject finds it there by its class ID. The module
// may unload only while no object, no server lock and no reference to a
// factory is outstanding.
#pragma once

#include <ole2.h>

class COleControl;

// What a factory needs to create its class: the run-time class name and a
// function that allocates a new object on the heap.
struct CRuntimeClass {
    const char* m_lpszClassName;
    COleControl* (*m_pfnCreateObject)();
    COleControl* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
};

#define DECLARE_DYNCREATE(class_name)                   \
public:                                                 \
    static const CRuntimeClass class##class_name;       \
    static COleControl* CreateObject();                 \
    const CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNCREATE(class_name)                                                              \
    const CRuntimeClass class_name::class##class_name = {#class_name, &class_name::CreateObject};   \
    COleControl* class_name::CreateObject() { return new class_name; }                             \
    const CRuntimeClass* class_name::GetRuntimeClass() const { return &class##class_name; }

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

// Module-wide count of live objects: each object locks the module while it
// exists.
void AfxOleLockApp();
void AfxOleUnlockApp();
// TRUE when no object, no server lock and no factory reference is
// outstanding, so the module may unload.
BOOL AfxOleCanExitApp();

class COleObjectFactory : public IClassFactory {
public:
    COleObjectFactory(REFCLSID clsid, const CRuntimeClass* pRuntimeClass, BOOL bMultiInstance, LPCSTR lpszProgID);
    virtual ~COleObjectFactory();
    COleObjectFactory(const COleObjectFactory&) = delete;
    COleObjectFactory& operator=(const COleObjectFactory&) = delete;

    REFCLSID GetClassID() const { return m_clsid; }
    LPCSTR GetProgID() const { return m_lpszProgID; }

    // Writes (TRUE) or removes (FALSE) the class's registry entries. The base
    // registers nothing and succeeds; a factory whose class needs entries
    // overrides it.
    virtual BOOL UpdateRegistry(BOOL bRegister);
    // UpdateRegistry of every factory of the module; FALSE if any failed.
    static BOOL UpdateRegistryAll(BOOL bRegister);

    // The module's factory for clsid, or null.
    static COleObjectFactory* Find(REFCLSID clsid);
    // TRUE while a client holds a reference to any of the module's factories.
    static BOOL AnyReferenced();

    // IClassFactory. References to a factory keep the module loaded.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID iid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

protected:
    // A new object of the factory's class; null when it cannot be made.
    virtual COleControl* OnCreateObject();

    const CLSID m_clsid;
    const CRuntimeClass* m_pRuntimeClass;
    BOOL m_bMultiInstance;  // kept for the class's description; in-process classes ignore it
    LPCSTR m_lpszProgID;

private:
    LONG m_dwRef = 0;
    COleObjectFactory* m_pNextFactory = nullptr;
};

// What DllGetClassObject and DllCanUnloadNow return.
HRESULT AfxDllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
HRESULT AfxDllCanUnloadNow();
