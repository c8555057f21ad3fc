#include "briselapp.h"

#include "briselctrl.h"
#include "fw/afxstate.h"
#include "fw/olereg.h"
#include "nodereg.h"
#include "res/resource.h"

CBriselApp theApp;
CBriselCtrlFactory g_briselCtrlFactory;

BOOL CBriselApp::InitInstance() { return COleControlModule::InitInstance(); }

int CBriselApp::ExitInstance() { return COleControlModule::ExitInstance(); }

CBriselCtrlFactory::CBriselCtrlFactory()
    : COleObjectFactory(CLSID_BriselCtrl, RUNTIME_CLASS(CBriselCtrl), FALSE, kBriselProgID) {}

BOOL CBriselCtrlFactory::UpdateRegistry(BOOL bRegister) {
    if (bRegister) {
        RegisterNodeKey(m_clsid);  // the discovery key is auxiliary: its failure is not reported
        return AfxOleRegisterControlClass(AfxGetInstanceHandle(), m_clsid, m_lpszProgID, IDS_BRISEL, IDB_BRISEL,
                                          afxRegApartmentThreading, kBriselOleMisc, LIBID_BriselLib, _wVerMajor,
                                          _wVerMinor);
    }
    // Another copy of the module registered elsewhere keeps its registration.
    if (!AfxOleClassRegisteredHere(m_clsid)) return TRUE;
    UnregisterNodeKey(m_clsid);
    return AfxOleUnregisterClass(m_clsid, m_lpszProgID);
}
