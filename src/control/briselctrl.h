// CBriselCtrl: the module's one control. It draws a fixed picture, offers
// AboutBox through automation, persists only its version, and its
// Properties verb opens the configuration sheet for the node behind its
// client site.
#pragma once

#include "brisel_h.h"  // from the IDL: LIBID_BriselLib, CLSID_Brisel, DIID__DBrisel, DIID__DBriselEvents
#include "fw/olecontrol.h"

// Identity of the control and its type library, by the names the module
// uses (bound at compile time, so usable by static constructors).
extern const CLSID& CLSID_BriselCtrl;
extern const IID& IID_DBrisel;
extern const IID& IID_DBriselEvents;
extern const char kBriselProgID[];     // "Brisel.BriselCtrl.1"
// The one version of the type library, the class registration and the
// persisted data: 1.0.
extern const WORD _wVerMajor;
extern const WORD _wVerMinor;
// How containers treat the control (registered and answered by GetMiscStatus).
constexpr DWORD kBriselOleMisc = OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT |
                                 OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;

class CBriselCtrl : public COleControl {
    DECLARE_DYNCREATE(CBriselCtrl)

public:
    CBriselCtrl();
    ~CBriselCtrl() override;

    UINT GetTypeInfoCount() override { return 1; }
    CTypeLibCache* GetTypeLibCache() override;
    // LoadRegTypeLib's result, unchanged.
    HRESULT GetTypeLib(LCID lcid, LPTYPELIB* ppTypeLib) override;
    const AFX_DISPMAP_ENTRY* GetDispatchMap() const override;
    void DoPropExchange(CPropExchange* pPX) override;
    void OnResetState() override;
    void OnDraw(HDC hdc, const RECT& rcBounds, const RECT& rcInvalid) override;
    HRESULT GetClassID(LPCLSID pclsid) override;
    BOOL OnProperties(LPMSG lpMsg, HWND hWndParent, LPCRECT lpRect) override;
    UINT GetUserTypeNameID() override;
    DWORD GetMiscStatus() override;

    // Automation: the modal About box.
    void AboutBox();
};
