#include "ocxhelp.h"

#include <sddl.h>

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

bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string DefaultValue(const std::string& path) {
    char value[512] = {};
    LONG size = sizeof value;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, path.c_str(), value, &size) != ERROR_SUCCESS) return "<missing>";
    return value;
}

bool DenyWrites(const std::string& path) {
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key) != ERROR_SUCCESS) return false;
    PSECURITY_DESCRIPTOR sd = nullptr;
    // Everyone: no KEY_SET_VALUE / KEY_CREATE_SUB_KEY, everything else allowed.
    bool done = ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;0x0006;;;WD)(A;;KA;;;WD)",
                                                                     SDDL_REVISION_1, &sd, nullptr) &&
                RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    if (sd) LocalFree(sd);
    RegCloseKey(key);
    return done;
}

void DeleteKey(const std::string& path) {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, path.c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str());
}

void init() {
    CoInitialize(nullptr);
    Module module;
    ok(module.Register() == S_OK, "register");
}

void done() {
    Module module;
    ok(module.Unregister() == S_OK, "unregister");
}

namespace {
Closer* g_closer = nullptr;

BOOL CALLBACK CollectText(HWND child, LPARAM lParam) {
    char text[256] = {};
    GetWindowTextA(child, text, sizeof text);
    if (text[0]) reinterpret_cast<std::vector<std::string>*>(lParam)->push_back(text);
    return TRUE;
}
}  // namespace

Closer::Closer(std::string caption, UINT message, WPARAM wParam, LPARAM lParam)
    : m_caption(std::move(caption)), m_message(message), m_wParam(wParam), m_lParam(lParam) {
    g_closer = this;
    m_timer = SetTimer(nullptr, 0, 50, &Closer::Tick);
}

Closer::~Closer() {
    KillTimer(nullptr, m_timer);
    if (g_closer == this) g_closer = nullptr;
}

void CALLBACK Closer::Tick(HWND, UINT, UINT_PTR, DWORD) {
    Closer* self = g_closer;
    if (!self) return;
    HWND hwnd = FindWindowA(nullptr, self->m_caption.c_str());
    if (!hwnd || !IsWindowVisible(hwnd) || GetWindowThreadProcessId(hwnd, nullptr) != GetCurrentThreadId()) return;
    if (GetPropA(hwnd, "ocx.closing")) return;  // already asked
    SetPropA(hwnd, "ocx.closing", reinterpret_cast<HANDLE>(1));
    if (self->texts.empty()) EnumChildWindows(hwnd, CollectText, reinterpret_cast<LPARAM>(&self->texts));
    if (self->onFound) self->onFound(hwnd);
    ++self->closed;
    PostMessageA(hwnd, self->m_message, self->m_wParam, self->m_lParam);
}

}  // namespace ocx
