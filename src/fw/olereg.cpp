#include "olereg.h"

#include <cwchar>
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

// One unsigned number in a wsprintfW format ("%lu", "\\%lx", ...).
std::wstring Number(const wchar_t* format, unsigned long value) {
    wchar_t text[32];
    ::wsprintfW(text, format, value);
    return text;
}

// The key at path, opened for reading in this process's view or another;
// none when it cannot be opened.
unique_hkey OpenKey(const std::wstring& path, REGSAM view = 0) {
    unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS)
        key.release();  // nothing was opened
    return key;
}

// The key at path, created with the keys on the way and opened for writing;
// none when it cannot be.
unique_hkey CreateKey(const std::wstring& path) {
    unique_hkey key;
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS)
        key.release();  // nothing was created
    return key;
}

bool KeyExists(const std::wstring& path, REGSAM view = 0) { return static_cast<bool>(OpenKey(path, view)); }

// The other registry view of a 64-bit system: a 32-bit module's class
// registration lives in one view and a 64-bit module's in the other, while
// keys such as a ProgID are one key for both. On a 32-bit system the flag
// is ignored and names this process's own view.
#ifdef _WIN64
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif

// The names of path's sub-keys (none when missing).
std::vector<std::wstring> SubKeys(const std::wstring& path) {
    std::vector<std::wstring> names;
    const unique_hkey key = OpenKey(path);
    wchar_t name[256];
    for (DWORD i = 0; key; ++i) {
        DWORD size = ARRAYSIZE(name);
        if (::RegEnumKeyExW(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, size);
    }
    return names;
}

// The platform of this module's type library: its own bitness.
#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
constexpr wchar_t kPlatform[] = L"win64";
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
constexpr wchar_t kPlatform[] = L"win32";
#endif

bool IsLocaleName(const std::wstring& name) {
    wchar_t* end = nullptr;
    std::wcstoul(name.c_str(), &end, 16);
    return end != name.c_str() && *end == L'\0';
}

// Whether a platform other than this module's own is registered for the
// library version under any locale: the other bitness's module.
bool OtherPlatformRegistered(const std::wstring& versionKey) {
    for (const std::wstring& locale : SubKeys(versionKey)) {
        if (!IsLocaleName(locale)) continue;
        for (const std::wstring& platform : SubKeys(versionKey + L"\\" + locale))
            if (platform != kPlatform) return true;
    }
    return false;
}

// The default value of path, of any length; empty when missing or not a
// string.
std::wstring DefaultValue(const std::wstring& path) {
    const unique_hkey key = OpenKey(path);
    for (int tries = 0; key && tries < 4; ++tries) {  // the value may grow between the two calls
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
bool OwnedOrStale(const std::wstring& path) {
    std::wstring registered = DefaultValue(path);
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
void RemoveOwnInterfaces(const std::wstring& libraryFile, const std::wstring& libid) {
    com_ptr<ITypeLib> lib;
    if (libraryFile.empty() || FAILED(::LoadTypeLibEx(libraryFile.c_str(), REGKIND_NONE, lib.put())) || !lib) return;
    for (UINT i = 0, n = lib->GetTypeInfoCount(); i < n; ++i) {
        TYPEKIND kind;
        if (FAILED(lib->GetTypeInfoType(i, &kind)) || (kind != TKIND_DISPATCH && kind != TKIND_INTERFACE)) continue;
        com_ptr<ITypeInfo> info;
        TYPEATTR* attr = nullptr;
        if (FAILED(lib->GetTypeInfo(i, info.put())) || !info) continue;
        std::wstring iid;
        if (SUCCEEDED(info->GetTypeAttr(&attr)) && attr) {
            iid = AfxGuidToString(attr->guid);
            info->ReleaseTypeAttr(attr);
        }
        const std::wstring key = L"Interface\\" + iid;
        if (!iid.empty() && ::lstrcmpiW(DefaultValue(key + L"\\TypeLib").c_str(), libid.c_str()) == 0)
            AfxRegDeleteKey(key, true);
    }
}

}  // namespace

std::wstring AfxGuidToString(REFGUID guid) {
    wchar_t text[kGuidStringChars];
    return ::StringFromGUID2(guid, text, kGuidStringChars) == kGuidStringChars ? std::wstring(text) : std::wstring();
}

bool AfxRegCreateKey(const std::wstring& path) { return static_cast<bool>(CreateKey(path)); }

bool AfxRegSetString(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    const unique_hkey key = CreateKey(path);
    return key && ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool AfxRegDeleteKey(const std::wstring& path, bool tree) {
    if (path.empty()) return false;
    LONG rc = tree ? ::RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str()) : ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return false;
    rc = ::RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

BOOL AfxOleRegisterTypeLib(HINSTANCE hInstance, REFGUID tlid, LPCWSTR pszFileName, LPCWSTR pszHelpDir) {
    const std::wstring path = pszFileName ? std::wstring(pszFileName) : AfxGetModulePathW(hInstance);
    if (path.empty()) return FALSE;
    com_ptr<ITypeLib> lib;
    if (FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.put())) || !lib) return FALSE;
    BOOL result = FALSE;
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(lib->GetLibAttr(&attr)) && attr) {
        const bool same = IsEqualGUID(attr->guid, tlid) != 0;
        lib->ReleaseTLibAttr(attr);
        if (same) {
            std::wstring helpDir = pszHelpDir ? std::wstring(pszHelpDir) : std::wstring();
            result = SUCCEEDED(::RegisterTypeLib(lib.get(), const_cast<LPOLESTR>(path.c_str()),
                                                 pszHelpDir ? &helpDir[0] : nullptr));
        }
    }
    return result;
}

BOOL AfxOleUnregisterTypeLib(REFGUID tlid, WORD wVerMajor, WORD wVerMinor, LCID lcid) {
    const std::wstring id = AfxGuidToString(tlid);
    if (id.empty()) return FALSE;
    const std::wstring libKey = L"TypeLib\\" + id;
    const std::wstring versionKey = libKey + Number(L"\\%lx", wVerMajor) + Number(L".%lx", wVerMinor);
    if (!KeyExists(versionKey)) return TRUE;  // not registered: nothing to remove

    // A library is registered under its own locale, which need not be lcid:
    // every locale registered for this version goes, lcid first.
    std::vector<LCID> locales{lcid};
    for (const std::wstring& name : SubKeys(versionKey)) {
        const unsigned long value = std::wcstoul(name.c_str(), nullptr, 16);
        if (IsLocaleName(name) && value != lcid) locales.push_back(static_cast<LCID>(value));
    }
    auto localeKey = [&](LCID locale) { return versionKey + Number(L"\\%lx", locale); };
    // The library key is shared by the 32-bit and 64-bit registry views: only
    // this module's platform goes, and with it what the platform left of it.
    // While the other bitness's module stays registered, the interfaces go
    // from this view only.
    // Another copy of the module registered the library: it stays.
    for (LCID locale : locales)
        if (!OwnedOrStale(localeKey(locale) + L"\\" + kPlatform)) return TRUE;
    const bool otherStays = OtherPlatformRegistered(versionKey);
    bool ownGone = true;
    for (LCID locale : locales) {
        const std::wstring platformKey = localeKey(locale) + L"\\" + kPlatform;
        if (otherStays)
            RemoveOwnInterfaces(DefaultValue(platformKey), id);
        else
            ::UnRegisterTypeLib(tlid, wVerMajor, wVerMinor, locale, kSysKind);
        ownGone = AfxRegDeleteKey(platformKey, true) && ownGone;
        if (KeyExists(localeKey(locale)) && SubKeys(localeKey(locale)).empty()) AfxRegDeleteKey(localeKey(locale), true);
    }

    // Once no platform is registered under any locale, whatever is left of
    // this version (FLAGS, HELPDIR) goes too, and the library's key once no
    // version is left.
    for (const std::wstring& name : SubKeys(versionKey))
        if (IsLocaleName(name)) return ownGone ? TRUE : FALSE;  // another platform's locale
    if (!AfxRegDeleteKey(versionKey, true)) return FALSE;
    if (SubKeys(libKey).empty()) AfxRegDeleteKey(libKey, false);
    return ownGone && !KeyExists(versionKey) ? TRUE : FALSE;
}

BOOL AfxOleRegisterControlClass(HINSTANCE hInstance, REFCLSID clsid, LPCSTR pszProgID, UINT idTypeName,
                                UINT idBitmap, int nRegFlags, DWORD dwMiscStatus, REFGUID tlid, WORD wVerMajor,
                                WORD wVerMinor) {
    const std::wstring cls = AfxGuidToString(clsid), lib = AfxGuidToString(tlid);
    if (cls.empty() || lib.empty()) return FALSE;
    const std::wstring path = AfxGetModulePathW(hInstance);
    if (path.empty()) return FALSE;
    wchar_t typeName[256] = {};
    if (::LoadStringW(hInstance, idTypeName, typeName, ARRAYSIZE(typeName)) <= 0) return FALSE;

    const std::wstring key = L"CLSID\\" + cls;
    bool ok = AfxRegSetString(key, nullptr, typeName);
    ok = ok && AfxRegSetString(key + L"\\InprocServer32", nullptr, path);
    if (nRegFlags & afxRegApartmentThreading)
        ok = ok && AfxRegSetString(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    ok = ok && AfxRegCreateKey(key + L"\\Control");
    if (nRegFlags & afxRegInsertable) ok = ok && AfxRegCreateKey(key + L"\\Insertable");
    ok = ok && AfxRegSetString(key + L"\\ToolboxBitmap32", nullptr, path + Number(L", %lu", idBitmap));
    ok = ok && AfxRegSetString(key + L"\\MiscStatus", nullptr, L"0");
    ok = ok && AfxRegSetString(key + L"\\MiscStatus\\1", nullptr, Number(L"%lu", dwMiscStatus));
    ok = ok && AfxRegSetString(key + L"\\TypeLib", nullptr, lib);
    ok = ok && AfxRegSetString(key + L"\\Version", nullptr, Number(L"%lu", wVerMajor) + Number(L".%lu", wVerMinor));
    if (pszProgID && *pszProgID) {
        const std::wstring progId = Widen(pszProgID);
        ok = ok && AfxRegSetString(key + L"\\ProgID", nullptr, progId);
        ok = ok && AfxRegSetString(progId, nullptr, typeName);
        ok = ok && AfxRegSetString(progId + L"\\CLSID", nullptr, cls);
        if (nRegFlags & afxRegInsertable) ok = ok && AfxRegCreateKey(progId + L"\\Insertable");
    }
    return ok ? TRUE : FALSE;
}

BOOL AfxOleClassRegisteredHere(REFCLSID clsid) {
    const std::wstring cls = AfxGuidToString(clsid);
    return !cls.empty() && OwnedOrStale(L"CLSID\\" + cls + L"\\InprocServer32") ? TRUE : FALSE;
}

BOOL AfxOleUnregisterClass(REFCLSID clsid, LPCSTR pszProgID) {
    const std::wstring cls = AfxGuidToString(clsid);
    if (cls.empty()) return FALSE;
    const std::wstring key = L"CLSID\\" + cls;
    bool ok = AfxRegDeleteKey(key, true);
    // The ProgID key is shared by both views: it stays while the other
    // bitness's module still registers the class, and goes with the last.
    if (pszProgID && *pszProgID && !KeyExists(key, kOtherView)) ok = AfxRegDeleteKey(Widen(pszProgID), true) && ok;
    return ok ? TRUE : FALSE;
}
