// BriselSettings.exe as a user runs it: a child process started from a
// fresh folder whose name is in several scripts (the program and Brisel.ocx
// copied there), with a profile of its own, driven through its windows by
// messages from this process. Opening, editing and saving a settings file
// with the backup it leaves; Cancel and No at the save question; a new file
// from factory settings through the Open dialog; refused files; a file
// lacking channels; and the module taken from the program's own folder
// while another copy is registered.
#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "csv.h"
#include "ocxhelp.h"
#include "res/resource.h"
#include "testutil.h"
#include "wtest.h"

using testutil::Slurp;
using testutil::Spit;
using testutil::Utf8;
using testutil::Wide;

namespace {

// How long one step (a window to appear, the program to end) may take.
DWORD StepMs() { return wtest::emulated() ? 90000 : 30000; }

// ---- Files ------------------------------------------------------------------

const char kHeader[] =
    "Brisel settings, format 1\r\n"
    "# Setpoints in lux, times in seconds, levels in percent.\r\n"
    "# nviLevel and nviOverrideLevel: None, Local, Common or Local and Common.\r\n"
    "# A source code the page cannot show is kept as its number (-128 to 127).\r\n";

// One channel's section, its twelve settings in the order they are written.
std::string Section(int channel, const char* down, const char* up, const char* beforeDown, const char* beforeUp,
                    const char* pushShort, const char* pushLong, const char* drive, const char* top,
                    const char* bottom, const char* lux, const char* level, const char* override) {
    return "\r\n[Sunblind " + std::to_string(channel) + "]\r\nDown setpoint = " + down + "\r\nUp setpoint = " + up +
           "\r\nTime before down = " + beforeDown + "\r\nTime before up = " + beforeUp +
           "\r\nPush time short = " + pushShort + "\r\nPush time long = " + pushLong + "\r\nTop down time = " +
           drive + "\r\nTop level = " + top + "\r\nBottum level = " + bottom + "\r\nnviLux = " + lux +
           "\r\nnviLevel = " + level + "\r\nnviOverrideLevel = " + override + "\r\n";
}

std::string Factory(int channel) {
    return Section(channel, "10000", "5000", "5.0", "5.0", "0.3", "1.0", "30.0", "100.0", "0.0", "Local", "Local",
                   "Common");
}

const std::string kEnd = "\r\nEnd of settings\r\n";
const std::string kNames = std::string(kHeader) + "Node name = Hall Zürich 7\r\nSaved = at the controller\r\n";
const std::string kChannel1 =
    Section(1, "1001", "201", "1.5", "2.5", "0.3", "-0.4", "12.5", "50.5", "10.0", "Common", "Local", "Local and Common");
const std::string kChannel2 =
    Section(2, "1002", "202", "3.0", "4.0", "0.5", "1.5", "60.0", "99.5", "0.5", "Local", "Common", "None");
const std::string kChannel3 =
    Section(3, "1003", "203", "0.0", "600.0", "-1.2", "2.0", "120.0", "75.0", "25.0", "Common", "None", "Local");
const std::string kChannel4 =
    Section(4, "65535", "0", "6553.5", "0.1", "12.7", "-12.8", "6553.5", "127.5", "127.5", "Local",
            "Local and Common", "Common");
const std::string kFourChannels = kNames + kChannel1 + kChannel2 + kChannel3 + kChannel4 + kEnd;

// The text with its "Saved = " line's value replaced by "<time>" when it
// has the shape "yyyy-mm-dd hh:mm:ss".
std::string TimeMasked(std::string text) {
    const std::string key = "\r\nSaved = ";
    const std::size_t at = text.find(key);
    if (at == std::string::npos) return text;
    const std::size_t from = at + key.size(), end = text.find("\r\n", from);
    const std::string value = text.substr(from, end - from);
    const char shape[] = "dddd-dd-dd dd:dd:dd";
    bool timed = value.size() == sizeof shape - 1;
    for (std::size_t i = 0; timed && i < value.size(); ++i)
        timed = shape[i] == 'd' ? value[i] >= '0' && value[i] <= '9' : value[i] == shape[i];
    return timed ? text.replace(from, end - from, "<time>") : text;
}

std::string Masked(const std::string& text) {
    std::string masked = text;
    const std::size_t at = masked.find("Saved = at the controller");
    if (at != std::string::npos) masked.replace(at, 25, "Saved = <time>");
    return masked;
}

// The names in a folder, folders or files.
std::vector<std::string> Entries(const std::string& dir, bool folders) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(Wide(dir + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = Utf8(found.cFileName);
        if (name == "." || name == "..") continue;
        if (((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folders) names.push_back(name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

bool Digits(const std::string& s, std::size_t from, std::size_t n, bool hex = false) {
    if (s.size() < from + n) return false;
    for (std::size_t i = from; i < from + n; ++i)
        if (!(s[i] >= '0' && s[i] <= '9') && !(hex && ((s[i] >= 'A' && s[i] <= 'F') || (s[i] >= 'a' && s[i] <= 'f'))))
            return false;
    return true;
}

// "2026-12-10 14.03.07.123 Save.txt"
bool SaveBackupName(const std::string& n) {
    return n.size() == 32 && Digits(n, 0, 4) && n[4] == '-' && Digits(n, 5, 2) && n[7] == '-' && Digits(n, 8, 2) &&
           n[10] == ' ' && Digits(n, 11, 2) && n[13] == '.' && Digits(n, 14, 2) && n[16] == '.' && Digits(n, 17, 2) &&
           n[19] == '.' && Digits(n, 20, 3) && n.compare(23, 9, " Save.txt") == 0;
}

// ---- A case's folders -------------------------------------------------------

// The program's folder with copies of BriselSettings.exe and Brisel.ocx,
// and a profile (LOCALAPPDATA) of the case's own that children inherit.
struct Place {
    std::string dir, profile;
    explicit Place(const std::string& name) {
        dir = testutil::FreshDir("desk-" + name + " Zoë 東京 Ελλάδα");
        profile = testutil::FreshDir("desk-profile-" + name + " Zoë 東京");
        SetEnvironmentVariableW(L"LOCALAPPDATA", Wide(profile).c_str());
        std::string build = testutil::ExeDir();  // build/<arch>/tests/wine
        for (int up = 0; up < 2; ++up) build.erase(build.find_last_of('\\'));
        for (const char* file : {"\\BriselSettings.exe", "\\Brisel.ocx"})
            if (!CopyFileW(Wide(build + file).c_str(), Wide(dir + file).c_str(), FALSE))
                ok(false, "cannot copy %s%s: %lu", build.c_str(), file, GetLastError());
    }
    std::string History() const { return profile + "\\Brisel\\Settings file history"; }
};

// ---- The program as a child --------------------------------------------------

struct Search {
    DWORD pid;
    std::wstring caption;
    bool box;  // a message box: a static with id 0xFFFF holds its text
    HWND skip;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || hwnd == s->skip || !IsWindowVisible(hwnd)) return TRUE;
    wchar_t cls[32] = {}, caption[256] = {};
    GetClassNameW(hwnd, cls, 32);
    GetWindowTextW(hwnd, caption, 256);
    if (lstrcmpW(cls, L"#32770") != 0 || s->caption != caption) return TRUE;
    if (s->box != (GetDlgItem(hwnd, 0xFFFF) != nullptr)) return TRUE;
    s->found = hwnd;
    return FALSE;
}

// A window's text read through the window (an edit's text lives in the
// control, in the other process).
std::string TextOf(HWND hwnd) {
    wchar_t text[4096] = {};
    DWORD_PTR got = 0;
    if (!hwnd || !SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, StepMs(),
                                      &got))
        return "<no text>";
    return Utf8(text);
}

class Desk {
public:
    static constexpr DWORD kRunning = 0xFFFFFFFF;

    // Starts dir\BriselSettings.exe with the file as its argument (none when
    // empty).
    Desk(const std::string& dir, const std::string& file) {
        const std::wstring exe = Wide(dir + "\\BriselSettings.exe");
        std::wstring command = L"\"" + exe + L"\"";
        if (!file.empty()) command += L" \"" + Wide(file) + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, Wide(dir).c_str(), &si,
                            &m_pi))
            ok(false, "cannot start %s: %lu", Utf8(exe).c_str(), GetLastError());
    }
    ~Desk() {
        if (!m_pi.hProcess) return;
        if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) {
            ok(false, "BriselSettings.exe was still running at the end of the case; ended");
            TerminateProcess(m_pi.hProcess, 99);
            WaitForSingleObject(m_pi.hProcess, StepMs());
        }
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
    }
    Desk(const Desk&) = delete;
    Desk& operator=(const Desk&) = delete;

    DWORD Pid() const { return m_pi.dwProcessId; }

    // The program's dialog (or message box) of that caption once it shows;
    // null, reported, when it does not within a step or the program ended.
    HWND Wait(const char* caption, bool box = false) {
        Search s{m_pi.dwProcessId, Wide(caption), box, m_answered, nullptr};
        const DWORD start = GetTickCount();
        while (m_pi.hProcess) {
            s.found = nullptr;
            EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&s));
            if (s.found) return s.found;
            if (WaitForSingleObject(m_pi.hProcess, 50) == WAIT_OBJECT_0) {
                DWORD code = 0;
                GetExitCodeProcess(m_pi.hProcess, &code);
                ok(false, "the program ended (code %lu) before \"%s\" showed", code, caption);
                return nullptr;
            }
            if (!IsWindow(s.skip)) s.skip = nullptr;
            if (GetTickCount() - start > StepMs()) break;
        }
        // What shows instead, if it is a message box.
        Search other{m_pi.dwProcessId, L"Brisel Settings", true, nullptr, nullptr};
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&other));
        ok(false, "no \"%s\" %s within %lu ms; shown: %s", caption, box ? "message box" : "window", StepMs(),
           other.found ? BoxText(other.found).c_str() : "-");
        return nullptr;
    }

    // The message box's text.
    static std::string BoxText(HWND box) { return TextOf(GetDlgItem(box, 0xFFFF)); }

    // Clicks a dialog's button as the user does, without waiting for what
    // it starts; a message box clicked is not found again.
    bool Press(HWND dialog, int id) {
        HWND button = GetDlgItem(dialog, id);
        if (!button) return ok(false, "no button %d", id);
        if (GetDlgItem(dialog, 0xFFFF)) m_answered = dialog;
        return PostMessageW(button, BM_CLICK, 0, 0) != 0;
    }

    // The exit code once the program ends; kRunning, reported, when it has
    // not within a step.
    DWORD End() {
        if (!m_pi.hProcess) return kRunning;
        DWORD code = kRunning;
        if (WaitForSingleObject(m_pi.hProcess, StepMs()) == WAIT_OBJECT_0)
            GetExitCodeProcess(m_pi.hProcess, &code);
        else
            ok(false, "the program did not end within %lu ms", StepMs());
        return code;
    }

