// CRestoreList: the node's backups, newest first, one row each (Time |
// Action | Channels | Settings changed back), to choose the one whose
// values go back into the node; the change table then shows the changes.
#pragma once

#include <vector>

#include "fw/ctrls.h"
#include "fw/dialog.h"
#include "history.h"
#include "node_transfer.h"

class CRestoreList : public CDialog {
public:
    // now: what the node holds, to count what each backup would change back.
    CRestoreList(CWnd* pParentWnd, const std::vector<CNodeHistory::Entry>& backups, const sunblind::NodeChannels& now);

    BOOL OnInitDialog() override;
    int Chosen() const { return m_chosen; }  // the row chosen, -1 for none

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

private:
    const std::vector<CNodeHistory::Entry>& m_backups;
    const sunblind::NodeChannels& m_now;
    CListCtrl m_list;
    int m_chosen = -1;
};
