// The node behind the host's client site: the simulated node's items, kept
// up to date by the simulation whenever the plug-in calls and on the host's
// timer, saved to the node file after every successful write, with the
// latency, failures and interfaces that the command line asks for. The
// node file is locked against other tools while it is open here, and the
// simulation keeps a history of every channel for the trend chart.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

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
    // Node number of a network (1 for a host with one node): its built-in
    // name is "Sunblind controller <number>" and its lux noise is seeded
    // with options.seed + number - 1, so nodes side by side differ.
    explicit SimulatedNode(const brmodel::Options& options, int number = 1);

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
    // Back to the embedded default node (under this node's number), saved at once.
    bool Reset(std::string& error);

    brmodel::Image Image() const;
    const brmodel::Simulation& Simulation() const { return m_sim; }
    const brmodel::History& History() const { return m_history; }
    const std::string& Path() const { return m_path; }
    int Number() const { return m_number; }

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

    int m_number;
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

// The simulated network: nodes 1 to options.nodes, made alike from the
// options, each with its own node file, name, lock and simulation.
class Network {
public:
    explicit Network(const brmodel::Options& options);

    // Opens node 1 on first and node k on NodeFileOf(first, k), in order.
    // Stops at the first node that cannot be opened, error naming its
    // file; the host then ends, which releases the nodes opened so far.
    bool Open(const std::string& first, std::string& error);
    void Advance();                   // every node
    bool Save(std::string& error);    // every node; error: the problems, one a line

    int Size() const { return static_cast<int>(m_nodes.size()); }
    SimulatedNode& Node(int number) { return *m_nodes.at(static_cast<std::size_t>(number - 1)); }

private:
    std::vector<std::unique_ptr<SimulatedNode>> m_nodes;
};

}  // namespace brhost
