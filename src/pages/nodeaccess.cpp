#include "nodeaccess.h"

#include "fw/wnd.h"

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

std::wstring SettingsFilePath(CWnd* parent) {
    auto* source = dynamic_cast<INodeSource*>(parent);
    return source ? source->SettingsFilePath() : std::wstring();
}

std::string HistoryProblem(CWnd* parent) {
    auto* source = dynamic_cast<INodeSource*>(parent);
    return source ? source->HistoryProblem() : std::string();
}

void SetHistoryProblem(CWnd* parent, const std::string& problem) {
    if (auto* source = dynamic_cast<INodeSource*>(parent)) source->SetHistoryProblem(problem);
}
