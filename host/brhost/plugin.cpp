#include "plugin.h"

#include <ocidl.h>
#include <olectl.h>

#include <cstdio>

#include "fw/comptr.h"
#include "wide.h"
#include "winregistry.h"

namespace brhost {

std::string DescribeHresult(HRESULT hr) {
    const std::string out = SystemMessage(static_cast<DWORD>(hr));
    char code[32];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    return out.empty() ? std::string("error ") + code : out + " (" + code + ")";
}

int Plugin::Load(const brmodel::RegistryView& registry, const std::string& programId, IOleClientSite* site,
                 std::string& message) {
    Unload();
    const std::vector<std::string> found = brmodel::FindPlugins(registry, programId);
    if (found.empty()) {
        message = "No registered plug-in configures nodes with program ID \"" + programId +
                  "\": no class under HKEY_CLASSES_ROOT\\CLSID has a Node\\ProgramID key with that value. "
                  "Register the plug-in first (regsvr32 Brisel.ocx).";
        return kExitNoPlugin;
    }
    clsid = found.front();
    others.assign(found.begin() + 1, found.end());
    module = registry.DefaultValue("CLSID\\" + clsid + "\\InprocServer32").value_or("");
    return Create(site, message);
}

int Plugin::LoadLike(const Plugin& found, IOleClientSite* site, std::string& message) {
    Unload();
    clsid = found.clsid;
    module = found.module;
    others.clear();
    return Create(site, message);
}

int Plugin::Create(IOleClientSite* site, std::string& message) {
    std::wstring wide = Wide(clsid);
    CLSID id;
    HRESULT hr = CLSIDFromString(&wide[0], &id);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, m_object.put_void());
    if (FAILED(hr) || !m_object) {
        m_object.detach();  // a failed creation's out-value is not ours to release
        std::string where = module.empty() ? "no InprocServer32 module is registered"
                                           : "module " + module;
        if (!module.empty() && GetFileAttributesW(Wide(module).c_str()) == INVALID_FILE_ATTRIBUTES)
            where += ", which does not exist";
        message = "Cannot load the plug-in " + clsid + " (" + where + "): " + DescribeHresult(hr);
        return kExitLoad;
    }
    // As a container does: the site first, then a fresh state.
    m_object->SetClientSite(site);
    com_ptr<IPersistStreamInit> init;
    if (SUCCEEDED(m_object->QueryInterface(IID_IPersistStreamInit, init.put_void())) && init) init->InitNew();
    return kExitOk;
}

void Plugin::Unload() {
    if (!m_object) return;
    m_object->Close(OLECLOSE_NOSAVE);
    m_object->SetClientSite(nullptr);
    m_object.reset();
}

SIZE Plugin::Extent(HDC dc) const {
    SIZE px = {100, 50};
    SIZEL him;
    if (m_object && SUCCEEDED(m_object->GetExtent(DVASPECT_CONTENT, &him)) && him.cx > 0 && him.cy > 0 &&
        him.cx < 100000 && him.cy < 100000) {
        px.cx = MulDiv(him.cx, GetDeviceCaps(dc, LOGPIXELSX), 2540);
        px.cy = MulDiv(him.cy, GetDeviceCaps(dc, LOGPIXELSY), 2540);
    }
    return px;
}

bool Plugin::Draw(HDC dc, const RECT& rect) {
    if (!m_object) return false;
    com_ptr<IViewObject> view;
    if (FAILED(m_object->QueryInterface(IID_IViewObject, view.put_void())) || !view) return false;
    RECTL bounds = {rect.left, rect.top, rect.right, rect.bottom};
    const int saved = SaveDC(dc);  // the plug-in may leave colours, fonts and modes changed
    const HRESULT hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
    RestoreDC(dc, saved);
    return SUCCEEDED(hr);
}

HRESULT Plugin::Properties(HWND parent, IOleClientSite* site) {
    if (!m_object) return E_UNEXPECTED;
    RECT rect;
    GetClientRect(parent, &rect);
    return m_object->DoVerb(OLEIVERB_PROPERTIES, nullptr, site, 0, parent, &rect);
}

}  // namespace brhost
