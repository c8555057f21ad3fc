// CSheet: the modal configuration sheet. It holds the pages by value and, for
// its whole lifetime, one counted reference to each node-access interface
// that the control's client site gave it; pages reach the node through it
// (INodeSource) at every access.
#pragma once

#include "fw/comptr.h"
#include "fw/olecontrol.h"
#include "fw/propsheet.h"
#include "pages/nodeinfopage.h"
#include "pages/sunblindpage.h"
#include "pages/nodeaccess.h"
#include "node_items.h"

// The control whose Properties verb ran last on this thread (its
// OnProperties sets it); the sheet's constructor reads it to reach that
// control's client site. One per thread, since controls in other apartments
// open their sheets at the same time; holds no counted reference and is
// cleared when that control goes.
extern thread_local COleControl* g_pCurrentControl;

class CSheet : public CPropertySheet, public INodeSource, private sunblind::ItemAccess {
public:
    CSheet(const char* pszCaption, CWnd* pParentWnd, UINT iSelectPage);
    ~CSheet() override;

    BOOL OnInitDialog() override;

    sunblind::ItemAccess* Node() override { return this; }
    void SetOperationRunning(bool running) override { m_operationRunning = running; }
    bool OperationRunning() const override { return m_operationRunning; }
    std::string KnownNodeName() const override { return m_knownName; }
    std::wstring SettingsFilePath() const override { return m_settingsFile; }
    void SetHistoryProblem(const std::string& problem) override { m_historyProblem = problem; }
    std::string HistoryProblem() const override { return m_historyProblem; }

private:
    // The node through the host's interfaces; a call whose interface was not
    // obtained is not made and fails.
    bool Read(long index, BYTE_T* buffer, long length) override;
    bool Write(long index, BYTE_T* buffer, long length) override;
    bool Name(char* buffer, long length) override;

    void AcquireNodeInterfaces();

    // The one owner of each interface; null when not obtained.
    com_ptr<INodeWriter> m_pNodeWriter;
    com_ptr<INodeReader> m_pNodeReader;
    bool m_operationRunning = false;
    std::string m_knownName;  // the last name the node gave
    std::wstring m_settingsFile;  // Brisel Settings' file, else empty
    std::string m_historyProblem;

    CBriselPropPage m_pageNodeInfo;
    CPage2PropPage m_pageSunblind1;
    CPage3PropPage m_pageSunblind2;
    CPage4PropPage m_pageSunblind3;
    CPage5PropPage m_pageSunblind4;
};
