#include "propsheet.h"

#include "afxstate.h"
#include "nothrow.h"

namespace {

// The sheet whose PropertySheet call is in progress on this thread: the
// sheet callback has no parameter of its own to find its object by.
thread_local CPropertySheet* t_sheetInit = nullptr;

std::string LoadResourceString(UINT id) {
    char text[256] = {};
    const int n = ::LoadStringA(AfxGetResourceHandle(), id, text, sizeof text);
    return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
}

}  // namespace

CPropertyPage::CPropertyPage(UINT nIDTemplate, UINT nIDCaption) : CDialog(nIDTemplate) {
    ZeroMemory(&m_psp, sizeof m_psp);
    m_psp.dwSize = sizeof m_psp;
    m_psp.hInstance = AfxGetResourceHandle();
    m_psp.pszTemplate = MAKEINTRESOURCEA(nIDTemplate);
    m_psp.pfnDlgProc = &AfxPageProc;
    m_psp.lParam = reinterpret_cast<LPARAM>(this);
    if (nIDCaption != 0) {
        m_strCaption = LoadResourceString(nIDCaption);
        m_psp.dwFlags |= PSP_USETITLE;
        m_psp.pszTitle = m_strCaption.c_str();
    }
}

CPropertySheet::CPropertySheet(const char* pszCaption, CWnd* pParentWnd, UINT iSelectPage)
    : m_strCaption(pszCaption ? pszCaption : "") {
    ZeroMemory(&m_psh, sizeof m_psh);
    m_psh.dwSize = sizeof m_psh;
    m_psh.dwFlags = PSH_PROPSHEETPAGE | PSH_USECALLBACK;
    m_psh.hwndParent = pParentWnd ? pParentWnd->m_hWnd : nullptr;
    m_psh.hInstance = AfxGetResourceHandle();
    m_psh.nStartPage = iSelectPage;
    m_psh.pfnCallback = &CPropertySheet::SheetCallback;
}

CPropertySheet::~CPropertySheet() {
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

int CALLBACK CPropertySheet::SheetCallback(HWND hwnd, UINT message, LPARAM) {
    if (message == PSCB_INITIALIZED && t_sheetInit) {
        CPropertySheet* sheet = t_sheetInit;
        t_sheetInit = nullptr;
        AfxCallNoThrowOr(FALSE, [&] {
            sheet->SubclassWindow(hwnd);
            return sheet->OnInitDialog();
        });
    }
    return 0;
}

INT_PTR CPropertySheet::Run(DWORD extraFlags, HWND parent) {
    m_pageStructs.clear();
    for (CPropertyPage* page : m_pages) m_pageStructs.push_back(page->m_psp);
    m_psh.dwFlags = PSH_PROPSHEETPAGE | PSH_USECALLBACK | extraFlags;
    m_psh.hwndParent = parent;
    m_psh.pszCaption = m_strCaption.c_str();
    m_psh.nPages = static_cast<UINT>(m_pageStructs.size());
    m_psh.ppsp = m_pageStructs.data();
    if (m_psh.nStartPage >= m_psh.nPages) m_psh.nStartPage = 0;

    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);

    CPropertySheet* const outer = t_sheetInit;
    t_sheetInit = this;
    const INT_PTR result = ::PropertySheetA(&m_psh);
    t_sheetInit = outer;
    return result;
}

INT_PTR CPropertySheet::DoModal() { return Run(0, m_psh.hwndParent); }

BOOL CPropertySheet::Create(CWnd* pParentWnd, DWORD) {
    const INT_PTR result = Run(PSH_MODELESS, pParentWnd ? pParentWnd->m_hWnd : m_psh.hwndParent);
    return result != 0 && result != -1 && m_hWnd != nullptr;
}
