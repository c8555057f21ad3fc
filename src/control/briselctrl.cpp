#include "briselctrl.h"

#include <utility>

#include "fw/afxstate.h"
#include "fw/dialog.h"
#include "fw/handles.h"
#include "res/resource.h"
#include "sheet/sheet.h"

const CLSID CLSID_BriselCtrl = {0xe11d7042, 0x0cc6, 0x49e7, {0x96, 0xb8, 0xca, 0xc4, 0xb5, 0xba, 0xce, 0xb1}};
const GUID LIBID_BriselLib = {0xb42e6c39, 0x22e8, 0x49ef, {0x89, 0x95, 0x52, 0xb2, 0x6d, 0x5a, 0x10, 0x30}};
const IID IID_DBrisel = {0x5cf820ca, 0x7c80, 0x4eef, {0xa3, 0x7f, 0x2e, 0xb2, 0x89, 0x20, 0x8b, 0x6f}};
const IID IID_DBriselEvents = {0xef1f5666, 0xcee2, 0x4962, {0x80, 0x04, 0xd3, 0xd8, 0x99, 0x4b, 0x9c, 0xc5}};
const char kBriselProgID[] = "Brisel.BriselCtrl.1";
const WORD _wVerMajor = 1;
const WORD _wVerMinor = 0;

IMPLEMENT_DYNCREATE(CBriselCtrl)

CBriselCtrl::CBriselCtrl() { InitializeIIDs(&IID_DBrisel, &IID_DBriselEvents); }

CBriselCtrl::~CBriselCtrl() = default;

CTypeLibCache* CBriselCtrl::GetTypeLibCache() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return AfxGetTypeLibCache(&LIBID_BriselLib);
}

HRESULT CBriselCtrl::GetTypeLib(LCID lcid, LPTYPELIB* ppTypeLib) {
    return LoadRegTypeLib(LIBID_BriselLib, _wVerMajor, _wVerMinor, lcid, ppTypeLib);
}

const AFX_DISPMAP_ENTRY* CBriselCtrl::GetDispatchMap() const {
    static const AFX_DISPMAP_ENTRY entries[] = {
        {L"AboutBox", DISPID_ABOUTBOX, static_cast<void (COleControl::*)()>(&CBriselCtrl::AboutBox)},
        {nullptr, 0, nullptr},
    };
    return entries;
}

void CBriselCtrl::DoPropExchange(CPropExchange* pPX) {
    pPX->ExchangeVersion(m_dwVersionLoaded, MAKELONG(_wVerMinor, _wVerMajor), TRUE);
    COleControl::DoPropExchange(pPX);
}

void CBriselCtrl::OnResetState() { COleControl::OnResetState(); }

// Paints the top-left 30 x 30 pixels of bitmap 1 stretched to the bounds,
// never mirrored; any failure paints nothing.
void CBriselCtrl::OnDraw(HDC hdc, const RECT& rcBounds, const RECT&) {
    if (!hdc) return;
    RECT rc = rcBounds;
    if (rc.left > rc.right) std::swap(rc.left, rc.right);
    if (rc.top > rc.bottom) std::swap(rc.top, rc.bottom);

    // Declared so that they go in this order: screen DC released, bitmap
    // deleted, memory DC deleted (the bitmap is selected out before).
    unique_hdc memory;
    unique_hbitmap bitmap(::LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDB_BRISEL)));
    if (!bitmap) return;
    unique_window_dc screen(nullptr);
    if (!screen) return;
    memory.reset(::CreateCompatibleDC(screen.get()));
    if (!memory) return;
    unique_select_object selected(memory.get(), bitmap.get());
    ::StretchBlt(hdc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, memory.get(), 0, 0, 30, 30, SRCCOPY);
}

HRESULT CBriselCtrl::GetClassID(LPCLSID pclsid) {
    if (!pclsid) return E_POINTER;
    *pclsid = CLSID_BriselCtrl;
    return S_OK;
}

BOOL CBriselCtrl::OnProperties(LPMSG, HWND, LPCRECT) {
    g_pCurrentControl = this;
    CSheet sheet("Sarp", nullptr, 0);
    sheet.DoModal();
    return TRUE;
}

UINT CBriselCtrl::GetUserTypeNameID() { return IDS_BRISEL; }

DWORD CBriselCtrl::GetMiscStatus() { return kBriselOleMisc; }

void CBriselCtrl::AboutBox() {
    CDialog dlgAbout(IDD_ABOUTBOX_BRISEL);
    dlgAbout.DoModal();
}
