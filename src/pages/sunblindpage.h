// The sunblind pages, one per channel of the node. The four page classes
// share CSunblindPage and differ only in the channel and the ids of their
// dialog's controls.
#pragma once

#include "fw/ctrls.h"
#include "fw/propsheet.h"
#include "pages/nodeaccess.h"
#include "page_items.h"

// Control ids of one sunblind dialog.
struct SunblindControlIds {
    int luxLevel;
    int actualLevel;
    int topDownTime;
    int field[sunblind::kFieldCount];  // edits of the channel block, by sunblind::Field
    int levelLocal, levelCommon;
    int overrideLocal, overrideCommon;
    int luxLocal, luxCommon;
};

class CSunblindPage : public CPropertyPage {
public:
    CSunblindPage(UINT nIDTemplate, int channel, const SunblindControlIds& ids);
    ~CSunblindPage() override;

    // Refreshes the live values once and starts the 2000 ms timer.
    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnShowWindow(BOOL bShow, UINT nStatus) override;
    void OnTimer(UINT_PTR nIDEvent) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    void RefreshLiveValues();
    // What the reads found, when all of them succeeded.
    std::optional<sunblind::ChannelSettings> OnRead();
    void OnWrite();
    void OnLuxLocal();
    void OnLuxCommon();

private:
    // The sheet's node, looked up at every access and never kept.
    sunblind::NodeItems Node() const;

    void ShowBlock(const sunblind::BlockValues& values);
    // What a Write stores: the page's values where a read filled the
    // controls or the user changed them; the node's own stay everywhere else.
    sunblind::PageEdits Edits() const;
    void ShowLuxSource(bool common);

    const sunblind::Channel& m_channel;
    const SunblindControlIds& m_ids;

    // Which controls hold what a read showed, so that a Write never stores
    // what the page neither read nor was given by the user: the top down
    // time, the block's edits, the lux source; and whether each pair of
    // source boxes could show the code read (a code they cannot show goes
    // back as the node holds it). Set by a successful read; a click on a
    // pair's boxes makes them the user's.
    bool m_driveShown = false, m_blockShown = false, m_luxShown = false;
    bool m_levelShown = false, m_overrideShown = false;
    bool m_levelClicked = false, m_overrideClicked = false, m_luxClicked = false;

    // Six buttons and eleven edits.
    CButton m_btnLevelLocal, m_btnLevelCommon;
    CButton m_btnOverrideLocal, m_btnOverrideCommon;
    CButton m_btnLuxLocal, m_btnLuxCommon;
    CEdit m_editLuxLevel, m_editActualLevel, m_editTopDownTime;
    CEdit m_editField[sunblind::kFieldCount];
};

class CPage2PropPage : public CSunblindPage {  // "Sunblind 1"
public:
    CPage2PropPage();
};

class CPage3PropPage : public CSunblindPage {  // "Sunblind 2"
public:
    CPage3PropPage();
};

class CPage4PropPage : public CSunblindPage {  // "Sunblind 3"
public:
    CPage4PropPage();
};

class CPage5PropPage : public CSunblindPage {  // "Sunblind 4"
public:
    CPage5PropPage();
};

// The control ids of channel 1..4's dialog (for tests and tools).
const SunblindControlIds& SunblindIds(int channel);
