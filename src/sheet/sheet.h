// CSheet: the modal configuration sheet. It holds the pages by value and, for
// its whole lifetime, one counted reference to each node-access interface
// that the control's client site gave it; pages borrow them through
// m_pNodeReader and m_pNodeWriter at every access.
#pragma once

#include "fw/comptr.h"
#include "fw/olecontrol.h"
#include "fw/propsheet.h"
#include "pages/nodeinfopage.h"
#include "pages/sunblindpage.h"
#include "pages/nodeaccess.h"

// The control whose Properties verb ran last on this thread (its
// OnProperties sets it); the sheet's constructor reads it to reach that
// control's client site. One per thread, since controls in other apartments
// open their sheets at the same time; holds no counted reference and is
// cleared when that control goes.
extern thread_local COleControl* g_pCurrentControl;

class CSheet : public CPropertySheet, public INodeSource {
public:
    CSheet(const char* pszCaption, CWnd* pParentWnd, UINT iSelectPage);
    ~CSheet() override;

    BOOL OnInitDialog() override;

    INodeReader* NodeReader() const override { return m_pNodeReader; }
    INodeWriter* NodeWriter() const override { return m_pNodeWriter; }

private:
    // What the pages use; null when not obtained. Plain copies of the counted
    // references below.
    INodeWriter* m_pNodeWriter;
    INodeReader* m_pNodeReader;

    void AcquireNodeInterfaces();

    com_ptr<INodeWriter> m_pWriterRef;
    com_ptr<INodeReader> m_pReaderRef;
    IOleClientSite* m_pSite;  // borrowed from the control

    CBriselPropPage m_pageNodeInfo;
    CPage2PropPage m_pageSunblind1;
    CPage3PropPage m_pageSunblind2;
    CPage4PropPage m_pageSunblind3;
    CPage5PropPage m_pageSunblind4;
};
