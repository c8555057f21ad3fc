// The history a change leaves beside the node, in a profile of the test's
// own (LOCALAPPDATA named in several scripts) for a node whose name is not
// ASCII: one backup per change holding what the node held, the change log
// read back by a CSV reader of the test's own, Restore bringing every byte
// back, the newest 500 backups kept, a history that cannot be written, and
// two processes changing one node's history at once.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "csv.h"
#include "node_layout.h"
#include "res/resource.h"
#include "settings_file.h"
#include "sheetdriver.h"
#include "testutil.h"
#include "wtest.h"

using driver::FillJunk;
using driver::Rig;
using Bytes = std::vector<std::uint8_t>;

namespace {

// "Hall Zürich 7" as the host gives it: single-byte, Windows-1252.
const char kNodeName[] = "Hall Z\xFCrich 7";
const char kFolderName[] = "Hall Zürich 7";
const char kLogHeaderForTest[] = "\xEF\xBB\xBFTime,User,Node,Action,Channel,Setting,Before,After,Check\r\n";

// A fresh profile for this process; the node's history folder in it.
std::string FreshProfile(const std::string& name) {
    const std::string profile = testutil::FreshDir(name + " Zoë 東京");
    SetEnvironmentVariableW(L"LOCALAPPDATA", brhost::Wide(profile).c_str());
    return profile + "\\Brisel\\History\\" + kFolderName;
}

std::vector<std::string> Backups(const std::string& folder) {
    std::vector<std::string> names;
    for (const std::string& n : testutil::Names(folder))
        if (n.size() > 4 && n.compare(n.size() - 4, 4, ".txt") == 0) names.push_back(n);
    return names;
}

const layout::Channel& Ch(int c) { return layout::kChannels[c - 1]; }

// A channel's page-owned bytes as the node holds them: drive time, lux bit,
// block.
std::string Owned(const std::map<long, Bytes>& items, int c) {
    const Bytes& drive = items.at(Ch(c).driveTimeItem);
    const Bytes& record = items.at(Ch(c).record);
    std::string s = {char(drive[0]), char(drive[1]), char(items.at(layout::kFlagRecord)[0] & Ch(c).luxBit ? 1 : 0)};
    s.append(record.begin() + Ch(c).block, record.begin() + Ch(c).block + layout::kBlockSize);
    return s;
}

// The same from a backup file's channel.
std::string Owned(const sunblind::ChannelSettings& s) {
    std::string out = {char(s.driveTime[0]), char(s.driveTime[1]), char(s.luxCommon ? 1 : 0)};
    out.append(s.block.begin(), s.block.end());
    return out;
}

void SelectFrom(Rig& rig, int channel) {
    HWND page = rig.Page(0);
    SendDlgItemMessageA(page, IDC_COPYFROM, CB_SETCURSEL, channel - 1, 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_COPYFROM, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_COPYFROM)));
}

}  // namespace

