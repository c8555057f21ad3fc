#include "simulatednode.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>

#include "wide.h"

namespace brhost {

// The user's application data folder; without one, beside the program
// (not wherever the tool happens to be started from).
std::string DefaultNodeFile() {
    wchar_t folder[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, folder)))
        return Utf8(folder) + "\\Brisel\\node.txt";
    std::wstring program(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &program[0], static_cast<DWORD>(program.size()));
        if (n == 0) return "node.txt";
        if (n < program.size()) {
            program.resize(n);
            break;
        }
        if (program.size() >= 32768) return "node.txt";
        program.resize(program.size() * 2);
    }
    const auto slash = program.find_last_of(L"\\/");
    return slash == std::wstring::npos ? "node.txt" : Utf8(program.substr(0, slash)) + "\\node.txt";
}

// The host's present is 0.2 day (mid-morning) however long the warm-up.
SimulatedNode::SimulatedNode(const brmodel::Options& options, int number)
    : m_number(number),
      m_sim(brmodel::Daylight{options.seed + static_cast<std::uint64_t>(number - 1), options.dayLength},
            0.2 * options.dayLength - std::max(0.0, options.warmUp)),
      m_history(options.span),
      m_warmUp(std::max(0.0, options.warmUp)) {
    m_sim.onStep = [this](const brmodel::Simulation& sim, const brmodel::Items& items) { m_history.Record(sim, items); };
    node.latencyMs = options.latencyMs;
    node.failRead = options.failRead;
    node.failWrite = options.failWrite;
    node.failAll = options.failAll;
    site.offerReader = options.interfaces == brmodel::Interfaces::Reader || options.interfaces == brmodel::Interfaces::Both;
    site.offerWriter = options.interfaces == brmodel::Interfaces::Writer || options.interfaces == brmodel::Interfaces::Both;
    Load(brmodel::DefaultImage(m_number));

    node.beforeCall = [this](simnode::Call::Op, long) { Advance(); };
    node.onCall = [this](const simnode::Call& call) {
        if (call.result != 0) ++failures;
        else if (call.op == simnode::Call::Write) ++writes;
        else ++reads;
        // call may be the log's own entry: it is read before the log goes.
        const bool saved = call.op == simnode::Call::Write && call.result == 0;
        node.log.clear();  // the host keeps counts, not a record of every call
        if (saved) {
            std::string error;
            if (!Save(error)) std::fprintf(stderr, "brhost: %s\n", error.c_str());
        }
    };
    m_reset = options.reset;
}

void SimulatedNode::Load(const brmodel::Image& image) {
    node.items = image.items;
    node.SetName(image.name);
}

brmodel::Image SimulatedNode::Image() const {
    brmodel::Image image;
    image.name.assign(node.name.begin(), node.name.end());
    image.items = node.items;
    return image;
}

bool SimulatedNode::Open(const std::string& path, std::string& error) {
    m_path.clear();  // never overwrite a file we could not read
    const std::string folder = brmodel::FolderOf(path);
    std::string why;
    if (!folder.empty() && !m_files.MakeFolders(folder, why)) {
        error = folder + ": cannot create the folder: " + why;
        return false;
    }
    if (!m_lock.Acquire(path, error)) return false;
    // Only this tool saves the file now: any temporary beside it is stale.
    staleRemoved = brmodel::RemoveStaleTemps(m_files, path);
    const bool fresh = m_reset || !m_files.Exists(path);
    if (fresh) {
        Load(brmodel::DefaultImage(m_number));
    } else {
        brmodel::Image image;
        if (!brmodel::LoadNodeFile(m_files, path, image, error)) {
            m_lock.Release();
            return false;
        }
        Load(image);
    }
    m_path = path;
    if (fresh && !Save(error)) {
        m_path.clear();
        m_lock.Release();
        return false;
    }
    // The node has been running: the chart opens with its recent past.
    for (double left = m_warmUp; left > 0; left -= brmodel::Simulation::kMaxAdvance)
        m_sim.Advance(std::min(left, brmodel::Simulation::kMaxAdvance), node.items);
    return true;
}

void SimulatedNode::Advance() {
    const DWORD now = clock();
    if (!m_clockStarted) {
        m_clockStarted = true;
        m_last = now;
    }
    const double dt = static_cast<DWORD>(now - m_last) / 1000.0;
    m_last = now;
    m_sim.Advance(dt, node.items);
}

bool SimulatedNode::Save(std::string& error) {
    if (m_path.empty()) return true;
    if (!brmodel::SaveNodeFile(m_files, m_path, Image(), error, afterSaveStep)) {
        saveError = error;
        return false;
    }
    saveError.clear();
    return true;
}

bool SimulatedNode::Reset(std::string& error) {
    Load(brmodel::DefaultImage(m_number));
    return Save(error);
}

Network::Network(const brmodel::Options& options) {
    for (unsigned k = 1; k <= std::max(1u, options.nodes); ++k)
        m_nodes.push_back(std::make_unique<SimulatedNode>(options, static_cast<int>(k)));
}

bool Network::Open(const std::string& first, std::string& error) {
    for (auto& node : m_nodes)
        if (!node->Open(brmodel::NodeFileOf(first, node->Number()), error)) return false;
    return true;
}

void Network::Advance() {
    for (auto& node : m_nodes) node->Advance();
}

bool Network::Save(std::string& error) {
    error.clear();
    for (auto& node : m_nodes) {
        std::string why;
        if (!node->Save(why)) error += (error.empty() ? "" : "\n") + why;
    }
    return error.empty();
}

}  // namespace brhost
