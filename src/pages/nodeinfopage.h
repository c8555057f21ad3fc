// CBriselPropPage: the "Node infomation" tab. Shows the node's name, read
// anew each time the page becomes visible.
#pragma once

#include "fw/ctrls.h"
#include "fw/propsheet.h"

class CBriselPropPage : public CPropertyPage {
public:
    CBriselPropPage();

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnShowWindow(BOOL bShow, UINT nStatus) override;

private:
    CEdit m_editNodeName;
};
