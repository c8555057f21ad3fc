#include "olereg.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "comptr.h"
#include "handles.h"

namespace {

std::string ModulePath(HINSTANCE hInstance) {
    char path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameA(hInstance, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::string();
    return std::string(path, n);
}

std::wstring ModulePathW(HINSTANCE hInstance) {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(hInstance, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::wstring();
    return std::wstring(path, n);
}

std::wstring Widen(const char* text) {
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

// Sets a string value (name null: the default value) of key path under
// HKEY_CLASSES_ROOT, creating the keys on the way.
bool SetString(const std::string& path, const char* name, const std::string& value) {
    unique_hkey key;
    if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return ::RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool CreateKey(const std::string& path) {
    unique_hkey key;
    return ::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                             nullptr) == ERROR_SUCCESS;
}

// Deletes path under HKEY_CLASSES_ROOT with all its sub-keys; a key that
// does not exist counts as deleted.
bool DeleteTree(const std::string& path) {
    if (path.empty()) return false;
    LONG rc = ::RegDeleteTreeA(HKEY_CLASSES_ROOT, path.c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return false;
    rc = ::RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool KeyExists(const std::string& path) {
    unique_hkey key;
    return ::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

}  // namespace

BOOL AfxGuidToStringA(REFGUID guid, char (&text)[39]) {
    wchar_t wide[39] = {};
    if (::StringFromGUID2(guid, wide, 39) != 39) return FALSE;
    for (int i = 0; i < 39; ++i) text[i] = static_cast<char>(wide[i]);  // the form is plain ASCII
    return TRUE;
}

BOOL AfxOleRegisterTypeLib(HINSTANCE hInstance, REFGUID tlid, LPCSTR pszFileName, LPCSTR pszHelpDir) {
    const std::wstring path = pszFileName ? Widen(pszFileName) : ModulePathW(hInstance);
    if (path.empty()) return FALSE;
    com_ptr<ITypeLib> lib;
    if (FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.put())) || !lib) return FALSE;
    BOOL result = FALSE;
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(lib->GetLibAttr(&attr)) && attr) {
        const bool same = IsEqualGUID(attr->guid, tlid) != 0;
        lib->ReleaseTLibAttr(attr);
        if (same) {
            std::wstring helpDir = pszHelpDir ? Widen(pszHelpDir) : std::wstring();
            result = SUCCEEDED(::RegisterTypeLib(lib.get(), const_cast<LPOLESTR>(path.c_str()),
                                                 pszHelpDir ? &helpDir[0] : nullptr));
        }
    }
    return result;
}

BOOL AfxOleUnregisterTypeLib(REFGUID tlid, WORD wVerMajor, WORD wVerMinor, LCID lcid) {
    char id[39];
    if (!AfxGuidToStringA(tlid, id)) return FALSE;
    const std::string libKey = std::string("TypeLib\\") + id;
    char version[32];
    std::snprintf(version, sizeof version, "\\%x.%x", wVerMajor, wVerMinor);
    const std::string versionKey = libKey + version;
    if (!KeyExists(versionKey)) return TRUE;  // not registered: nothing to remove

    // A library is registered under its own locale, which need not be lcid:
    // every locale registered for this version goes, lcid first.
    std::vector<LCID> locales{lcid};
    {
        unique_hkey key;
        if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, versionKey.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
            char name[256];
            for (DWORD i = 0;; ++i) {
                DWORD size = sizeof name;
                if (::RegEnumKeyExA(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                    break;
                char* end = nullptr;
                const unsigned long value = std::strtoul(name, &end, 16);
                if (end != name && *end == '\0' && value != lcid) locales.push_back(static_cast<LCID>(value));
            }
        }
    }
    // RegisterTypeLib filed the library under the running code's kind.
#ifdef _WIN64
    const SYSKIND sysKind = SYS_WIN64;
#else
    const SYSKIND sysKind = SYS_WIN32;
#endif
    for (LCID locale : locales) ::UnRegisterTypeLib(tlid, wVerMajor, wVerMinor, locale, sysKind);

    // Whatever the platform left of this version (FLAGS, HELPDIR) goes too,
    // and the library's key once no version is left.
    if (!DeleteTree(versionKey)) return FALSE;
    unique_hkey key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, libKey.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
        DWORD subKeys = 0;
        const bool empty = ::RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                           subKeys == 0;
        key.reset();
        if (empty) ::RegDeleteKeyA(HKEY_CLASSES_ROOT, libKey.c_str());
    }
    return !KeyExists(versionKey);
}

BOOL AfxOleRegisterControlClass(HINSTANCE hInstance, REFCLSID clsid, LPCSTR pszProgID, UINT idTypeName,
                                UINT idBitmap, int nRegFlags, DWORD dwMiscStatus, REFGUID tlid, WORD wVerMajor,
                                WORD wVerMinor) {
    char cls[39], lib[39];
    if (!AfxGuidToStringA(clsid, cls) || !AfxGuidToStringA(tlid, lib)) return FALSE;
    const std::string path = ModulePath(hInstance);
    if (path.empty()) return FALSE;
    char typeName[256] = {};
    if (::LoadStringA(hInstance, idTypeName, typeName, sizeof typeName) <= 0) return FALSE;

    const std::string key = std::string("CLSID\\") + cls;
    char number[32];
    bool ok = SetString(key, nullptr, typeName);
    ok = ok && SetString(key + "\\InprocServer32", nullptr, path);
    if (nRegFlags & afxRegApartmentThreading) ok = ok && SetString(key + "\\InprocServer32", "ThreadingModel", "Apartment");
    ok = ok && CreateKey(key + "\\Control");
    if (nRegFlags & afxRegInsertable) ok = ok && CreateKey(key + "\\Insertable");
    std::snprintf(number, sizeof number, ", %u", idBitmap);
    ok = ok && SetString(key + "\\ToolboxBitmap32", nullptr, path + number);
    ok = ok && SetString(key + "\\MiscStatus", nullptr, "0");
    std::snprintf(number, sizeof number, "%lu", static_cast<unsigned long>(dwMiscStatus));
    ok = ok && SetString(key + "\\MiscStatus\\1", nullptr, number);
    ok = ok && SetString(key + "\\TypeLib", nullptr, lib);
    std::snprintf(number, sizeof number, "%u.%u", wVerMajor, wVerMinor);
    ok = ok && SetString(key + "\\Version", nullptr, number);
    if (pszProgID && *pszProgID) {
        ok = ok && SetString(key + "\\ProgID", nullptr, pszProgID);
        ok = ok && SetString(pszProgID, nullptr, typeName);
        ok = ok && SetString(std::string(pszProgID) + "\\CLSID", nullptr, cls);
        if (nRegFlags & afxRegInsertable) ok = ok && CreateKey(std::string(pszProgID) + "\\Insertable");
    }
    return ok ? TRUE : FALSE;
}

BOOL AfxOleUnregisterClass(REFCLSID clsid, LPCSTR pszProgID) {
    char cls[39];
    if (!AfxGuidToStringA(clsid, cls)) return FALSE;
    bool ok = DeleteTree(std::string("CLSID\\") + cls);
    if (pszProgID && *pszProgID) ok = DeleteTree(pszProgID) && ok;
    return ok ? TRUE : FALSE;
}
