#include "sunblindpage.h"

#include "fw/handles.h"
#include "history.h"
#include "page_items.h"
#include "res/resource.h"

using namespace sunblind;

namespace {

constexpr UINT_PTR kLiveTimer = 1;
constexpr UINT kLivePeriodMs = 2000;

// The fields in sunblind::Field order.
#define SUNBLIND_IDS(n)                                                                                       \
    {                                                                                                         \
        SB_ID(n, LUXLEVEL), SB_ID(n, ACTUALLEVEL), SB_ID(n, TOPDOWNTIME),                                     \
            {SB_ID(n, DOWNSETPOINT), SB_ID(n, UPSETPOINT), SB_ID(n, TIMEBEFOREDOWN), SB_ID(n, TIMEBEFOREUP),  \
             SB_ID(n, PUSHLONG), SB_ID(n, PUSHSHORT), SB_ID(n, TOPLEVEL), SB_ID(n, BOTTOMLEVEL)},             \
            SB_ID(n, LEVELLOCAL), SB_ID(n, LEVELCOMMON), SB_ID(n, OVERRIDELOCAL), SB_ID(n, OVERRIDECOMMON), \
            SB_ID(n, LUXLOCAL), SB_ID(n, LUXCOMMON)                                                           \
    }
const SunblindControlIds kIds[4] = {SUNBLIND_IDS(1), SUNBLIND_IDS(2), SUNBLIND_IDS(3), SUNBLIND_IDS(4)};
#undef SUNBLIND_IDS

}  // namespace

const SunblindControlIds& SunblindIds(int channel) { return kIds[channel - 1]; }

CSunblindPage::CSunblindPage(UINT nIDTemplate, int channel, const SunblindControlIds& ids)
    : CPropertyPage(nIDTemplate, nIDTemplate), m_channel(ChannelInfo(channel)), m_ids(ids) {}

CSunblindPage::~CSunblindPage() = default;

CPage2PropPage::CPage2PropPage() : CSunblindPage(IDD_SUNBLIND1, 1, kIds[0]) {}
CPage3PropPage::CPage3PropPage() : CSunblindPage(IDD_SUNBLIND2, 2, kIds[1]) {}
CPage4PropPage::CPage4PropPage() : CSunblindPage(IDD_SUNBLIND3, 3, kIds[2]) {}
CPage5PropPage::CPage5PropPage() : CSunblindPage(IDD_SUNBLIND4, 4, kIds[3]) {}

void CSunblindPage::DoDataExchange(CDataExchange* pDX) {
    CPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, m_ids.levelLocal, m_btnLevelLocal);
    DDX_Control(pDX, m_ids.levelCommon, m_btnLevelCommon);
    DDX_Control(pDX, m_ids.overrideLocal, m_btnOverrideLocal);
    DDX_Control(pDX, m_ids.overrideCommon, m_btnOverrideCommon);
    DDX_Control(pDX, m_ids.luxLocal, m_btnLuxLocal);
    DDX_Control(pDX, m_ids.luxCommon, m_btnLuxCommon);
    DDX_Control(pDX, m_ids.luxLevel, m_editLuxLevel);
    DDX_Control(pDX, m_ids.actualLevel, m_editActualLevel);
    DDX_Control(pDX, m_ids.topDownTime, m_editTopDownTime);
    for (int f = 0; f < kFieldCount; ++f) DDX_Control(pDX, m_ids.field[f], m_editField[f]);
}

BOOL CSunblindPage::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    RefreshLiveValues();
    SetTimer(kLiveTimer, kLivePeriodMs);
    return FALSE;
}

void CSunblindPage::OnShowWindow(BOOL bShow, UINT nStatus) {
    CPropertyPage::OnShowWindow(bShow, nStatus);
    if (bShow) OnRead();
}

void CSunblindPage::OnTimer(UINT_PTR nIDEvent) {
    if (!OperationRunning(GetParent())) RefreshLiveValues();  // the next tick after it refreshes
    CPropertyPage::OnTimer(nIDEvent);
}

