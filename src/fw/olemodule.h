// COleControlModule: the application object of a control module. One static
// instance per module; the module's entry point runs InitInstance when the
// module is loaded and ExitInstance when it is unloaded.
#pragma once

#include <windows.h>

class COleControlModule {
public:
    explicit COleControlModule(const char* pszAppName = nullptr);
    virtual ~COleControlModule();
    COleControlModule(const COleControlModule&) = delete;
    COleControlModule& operator=(const COleControlModule&) = delete;

    // FALSE makes the load fail.
    virtual BOOL InitInstance();
    // Releases what the class layer set up for the module (its window class).
    virtual int ExitInstance();

    const char* m_pszAppName;
};

// The module's application object, or null.
COleControlModule* AfxGetApp();

// Called by the module's DllMain: start-up (InitInstance; on FALSE also
// ExitInstance, and the load fails) and shut-down (ExitInstance).
BOOL AfxModuleAttach(HINSTANCE hInstance);
void AfxModuleDetach();
