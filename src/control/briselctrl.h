// CBriselCtrl: the module's one control. It draws a fixed picture, offers
// AboutBox through automation, persists only its version, and its
// Properties verb opens the configuration sheet for the node behind its
// client site.
#pragma once

#include "fw/olecontrol.h"

// Identity of the control and its type library.
extern const CLSID CLSID_BriselCtrl;   // {E11D7042-0CC6-49E7-96B8-CAC4B5BACEB1}
extern const GUID LIBID_BriselLib;     // {B42E6C39-22E8-49EF-8995-52B26D5A1030}
extern const IID IID_DBrisel;          // {5CF820CA-7C80-4EEF-A37F-2EB289208B6F}, _DBrisel
extern const IID IID_DBriselEvents;    // {EF1F5666-CEE2-4962-8004-D3D8994B9CC5}, _DBriselEvents
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
