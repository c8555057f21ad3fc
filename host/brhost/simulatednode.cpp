#include "simulatednode.h"

#include <shlobj.h>

#include <cstdio>

namespace brhost {

std::string DefaultNodeFile() {
    char folder[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, folder)))
        return std::string(folder) + "\\Brisel\\node.txt";
    return "node.txt";
}

SimulatedNode::SimulatedNode(const brmodel::Options& options)
    : m_sim(brmodel::Daylight{options.seed, options.dayLength}, 0.2 * options.dayLength) {
    node.latencyMs = options.latencyMs;
    node.failRead = options.failRead;
    node.failWrite = options.failWrite;
    node.failAll = options.failAll;
    site.offerReader = options.interfaces == brmodel::Interfaces::Reader || options.interfaces == brmodel::Interfaces::Both;
    site.offerWriter = options.interfaces == brmodel::Interfaces::Writer || options.interfaces == brmodel::Interfaces::Both;
    Load(brmodel::DefaultImage());

    node.beforeCall = [this](simnode::Call::Op, long) { Advance(); };
    node.onCall = [this](const simnode::Call& call) {
        if (call.result != 0) ++failures;
        else if (call.op == simnode::Call::Write) ++writes;
        else ++reads;
        node.log.clear();  // the host keeps counts, not a record of every call
        if (call.op == simnode::Call::Write && call.result == 0) {
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
    m_path = path;
    if (m_reset || !brmodel::FileExists(path)) {
        Load(brmodel::DefaultImage());
        return Save(error);
    }
    brmodel::Image image;
    if (!brmodel::LoadImage(path, image, error)) {
        m_path.clear();  // never overwrite a file we could not read
        return false;
    }
    Load(image);
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
    if (!brmodel::SaveImage(m_path, Image(), error)) {
        saveError = error;
        return false;
    }
    saveError.clear();
    return true;
}

bool SimulatedNode::Reset(std::string& error) {
    Load(brmodel::DefaultImage());
    return Save(error);
}

}  // namespace brhost
