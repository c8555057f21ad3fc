#include "afxstate.h"

namespace {

HINSTANCE ThisModule() {
    static const char anchor = 0;
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       &anchor, &module);
    return module;
}

thread_local AFX_MODULE_STATE* t_current = nullptr;

}  // namespace

AFX_MODULE_STATE* AfxGetStaticModuleState() {
    static AFX_MODULE_STATE state = {ThisModule(), ThisModule()};
    return &state;
}

AFX_MODULE_STATE* AfxGetModuleState() {
    return t_current ? t_current : AfxGetStaticModuleState();
}

AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* state) {
    AFX_MODULE_STATE* previous = t_current;
    t_current = state;
    return previous;
}

HINSTANCE AfxGetInstanceHandle() { return AfxGetModuleState()->m_hCurrentInstanceHandle; }
HINSTANCE AfxGetResourceHandle() { return AfxGetModuleState()->m_hCurrentResourceHandle; }

std::wstring AfxGetModulePathW(HINSTANCE hInstance) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(hInstance, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) return path.substr(0, n);
        if (path.size() >= 32768) return std::wstring();  // longer than any path
        path.resize(path.size() * 2);
    }
}