private:
    PROCESS_INFORMATION m_pi = {};
    HWND m_answered = nullptr;
};

// ---- The sheet ---------------------------------------------------------------

bool Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result = nullptr) {
    DWORD_PTR got = 0;
    const bool done = hwnd && SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, StepMs(), &got) != 0;
    if (result) *result = got;
    if (!done) ok(false, "message 0x%04X to %p not answered", message, static_cast<void*>(hwnd));
    return done;
}

HWND Page(HWND sheet, int index) {
    DWORD_PTR page = 0;
    Send(sheet, PSM_INDEXTOHWND, static_cast<WPARAM>(index), 0, &page);
    return reinterpret_cast<HWND>(page);
}

int CurrentTab(HWND sheet) {
    DWORD_PTR tab = 0, current = 0;
    Send(sheet, PSM_GETTABCONTROL, 0, 0, &tab);
    Send(reinterpret_cast<HWND>(tab), TCM_GETCURSEL, 0, 0, &current);
    return static_cast<int>(static_cast<INT_PTR>(current));
}

// "<class>|<caption>" of the window's owner.
std::string OwnerOf(HWND hwnd) {
    HWND owner = GetWindow(hwnd, GW_OWNER);
    wchar_t cls[64] = {};
    if (!owner || !GetClassNameW(owner, cls, 64)) return "<no owner>";
    return Utf8(cls) + "|" + TextOf(owner);
}

