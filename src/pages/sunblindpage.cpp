#include "sunblindpage.h"

#include <cstring>

#include "res/resource.h"

using namespace sunblind;

namespace {

// Value buffers keep one zeroed byte beyond the longest length handed to the
// host: a host that ends what it reads or writes with a terminating zero
// writes it into the buffer, not past it.
constexpr int kBufferSize = kValueBufferSize + 1;

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
    RefreshLiveValues();
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

INodeReader* CSunblindPage::Reader() const { return NodeReaderOf(GetParent()); }

INodeWriter* CSunblindPage::Writer() const { return NodeWriterOf(GetParent()); }

bool CSunblindPage::ReadItem(long index, unsigned char* buffer, long length) const {
    // Zeroed before every read: a host that reports success but fills fewer
    // bytes than asked must not have stale bytes of an earlier item (or the
    // stack's) sent back to the node.
    std::memset(buffer, 0, kBufferSize);
    INodeReader* reader = Reader();
    return reader && reader->ReadItem(index, buffer, length) == 0;
}

void CSunblindPage::WriteItem(long index, unsigned char* buffer, long length) const {
    buffer[length] = 0;  // not handed over: the host sees only length bytes
    if (INodeWriter* writer = Writer()) writer->WriteItem(index, buffer, length);  // result: the re-read tells
}

void CSunblindPage::RefreshLiveValues() {
    CBitConverter conv;
    unsigned char buffer[kBufferSize];

    // The stored flag, not the radio buttons, chooses the lux item.
    if (ReadItem(kFlagRecord, buffer, kDisplayReadLength)) {
        const long luxItem = DecodeLuxSourceCommon(conv, buffer, m_channel.number) ? kCommonLuxItem
                                                                                     : m_channel.localLuxItem;
        if (ReadItem(luxItem, buffer, kDisplayReadLength))
            m_editLuxLevel.SetWindowText(DecodeLuxLevel(conv, buffer).c_str());
    }
    if (ReadItem(m_channel.levelItem, buffer, kDisplayReadLength))
        m_editActualLevel.SetWindowText(DecodeActualLevel(conv, buffer).c_str());
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

BlockValues CSunblindPage::BlockToWrite(const unsigned char* record) const {
    BlockValues values = DecodeBlock(CBitConverter(), record, m_channel.blockStart);
    if (m_levelClicked || m_levelShown)
        values.levelSource = CodeFromChecks(m_btnLevelLocal.GetCheck(), m_btnLevelCommon.GetCheck());
    if (m_overrideClicked || m_overrideShown)
        values.overrideSource = CodeFromChecks(m_btnOverrideLocal.GetCheck(), m_btnOverrideCommon.GetCheck());
    for (int f = 0; f < kFieldCount; ++f)
        if (m_blockShown || m_editField[f].GetModify()) values.text[f] = m_editField[f].GetWindowText();
    return values;
}

void CSunblindPage::OnRead() {
    CBitConverter conv;
    unsigned char buffer[kBufferSize];

    if (ReadItem(m_channel.driveTimeItem, buffer, kDisplayReadLength)) {
        m_editTopDownTime.SetWindowText(DecodeTopDownTime(conv, buffer).c_str());
        m_driveShown = true;
    }

    if (ReadItem(kFlagRecord, buffer, kDisplayReadLength)) {
        ShowLuxSource(DecodeLuxSourceCommon(conv, buffer, m_channel.number));
        m_luxShown = true;
        m_luxClicked = false;
        if (m_channel.settingsRecord == kFlagRecord) ShowBlock(DecodeBlock(conv, buffer, m_channel.blockStart));
    }

    if (m_channel.settingsRecord != kFlagRecord &&
        ReadItem(m_channel.settingsRecord, buffer, kDisplayReadLength))
        ShowBlock(DecodeBlock(conv, buffer, m_channel.blockStart));
}

void CSunblindPage::OnWrite() {
    {
        CBitConverter conv;
        unsigned char buffer[kBufferSize];

        // Each item is read again right before it is changed, so the bytes
        // this page does not own go back as the node holds them now; so do
        // the page's own where no read filled its controls and the user
        // typed nothing (a read that failed when the tab was shown).
        if (ReadItem(m_channel.driveTimeItem, buffer, kWriteReadLength)) {
            if (m_driveShown || m_editTopDownTime.GetModify())
                EncodeTopDownTime(conv, buffer, m_editTopDownTime.GetWindowText());
            WriteItem(m_channel.driveTimeItem, buffer, kDriveTimeWriteLength);
        }

        if (ReadItem(kFlagRecord, buffer, kWriteReadLength)) {
            if (m_luxShown || m_luxClicked)
                EncodeLuxSource(conv, buffer, m_channel.number, m_btnLuxCommon.GetCheck() == BST_CHECKED);
            if (m_channel.settingsRecord == kFlagRecord)
                EncodeBlock(conv, buffer, m_channel.blockStart, BlockToWrite(buffer));
            WriteItem(kFlagRecord, buffer, kRecordWriteLength);
        }

        if (m_channel.settingsRecord != kFlagRecord && ReadItem(m_channel.settingsRecord, buffer, kWriteReadLength)) {
            EncodeBlock(conv, buffer, m_channel.blockStart, BlockToWrite(buffer));
            WriteItem(m_channel.settingsRecord, buffer, kRecordWriteLength);
        }
    }
    OnRead();
}

void CSunblindPage::OnLuxLocal() {
    m_btnLuxLocal.SetCheck(BST_CHECKED);
    m_btnLuxCommon.SetCheck(BST_UNCHECKED);
}

void CSunblindPage::OnLuxCommon() {
    m_btnLuxCommon.SetCheck(BST_CHECKED);
    m_btnLuxLocal.SetCheck(BST_UNCHECKED);
}
