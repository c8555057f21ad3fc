// The plug-in discovery key: CLSID\{control}\Node with the sub-keys
// "ProgramID" (the program identifier of the node application that this
// plug-in configures) and "TestID". The host tool finds the plug-in for a
// node type there.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

struct NodeKeyEntry {
    std::wstring key;      // path under HKEY_CLASSES_ROOT
    const wchar_t* value;  // written as the key's default value
};

// CLSID\{clsid}\Node; empty when the class ID cannot be formatted.
std::wstring NodeKeyPath(REFCLSID clsid);
// The entries below the discovery key nodeKey, in the order they are
// written: ProgramID (the node application's 8-byte program ID as text,
// "94 4B 61 6C 64 6F 72 2E"), then TestID ("%1", these two characters).
std::vector<NodeKeyEntry> NodeKeyEntries(const std::wstring& nodeKey);

// Writes the class's discovery key entry by entry; FALSE when the class ID
// cannot be formatted or an entry cannot be written, and the entries after
// that one are not tried.
BOOL RegisterNodeKey(REFCLSID clsid);
// Deletes the entries' keys, then the discovery key unless something else is
// below it, ignoring failures; FALSE only when the class ID cannot be
// formatted.
BOOL UnregisterNodeKey(REFCLSID clsid);
