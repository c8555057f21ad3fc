#include "nodereg.h"

#include "fw/olereg.h"

std::wstring NodeKeyPath(REFCLSID clsid) {
    const std::wstring cls = AfxGuidToString(clsid);
    return cls.empty() ? std::wstring() : L"CLSID\\" + cls + L"\\Node";
}

std::vector<NodeKeyEntry> NodeKeyEntries(const std::wstring& nodeKey) {
    return {{nodeKey + L"\\ProgramID", L"94 4B 61 6C 64 6F 72 2E"}, {nodeKey + L"\\TestID", L"%1"}};
}

BOOL RegisterNodeKey(REFCLSID clsid) {
    const std::wstring node = NodeKeyPath(clsid);
    if (node.empty()) return FALSE;
    for (const NodeKeyEntry& entry : NodeKeyEntries(node))
        if (!AfxRegSetString(entry.key, nullptr, entry.value)) return FALSE;
    return TRUE;
}

BOOL UnregisterNodeKey(REFCLSID clsid) {
    const std::wstring node = NodeKeyPath(clsid);
    if (node.empty()) return FALSE;
    for (const NodeKeyEntry& entry : NodeKeyEntries(node)) AfxRegDeleteKey(entry.key, false);
    AfxRegDeleteKey(node, false);
    return TRUE;
}
