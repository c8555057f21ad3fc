#include "nodereg.h"

#include <cstdio>
#include <cstring>

#include "fw/handles.h"
#include "fw/olereg.h"

const char kNodeProgramIdText[] = "94 4B 61 6C 64 6F 72 2E";

NodeRegEntry g_nodeRegEntries[] = {
    {"ProgramID", nullptr},
    {"TestID", "%1"},
    {nullptr, nullptr},
};

namespace {

// "CLSID\{clsid}\<keyName>"; FALSE when the class ID cannot be formatted or
// the path would not fit.
BOOL ClsidSubKeyPath(REFCLSID clsid, const char* keyName, char (&path)[260]) {
    char id[39];
    if (!keyName || !AfxGuidToStringA(clsid, id)) return FALSE;
    const int n = std::snprintf(path, sizeof path, "CLSID\\%s\\%s", id, keyName);
    return n > 0 && static_cast<size_t>(n) < sizeof path;
}

}  // namespace

BOOL SetRegEntries(const NodeRegEntry* table, BOOL overwrite, HKEY parent) {
    BOOL result = TRUE;
    for (const NodeRegEntry* row = table; row && row->subKey; ++row) {
        if (!overwrite) {
            char existing[256];
            LONG size = sizeof existing;
            if (::RegQueryValueA(parent, row->subKey, existing, &size) == ERROR_SUCCESS) continue;
        }
        // A row without a value cannot be written.
        if (!row->value ||
            ::RegSetValueA(parent, row->subKey, REG_SZ, row->value, static_cast<DWORD>(std::strlen(row->value))) !=
                ERROR_SUCCESS) {
            result = FALSE;
            break;
        }
    }
    return result;
}

BOOL DeleteRegEntries(const NodeRegEntry* table, HKEY parent) {
    for (const NodeRegEntry* row = table; row && row->subKey; ++row) ::RegDeleteKeyA(parent, row->subKey);
    return TRUE;
}

BOOL RegisterClsidSubKey(REFCLSID clsid, const char* keyName) {
    char path[260];
    if (!ClsidSubKeyPath(clsid, keyName, path)) return FALSE;
    unique_hkey key;
    if (::RegCreateKeyA(HKEY_CLASSES_ROOT, path, key.put()) != ERROR_SUCCESS) return FALSE;
    return SetRegEntries(g_nodeRegEntries, TRUE, key.get());
}

BOOL UnregisterClsidSubKey(REFCLSID clsid, const char* keyName) {
    char path[260];
    if (!ClsidSubKeyPath(clsid, keyName, path)) return FALSE;
    unique_hkey key;
    if (::RegCreateKeyA(HKEY_CLASSES_ROOT, path, key.put()) == ERROR_SUCCESS) {
        DeleteRegEntries(g_nodeRegEntries, key.get());
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, path);
    }
    return TRUE;
}
