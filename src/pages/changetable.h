// CChangeTable: what a Load or Copy would change, one row per setting
// (Channel | Setting | On the node now | After), under a question that names
// the source and the target node; OK writes, Cancel (the default button) and
// Esc do not. It fits the monitor's work area at any DPI and can be resized.
#pragma once

#include <string>
#include <vector>

#include "fw/ctrls.h"
#include "fw/dialog.h"
#include "node_transfer.h"

class CChangeTable : public CDialog {
public:
    CChangeTable(CWnd* pParentWnd, std::string caption, std::string question,
                 const std::vector<sunblind::ChannelChange>& changes);

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

private:
    void FillList();
    void FitToWorkArea();
    void Layout(int cx, int cy);

    std::string m_caption, m_question;
    const std::vector<sunblind::ChannelChange>& m_changes;
    CListCtrl m_list;
    SIZE m_min{};  // the template's size: the smallest the user may make it
};
