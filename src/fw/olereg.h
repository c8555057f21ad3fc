// Registration of type libraries and control classes under
// HKEY_CLASSES_ROOT, with the platform's standard entries for an in-process
// control. Each returns TRUE on success; removing what is already gone
// succeeds.
#pragma once

#include <ole2.h>

#include <string>

// Registration flags of AfxOleRegisterControlClass.
enum {
    afxRegInsertable = 0x0001,          // offered in containers' Insert Object lists
    afxRegApartmentThreading = 0x0002,  // ThreadingModel=Apartment
};

// A GUID in registry form, "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", in
// characters with the terminating zero.
constexpr int kGuidStringChars = 39;

// The GUID in registry form; empty when it cannot be formatted.
std::wstring AfxGuidToString(REFGUID guid);

// Keys under HKEY_CLASSES_ROOT in this process's registry view, each named
// by its path there. Creates the key and the keys on the way.
bool AfxRegCreateKey(const std::wstring& path);
// Sets a string value (name null: the default value), creating the keys.
bool AfxRegSetString(const std::wstring& path, const wchar_t* name, const std::wstring& value);
// Deletes the key, with everything below it (tree) or only when nothing is
// (not tree); a key that does not exist counts as deleted.
bool AfxRegDeleteKey(const std::wstring& path, bool tree);

// Registers the type library that the module hInstance carries as resource
// TYPELIB 1 (pszFileName null) or the one in pszFileName. Fails when it
// cannot be loaded, is not the library tlid, or cannot be registered.
BOOL AfxOleRegisterTypeLib(HINSTANCE hInstance, REFGUID tlid, LPCWSTR pszFileName = nullptr,
                           LPCWSTR pszHelpDir = nullptr);
// Removes the registration of version wVerMajor.wVerMinor of tlid, unless
// it names another module file that exists (another copy of the module).
BOOL AfxOleUnregisterTypeLib(REFGUID tlid, WORD wVerMajor, WORD wVerMinor, LCID lcid = 0);

// Writes the class's entries: CLSID\{clsid} (type name, InprocServer32 with
// the module's path and threading model, ProgID, Control, ToolboxBitmap32,
// MiscStatus, TypeLib, Version) and ProgID\CLSID.
BOOL AfxOleRegisterControlClass(HINSTANCE hInstance, REFCLSID clsid, LPCSTR pszProgID, UINT idTypeName,
                                UINT idBitmap, int nRegFlags, DWORD dwMiscStatus, REFGUID tlid, WORD wVerMajor,
                                WORD wVerMinor);
// Removes CLSID\{clsid} and, unless the other registry view of a 64-bit
// system still registers the class, the ProgID key (one key for both views),
// with everything below them.
BOOL AfxOleUnregisterClass(REFCLSID clsid, LPCSTR pszProgID);
// Whether the class's registration is this module's (the current module
// state's) to remove: nothing is registered, or InprocServer32 names this
// module's file or a file that no longer exists. Another copy's is not.
BOOL AfxOleClassRegisteredHere(REFCLSID clsid);
