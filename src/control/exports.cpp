// The module's exported entry points. Each makes the module's own state
// current on entry and restores the caller's on every return.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include "briselctrl.h"
#include "fw/afxstate.h"
#include "fw/olefactory.h"
#include "fw/olemodule.h"
#include "fw/nothrow.h"
#include "fw/olereg.h"

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(hInstance);
        return AfxCallNoThrowOr(FALSE, [&] { return AfxModuleAttach(hInstance); });
    case DLL_PROCESS_DETACH:
        // At process exit (reserved set) there is nothing worth tidying.
        if (!reserved) AfxCallNoThrowOr(0, [] { AfxModuleDetach(); return 0; });
        return TRUE;
    default:
        return TRUE;
    }
}

STDAPI DllCanUnloadNow() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return AfxCallNoThrow([] { return AfxDllCanUnloadNow(); });
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return AfxCallNoThrow([&] { return AfxDllGetClassObject(rclsid, riid, ppv); });
}

namespace {
// Removes this module's registration, all of it even where a part fails;
// the first failure is the result.
HRESULT Unregister() {
    const bool typeLib = AfxOleUnregisterTypeLib(LIBID_BriselLib, _wVerMajor, _wVerMinor, 0) != FALSE;
    const bool classes = COleObjectFactory::UpdateRegistryAll(FALSE) != FALSE;
    return !typeLib ? SELFREG_E_TYPELIB : !classes ? SELFREG_E_CLASS : S_OK;
}
}  // namespace

// A class registration that fails half-way takes back what the call wrote
// (the type library, the class's entries so far), so that no half-registered
// control is left for a host to find.
STDAPI DllRegisterServer() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return AfxCallNoThrow([] {
        if (!AfxOleRegisterTypeLib(AfxGetInstanceHandle(), LIBID_BriselLib)) return SELFREG_E_TYPELIB;
        if (!COleObjectFactory::UpdateRegistryAll(TRUE)) {
            Unregister();
            return SELFREG_E_CLASS;
        }
        return S_OK;
    });
}

STDAPI DllUnregisterServer() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return AfxCallNoThrow([] { return Unregister(); });
}
