// Module state: which module's resources the class layer uses. Every export
// makes its own module's state current on entry and restores the caller's
// on every return, through the AFX_MANAGE_STATE guard.
#pragma once

#include <windows.h>

#include <string>

struct AFX_MODULE_STATE {
    HINSTANCE m_hCurrentInstanceHandle;
    HINSTANCE m_hCurrentResourceHandle;
};

// This module's own state (the module that holds this code).
AFX_MODULE_STATE* AfxGetStaticModuleState();
// The state current on this thread; this module's own when none was made current.
AFX_MODULE_STATE* AfxGetModuleState();
// Makes state current and returns the one it replaces.
AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* state);

HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

// A module's full path, wide and of any length: the folder it is installed
// in may be named in any script and nested past MAX_PATH. Empty on failure.
std::wstring AfxGetModulePathW(HINSTANCE hInstance);

// Guard: makes a state current for the lifetime of the object.
class AFX_MAINTAIN_STATE2 {
public:
    explicit AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* state) : m_pPrevious(AfxSetModuleState(state)) {}
    ~AFX_MAINTAIN_STATE2() { AfxSetModuleState(m_pPrevious); }
    AFX_MAINTAIN_STATE2(const AFX_MAINTAIN_STATE2&) = delete;
    AFX_MAINTAIN_STATE2& operator=(const AFX_MAINTAIN_STATE2&) = delete;

private:
    AFX_MODULE_STATE* m_pPrevious;
};

#define AFX_MANAGE_STATE(p) AFX_MAINTAIN_STATE2 _afxManageState(p)