// Types into a page's edit: the text, marked as changed by the user.
void Type(HWND page, int id, const std::string& text) {
    const std::wstring wide = Wide(text);
    Send(GetDlgItem(page, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    Send(GetDlgItem(page, id), EM_SETMODIFY, TRUE, 0);
}

// On the sheet: Sunblind 2's tab, its down setpoint typed, Write.
void WriteDownSetpoint2(HWND sheet, const std::string& value) {
    Send(sheet, PSM_SETCURSEL, 2, 0);
    HWND page = Page(sheet, 2);
    ok(TextOf(GetDlgItem(page, IDC_SB2_DOWNSETPOINT)) == "1002", "Sunblind 2 shows down setpoint %s",
       TextOf(GetDlgItem(page, IDC_SB2_DOWNSETPOINT)).c_str());
    Type(page, IDC_SB2_DOWNSETPOINT, value);
    Send(GetDlgItem(page, IDC_WRITE), BM_CLICK, 0, 0);  // Write stores into memory and shows it again
}

// Keeps the failures of a case: its folders are removed only when it passed.
struct Tidy {
    const Place& place;
    int failed = wtest::g_failed;
    ~Tidy() {
        if (wtest::g_failed != failed) return;
        testutil::RemoveTree(place.dir);
        testutil::RemoveTree(place.profile);
    }
};

}  // namespace

// Exit after a Write (which the session's end must wait for): Yes saves
// the file with only that line and the time saved changed, the file as it
// was kept as a backup in its history, and the change logged; Cancel
// returns to the tab the user was on, then No leaves the file as it was.
static void test_save_question() {
    const struct {
        const char* name;
        bool cancelFirst;
        int answer;
        const char* written;  // the file afterwards, its saved time masked; null: unchanged
    } rows[] = {
        {"Yes", false, IDYES, "1002"},
        {"Cancel, No", true, IDNO, nullptr},
    };
    for (const auto& row : rows) {
        const Place place(row.cancelFirst ? "b" : "a");
        const Tidy tidy{place};
        const std::string file = place.dir + "\\Hall Zürich 7.txt";
        Spit(file, kFourChannels);
        Desk desk(place.dir, file);
        HWND sheet = desk.Wait("Sarp");
        if (!sheet) continue;
        ok(CurrentTab(sheet) == 0, "%s: the sheet opened on tab %d", row.name, CurrentTab(sheet));
        ok(OwnerOf(sheet) == "BriselSettingsOwner|Hall Zürich 7.txt - Brisel Settings", "%s: the sheet's owner is %s",
           row.name, OwnerOf(sheet).c_str());
        // Windows may end the session while nothing is changed, not after.
        DWORD_PTR endOk = 0;
        Send(GetWindow(sheet, GW_OWNER), WM_QUERYENDSESSION, 0, 0, &endOk);
        ok(endOk == TRUE, "%s: the session may not end before any change", row.name);
        WriteDownSetpoint2(sheet, "18000");
        Send(GetWindow(sheet, GW_OWNER), WM_QUERYENDSESSION, 0, 0, &endOk);
        ok(endOk == FALSE, "%s: the session may end with a change not saved", row.name);
        Send(GetWindow(sheet, GW_OWNER), WM_ENDSESSION, FALSE, 0);
        desk.Press(sheet, IDOK);  // Exit
        HWND box = desk.Wait("Brisel Settings", true);
        if (!box) continue;
        ok(Desk::BoxText(box) == "Save changes to \"" + file + "\"?", "%s: asked %s", row.name,
           Desk::BoxText(box).c_str());
        if (row.cancelFirst) {
            desk.Press(box, IDCANCEL);
            sheet = desk.Wait("Sarp");
            if (!sheet) continue;
            ok(wtest::pump_until([&] { return CurrentTab(sheet) == 2; }, StepMs()), "%s: the sheet came back on tab %d",
               row.name, CurrentTab(sheet));
            if (CurrentTab(sheet) != 2) Send(sheet, PSM_SETCURSEL, 2, 0);  // the value is judged on its own
            ok(TextOf(GetDlgItem(Page(sheet, 2), IDC_SB2_DOWNSETPOINT)) == "18000",
               "%s: Sunblind 2 shows down setpoint %s", row.name,
               TextOf(GetDlgItem(Page(sheet, 2), IDC_SB2_DOWNSETPOINT)).c_str());
            desk.Press(sheet, IDOK);
            box = desk.Wait("Brisel Settings", true);
            if (!box) continue;
        }
        desk.Press(box, row.answer);
        ok(desk.End() == 0, "%s: the program did not end with 0", row.name);
        const std::string now = Slurp(file);
        if (!row.written) {
            ok(now == kFourChannels, "%s: the file changed:\n%s", row.name, now.c_str());
            continue;
        }
        std::string want = Masked(kFourChannels);
        want.replace(want.find("Down setpoint = 1002"), 20, "Down setpoint = 18000");
        ok(TimeMasked(now) == want, "%s: the file saved is\n%s", row.name, now.c_str());
        // The history: one folder for the file, one Save backup holding the
        // file's bytes as they were, the change logged.
        const std::vector<std::string> folders = Entries(place.History(), true);
        if (!ok(folders.size() == 1 && folders[0].size() == 27 && folders[0].compare(0, 19, "Hall Zürich 7.txt ") == 0 &&
                    Digits(folders[0], 19, 8, true),
                "%s: history folders %u, the first %s", row.name, unsigned(folders.size()),
                folders.empty() ? "-" : folders[0].c_str()))
            continue;
        const std::string history = place.History() + "\\" + folders[0];
        int saves = 0, original = 0;
        for (const std::string& n : Entries(history, false)) {
            saves += SaveBackupName(n);
            original += Slurp(history + "\\" + n) == kFourChannels;
            ok(n == "changes.csv" || n.compare(n.size() - 4, 4, ".txt") == 0, "%s: %s in the history", row.name,
               n.c_str());
        }
        ok(saves == 1 && original == 1, "%s: %d Save backups, %d holding the file as it was", row.name, saves,
           original);
        const auto log = testcsv::Read(Slurp(history + "\\changes.csv"));
        int logged = 0;
        for (const auto& r : log)
            logged += r.size() == 9 && r[2] == "Hall Zürich 7" && r[3] == "Save Hall Zürich 7.txt" &&
                      r[4] == "Sunblind 2" && r[5] == "Down setpoint" && r[6] == row.written && r[7] == "18000";
        ok(logged == 1, "%s: %d rows of the save in\n%s", row.name, logged,
           Slurp(history + "\\changes.csv").c_str());
    }
}

// No file named: the Open dialog takes a name that does not exist, the
// program offers factory settings, asks the node's name and writes the
// file at once; the sheet shows the name; Exit asks nothing.
static void test_new_from_factory() {
    const Place place("c");
    const Tidy tidy{place};
    const std::string file = place.dir + "\\Wärme Süd.txt";
    Desk desk(place.dir, "");
    HWND open = desk.Wait("Open settings - Brisel Settings");
    if (!open) return;
    HWND name = GetDlgItem(open, cmb13) ? GetDlgItem(open, cmb13) : GetDlgItem(open, edt1);
    const std::wstring typed = Wide(file);
    Send(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    desk.Press(open, IDOK);
    HWND box = desk.Wait("Brisel Settings", true);
    if (!box) return;
    ok(Desk::BoxText(box) == "\"" + file + "\" does not exist.\n\nCreate it with factory settings?", "asked %s",
       Desk::BoxText(box).c_str());
    desk.Press(box, IDYES);
    HWND question = desk.Wait("New settings file");
    if (!question) return;
    ok(TextOf(GetDlgItem(question, 102)) == "Wärme Süd", "the name offered is %s",
       TextOf(GetDlgItem(question, 102)).c_str());
    const std::wstring node = L"Wärmepumpe Süd";
    Send(GetDlgItem(question, 102), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(node.c_str()));
    desk.Press(question, IDOK);
    HWND sheet = desk.Wait("Sarp");
    if (!sheet) return;
    ok(testutil::Exists(file), "the file was not written before the sheet showed");
    ok(TextOf(GetDlgItem(Page(sheet, 0), IDC_NODENAME)) == "Wärmepumpe Süd", "the node name shown is %s",
       TextOf(GetDlgItem(Page(sheet, 0), IDC_NODENAME)).c_str());
    desk.Press(sheet, IDOK);
    ok(desk.End() == 0, "the program did not end with 0");
    const std::string want = std::string(kHeader) + "Node name = Wärmepumpe Süd\r\nSaved = <time>\r\n" + Factory(1) +
                             Factory(2) + Factory(3) + Factory(4) + kEnd;
    ok(TimeMasked(Slurp(file)) == want, "the new file is\n%s", Slurp(file).c_str());
}

// A file that cannot be loaded is said so, and the program ends with 1
// having written nothing: not the file, no history.
static void test_refused_files() {
    const Place place("d");
    const Tidy tidy{place};
    const struct {
        const char* name;
        std::string bytes;
        const char* says;
    } rows[] = {
        {"a duplicate key",
         kNames + kChannel1.substr(0, kChannel1.find("Up setpoint")) + "Down setpoint = 7\r\n" +
             kChannel1.substr(kChannel1.find("Up setpoint")) + kChannel2 + kEnd,
         "Line 10: Down setpoint appears twice in [Sunblind 1] (first on line 9)."},
        {"out of range on line 37",
         kNames + kChannel1 + kChannel2 + Section(3, "70000", "203", "0.0", "600.0", "-1.2", "2.0", "120.0", "75.0",
                                                 "25.0", "Common", "None", "Local") + kEnd,
         "Line 37: Down setpoint must be from 0 to 65535; the file has \"70000\"."},
        {"format 2", "Brisel settings, format 2\r\n" + kFourChannels.substr(27),
         "Line 1: The file is in settings format 2; this version of Brisel reads format 1."},
        {"0 bytes", "", "The file is empty."},
        {"in use", kFourChannels, nullptr},  // held open without sharing: the system's words
    };
    for (const auto& row : rows) {
        const std::string file = place.dir + "\\" + row.name + ".txt";
        Spit(file, row.bytes);
        HANDLE held = row.says ? INVALID_HANDLE_VALUE
                               : CreateFileW(Wide(file).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        Desk desk(place.dir, file);
        HWND box = desk.Wait("Brisel Settings", true);
        const std::string said = box ? Desk::BoxText(box) : "<none>";
        const std::string start = "\"" + file + "\" cannot be loaded: ", end = "\n\nNothing was written.";
        if (row.says)
            ok(said == start + "\n\n" + row.says + end, "%s: said\n%s", row.name, said.c_str());
        else
            ok(said.size() > start.size() + end.size() + 1 && said.compare(0, start.size(), start) == 0 &&
                   said.compare(said.size() - end.size() - 1, end.size() + 1, "." + end) == 0 &&
                   said.find('\n') == said.size() - end.size(),  // the system's words on the same line
               "%s: said\n%s", row.name, said.c_str());
        if (box) desk.Press(box, IDOK);
        ok(desk.End() == 1, "%s: the program did not end with 1", row.name);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        ok(Slurp(file) == row.bytes, "%s: the file changed", row.name);
        ok(!testutil::Exists(place.profile + "\\Brisel"), "%s: a history was made", row.name);
    }
}

// A file with two channels: the other two are shown with factory settings
// (said once), count as a change, and Yes writes all four.
static void test_completed_channels() {
    const Place place("e");
    const Tidy tidy{place};
    const std::string file = place.dir + "\\two.txt";
    const std::string two = kNames + kChannel1 + kChannel2 + kEnd;
    Spit(file, two);
    Desk desk(place.dir, file);
    HWND note = desk.Wait("Brisel Settings", true);
    if (!note) return;
    ok(Desk::BoxText(note) == "\"" + file + "\" holds no settings for Sunblind 3, Sunblind 4. They are shown with "
                                           "factory settings, and saving writes all four channels.",
       "said %s", Desk::BoxText(note).c_str());
    ok(OwnerOf(note) == "BriselSettingsOwner|two.txt - Brisel Settings", "the note's owner is %s",
       OwnerOf(note).c_str());
    desk.Press(note, IDOK);
    HWND sheet = desk.Wait("Sarp");
    if (!sheet) return;
    Send(sheet, PSM_SETCURSEL, 4, 0);
    ok(TextOf(GetDlgItem(Page(sheet, 4), IDC_SB4_DOWNSETPOINT)) == "10000", "Sunblind 4 shows down setpoint %s",
       TextOf(GetDlgItem(Page(sheet, 4), IDC_SB4_DOWNSETPOINT)).c_str());
    desk.Press(sheet, IDOK);
    HWND box = desk.Wait("Brisel Settings", true);
    if (!box) return;
    ok(Desk::BoxText(box) == "Save changes to \"" + file + "\"?", "asked %s", Desk::BoxText(box).c_str());
    desk.Press(box, IDYES);
    ok(desk.End() == 0, "the program did not end with 0");
    ok(TimeMasked(Slurp(file)) == Masked(kNames + kChannel1 + kChannel2 + Factory(3) + Factory(4) + kEnd),
       "the file saved is\n%s", Slurp(file).c_str());
}

// Another copy of Brisel.ocx registered: the program still loads the one
// beside it, and no module from the registered copy's folder.
static void test_module_from_own_folder() {
    const Place place("f");
    const Tidy tidy{place};
    const std::string other = testutil::FreshDir("desk-registered Zoë 東京 Ελλάδα");
    ok(CopyFileW(Wide(place.dir + "\\Brisel.ocx").c_str(), Wide(other + "\\Brisel.ocx").c_str(), FALSE) != 0,
       "cannot copy Brisel.ocx: %lu", GetLastError());
    {
        ocx::Module registered(Wide(other + "\\Brisel.ocx"));
        ok(registered.Register() == S_OK, "the other copy did not register");
        const std::string server = wtest::DefaultValue(ocx::ClsKey() + "\\InprocServer32");
        ok(CompareStringOrdinal(Wide(server).c_str(), -1, Wide(other + "\\Brisel.ocx").c_str(), -1, TRUE) ==
               CSTR_EQUAL,
           "the class is served by %s", server.c_str());
        const std::string file = place.dir + "\\own.txt";
        Spit(file, kFourChannels);
        {
            Desk desk(place.dir, file);
            if (HWND sheet = desk.Wait("Sarp")) {
                HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, desk.Pid());
                ok(snap != INVALID_HANDLE_VALUE, "no module list: %lu", GetLastError());
                std::vector<std::string> ocxs, others;
                MODULEENTRY32W module = {};
                module.dwSize = sizeof module;
                for (BOOL more = Module32FirstW(snap, &module); more; more = Module32NextW(snap, &module)) {
                    const std::wstring path = module.szExePath;
                    if (lstrcmpiW(module.szModule, L"Brisel.ocx") == 0) ocxs.push_back(Utf8(path));
                    if (CompareStringOrdinal(path.c_str(), static_cast<int>(Wide(other).size()), Wide(other).c_str(), -1,
                                             TRUE) == CSTR_EQUAL)
                        others.push_back(Utf8(path));
                }
                if (snap != INVALID_HANDLE_VALUE) CloseHandle(snap);
                ok(ocxs.size() == 1 && CompareStringOrdinal(Wide(ocxs[0]).c_str(), -1,
                                                            Wide(place.dir + "\\Brisel.ocx").c_str(), -1,
                                                            TRUE) == CSTR_EQUAL,
                   "%u Brisel.ocx loaded, the first %s", unsigned(ocxs.size()), ocxs.empty() ? "-" : ocxs[0].c_str());
                ok(others.empty(), "loaded from the registered copy's folder: %s",
                   others.empty() ? "-" : others[0].c_str());
                desk.Press(sheet, IDOK);
                ok(desk.End() == 0, "the program did not end with 0");
            }
        }
        ok(registered.Unregister() == S_OK, "the other copy did not unregister");
    }
    ok(wtest::DefaultValue(ocx::ClsKey() + "\\InprocServer32") == "<missing>", "the class is still registered");
    testutil::RemoveTree(other);
}


// The node-information tab's commands on the file's in-memory node: Copy
// copies a channel within it, Load merges another file, each through its
// change table; the file saved on Exit holds the result.
static void test_copy_and_load_in_memory() {
    const std::string channel2As1 = Section(2, "1001", "201", "1.5", "2.5", "0.3", "-0.4", "12.5", "50.5", "10.0",
                                            "Common", "Local", "Local and Common");
    const std::string other = kNames + Factory(3) + kEnd;  // another file: Sunblind 3 alone
    const struct {
        const char* name;
        const char* caption;
        std::string written;  // the file afterwards, its saved time masked
    } rows[] = {
        {"Copy", "Copy settings", Masked(kNames + kChannel1 + channel2As1 + kChannel3 + kChannel4 + kEnd)},
        {"Load", "Load settings", Masked(kNames + kChannel1 + kChannel2 + Factory(3) + kChannel4 + kEnd)},
    };
    for (const auto& row : rows) {
        const Place place(row.name);
        const Tidy tidy{place};
        const std::string file = place.dir + "\\Hall Zürich 7.txt", merged = place.dir + "\\Sunblind 3 only.txt";
        Spit(file, kFourChannels);
        Spit(merged, other);
        Desk desk(place.dir, file);
        HWND sheet = desk.Wait("Sarp");
        if (!sheet) continue;
        HWND info = Page(sheet, 0);
        if (row.caption[0] == 'C') {
            Send(GetDlgItem(info, IDC_COPYTO1), BM_SETCHECK, BST_CHECKED, 0);  // From Sunblind 1 to Sunblind 2
            desk.Press(info, IDC_COPY);
        } else {
            desk.Press(info, IDC_LOADSETTINGS);
            HWND open = desk.Wait("Load settings");
            if (!open) continue;
            const std::wstring typed = Wide(merged);
            Send(GetDlgItem(open, cmb13) ? GetDlgItem(open, cmb13) : GetDlgItem(open, edt1), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(typed.c_str()));
            desk.Press(open, IDOK);
        }
        HWND table = desk.Wait(row.caption, true);  // the change table, its question a message box's
        if (!table) continue;
        desk.Press(table, IDOK);
        HWND result = desk.Wait(row.caption, true);
        if (!result) continue;
        ok(Desk::BoxText(result) == "The settings were written and read back: the node holds them.", "%s: %s",
           row.name, Desk::BoxText(result).c_str());
        desk.Press(result, IDOK);
        desk.Press(sheet, IDOK);
        HWND box = desk.Wait("Brisel Settings", true);
        if (!box) continue;
        desk.Press(box, IDYES);
        ok(desk.End() == 0, "%s: the program did not end with 0", row.name);
        ok(TimeMasked(Slurp(file)) == row.written, "%s: the file saved is\n%s", row.name, Slurp(file).c_str());
    }
}

WTEST_MAIN(WTEST(test_save_question), WTEST(test_copy_and_load_in_memory), WTEST(test_new_from_factory), WTEST(test_refused_files),
           WTEST(test_completed_channels), WTEST(test_module_from_own_folder))
