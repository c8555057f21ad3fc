#include "nodeinfopage.h"

#include "changetable.h"
#include "fw/filedialog.h"
#include "fw/files.h"
#include "fw/handles.h"
#include "history.h"
#include "progress.h"
#include "restorelist.h"
#include "node_transfer.h"
#include "settings_file.h"
#include "res/resource.h"

using namespace sunblind;

namespace {

constexpr long kNodeNameLength = 50;
const char kSaveCaption[] = "Save settings";
const char kLoadCaption[] = "Load settings";
const char kCopyCaption[] = "Copy settings";
const char kRestoreCaption[] = "Restore settings";
const wchar_t kFilter[] = L"Settings files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";

// "<node name> settings.txt", with what a file name cannot hold replaced.
std::wstring DefaultFileName(const std::wstring& nodeName) {
    std::wstring name;
    for (wchar_t c : nodeName) name += (c < 32 || std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos) ? L'_' : c;
    while (!name.empty() && (name.back() == L' ' || name.back() == L'.')) name.pop_back();
    while (!name.empty() && name.front() == L' ') name.erase(0, 1);
    return (name.empty() ? std::wstring(L"Sunblind") : name) + L" settings.txt";
}

}  // namespace

CBriselPropPage::CBriselPropPage() : CPropertyPage(IDD_NODEINFO, IDD_NODEINFO) {}

void CBriselPropPage::DoDataExchange(CDataExchange* pDX) {
    CPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_NODENAME, m_editNodeName);
    DDX_Control(pDX, IDC_COPYFROM, m_comboCopyFrom);
    DDX_Control(pDX, IDC_COPYTO1, m_btnCopyTo[0]);
    DDX_Control(pDX, IDC_COPYTO2, m_btnCopyTo[1]);
    DDX_Control(pDX, IDC_COPYTO3, m_btnCopyTo[2]);
}

BOOL CBriselPropPage::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    for (int c = 1; c <= 4; ++c) m_comboCopyFrom.AddString(("Sunblind " + std::to_string(c)).c_str());
    m_comboCopyFrom.SetCurSel(0);
    LabelCopyTargets();
    return FALSE;  // no initial focus on the page
}

void CBriselPropPage::OnShowWindow(BOOL bShow, UINT nStatus) {
    CPropertyPage::OnShowWindow(bShow, nStatus);
    if (!bShow) return;
    std::string name;
    NodeItems node = Node();
    if (node.Name(name, kNodeNameLength)) m_editNodeName.SetWindowText(name.c_str());
    ShowHistory();
}

BOOL CBriselPropPage::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    if (HIWORD(wParam) == BN_CLICKED) {
        if (id == IDC_SAVESETTINGS) return OnSaveSettings(), TRUE;
        if (id == IDC_LOADSETTINGS) return OnLoadSettings(), TRUE;
        if (id == IDC_COPY) return OnCopy(), TRUE;
        if (id == IDC_RESTORE) return OnRestore(), TRUE;
    }
    if (id == IDC_COPYFROM && HIWORD(wParam) == CBN_SELCHANGE) return LabelCopyTargets(), TRUE;
    return CPropertyPage::OnCommand(wParam, lParam);
}

NodeItems CBriselPropPage::Node() const { return NodeItems(NodeOf(GetParent())); }

std::string CBriselPropPage::TargetName() const {
    const std::string name = AfxUtf8FromWide(AfxWideFromBytes(NodeName()));
    return name.empty() ? std::string("the node") : "\"" + name + "\"";
}

std::string CBriselPropPage::NodeName() const {
    std::string name;
    NodeItems node = Node();
    return node.Name(name, kNodeNameLength) ? name : std::string();
}

void CBriselPropPage::LabelCopyTargets() {
    const int from = m_comboCopyFrom.GetCurSel() + 1;
    for (int i = 0, c = 1; i < 3; ++c) {
        if (c == from) continue;
        m_btnCopyTo[i++].SetWindowText(("Sunblind &" + std::to_string(c)).c_str());  // its digit is its key
    }
}

int CBriselPropPage::Message(const std::string& caption, const std::string& text, UINT type) const {
    const CWnd* sheet = GetParent();
    return MessageBoxW(sheet ? sheet->GetSafeHwnd() : m_hWnd, AfxWideFromUtf8(text).c_str(),
                       AfxWideFromUtf8(caption).c_str(), type);
}

