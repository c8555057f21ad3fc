#include "olereg.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "afxstate.h"
#include "comptr.h"
#include "handles.h"

namespace {

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

// The same for a value that may hold any character (the module's path).
bool SetStringW(const std::string& path, const std::wstring& value) {
    unique_hkey key;
    if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
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

bool KeyExists(const std::string& path, REGSAM view = 0) {
    unique_hkey key;
    return ::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

// The other registry view of a 64-bit system: a 32-bit module's class
// registration lives in one view and a 64-bit module's in the other, while
// keys such as a ProgID are one key for both. On a 32-bit system the flag
// is ignored and names this process's own view.
#ifdef _WIN64
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif

// The names of path's sub-keys under HKEY_CLASSES_ROOT (none when missing).
std::vector<std::string> SubKeys(const std::string& path) {
    std::vector<std::string> names;
    unique_hkey key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (::RegEnumKeyExA(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, size);
    }
    return names;
}

// The platform of this module's type library: its own bitness.
#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
constexpr char kPlatform[] = "win64";
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
constexpr char kPlatform[] = "win32";
#endif

bool IsLocaleName(const std::string& name) {
    char* end = nullptr;
    std::strtoul(name.c_str(), &end, 16);
    return end != name.c_str() && *end == '\0';
}

// Whether a platform other than this module's own is registered for the
// library version under any locale: the other bitness's module.
bool OtherPlatformRegistered(const std::string& versionKey) {
    for (const std::string& locale : SubKeys(versionKey)) {
        if (!IsLocaleName(locale)) continue;
        for (const std::string& platform : SubKeys(versionKey + "\\" + locale))
            if (platform != kPlatform) return true;
    }
    return false;
}

// The default value of path under HKEY_CLASSES_ROOT, of any length; empty
// when missing or not a string.
std::wstring DefaultValueW(const std::string& path) {
    unique_hkey key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return {};
    for (int tries = 0; tries < 4; ++tries) {  // the value may grow between the two calls
        DWORD size = 0, type = 0;
        if (::RegQueryValueExW(key.get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
            return {};
        std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        const LONG rc = ::RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(&value[0]), &got);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS || type != REG_SZ) return {};
        value.resize(got / sizeof(wchar_t));
        while (!value.empty() && value.back() == L'\0') value.pop_back();
        return value;
    }
    return {};
}

// Whether two paths name one file: the same spelling, or the same file on
// the same volume (a short name, another case, a link).
bool SameFile(const std::wstring& a, const std::wstring& b) {
    if (::lstrcmpiW(a.c_str(), b.c_str()) == 0) return true;
    auto identity = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
        unique_file file(AsOwnedFile(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
        return file && ::GetFileInformationByHandle(file.get(), &info);
    };
    BY_HANDLE_FILE_INFORMATION x, y;
    return identity(a, x) && identity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

bool FileGone(const std::wstring& path) {
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

// Whether this module may remove an entry whose default value at path names
// a module file: nothing is registered there, or it names this module's
// file, or a file that is no longer there (a stale entry). Another copy's
// registration is not this module's to remove.
bool OwnedOrStale(const std::string& path) {
    std::wstring registered = DefaultValueW(path);
    if (registered.size() >= 2 && registered.front() == L'"' && registered.back() == L'"')
        registered = registered.substr(1, registered.size() - 2);
    if (registered.empty()) return true;
    const std::wstring own = AfxGetModulePathW(AfxGetInstanceHandle());
    return (!own.empty() && SameFile(registered, own)) || FileGone(registered);
}

// Removes the Interface keys of the library's interfaces from this
// process's own registry view, those that still name the library. The
// platform's UnRegisterTypeLib removes them from both views of a 64-bit
// system, which would take them from the other bitness's module as well.
void RemoveOwnInterfaces(const std::wstring& libraryFile, const char* libid) {
    com_ptr<ITypeLib> lib;
    if (libraryFile.empty() || FAILED(::LoadTypeLibEx(libraryFile.c_str(), REGKIND_NONE, lib.put())) || !lib) return;
    const std::wstring wideLibid = Widen(libid);
    for (UINT i = 0, n = lib->GetTypeInfoCount(); i < n; ++i) {
        TYPEKIND kind;
        if (FAILED(lib->GetTypeInfoType(i, &kind)) || (kind != TKIND_DISPATCH && kind != TKIND_INTERFACE)) continue;
        com_ptr<ITypeInfo> info;
        TYPEATTR* attr = nullptr;
        if (FAILED(lib->GetTypeInfo(i, info.put())) || !info) continue;
        char iid[39] = {};
        if (SUCCEEDED(info->GetTypeAttr(&attr)) && attr) {
            AfxGuidToStringA(attr->guid, iid);
            info->ReleaseTypeAttr(attr);
        }
        const std::string key = std::string("Interface\\") + iid;
        if (iid[0] && ::lstrcmpiW(DefaultValueW(key + "\\TypeLib").c_str(), wideLibid.c_str()) == 0) DeleteTree(key);
    }
}


}  // namespace

BOOL AfxGuidToStringA(REFGUID guid, char (&text)[39]) {
    wchar_t wide[39] = {};
    if (::StringFromGUID2(guid, wide, 39) != 39) return FALSE;
    for (int i = 0; i < 39; ++i) text[i] = static_cast<char>(wide[i]);  // the form is plain ASCII
    return TRUE;
}

BOOL AfxOleRegisterTypeLib(HINSTANCE hInstance, REFGUID tlid, LPCSTR pszFileName, LPCSTR pszHelpDir) {
    const std::wstring path = pszFileName ? Widen(pszFileName) : AfxGetModulePathW(hInstance);
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
    for (const std::string& name : SubKeys(versionKey)) {
        const unsigned long value = std::strtoul(name.c_str(), nullptr, 16);
        if (IsLocaleName(name) && value != lcid) locales.push_back(static_cast<LCID>(value));
    }
    // The library key is shared by the 32-bit and 64-bit registry views: only
    // this module's platform goes, and with it what the platform left of it.
    // While the other bitness's module stays registered, the interfaces go
    // from this view only.
    // Another copy of the module registered the library: it stays.
    for (LCID locale : locales) {
        char sub[32];
        std::snprintf(sub, sizeof sub, "\\%lx\\", static_cast<unsigned long>(locale));
        if (!OwnedOrStale(versionKey + sub + kPlatform)) return TRUE;
    }
    const bool otherStays = OtherPlatformRegistered(versionKey);
    bool ownGone = true;
    for (LCID locale : locales) {
        char sub[32];
        std::snprintf(sub, sizeof sub, "\\%lx", static_cast<unsigned long>(locale));
        const std::string platformKey = versionKey + sub + "\\" + kPlatform;
        if (otherStays)
            RemoveOwnInterfaces(DefaultValueW(platformKey), id);
        else
            ::UnRegisterTypeLib(tlid, wVerMajor, wVerMinor, locale, kSysKind);
        ownGone = DeleteTree(platformKey) && ownGone;
        if (KeyExists(versionKey + sub) && SubKeys(versionKey + sub).empty()) DeleteTree(versionKey + sub);
    }

    // Once no platform is registered under any locale, whatever is left of
    // this version (FLAGS, HELPDIR) goes too, and the library's key once no
    // version is left.
    for (const std::string& name : SubKeys(versionKey))
        if (IsLocaleName(name)) return ownGone ? TRUE : FALSE;  // another platform's locale
    if (!DeleteTree(versionKey)) return FALSE;
    if (SubKeys(libKey).empty()) ::RegDeleteKeyA(HKEY_CLASSES_ROOT, libKey.c_str());
    return ownGone && !KeyExists(versionKey) ? TRUE : FALSE;
}

BOOL AfxOleRegisterControlClass(HINSTANCE hInstance, REFCLSID clsid, LPCSTR pszProgID, UINT idTypeName,
                                UINT idBitmap, int nRegFlags, DWORD dwMiscStatus, REFGUID tlid, WORD wVerMajor,
                                WORD wVerMinor) {
    char cls[39], lib[39];
    if (!AfxGuidToStringA(clsid, cls) || !AfxGuidToStringA(tlid, lib)) return FALSE;
    const std::wstring path = AfxGetModulePathW(hInstance);
    if (path.empty()) return FALSE;
    char typeName[256] = {};
    if (::LoadStringA(hInstance, idTypeName, typeName, sizeof typeName) <= 0) return FALSE;

    const std::string key = std::string("CLSID\\") + cls;
    char number[32];
    bool ok = SetString(key, nullptr, typeName);
    ok = ok && SetStringW(key + "\\InprocServer32", path);
    if (nRegFlags & afxRegApartmentThreading) ok = ok && SetString(key + "\\InprocServer32", "ThreadingModel", "Apartment");
    ok = ok && CreateKey(key + "\\Control");
    if (nRegFlags & afxRegInsertable) ok = ok && CreateKey(key + "\\Insertable");
    ok = ok && SetStringW(key + "\\ToolboxBitmap32", path + L", " + std::to_wstring(idBitmap));
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

BOOL AfxOleClassRegisteredHere(REFCLSID clsid) {
    char cls[39];
    if (!AfxGuidToStringA(clsid, cls)) return FALSE;
    return OwnedOrStale(std::string("CLSID\\") + cls + "\\InprocServer32") ? TRUE : FALSE;
}

BOOL AfxOleUnregisterClass(REFCLSID clsid, LPCSTR pszProgID) {
    char cls[39];
    if (!AfxGuidToStringA(clsid, cls)) return FALSE;
    const std::string key = std::string("CLSID\\") + cls;
    bool ok = DeleteTree(key);
    // The ProgID key is shared by both views: it stays while the other
    // bitness's module still registers the class, and goes with the last.
    if (pszProgID && *pszProgID && !KeyExists(key, kOtherView)) ok = DeleteTree(pszProgID) && ok;
    return ok ? TRUE : FALSE;
}