// A Write, a Load and a Copy each leave one backup holding what the node
// held in the channels they change, and log rows; a Restore of that backup
// brings back every byte of the node, and leaves a backup of its own.
static void test_backup_log_and_restore() {
    const struct {
        const char* name;
        int channel;  // the channel changed
        const char* action;
        void (*act)(Rig& rig, const std::string& dir);
        const char* setting;  // the first row's setting
    } rows[] = {
        {"Write", 2, "Write Sunblind 2",
         [](Rig& rig, const std::string&) {
             rig.Select(2);
             rig.SetText(rig.Page(2), IDC_SB2_DOWNSETPOINT, "18000");
             rig.Click(rig.Page(2), IDC_WRITE);
         },
         "Down setpoint"},
        {"Load", 4, "Load other, node.txt",
         [](Rig& rig, const std::string& dir) {
             // The node's own settings with Sunblind 4's drive time otherwise.
             rig.watch.file = brhost::Wide(dir + "\\other, node.txt");
             rig.Click(rig.Page(0), IDC_SAVESETTINGS);
             rig.node.Item(Ch(4).driveTimeItem)[1] ^= 0x11;
             rig.Click(rig.Page(0), IDC_LOADSETTINGS);
         },
         "Top down time"},
        {"Copy", 3, "Copy Sunblind 1 to Sunblind 3",
         [](Rig& rig, const std::string&) {
             SelectFrom(rig, 1);
             rig.Click(rig.Page(0), IDC_COPYTO2);  // "Sunblind 3"
             rig.Click(rig.Page(0), IDC_COPY);
         },
         "Down setpoint"},
    };
    for (const auto& row : rows) {
        const std::string folder = FreshProfile(std::string("history-") + row.name);
        const std::string dir = testutil::FreshDir(std::string("history-files-") + row.name);
        Rig rig;
        rig.node.SetName(kNodeName);
        FillJunk(rig.node, 21);
        if (!ok(rig.Open(), "%s: no sheet", row.name)) continue;
        std::map<long, Bytes> before;
        rig.node.beforeCall = [&](simnode::Call::Op op, long) {
            if (op == simnode::Call::Write && before.empty()) before = rig.node.items;  // as the change found it
        };
        row.act(rig, dir);
        rig.node.beforeCall = nullptr;
        const std::map<long, Bytes> changed = rig.node.items;
        std::vector<std::string> backups = Backups(folder);
        if (!ok(backups.size() == 1 && !before.empty(), "%s: %u backups in %s", row.name, unsigned(backups.size()),
                folder.c_str()))
            continue;
        ok(backups[0].find(std::string(" ") + row.action + ".txt") != std::string::npos, "%s: backup named %s",
           row.name, backups[0].c_str());
        const sunblind::ParsedSettingsFile file = sunblind::ParseSettingsFile(testutil::Slurp(folder + "\\" + backups[0]));
        bool only = file.file.has_value();
        for (int c = 1; c <= 4 && file.file; ++c) only = only && file.file->channels[c - 1].has_value() == (c == row.channel);
        ok(only && Owned(*file.file->channels[row.channel - 1]) == Owned(before, row.channel),
           "%s: the backup does not hold Sunblind %d as it was", row.name, row.channel);
        // The log: a header and the change's rows.
        const auto log = testcsv::Read(testutil::Slurp(folder + "\\changes.csv"));
        ok(log.size() >= 2 && log[0].size() == 9 && log[0][0] == "\xEF\xBB\xBFTime" && log[1].size() == 9 &&
               log[1][2] == kFolderName && log[1][3] == row.action &&
               log[1][4] == "Sunblind " + std::to_string(row.channel) && log[1][5] == row.setting &&
               log[1][8] == "taken" && log[1][0].size() == 25 && log[1][0][10] == 'T',
           "%s: change log %s", row.name, testutil::Slurp(folder + "\\changes.csv").c_str());
        // Restore: the newest backup, through the list and the change table.
        rig.watch.boxes.clear();
        rig.Click(rig.Page(0), IDC_RESTORE);
        ok(rig.watch.boxes.size() == 3 && rig.watch.boxes[0].rows.size() == 1 &&
               rig.watch.boxes[0].rows[0].find(row.action) != std::string::npos,
           "%s: restore showed %u windows, the list %s", row.name, unsigned(rig.watch.boxes.size()),
           rig.watch.boxes.empty() || rig.watch.boxes[0].rows.empty() ? "<none>" : rig.watch.boxes[0].rows[0].c_str());
        ok(rig.node.items == before, "%s: the node is not as before the change", row.name);
        ok(Backups(folder).size() == 2 && rig.node.items != changed, "%s: %u backups after the restore", row.name,
           unsigned(Backups(folder).size()));
    }
}

// The newest 500 backups stay: the 501st removes the oldest; a change log
// of 1 MB goes on in a new file, the full one kept under a dated name.
static void test_backups_kept_within_bounds() {
    const std::string folder = FreshProfile("history-bounds");
    CreateDirectoryW(brhost::Wide(folder.substr(0, folder.rfind("\\History\\")) ).c_str(), nullptr);
    CreateDirectoryW(brhost::Wide(folder.substr(0, folder.rfind('\\'))).c_str(), nullptr);
    CreateDirectoryW(brhost::Wide(folder).c_str(), nullptr);
    for (int i = 0; i < 500; ++i) {
        char name[64];
        wsprintfA(name, "\\2020-01-%02d %02d.%02d.00.000 Write Sunblind 1.txt", 1 + i / 100, (i / 10) % 10, i % 10);
        testutil::Spit(folder + name, "old");
    }
    const std::string full = std::string(kLogHeaderForTest) + std::string(1024 * 1024, 'x') + "\r\n";
    testutil::Spit(folder + "\\changes.csv", full);
    Rig rig;
    rig.node.SetName(kNodeName);
    FillJunk(rig.node, 22);
    if (!ok(rig.Open(), "no sheet")) return;
    rig.Select(1);
    rig.SetText(rig.Page(1), IDC_SB1_DOWNSETPOINT, "1234");
    rig.Click(rig.Page(1), IDC_WRITE);
    const std::vector<std::string> backups = Backups(folder);
    ok(backups.size() == 500 && backups.front() == "2020-01-01 00.01.00.000 Write Sunblind 1.txt" &&
           backups.back().compare(0, 4, "2020") != 0,
       "%u backups, the oldest %s, the newest %s", unsigned(backups.size()),
       backups.empty() ? "-" : backups.front().c_str(), backups.empty() ? "-" : backups.back().c_str());
    std::vector<std::string> logs;
    for (const std::string& n : testutil::Names(folder))
        if (n.compare(0, 7, "changes") == 0) logs.push_back(n);
    const auto fresh = testcsv::Read(testutil::Slurp(folder + "\\changes.csv"));
    ok(logs.size() == 2 && logs[0].compare(0, 8, "changes ") == 0 &&
           testutil::Slurp(folder + "\\" + logs[0]) == full && fresh.size() == 2 && fresh[1][5] == "Down setpoint",
       "%u logs (%s), the new one %u lines", unsigned(logs.size()), logs.empty() ? "-" : logs[0].c_str(),
       unsigned(fresh.size()));
}

