#include "olemodule.h"

#include "afxstate.h"
#include "olecontrol.h"

namespace {
COleControlModule* g_app = nullptr;
}

COleControlModule::COleControlModule(const char* pszAppName) : m_pszAppName(pszAppName) { g_app = this; }

COleControlModule::~COleControlModule() {
    if (g_app == this) g_app = nullptr;
}

BOOL COleControlModule::InitInstance() { return TRUE; }

int COleControlModule::ExitInstance() {
    COleControl::UnregisterWindowClass();
    return 0;
}

COleControlModule* AfxGetApp() { return g_app; }

BOOL AfxModuleAttach(HINSTANCE) {
    COleControlModule* app = AfxGetApp();
    if (!app) return TRUE;
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    if (app->InitInstance()) return TRUE;
    app->ExitInstance();
    return FALSE;
}

void AfxModuleDetach() {
    COleControlModule* app = AfxGetApp();
    if (!app) return;
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    app->ExitInstance();
}
