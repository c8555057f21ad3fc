// Drives the real configuration sheet from a test: builds it against a
// simulated node the way the Properties verb does, creates it modeless, and
// answers the message boxes it shows.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control/briselctrl.h"
#include "sheet/sheet.h"
#include "simnode/simnode.h"
#include "wtest.h"

namespace driver {

// Message boxes seen and dismissed while a Watch is alive: caption, text
// (UTF-8).
struct Box {
    std::string caption;
    std::string text;
    // The change table's rows, "Sunblind 2|Down setpoint|20000|18000".
    std::vector<std::string> rows;
};

// Answers what the sheet shows, every 30 ms: message boxes and the change
// table (OK, or `answer` where there is a Cancel button; Yes where there is
// one), and the
// Open and Save As dialogs, which are given `file` and OK (left alone while
// it is empty).
// The rows of a list view in report mode, columns joined by "|".
std::vector<std::string> ListRows(HWND list);

class BoxWatch {
public:
    BoxWatch();
    std::vector<Box> boxes;
    int answer = IDOK;
    bool escape = false;  // the change table is answered with the Esc key instead
    RECT lastRect{};      // where the last box or table was, in screen coordinates
    std::wstring file;
    int fileDialogs = 0;
    // Called with each message box or change table while it shows, just
    // before it is answered (not with the file dialogs).
    std::function<void(HWND)> inspect;

private:
    void Answer(HWND hwnd);
    wtest::WindowWatch m_watch;
};

// A control on a simulated node's client site and a sheet opened from it.
struct Rig {
    simnode::Node node;
    simnode::Site site{node};
    CBriselCtrl ctrl;
    std::unique_ptr<CSheet> sheet;
    BoxWatch watch;

    Rig();
    ~Rig();
    // Constructs the sheet as the verb does (g_pCurrentControl first) and
    // creates its window modeless; pumps until it is up.
    bool Open();
    // Presses "Exit" and destroys what is left; the sheet object goes too.
    void Close();

    HWND Sheet() const { return sheet ? sheet->m_hWnd : nullptr; }
    HWND Tab() const;
    HWND Page(int index) const;          // page window, null if never created
    HWND CurrentPage() const;
    bool Select(int index);              // selects a tab as a click does
    std::string TabText(int index) const;
    std::string Text(HWND page, int id) const;
    void SetText(HWND page, int id, const std::string& text);
    int Check(HWND page, int id) const;
    void Click(HWND page, int id);       // BM_CLICK on a button
};

// Deterministic junk in every byte of every item of the node, from seed: what
// another user of the node may have left in the bytes a page does not own.
void FillJunk(simnode::Node& node, unsigned seed);

}  // namespace driver