BOOL CSunblindPage::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (HIWORD(wParam) == BN_CLICKED) {
        const int id = LOWORD(wParam);
        if (id == IDC_READ) return OnRead(), TRUE;
        if (id == IDC_WRITE) return OnWrite(), TRUE;
        if (id == m_ids.luxLocal || id == m_ids.luxCommon) {
            m_luxClicked = true;
            return id == m_ids.luxLocal ? OnLuxLocal() : OnLuxCommon(), TRUE;
        }
        if (id == m_ids.levelLocal || id == m_ids.levelCommon) m_levelClicked = true;
        if (id == m_ids.overrideLocal || id == m_ids.overrideCommon) m_overrideClicked = true;
    }
    return CPropertyPage::OnCommand(wParam, lParam);
}

NodeItems CSunblindPage::Node() const { return NodeItems(NodeOf(GetParent())); }

void CSunblindPage::RefreshLiveValues() {
    NodeItems node = Node();
    const LiveValues live = ReadLive(node, m_channel.number);
    if (live.lux) m_editLuxLevel.SetWindowText(live.lux->c_str());
    if (live.level) m_editActualLevel.SetWindowText(live.level->c_str());
}

void CSunblindPage::ShowLuxSource(bool common) {
    if (common)
        OnLuxCommon();
    else
        OnLuxLocal();
}

void CSunblindPage::ShowBlock(const BlockValues& values) {
    int local = 0, common = 0;
    m_levelShown = ChecksFromCode(values.levelSource, local, common);
    if (m_levelShown) {
        m_btnLevelLocal.SetCheck(local);
        m_btnLevelCommon.SetCheck(common);
    }
    m_overrideShown = ChecksFromCode(values.overrideSource, local, common);
    if (m_overrideShown) {
        m_btnOverrideLocal.SetCheck(local);
        m_btnOverrideCommon.SetCheck(common);
    }
    m_levelClicked = m_overrideClicked = false;
    for (int f = 0; f < kFieldCount; ++f) m_editField[f].SetWindowText(values.text[f].c_str());
    m_blockShown = true;
}

PageEdits CSunblindPage::Edits() const {
    PageEdits edits;
    // Only what a read filled or the user changed: a Write never stores what
    // the page neither read nor was given (a read that failed when the tab
    // was shown leaves the node's own bytes in place).
    if (m_driveShown || m_editTopDownTime.GetModify()) edits.topDownTime = m_editTopDownTime.GetWindowText();
    if (m_luxShown || m_luxClicked) edits.luxCommon = m_btnLuxCommon.GetCheck() == BST_CHECKED;
    if (m_levelClicked || m_levelShown)
        edits.levelSource = CodeFromChecks(m_btnLevelLocal.GetCheck(), m_btnLevelCommon.GetCheck());
    if (m_overrideClicked || m_overrideShown)
        edits.overrideSource = CodeFromChecks(m_btnOverrideLocal.GetCheck(), m_btnOverrideCommon.GetCheck());
    for (int f = 0; f < kFieldCount; ++f)
        if (m_blockShown || m_editField[f].GetModify()) edits.field[f] = m_editField[f].GetWindowText();
    return edits;
}

std::optional<ChannelSettings> CSunblindPage::OnRead() {
    CWaitCursor wait;
    NodeItems node = Node();
    const PageRead shown = ReadPage(node, m_channel.number);
    if (shown.topDownTime) {
        m_editTopDownTime.SetWindowText(shown.topDownTime->c_str());
        m_driveShown = true;
    }
    if (shown.luxCommon) {
        ShowLuxSource(*shown.luxCommon);
        m_luxShown = true;
        m_luxClicked = false;
    }
    if (shown.block) ShowBlock(*shown.block);
    return shown.settings;
}

void CSunblindPage::OnWrite() {
    CWaitCursor wait;
    PageWrite written;
    {
        NodeItems node = Node();
        written = WritePage(node, m_channel.number, Edits());
    }
    // The Read that follows every Write shows what the node took; the
    // history gets what was there before, what was sent and that.
    ChangeRecord record = NewRecord(GetParent(), "Write Sunblind " + std::to_string(m_channel.number));
    record.channels.push_back({m_channel.number, written.before, written.wanted, OnRead()});
    RecordChange(GetParent(), record, true);
}

void CSunblindPage::OnLuxLocal() {
    m_btnLuxLocal.SetCheck(BST_CHECKED);
    m_btnLuxCommon.SetCheck(BST_UNCHECKED);
}

void CSunblindPage::OnLuxCommon() {
    m_btnLuxCommon.SetCheck(BST_CHECKED);
    m_btnLuxLocal.SetCheck(BST_UNCHECKED);
}
