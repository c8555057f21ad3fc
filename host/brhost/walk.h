// The walk-through that shows the plug-in off without a user: while the
// plug-in's modal sheet runs, a timer on the host's thread selects every tab
// in turn, presses Read and then Write on the first tab that has them, saves
// a screenshot of each tab and finally presses the sheet's OK ("Exit")
// button. Message boxes that come up on the way are reported and answered.
// On a network of nodes it then rehearses commissioning: it saves the
// node's settings to a file from the first sheet and, on the next node's
// sheet, loads that file, with a screenshot of the confirmation.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "simulatednode.h"

namespace brhost {

// Saves what the screen shows of hwnd as a 24-bit BMP.
bool SaveWindowBitmap(HWND hwnd, const std::string& path, std::string& error);

class DemoWalk {
public:
    static constexpr UINT_PTR kTimer = 0xB415;

    DemoWalk(HWND owner, std::string dir, unsigned tickMs, SimulatedNode& node);
    void Start();
    void Tick();  // on WM_TIMER kTimer
    void Stop();

    bool Finished() const { return m_state == State::Done; }
    bool Succeeded() const { return Finished() && error.empty(); }

    // The node to load the saved settings into (0: none); the host opens
    // that node's Properties when WantsNode() says so, and the walk goes on.
    int loadInto = 0;
    int WantsNode() const { return m_state == State::OpenNext ? loadInto : 0; }
    void OnNextNode(SimulatedNode& node);

    std::vector<std::string> shots;  // saved files, one per tab
    std::vector<std::string> boxes;  // "caption: text" of message boxes answered
    std::string error;
    bool readWriteDone = false;

private:
    enum class State { FindSheet, Select, Read, Write, Capture, Save, Saving, OpenNext, Load, Loading, Done };
    void Fail(const std::string& why);
    void Say(const std::string& line);
    bool AnswerMessageBoxes();
    void PressOnFirstTab(int id, const char* name);
    void Exit();

    HWND m_owner;
    std::string m_dir;
    unsigned m_tick;
    SimulatedNode* m_node;
    State m_state = State::FindSheet;
    HWND m_sheet = nullptr;
    int m_tabs = 0, m_tab = 0, m_waited = 0;
    long m_reads = 0, m_writes = 0, m_failures = 0;
    std::string m_settingsFile;  // where the first sheet saves
    bool m_answered = false;     // the save's or the load's last message came
};

// The top-level window of this thread with this caption, or null.
HWND FindThreadWindow(const char* caption);

}  // namespace brhost