// A file where the node's history folder should be: the change table says
// why no backup can be kept before OK; Cancel writes nothing, OK writes all
// the same and says the history was not written; the tab shows the reason.
static void test_history_that_cannot_be_written() {
    for (int answer : {IDCANCEL, IDOK}) {
        const std::string folder = FreshProfile("history-blocked");
        CreateDirectoryW(brhost::Wide(folder.substr(0, folder.rfind("\\History\\"))).c_str(), nullptr);
        CreateDirectoryW(brhost::Wide(folder.substr(0, folder.rfind('\\'))).c_str(), nullptr);
        testutil::Spit(folder, "a file in the folder's place");
        Rig rig;
        rig.node.SetName(kNodeName);
        FillJunk(rig.node, 23);
        if (!ok(rig.Open(), "no sheet")) return;
        const auto before = rig.node.items;
        rig.watch.answer = answer;
        SelectFrom(rig, 2);
        rig.Click(rig.Page(0), IDC_COPYTO3);  // "Sunblind 4"
        rig.Click(rig.Page(0), IDC_COPY);
        const std::string table = rig.watch.boxes.empty() ? "<none>" : rig.watch.boxes[0].text;
        ok(table.find("No backup can be kept: ") != std::string::npos &&
               table.find("a file of that name is in its place") != std::string::npos,
           "%d: the table says %s", answer, table.c_str());
        if (answer == IDCANCEL) {
            ok(rig.node.items == before && rig.watch.boxes.size() == 1, "Cancel: the node changed");
            continue;
        }
        const std::string said = rig.watch.boxes.back().text;
        ok(rig.node.items != before && said.find("The history was not written: ") != std::string::npos,
           "OK: %s", said.c_str());
        ok(rig.Text(rig.Page(0), IDC_HISTORY).find("The history was not written") == 0, "the tab shows %s",
           rig.Text(rig.Page(0), IDC_HISTORY).c_str());
    }
}

// Two processes, each making 50 changes of one node at once (this program
// again, running test_history_child): 100 backups and every row.
static void test_two_processes_at_once() {
    const std::string folder = FreshProfile("history-shared");
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SetEnvironmentVariableW(L"WTEST_ONLY", L"test_history_child");
    SetEnvironmentVariableW(L"BRISEL_HISTORY_CHILD", L"50");
    PROCESS_INFORMATION pi[2] = {};
    for (auto& p : pi) {
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        std::wstring command = L"\"" + std::wstring(self) + L"\"";
        CreateProcessW(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &p);
    }
    SetEnvironmentVariableW(L"WTEST_ONLY", nullptr);
    SetEnvironmentVariableW(L"BRISEL_HISTORY_CHILD", nullptr);
    for (auto& p : pi) {
        if (!p.hProcess) continue;
        WaitForSingleObject(p.hProcess, 240000);
        DWORD code = 1;
        GetExitCodeProcess(p.hProcess, &code);
        ok(code == 0, "a child ended with %lu", code);
        CloseHandle(p.hProcess);
        CloseHandle(p.hThread);
    }
    const auto log = testcsv::Read(testutil::Slurp(folder + "\\changes.csv"));
    ok(Backups(folder).size() == 100 && log.size() == 101, "%u backups, %u log lines", unsigned(Backups(folder).size()),
       unsigned(log.size()));
}

// In a child: 50 Writes of Sunblind 1's down setpoint, each a change.
static void test_history_child() {
    const long changes = wtest::EnvNumber("BRISEL_HISTORY_CHILD", 0);
    if (!changes) return;
    Rig rig;
    rig.node.SetName(kNodeName);
    if (!ok(rig.Open(), "no sheet")) return;
    rig.Select(1);
    for (long i = 0; i < changes; ++i) {
        rig.SetText(rig.Page(1), IDC_SB1_DOWNSETPOINT, std::to_string(100 + i));
        rig.Click(rig.Page(1), IDC_WRITE);
    }
}

WTEST_MAIN(WTEST(test_backup_log_and_restore), WTEST(test_backups_kept_within_bounds),
           WTEST(test_history_that_cannot_be_written), WTEST(test_two_processes_at_once), WTEST(test_history_child))
