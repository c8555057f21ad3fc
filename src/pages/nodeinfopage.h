// CBriselPropPage: the "Node infomation" tab. Shows the node's name, read
// anew each time the page becomes visible, and carries the commissioning
// commands: saving the four channels' settings to a file, loading a file
// into the node, copying one channel's settings to others. Those touch the
// node only when their button is pressed.
#pragma once

#include <string>

#include "fw/ctrls.h"
#include "fw/propsheet.h"
#include "pages/nodeaccess.h"
#include "node_transfer.h"

class CBriselPropPage : public CPropertyPage {
public:
    CBriselPropPage();

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnShowWindow(BOOL bShow, UINT nStatus) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    void OnSaveSettings();
    void OnLoadSettings();
    void OnCopy();
    // Lists the node's backups; the one chosen goes back into the node
    // through the change table, as a Load.
    void OnRestore();

private:
    // The sheet's node, looked up at every access and never kept.
    sunblind::NodeItems Node() const;
    // The node's name as the host gives it (up to 50 bytes); empty when the
    // host does not answer.
    std::string NodeName() const;
    // The node's name in quotes, as UTF-8, for a question; "the node" when
    // the host gives none.
    std::string TargetName() const;
    // The "To" boxes name the three channels other than the one chosen.
    void LabelCopyTargets();
    int Message(const std::string& caption, const std::string& text, UINT type) const;
    // The four channels from the node; on failure the user is told why and
    // what it means for the command (`consequence`).
    // The reads run under a progress window; a stop is told as such.
    std::optional<sunblind::NodeChannels> ReadNode(const char* caption, const char* consequence) const;
    // Shows what would change, writes it when the user agrees and reports
    // what the node took: the end of Load and of Copy.
    // `action` names the change in the history ("Load settings.txt").
    void ConfirmAndWrite(const sunblind::NodeChannels& current, const sunblind::NodeChannels& wanted,
                         const std::string& caption, const std::string& question, const std::string& action);
    // The history folder, or why the last change's history was not written.
    void ShowHistory();

    CEdit m_editNodeName;
    CComboBox m_comboCopyFrom;
    CButton m_btnCopyTo[3];
};
