// The sunblind pages, one per channel of the node. The four page classes
// share CSunblindPage and differ only in the channel and the ids of their
// dialog's controls.
#pragma once

#include "fw/ctrls.h"
#include "fw/propsheet.h"
#include "pages/nodeaccess.h"
#include "sunblind_items.h"

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
    void OnRead();
    void OnWrite();
    void OnLuxLocal();
    void OnLuxCommon();

private:
    // The sheet's interfaces, looked up at every access and never kept.
    INodeReader* Reader() const;
    INodeWriter* Writer() const;
    // A read into a freshly zeroed buffer; false when there is no reader or
    // the host reports failure.
    bool ReadItem(long index, unsigned char* buffer, long length) const;
    void WriteItem(long index, unsigned char* buffer, long length) const;

    void ShowBlock(const sunblind::BlockValues& values);
    sunblind::BlockValues BlockFromControls() const;
    void ShowLuxSource(bool common);

    const sunblind::Channel& m_channel;
    const SunblindControlIds& m_ids;

    // Six buttons and eleven edits: the page's only state.
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
