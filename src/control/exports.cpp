// The module's exported entry points.
#include <windows.h>
#include <ole2.h>

#include "fw/afxstate.h"

STDAPI DllCanUnloadNow() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID, REFIID, LPVOID* ppv) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    if (ppv) *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllRegisterServer() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return S_OK;
}

STDAPI DllUnregisterServer() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return S_OK;
}
