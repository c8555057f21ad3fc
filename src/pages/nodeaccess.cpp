#include "nodeaccess.h"

#include "fw/wnd.h"

extern "C" const IID IID_INodeReader = {
    0xC9C04CC1, 0x23F0, 0x11D3, {0xBC, 0x97, 0x00, 0xA0, 0xC9, 0xE5, 0xF5, 0x04}};
extern "C" const IID IID_INodeWriter = {
    0x099B79E0, 0xBA3D, 0x11D0, {0xAD, 0x92, 0x00, 0x60, 0x97, 0x17, 0x44, 0x07}};

sunblind::ItemAccess* NodeOf(CWnd* parent) {
    auto* source = dynamic_cast<INodeSource*>(parent);
    return source ? source->Node() : nullptr;
}

bool OperationRunning(CWnd* parent) {
    auto* source = dynamic_cast<INodeSource*>(parent);
    return source && source->OperationRunning();
}

void SetOperationRunning(CWnd* parent, bool running) {
    if (auto* source = dynamic_cast<INodeSource*>(parent)) source->SetOperationRunning(running);
}

std::string KnownNodeName(CWnd* parent) {
    auto* source = dynamic_cast<INodeSource*>(parent);
    return source ? source->KnownNodeName() : std::string();
}

std::string HistoryProblem(CWnd* parent) {
    auto* source = dynamic_cast<INodeSource*>(parent);
    return source ? source->HistoryProblem() : std::string();
}

void SetHistoryProblem(CWnd* parent, const std::string& problem) {
    if (auto* source = dynamic_cast<INodeSource*>(parent)) source->SetHistoryProblem(problem);
}
