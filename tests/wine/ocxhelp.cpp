#include "ocxhelp.h"

#include "wtest.h"

namespace ocx {

const CLSID kClsid = {0xe11d7042, 0x0cc6, 0x49e7, {0x96, 0xb8, 0xca, 0xc4, 0xb5, 0xba, 0xce, 0xb1}};
const GUID kLibid = {0xb42e6c39, 0x22e8, 0x49ef, {0x89, 0x95, 0x52, 0xb2, 0x6d, 0x5a, 0x10, 0x30}};
const IID kDispIid = {0x5cf820ca, 0x7c80, 0x4eef, {0xa3, 0x7f, 0x2e, 0xb2, 0x89, 0x20, 0x8b, 0x6f}};
const IID kEventsIid = {0xef1f5666, 0xcee2, 0x4962, {0x80, 0x04, 0xd3, 0xd8, 0x99, 0x4b, 0x9c, 0xc5}};
const char kProgId[] = "Brisel.BriselCtrl.1";
const char kClsKey[] = "CLSID\\{E11D7042-0CC6-49E7-96B8-CAC4B5BACEB1}";

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
