// The node behind the host's client site: the simulated node's items, kept
// up to date by the simulation whenever the plug-in calls and on the host's
// timer, saved to the node file after every successful write, with the
// latency, failures and interfaces that the command line asks for. The
// node file is locked against other tools while it is open here, and the
// simulation keeps a history of every channel for the trend chart.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "history.h"
#include "nodefile.h"
#include "options.h"
#include "simnode/simnode.h"
#include "simulation.h"
#include "winfiles.h"

namespace brhost {

// %APPDATA%\Brisel\node.txt (or next to the program when there is none).
std::string DefaultNodeFile();

class SimulatedNode {
public:
    explicit SimulatedNode(const brmodel::Options& options);

    // Locks path against other tools, removes what crashed saves left
    // beside it and takes the image from it: the embedded default when
    // options.reset is set or the file does not exist yet (and saves it
    // there), otherwise the file's content. A file that is in use, cannot be
    // read or parsed is an error and is left as it is. Then the simulation
    // runs the warm-up, so the history starts filled.
    bool Open(const std::string& path, std::string& error);

    // Runs the simulation up to the clock's present.
    void Advance();
    bool Save(std::string& error);
    // Back to the embedded default node, saved at once.
    bool Reset(std::string& error);

    brmodel::Image Image() const;
    const brmodel::Simulation& Simulation() const { return m_sim; }
    const brmodel::History& History() const { return m_history; }
    const std::string& Path() const { return m_path; }

    // The plug-in's successful and failed calls, and the last save problem.
    long reads = 0, writes = 0, failures = 0;
    std::string saveError;
    // Milliseconds; tests replace it to run the model on their own time.
    std::function<DWORD()> clock = [] { return GetTickCount(); };
    // Runs after each step of every save (the tests' fault injection).
    brmodel::AfterStep afterSaveStep;
    int staleRemoved = 0;  // temporary files of crashed saves removed by Open

    simnode::Node node;
    simnode::Site site{node};

private:
    void Load(const brmodel::Image& image);

    brmodel::Simulation m_sim;
    brmodel::History m_history;
    double m_warmUp;
    WinFiles m_files;
    NodeLock m_lock;
    std::string m_path;
    DWORD m_last = 0;
    bool m_clockStarted = false;
    bool m_reset = false;
};

}  // namespace brhost
