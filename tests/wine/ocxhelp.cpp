#include "ocxhelp.h"

#include "brisel_h.h"

#include "wtest.h"

namespace ocx {

const CLSID& kClsid = CLSID_Brisel;
const GUID& kLibid = LIBID_BriselLib;
const IID& kDispIid = DIID__DBrisel;
const IID& kEventsIid = DIID__DBriselEvents;
const char kProgId[] = "Brisel.BriselCtrl.1";

std::string GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return std::string(text, text + lstrlenW(text));  // ASCII
}

std::string ClsKey() { return "CLSID\\" + GuidText(kClsid); }

std::string Path() {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path(exe);
    for (int up = 0; up < 3; ++up) path.erase(path.find_last_of('\\'));
    return path + "\\Brisel.ocx";
}

Module::Module() : m_h(LoadLibraryA(Path().c_str())) {}
Module::Module(const std::wstring& path) : m_h(LoadLibraryW(path.c_str())) {}
Module::~Module() {
    if (m_h) FreeLibrary(m_h);
}

namespace {
HRESULT CallExport(HMODULE h, const char* name) {
    if (!h) return E_HANDLE;
    auto fn = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(h, name)));
    return fn ? fn() : E_NOTIMPL;
}
}  // namespace

HRESULT Module::Register() { return CallExport(m_h, "DllRegisterServer"); }
HRESULT Module::Unregister() { return CallExport(m_h, "DllUnregisterServer"); }
HRESULT Module::CanUnloadNow() { return CallExport(m_h, "DllCanUnloadNow"); }

HRESULT LoadedCanUnloadNow() { return CallExport(GetModuleHandleA("Brisel.ocx"), "DllCanUnloadNow"); }

void init() {
    CoInitialize(nullptr);
    Module module;
    ok(module.Register() == S_OK, "register");
}

void done() {
    Module module;
    ok(module.Unregister() == S_OK, "unregister");
}

}  // namespace ocx
