// The node behind the host's client site: the simulated node's items, kept
// up to date by the simulation whenever the plug-in calls and on the host's
// timer, saved to the node file after every successful write, with the
// latency, failures and interfaces that the command line asks for.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "nodefile.h"
#include "options.h"
#include "simnode/simnode.h"
#include "simulation.h"

namespace brhost {

// %APPDATA%\Brisel\node.txt (or next to the program when there is none).
std::string DefaultNodeFile();

class SimulatedNode {
public:
    explicit SimulatedNode(const brmodel::Options& options);

    // Takes the image from path: the embedded default when options.reset is
    // set or the file does not exist yet (and saves it there), otherwise
    // the file's content. A file that cannot be read or parsed is an error
    // and is left as it is.
    bool Open(const std::string& path, std::string& error);

    // Runs the simulation up to the clock's present.
    void Advance();
    bool Save(std::string& error);
    // Back to the embedded default node, saved at once.
    bool Reset(std::string& error);

    brmodel::Image Image() const;
    const brmodel::Simulation& Simulation() const { return m_sim; }
    const std::string& Path() const { return m_path; }

    // The plug-in's successful and failed calls, and the last save problem.
    long reads = 0, writes = 0, failures = 0;
    std::string saveError;
    // Milliseconds; tests replace it to run the model on their own time.
    std::function<DWORD()> clock = [] { return GetTickCount(); };

    simnode::Node node;
    simnode::Site site{node};

private:
    void Load(const brmodel::Image& image);

    brmodel::Simulation m_sim;
    std::string m_path;
    DWORD m_last = 0;
    bool m_clockStarted = false;
    bool m_reset = false;
};

}  // namespace brhost
