// A stand-in plug-in for the host's tests: an in-process OLE object that
// draws a picture and, for its Properties verb, runs a modal sheet "Sarp"
// with a node-information tab and two sunblind-like tabs whose Read and
// Write buttons (268, 269) read and write drive time item 30 through the
// client site's node access. It lets the host be tested end to end without
// the real control.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <cstdlib>

#include "fw/comptr.h"
#include "pages/nodeaccess.h"
#include "sheet/caption.h"

namespace {

HINSTANCE g_module;

// {6A1E4F0B-2C37-4D52-9E88-0B5D2A1C7F01}
const CLSID CLSID_Fake = {0x6A1E4F0B, 0x2C37, 0x4D52, {0x9E, 0x88, 0x0B, 0x5D, 0x2A, 0x1C, 0x7F, 0x01}};

struct Access {
    com_ptr<INodeReader> reader;
    com_ptr<INodeWriter> writer;
};

INT_PTR CALLBACK InfoPage(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* access = reinterpret_cast<Access*>(reinterpret_cast<PROPSHEETPAGEA*>(lParam)->lParam);
        char name[51] = "";
        if (access->reader && access->reader->GetNodeName(name, 50) == 0) {
            SetDlgItemTextA(hwnd, 301, name);
            std::printf("plugin: node \"%s\"\n", name);  // for the tests that run the host
            std::fflush(stdout);
        }
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK SunblindPage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<PROPSHEETPAGEA*>(lParam)->lParam);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    auto* access = reinterpret_cast<Access*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    unsigned char buffer[32] = {};
    if (LOWORD(wParam) == 268 && access->reader && access->reader->ReadItem(30, buffer, 31) == 0) {
        char text[32];
        std::snprintf(text, sizeof text, "%.0f", (buffer[0] * 256 + buffer[1]) / 10.0);
        SetDlgItemTextA(hwnd, 311, text);
        return TRUE;
    }
    if (LOWORD(wParam) == 269 && access->reader && access->writer && access->reader->ReadItem(30, buffer, 32) == 0) {
        char text[32];
        GetDlgItemTextA(hwnd, 311, text, sizeof text);
        const long tenths = static_cast<long>(std::atof(text) * 10);
        buffer[0] = static_cast<unsigned char>(tenths >> 8);
        buffer[1] = static_cast<unsigned char>(tenths);
        access->writer->WriteItem(30, buffer, 2);
        return TRUE;
    }
    return FALSE;
}

class Control final : public IOleObject, public IViewObject {
public:
    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IOleObject) *ppv = static_cast<IOleObject*>(this);
        else if (iid == IID_IViewObject) *ppv = static_cast<IViewObject*>(this);
        else return *ppv = nullptr, E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (!left) delete this;
        return left;
    }

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
        m_site.reset(site);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override {
        if (!site) return E_POINTER;
        return m_site.copy_to(site);
    }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT) override {
        if (verb != OLEIVERB_PROPERTIES) return OLEOBJ_S_INVALIDVERB;
        // As a real control does: the node is the one of the site it was given.
        IOleClientSite* from = m_site ? m_site.get() : site;
        Access access;
        if (from) {
            from->QueryInterface(IID_INodeReader, access.reader.put_void());
            from->QueryInterface(IID_INodeWriter, access.writer.put_void());
        }
        if (!access.reader && !access.writer) MessageBoxA(parent, "Node not available!", "Plugin", MB_OK);
        PROPSHEETPAGEA pages[3] = {};
        const char* titles[3] = {"Node infomation", "Sunblind 1", "Sunblind 2"};
        for (int i = 0; i < 3; ++i) {
            pages[i].dwSize = sizeof pages[i];
            pages[i].dwFlags = PSP_USETITLE;
            pages[i].hInstance = g_module;
            pages[i].pszTemplate = MAKEINTRESOURCEA(i == 0 ? 300 : 310);
            pages[i].pfnDlgProc = i == 0 ? InfoPage : SunblindPage;
            pages[i].pszTitle = titles[i];
            pages[i].lParam = reinterpret_cast<LPARAM>(&access);
        }
        PROPSHEETHEADERA header = {};
        header.dwSize = sizeof header;
        header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
        header.hwndParent = parent;
        header.hInstance = g_module;
        header.pszCaption = kSheetCaption;
        header.nPages = 3;
        header.ppsp = pages;
        PropertySheetA(&header);
        access.writer.reset();
        access.reader.reset();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* id) override { return id ? *id = CLSID_Fake, S_OK : E_POINTER; }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL* size) override {
        if (!size) return E_POINTER;
        size->cx = 2540;  // one inch by half an inch
        size->cy = 1270;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override { return status ? *status = 0, S_OK : E_POINTER; }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IViewObject
    HRESULT STDMETHODCALLTYPE Draw(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                                   BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override {
        if (!dc || !bounds) return E_INVALIDARG;
        RECT r = {bounds->left, bounds->top, bounds->right, bounds->bottom};
        HBRUSH brush = CreateSolidBrush(RGB(40, 110, 180));
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, "Fake plug-in", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        ++draws;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD, DWORD, IAdviseSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD*, DWORD*, IAdviseSink**) override { return E_NOTIMPL; }

    int draws = 0;

private:
    ~Control() = default;
    ULONG m_refs = 1;
    com_ptr<IOleClientSite> m_site;
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        Control* control = new Control;
        const HRESULT hr = control->QueryInterface(iid, ppv);
        control->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID id, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (id != CLSID_Fake) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }
