#include "sheet.h"

#include <algorithm>
#include <vector>

#include "res/resource.h"

thread_local COleControl* g_pCurrentControl = nullptr;

CSheet::CSheet(const char* pszCaption, CWnd* pParentWnd, UINT iSelectPage)
    : CPropertySheet(pszCaption, pParentWnd, iSelectPage) {
    AcquireNodeInterfaces();
    AddPage(&m_pageNodeInfo);
    AddPage(&m_pageSunblind1);
    AddPage(&m_pageSunblind2);
    AddPage(&m_pageSunblind3);
    AddPage(&m_pageSunblind4);
}

CSheet::~CSheet() {
    // A sheet still showing (created modeless) takes its page windows with it
    // now, while the page objects still exist.
    if (m_hWnd && ::IsWindow(m_hWnd)) DestroyWindow();
    // The writer goes first, then the reader; the client site is the control's.
    m_pNodeWriter.reset();
    m_pNodeReader.reset();
    // Pages are destroyed after this body, in reverse order of declaration.
}

void CSheet::AcquireNodeInterfaces() {
    if (!g_pCurrentControl) return;
    IOleClientSite* site = g_pCurrentControl->GetClientSite();  // borrowed from the control
    if (!site) return;
    try_query(site, IID_INodeReader, m_pNodeReader);
    try_query(site, IID_INodeWriter, m_pNodeWriter);
    com_ptr<IBriselDeskNode> desk;
    if (try_query(site, IID_IBriselDeskNode, desk) != S_OK) return;
    std::vector<wchar_t> path(32768);
    if (desk->GetFilePath(path.data(), static_cast<long>(path.size()) - 1) == 0) m_settingsFile = path.data();
}

bool CSheet::Read(long index, BYTE_T* buffer, long length) {
    return m_pNodeReader && m_pNodeReader->ReadItem(index, buffer, length) == 0;
}

bool CSheet::Write(long index, BYTE_T* buffer, long length) {
    return m_pNodeWriter && m_pNodeWriter->WriteItem(index, buffer, length) == 0;
}

bool CSheet::Name(char* buffer, long length) {
    if (!m_pNodeReader || m_pNodeReader->GetNodeName(buffer, length) != 0) return false;
    m_knownName.assign(buffer, buffer + length);
    m_knownName.resize(std::min(m_knownName.size(), m_knownName.find('\0')));
    return true;
}

BOOL CSheet::OnInitDialog() {
    CPropertySheet::OnInitDialog();
    GetDlgItem(IDOK).SetWindowText("Exit");
    GetDlgItem(IDC_SHEET_APPLY).ShowWindow(SW_HIDE);
    GetDlgItem(IDCANCEL).ShowWindow(SW_HIDE);
    if (!m_pNodeWriter && !m_pNodeReader) MessageBox("Node not available!", "Plugin", MB_ICONEXCLAMATION | MB_OK);
    return TRUE;
}
