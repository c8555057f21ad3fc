#include "ocxhelp.h"

#include "wtest.h"

namespace ocx {

// Written out, not taken from widl's output: every host that knows the
// control knows it by these, so a change in the IDL must fail the tests.
const CLSID kClsidValue = {0xE11D7042, 0x0CC6, 0x49E7, {0x96, 0xB8, 0xCA, 0xC4, 0xB5, 0xBA, 0xCE, 0xB1}};
const GUID kLibidValue = {0xB42E6C39, 0x22E8, 0x49EF, {0x89, 0x95, 0x52, 0xB2, 0x6D, 0x5A, 0x10, 0x30}};
const IID kDispIidValue = {0x5CF820CA, 0x7C80, 0x4EEF, {0xA3, 0x7F, 0x2E, 0xB2, 0x89, 0x20, 0x8B, 0x6F}};
const IID kEventsIidValue = {0xEF1F5666, 0xCEE2, 0x4962, {0x80, 0x04, 0xD3, 0xD8, 0x99, 0x4B, 0x9C, 0xC5}};
const CLSID& kClsid = kClsidValue;
const GUID& kLibid = kLibidValue;
const IID& kDispIid = kDispIidValue;
const IID& kEventsIid = kEventsIidValue;
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
