#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "discovery.h"
#include "nodefile.h"
#include "nodeimage.h"

namespace brmodel {

const char kUsage[] =
    "usage: brhost [options]\n"
    "  --node FILE          node image file (default %APPDATA%\\Brisel\\node.txt)\n"
    "  --nodes N            simulate N nodes (1-16, default 1); node k > 1 keeps its\n"
    "                       file beside FILE, e.g. node2.txt\n"
    "  --select K           the node selected at start (default 1)\n"
    "  --reset              start every node from the built-in default (overwrites\n"
    "                       their files)\n"
    "  --latency MS         delay every node call by MS milliseconds (0-60000)\n"
    "  --fail-read LIST     reads of these items fail, e.g. 21,30\n"
    "  --fail-write LIST    writes of these items fail\n"
    "  --fail-all           every node call fails\n"
    "  --interfaces WHICH   node access offered: none, reader, writer or both (default)\n"
    "  --properties         open the plug-in's Properties at start\n"
    "  --demo-walk DIR      open Properties, walk every tab with a Read and a Write,\n"
    "                       save a screenshot of each tab in DIR, then exit\n"
    "  --tick MS            pace of the walk-through (default 1500, 50-60000)\n"
    "  --program-id \"HEX\"   node program ID to find the plug-in for\n"
    "                       (default \"94 4B 61 6C 64 6F 72 2E\")\n"
    "  --seed N             seed of the simulated lux noise (default 1)\n"
    "  --day S              simulated seconds per day (default 600, 10-86400)\n"
    "  --span S             seconds of history in the trend chart (default 600, 60-86400)\n"
    "  --warm-up S          seconds the node has run before the start, so the chart\n"
    "                       opens filled (default: the span; 0-86400)\n"
    "  --stop-save-after STEP  for tests: end at once, as a crash would, after\n"
    "                       create, write, flush, close or replace of a save\n"
    "  --help               show this text\n";

namespace {

bool Number(const std::string& text, double lo, double hi, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (*end || errno || !std::isfinite(v) || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool Whole(const std::string& text, double lo, double hi, unsigned long long& out) {
    for (char c : text)
        if (c < '0' || c > '9') return false;
    double v;
    if (!Number(text, lo, hi, v)) return false;
    out = std::strtoull(text.c_str(), nullptr, 10);
    return true;
}

bool ItemList(const std::string& text, std::set<long>& out, std::string& bad) {
    std::set<long> items;
    std::stringstream in(text);
    std::string token;
    const std::set<long> known(AllItems().begin(), AllItems().end());
    while (std::getline(in, token, ',')) {
        unsigned long long v;
        if (!Whole(token, 0, 1000, v) || !known.count(static_cast<long>(v))) {
            bad = token;
            return false;
        }
        items.insert(static_cast<long>(v));
    }
    if (items.empty()) return false;
    out.insert(items.begin(), items.end());
    return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& out, std::string& error) {
    Options o;
    o.programId = kProgramId;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        std::string v;
        unsigned long long n;
        if (a == "--help" || a == "-h" || a == "/?") {
            o.help = true;
        } else if (a == "--reset") {
            o.reset = true;
        } else if (a == "--fail-all") {
            o.failAll = true;
        } else if (a == "--properties") {
            o.properties = true;
        } else if (a == "--node") {
            if (!value(v)) return false;
            if (v.empty()) return error = "--node needs a file name", false;
            o.nodeFile = v;
        } else if (a == "--nodes" || a == "--select") {
            if (!value(v)) return false;
            if (!Whole(v, 1, kMaxNodes, n))
                return error = a + ": \"" + v + "\" is not " + (a == "--nodes" ? "a number of nodes" : "a node") +
                               " from 1 to " + std::to_string(kMaxNodes),
                       false;
            (a == "--nodes" ? o.nodes : o.select) = static_cast<unsigned>(n);
        } else if (a == "--latency") {
            if (!value(v)) return false;
            if (!Whole(v, 0, 60000, n)) return error = "--latency: \"" + v + "\" is not 0-60000 ms", false;
            o.latencyMs = static_cast<unsigned>(n);
        } else if (a == "--fail-read" || a == "--fail-write") {
            if (!value(v)) return false;
            std::string bad;
            if (!ItemList(v, a == "--fail-read" ? o.failRead : o.failWrite, bad))
                return error = a + ": \"" + (bad.empty() ? v : bad) +
                               "\" is not a list of this node's items (13,14,17,18,21-27,30-33)",
                       false;
        } else if (a == "--interfaces") {
            if (!value(v)) return false;
            if (v == "none") o.interfaces = Interfaces::None;
            else if (v == "reader") o.interfaces = Interfaces::Reader;
            else if (v == "writer") o.interfaces = Interfaces::Writer;
            else if (v == "both") o.interfaces = Interfaces::Both;
            else return error = "--interfaces: \"" + v + "\" is not none, reader, writer or both", false;
        } else if (a == "--demo-walk") {
            if (!value(v)) return false;
            if (v.empty()) return error = "--demo-walk needs a folder", false;
            o.demoDir = v;
        } else if (a == "--tick") {
            if (!value(v)) return false;
            if (!Whole(v, 50, 60000, n)) return error = "--tick: \"" + v + "\" is not 50-60000 ms", false;
            o.tickMs = static_cast<unsigned>(n);
        } else if (a == "--program-id") {
            if (!value(v)) return false;
            if (!SameProgramId(v, v))
                return error = "--program-id: \"" + v + "\" is not eight hex bytes such as \"" +
                               std::string(kProgramId) + "\"",
                       false;
            o.programId = v;
        } else if (a == "--seed") {
            if (!value(v)) return false;
            if (!Whole(v, 0, 1.8e19, n)) return error = "--seed: \"" + v + "\" is not a whole number", false;
            o.seed = n;
        } else if (a == "--day") {
            if (!value(v)) return false;
            double d;
            if (!Number(v, 10, 86400, d)) return error = "--day: \"" + v + "\" is not 10-86400 s", false;
            o.dayLength = d;
        } else if (a == "--span" || a == "--warm-up") {
            if (!value(v)) return false;
            double d;
            const double lo = a == "--span" ? 60 : 0;
            if (!Number(v, lo, 86400, d))
                return error = a + ": \"" + v + "\" is not " + (a == "--span" ? "60" : "0") + "-86400 s", false;
            (a == "--span" ? o.span : o.warmUp) = d;
        } else if (a == "--stop-save-after") {
            if (!value(v)) return false;
            SaveStep step;
            if (!ParseStep(v, step))
                return error = "--stop-save-after: \"" + v + "\" is not create, write, flush, close or replace", false;
            o.stopSaveAfter = v;
        } else {
            error = "unknown option \"" + a + "\"";
            return false;
        }
    }
    if (o.select > o.nodes) {
        error = "--select: node " + std::to_string(o.select) + " is not one of the " + std::to_string(o.nodes) +
                " node(s); give --nodes " + std::to_string(o.select) + " or more";
        return false;
    }
    if (o.warmUp < 0) o.warmUp = o.span;
    out = o;
    return true;
}

}  // namespace brmodel
