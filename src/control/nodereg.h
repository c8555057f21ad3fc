// The plug-in discovery key: CLSID\{control}\Node with the sub-keys
// "ProgramID" (the program identifier of the node application that this
// plug-in configures) and "TestID". The host tool finds the plug-in for a
// node type there.
#pragma once

#include <windows.h>
#include <objbase.h>

struct NodeRegEntry {
    const char* subKey;  // null ends a table
    const char* value;   // written as the sub-key's default value
};

// "ProgramID" (its value assigned before each use) and "TestID" ("%1",
// written as these two characters), then the end row.
extern NodeRegEntry g_nodeRegEntries[];

// The node application's 8-byte program ID as registry text.
extern const char kNodeProgramIdText[];  // "94 4B 61 6C 64 6F 72 2E"

// Creates CLSID\{clsid}\<keyName> and writes g_nodeRegEntries under it;
// FALSE when the class ID cannot be formatted, the path does not fit, the
// key cannot be created or a row cannot be written.
BOOL RegisterClsidSubKey(REFCLSID clsid, const char* keyName);
// Deletes the table's sub-keys and the key; FALSE only when the path cannot
// be formed.
BOOL UnregisterClsidSubKey(REFCLSID clsid, const char* keyName);
// Writes each row (overwrite FALSE: skips rows whose sub-key already has a
// value); stops with FALSE at the first row that cannot be written.
BOOL SetRegEntries(const NodeRegEntry* table, BOOL overwrite, HKEY parent);
// Deletes each row's sub-key, ignoring failures; always TRUE.
BOOL DeleteRegEntries(const NodeRegEntry* table, HKEY parent);
