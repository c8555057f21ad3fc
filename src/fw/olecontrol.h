// COleControl: the base of the module's ActiveX control. It keeps the client
// site that the container hands it (one counted reference, released when the
// site changes or the control goes).
#pragma once

#include <ole2.h>

#include "comptr.h"
#include "wnd.h"

class COleControl : public CWnd {
public:
    COleControl() = default;
    ~COleControl() override = default;

    // Borrowed: the caller neither counts nor releases it.
    IOleClientSite* GetClientSite() const { return m_pClientSite.get(); }
    void SetClientSite(IOleClientSite* pClientSite);

    // The Properties verb.
    virtual BOOL OnProperties(LPMSG lpMsg, HWND hWndParent, LPCRECT lpRect) { return FALSE; }

private:
    com_ptr<IOleClientSite> m_pClientSite;
};
