#include "desksite.h"

CDeskSite::CDeskSite(sunblind::MemoryNode& node, std::wstring path) : m_node(node), m_path(std::move(path)) {}

STDMETHODIMP CDeskSite::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite)
        *ppv = static_cast<IOleClientSite*>(this);
    else if (riid == IID_INodeReader)
        *ppv = static_cast<INodeReader*>(this);
    else if (riid == IID_INodeWriter)
        *ppv = static_cast<INodeWriter*>(this);
    else if (riid == IID_IBriselDeskNode)
        *ppv = static_cast<IBriselDeskNode*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CDeskSite::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

STDMETHODIMP_(ULONG) CDeskSite::Release() {
    const LONG left = InterlockedDecrement(&m_refs);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP CDeskSite::GetMoniker(DWORD, DWORD, IMoniker** ppmk) {
    if (ppmk) *ppmk = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CDeskSite::GetContainer(IOleContainer** ppContainer) {
    if (ppContainer) *ppContainer = nullptr;
    return E_NOINTERFACE;
}

// The node never throws but for want of memory, which fails the call.
long CDeskSite::ReadItem(long index, unsigned char* buffer, long length) try {
    return m_node.Read(index, buffer, length) ? 0 : 1;
} catch (...) {
    return 1;
}

long CDeskSite::WriteItem(long index, unsigned char* buffer, long length) try {
    return m_node.Write(index, buffer, length) ? 0 : 1;
} catch (...) {
    return 1;
}

long CDeskSite::GetNodeName(char* buffer, long length) try {
    return m_node.Name(buffer, length) ? 0 : 1;
} catch (...) {
    return 1;
}

long CDeskSite::GetFilePath(wchar_t* buffer, long length) {
    if (!buffer || length <= 0 || m_path.size() >= static_cast<std::size_t>(length)) return 1;
    m_path.copy(buffer, m_path.size());
    buffer[m_path.size()] = L'\0';
    return 0;
}
