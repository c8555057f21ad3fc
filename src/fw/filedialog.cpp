#include "filedialog.h"

#include <algorithm>

namespace {
constexpr std::size_t kLongestPath = 32768;
}

CFileDialog::CFileDialog(BOOL bOpenFileDialog, const wchar_t* lpszDefExt, const std::wstring& fileName,
                         DWORD dwFlags, const wchar_t* lpszFilter, CWnd* pParentWnd)
    : m_ofn(), m_bOpenFileDialog(bOpenFileDialog), m_file(kLongestPath, L'\0') {
    std::copy_n(fileName.begin(), std::min(fileName.size(), kLongestPath - 1), m_file.begin());
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.hwndOwner = pParentWnd ? pParentWnd->GetSafeHwnd() : nullptr;
    m_ofn.lpstrFilter = lpszFilter;
    m_ofn.nFilterIndex = 1;
    m_ofn.lpstrFile = m_file.data();
    m_ofn.nMaxFile = static_cast<DWORD>(m_file.size());
    m_ofn.lpstrDefExt = lpszDefExt;
    // The process's current folder is the host's: never changed from here.
    m_ofn.Flags = dwFlags | OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
}

INT_PTR CFileDialog::DoModal() {
    const BOOL chosen = m_bOpenFileDialog ? GetOpenFileNameW(&m_ofn) : GetSaveFileNameW(&m_ofn);
    return chosen ? IDOK : IDCANCEL;
}

std::wstring CFileDialog::GetPathName() const { return std::wstring(m_file.data()); }