std::optional<NodeChannels> CBriselPropPage::ReadNode(const char* caption, const char* consequence) const {
    std::string error;
    std::optional<NodeChannels> channels;
    {
        CNodeProgress progress(GetParent(), caption);
        NodeItems node = progress.Node();
        channels = ReadChannels(node, error, &progress);
    }
    if (!channels && error.empty())
        Message(caption, std::string("Stopped before all settings were read. ") + consequence, MB_OK | MB_ICONINFORMATION);
    else if (!channels)
        Message(caption, "The settings could not be read from the node. " + error + "\n\n" + consequence,
                MB_OK | MB_ICONWARNING);
    return channels;
}

void CBriselPropPage::OnSaveSettings() {
    const std::string name = NodeName();
    CFileDialog dialog(FALSE, L"txt", DefaultFileName(AfxWideFromBytes(name)), OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST,
                       kFilter, GetParent());
    dialog.m_ofn.lpstrTitle = L"Save settings";
    if (dialog.DoModal() != IDOK) return;
    const std::wstring path = dialog.GetPathName();

    const std::optional<NodeChannels> channels = ReadNode(kSaveCaption, "Nothing was saved.");
    if (!channels) return;
    std::string error;
    SettingsFile file;
    file.nodeName = AfxUtf8FromWide(AfxWideFromBytes(name));
    file.saved = SavedTime(CNodeHistory::Now());
    file.channels = *channels;
    if (!AfxWriteFileDurably(path, FormatSettingsFile(file), error)) {
        Message(kSaveCaption, AfxQuotedPath(path) + " could not be written: " + error + ".\n\nNothing was saved.",
                MB_OK | MB_ICONWARNING);
        return;
    }
    Message(kSaveCaption, "The settings of the four channels were saved to " + AfxQuotedPath(path) + ".",
            MB_OK | MB_ICONINFORMATION);
}

void CBriselPropPage::OnLoadSettings() {
    CFileDialog dialog(TRUE, L"txt", std::wstring(), OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST, kFilter, GetParent());
    dialog.m_ofn.lpstrTitle = L"Load settings";
    if (dialog.DoModal() != IDOK) return;
    const std::wstring path = dialog.GetPathName();
    const std::string refused = AfxQuotedPath(path) + " cannot be loaded: ";
    const std::string untouched = "\n\nThe node was not changed.";

    std::string bytes, error;
    if (!AfxReadSmallFile(path, kMaxSettingsFileBytes, bytes, error)) {
        Message(kLoadCaption, refused + error + "." + untouched, MB_OK | MB_ICONWARNING);
        return;
    }
    const ParsedSettingsFile parsed = ParseSettingsFile(bytes);
    if (!parsed.file) {
        Message(kLoadCaption, refused + "\n\n" + SettingsErrorText(parsed.error) + untouched, MB_OK | MB_ICONWARNING);
        return;
    }
    const std::optional<NodeChannels> current = ReadNode(kLoadCaption, "The node was not changed.");
    if (!current) return;
    const std::string from = parsed.file->nodeName.empty() ? std::string() : " (saved from \"" + parsed.file->nodeName + "\")";
    ConfirmAndWrite(*current, parsed.file->channels, kLoadCaption,
                    "Load " + AfxQuotedPath(path) + from + " into " + TargetName() + "?",
                    "Load " + AfxUtf8FromWide(AfxFileName(path)));
}

