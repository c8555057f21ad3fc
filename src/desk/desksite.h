// CDeskSite: the client site Brisel Settings gives the control. Its node is
// the in-memory one (sunblind::MemoryNode) of the settings file being
// edited: the pages' reads and writes go to it, the live values' reads
// fail, and the node's name is the file's. It also answers the product's
// own IBriselDeskNode, so that the history of changes is the file's.
#pragma once

#include <ole2.h>

#include <string>

#include "memory_node.h"
#include "pages/nodeaccess.h"

class CDeskSite final : public IOleClientSite, public INodeReader, public INodeWriter, public IBriselDeskNode {
public:
    // Counted: created with one reference, which the caller releases.
    CDeskSite(sunblind::MemoryNode& node, std::wstring path);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IOleClientSite: there is no container to save to or show in.
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** ppmk) override;
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override;
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // INodeReader and INodeWriter: 0 for success, 1 for failure. The entries
    // the plug-in never calls fail.
    long STDMETHODCALLTYPE Reserved3() override { return 1; }
    long STDMETHODCALLTYPE Reserved4() override { return 1; }
    long STDMETHODCALLTYPE Reserved5() override { return 1; }
    long STDMETHODCALLTYPE Reserved6() override { return 1; }
    long STDMETHODCALLTYPE Reserved7() override { return 1; }
    long STDMETHODCALLTYPE Reserved8() override { return 1; }
    long STDMETHODCALLTYPE ReadItem(long index, unsigned char* buffer, long length) override;
    long STDMETHODCALLTYPE GetNodeName(char* buffer, long length) override;
    long STDMETHODCALLTYPE WriteItem(long index, unsigned char* buffer, long length) override;

    long STDMETHODCALLTYPE GetFilePath(wchar_t* buffer, long length) override;

private:
    ~CDeskSite() = default;
    LONG m_refs = 1;
    sunblind::MemoryNode& m_node;
    std::wstring m_path;
};
