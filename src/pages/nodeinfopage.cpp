#include "nodeinfopage.h"

#include <string>

#include "res/resource.h"
#include "pages/nodeaccess.h"

namespace {
constexpr long kNodeNameLength = 50;
}

CBriselPropPage::CBriselPropPage() : CPropertyPage(IDD_NODEINFO, IDD_NODEINFO) {}

void CBriselPropPage::DoDataExchange(CDataExchange* pDX) {
    CPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_NODENAME, m_editNodeName);
}

BOOL CBriselPropPage::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    return FALSE;  // no initial focus on the page
}

void CBriselPropPage::OnShowWindow(BOOL bShow, UINT nStatus) {
    CPropertyPage::OnShowWindow(bShow, nStatus);
    if (!bShow) return;
    const auto* source = dynamic_cast<const INodeSource*>(GetParent());
    INodeReader* reader = source ? source->NodeReader() : nullptr;
    if (!reader) return;

    // One byte more than the host may fill, so the text always ends.
    char buffer[kNodeNameLength + 1] = {};
    if (reader->GetNodeName(buffer, kNodeNameLength) != 0) return;

    // All 50 bytes go into the text; the window shows it up to the first zero.
    std::string name;
    for (long i = 0; i < kNodeNameLength; ++i) name += buffer[i];
    m_editNodeName.SetWindowText(name.c_str());
}
