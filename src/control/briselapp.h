// The module's application object and the control's class factory, both
// static objects built when the module loads.
#pragma once

#include "fw/olefactory.h"
#include "fw/olemodule.h"

class CBriselApp : public COleControlModule {
public:
    CBriselApp() = default;
    BOOL InitInstance() override;
    int ExitInstance() override;
};

// Creates CBriselCtrl objects (one factory, many instances in the process)
// and writes the control's registry entries: the Node key first, then the
// class entries; removes them in the same order.
class CBriselCtrlFactory : public COleObjectFactory {
public:
    CBriselCtrlFactory();
    BOOL UpdateRegistry(BOOL bRegister) override;
};

extern CBriselApp theApp;
extern CBriselCtrlFactory g_briselCtrlFactory;
