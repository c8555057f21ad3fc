// CBriselCtrl: the module's one control. Its Properties verb opens the
// configuration sheet for the node behind its client site.
#pragma once

#include "fw/olecontrol.h"

class CBriselCtrl : public COleControl {
public:
    CBriselCtrl() = default;
    ~CBriselCtrl() override = default;

    BOOL OnProperties(LPMSG lpMsg, HWND hWndParent, LPCRECT lpRect) override;
};

// The control whose Properties verb ran last; the sheet's constructor reads
// it to reach that control's client site. Holds no counted reference.
extern CBriselCtrl* g_pCurrentControl;
