#include "sheet.h"

#include "res/resource.h"

COleControl* g_pCurrentControl = nullptr;

CSheet::CSheet(const char* pszCaption, CWnd* pParentWnd, UINT iSelectPage)
    : CPropertySheet(pszCaption, pParentWnd, iSelectPage),
      m_pNodeWriter(nullptr),
      m_pNodeReader(nullptr),
      m_pSite(nullptr) {
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
    m_pWriterRef.reset();
    m_pReaderRef.reset();
    m_pSite = nullptr;
    m_pNodeWriter = nullptr;
    m_pNodeReader = nullptr;
    // Pages are destroyed after this body, in reverse order of declaration.
}

void CSheet::AcquireNodeInterfaces() {
    if (!g_pCurrentControl) return;
    m_pSite = g_pCurrentControl->GetClientSite();
    if (!m_pSite) return;
    if (try_query(m_pSite, IID_INodeReader, m_pReaderRef) == S_OK) m_pNodeReader = m_pReaderRef.get();
    if (try_query(m_pSite, IID_INodeWriter, m_pWriterRef) == S_OK) m_pNodeWriter = m_pWriterRef.get();
}

BOOL CSheet::OnInitDialog() {
    CPropertySheet::OnInitDialog();
    GetDlgItem(IDOK).SetWindowText("Exit");
    GetDlgItem(IDC_SHEET_APPLY).ShowWindow(SW_HIDE);
    GetDlgItem(IDCANCEL).ShowWindow(SW_HIDE);
    if (!m_pNodeWriter && !m_pNodeReader) MessageBox("Node not available!", "Plugin", MB_ICONEXCLAMATION | MB_OK);
    return TRUE;
}
