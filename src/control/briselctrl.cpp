#include "briselctrl.h"

#include "sheet/sheet.h"

CBriselCtrl* g_pCurrentControl = nullptr;

BOOL CBriselCtrl::OnProperties(LPMSG, HWND, LPCRECT) {
    g_pCurrentControl = this;
    CSheet sheet("Sarp", nullptr, 0);
    sheet.DoModal();
    return TRUE;
}
