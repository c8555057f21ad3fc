#include "deskcontrol.h"

#include <vector>

#include "brisel_h.h"  // CLSID_Brisel
#include "fw/text.h"

bool CDeskControl::Load(std::string& error) {
    std::vector<wchar_t> exe(32768);
    const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    if (!n || n >= exe.size()) return error = "this program's folder is not known", false;
    std::wstring path(exe.data(), n);
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"Brisel.ocx";
    m_module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!m_module) return error = AfxQuotedPath(path) + " cannot be loaded: " + AfxSystemMessage(GetLastError()), false;
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto get =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(m_module, "DllGetClassObject")));
    com_ptr<IClassFactory> factory;
    void* raw = nullptr;
    HRESULT hr = get ? get(CLSID_Brisel, IID_IClassFactory, &raw) : E_NOINTERFACE;
    if (hr == S_OK) factory.attach(static_cast<IClassFactory*>(raw));
    raw = nullptr;
    if (hr == S_OK) hr = factory->CreateInstance(nullptr, IID_IOleObject, &raw);
    if (hr != S_OK) {
        char code[16];
        wsprintfA(code, "%08lX", static_cast<unsigned long>(hr));
        return error = AfxQuotedPath(path) + " did not create its control (error 0x" + code + ")", false;
    }
    m_control.attach(static_cast<IOleObject*>(raw));
    return true;
}

CDeskControl::~CDeskControl() {
    if (m_control) {
        m_control->Close(OLECLOSE_NOSAVE);
        m_control->SetClientSite(nullptr);
        m_control.reset();
    }
    if (m_module) FreeLibrary(m_module);
}