void CBriselPropPage::OnCopy() {
    const int from = m_comboCopyFrom.GetCurSel() + 1;
    std::vector<int> targets;
    for (int i = 0, c = 1; c <= 4; ++c) {
        if (c == from) continue;
        if (m_btnCopyTo[i++].GetCheck() == BST_CHECKED) targets.push_back(c);
    }
    if (from < 1 || targets.empty()) {
        Message(kCopyCaption, "Check the channels to copy the settings to.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    const std::optional<NodeChannels> current = ReadNode(kCopyCaption, "The node was not changed.");
    if (!current) return;
    NodeChannels wanted;
    for (int c : targets) wanted[c - 1] = (*current)[from - 1];
    const std::string copy = "Copy Sunblind " + std::to_string(from) + " to " + ChannelNames(targets);
    ConfirmAndWrite(*current, wanted, kCopyCaption,
                    "Copy the settings of Sunblind " + std::to_string(from) + " to " + ChannelNames(targets) + " on " +
                        TargetName() + "?",
                    copy);
}

// Shows what would change, writes it when the user agrees and reports what
// the node took.
void CBriselPropPage::ConfirmAndWrite(const NodeChannels& current, const NodeChannels& wanted,
                                      const std::string& caption, const std::string& question,
                                      const std::string& action) {
    const std::vector<ChannelChange> described = DescribeChanges(current, wanted);
    if (ChangesText(described).empty()) {
        Message(caption, "The node already holds these settings. Nothing was written.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    // Where the backup will go, or why there will be none: said before OK.
    const CNodeHistory history = HistoryOf(GetParent());
    std::string problem;
    const std::string backup =
        history.CanWrite(problem)
            ? "What it replaces is backed up first in \"" + AfxUtf8FromWide(history.Folder()) + "\"."
            : "No backup can be kept: " + problem + ". Press OK to write all the same.";
    CChangeTable table(GetParent(), caption,
                       question + " These settings change. Press OK to write them to the node.\n" + backup, described);
    if (table.DoModal() != IDOK) return;
    ChangeRecord record = NewRecord(GetParent(), action);
    const NodeChannels changing = Changing(described, wanted);
    TransferResult result;
    std::string historyError;
    {
        CNodeProgress progress(GetParent(), caption);
        progress.replacing = [&](const NodeChannels& before) {
            for (int c = 1; c <= 4; ++c)
                if (changing[c - 1] && before[c - 1])
                    record.channels.push_back({c, *before[c - 1], *changing[c - 1], std::nullopt});
            history.Backup(record, historyError);
        };
        NodeItems node = progress.Node();
        result = WriteChannels(node, changing, &progress);
    }
    record.channels = result.records;
    if (historyError.empty()) history.Log(record, historyError);
    SetHistoryProblem(GetParent(), historyError);
    ShowHistory();
    if (result.error.empty() && result.notTaken.empty() && !result.stopped && historyError.empty()) {
        Message(caption, "The settings were written and read back: the node holds them.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    std::string text;
    auto add = [&](const std::string& more) { text += (text.empty() ? "" : "\n\n") + more; };
    if (result.stopped)
        add("Stopped. " +
            (result.written.empty() ? std::string("Nothing was written.")
                                    : "Written and read back: " + ChannelNames(result.written) + ".") +
            (result.notWritten.empty() ? "" : " Not changed: " + ChannelNames(result.notWritten) + "."));
    if (!result.error.empty()) add(result.error);
    if (!result.stopped && !result.notWritten.empty()) add("Not changed: " + ChannelNames(result.notWritten) + ".");
    if (!result.notTaken.empty())
        add("Read back, these channels do not hold what was written: " + ChannelNames(result.notTaken) + ".");
    if (result.error.empty() && result.notTaken.empty() && !result.stopped)
        add("The settings were written and read back: the node holds them.");
    if (!historyError.empty()) add("The history was not written: " + historyError + ".");
    Message(caption, text, result.error.empty() && result.notTaken.empty() ? MB_OK | MB_ICONINFORMATION
                                                                          : MB_OK | MB_ICONWARNING);
}

void CBriselPropPage::ShowHistory() {
    const CNodeHistory history = HistoryOf(GetParent());
    const std::string problem = HistoryProblem(GetParent());
    const std::string text = problem.empty() ? "History: " + AfxUtf8FromWide(history.Folder())
                                             : "The history was not written: " + problem;
    SetDlgItemTextW(m_hWnd, IDC_HISTORY, AfxWideFromUtf8(text).c_str());
}

void CBriselPropPage::OnRestore() {
    const CNodeHistory history = HistoryOf(GetParent());
    const std::vector<CNodeHistory::Entry> backups = history.Backups();
    if (backups.empty()) {
        Message(kRestoreCaption, "There is no backup of this node in \"" + AfxUtf8FromWide(history.Folder()) + "\".",
                MB_OK | MB_ICONINFORMATION);
        return;
    }
    const std::optional<NodeChannels> current = ReadNode(kRestoreCaption, "The node was not changed.");
    if (!current) return;
    CRestoreList list(GetParent(), backups, *current);
    if (list.DoModal() != IDOK || list.Chosen() < 0) return;
    const CNodeHistory::Entry& chosen = backups[static_cast<std::size_t>(list.Chosen())];
    std::string bytes, error;
    std::optional<SettingsFile> file;
    if (AfxReadSmallFile(chosen.path, kMaxSettingsFileBytes, bytes, error)) {
        ParsedSettingsFile parsed = ParseSettingsFile(bytes);
        file = parsed.file;
        if (!file) error = SettingsErrorText(parsed.error);
    }
    if (!file) {
        Message(kRestoreCaption, AfxQuotedPath(chosen.path) + " cannot be restored: " + error + "\n\nThe node was not changed.",
                MB_OK | MB_ICONWARNING);
        return;
    }
    const std::string name = AfxUtf8FromWide(chosen.path.substr(chosen.path.rfind(L'\\') + 1));
    ConfirmAndWrite(*current, file->channels, kRestoreCaption,
                    "Restore what " + TargetName() + " held at " + chosen.time + " before \"" + chosen.action + "\"?",
                    "Restore " + name);
}
