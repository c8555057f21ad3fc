#include "briselctrl.h"

#include <algorithm>
#include <climits>

#include "fw/afxstate.h"
#include "fw/dialog.h"
#include "fw/handles.h"
#include "res/resource.h"
#include "sheet/sheet.h"
#include "sheet/caption.h"

const CLSID& CLSID_BriselCtrl = CLSID_Brisel;
const IID& IID_DBrisel = DIID__DBrisel;
const IID& IID_DBriselEvents = DIID__DBriselEvents;
const char kBriselProgID[] = "Brisel.BriselCtrl.1";
const WORD _wVerMajor = 1;
const WORD _wVerMinor = 0;

IMPLEMENT_DYNCREATE(CBriselCtrl)

CBriselCtrl::CBriselCtrl() { InitializeIIDs(&IID_DBrisel, &IID_DBriselEvents); }

CBriselCtrl::~CBriselCtrl() {
    if (g_pCurrentControl == this) g_pCurrentControl = nullptr;
}

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
// never mirrored; any failure paints nothing. The width and height are
// worked out in 64 bits: bounds that span more than a GDI coordinate can
// hold (LONG_MIN to LONG_MAX, say) paint nothing rather than overflow into
// a mirrored picture.
void CBriselCtrl::OnDraw(HDC hdc, const RECT& rcBounds, const RECT&) {
    if (!hdc) return;
    const long long left = std::min<long long>(rcBounds.left, rcBounds.right);
    const long long top = std::min<long long>(rcBounds.top, rcBounds.bottom);
    const long long width = std::max<long long>(rcBounds.left, rcBounds.right) - left;
    const long long height = std::max<long long>(rcBounds.top, rcBounds.bottom) - top;
    if (width > INT_MAX || height > INT_MAX) return;

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
    ::StretchBlt(hdc, static_cast<int>(left), static_cast<int>(top), static_cast<int>(width), static_cast<int>(height),
                 memory.get(), 0, 0, 30, 30, SRCCOPY);
}

HRESULT CBriselCtrl::GetClassID(LPCLSID pclsid) {
    if (!pclsid) return E_POINTER;
    *pclsid = CLSID_BriselCtrl;
    return S_OK;
}

namespace {
// A modal dialog's time: PreModalDialog before, PostModalDialog after,
// however the dialog ends.
class ModalScope {
public:
    ModalScope(COleControl& control, HWND hWndParent) : m_control(control), m_owner(control.PreModalDialog(hWndParent)) {}
    ~ModalScope() { m_control.PostModalDialog(); }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
    CWnd* Owner() { return m_owner.m_hWnd ? &m_owner : nullptr; }

private:
    COleControl& m_control;
    CWnd m_owner;  // borrowed
};
}  // namespace

// The sheet is owned by the host's window (the verb's parent, else the
// site's), which stays disabled while it runs.
BOOL CBriselCtrl::OnProperties(LPMSG, HWND hWndParent, LPCRECT) {
    g_pCurrentControl = this;
    ModalScope modal(*this, hWndParent);
    CSheet sheet(kSheetCaption, modal.Owner(), 0);
    sheet.DoModal();
    return TRUE;
}

UINT CBriselCtrl::GetUserTypeNameID() { return IDS_BRISEL; }

DWORD CBriselCtrl::GetMiscStatus() { return kBriselOleMisc; }

void CBriselCtrl::AboutBox() {
    ModalScope modal(*this, nullptr);
    CDialog dlgAbout(IDD_ABOUTBOX_BRISEL, modal.Owner());
    dlgAbout.DoModal();
}
