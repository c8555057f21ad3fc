// The host's command line.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace brmodel {

enum class Interfaces { None, Reader, Writer, Both };

constexpr unsigned kMaxNodes = 16;

struct Options {
    std::string nodeFile;       // empty: the default file in the user's data folder
    unsigned nodes = 1;         // simulated nodes on the network (1..kMaxNodes)
    unsigned select = 1;        // the node selected at start (1..nodes)
    bool reset = false;
    unsigned latencyMs = 0;
    std::set<long> failRead, failWrite;
    bool failAll = false;
    Interfaces interfaces = Interfaces::Both;
    bool properties = false;    // open the Properties verb at start
    std::string demoDir;        // non-empty: run the walk-through into this folder
    unsigned tickMs = 1500;     // the walk-through's pace
    std::string programId;      // the node's program ID
    std::uint64_t seed = 1;
    double dayLength = 600;     // simulated seconds per day
    double span = 600;          // seconds the trend chart shows
    double warmUp = -1;         // seconds simulated before the start; < 0: the span
    std::string stopSaveAfter;  // tests: end the process after this step of a save
    bool help = false;
};

extern const char kUsage[];

// Parses the arguments after the program name. On failure returns false
// with error naming the offending option.
bool ParseOptions(const std::vector<std::string>& args, Options& out, std::string& error);

}  // namespace brmodel
