#include "history.h"

#include "fw/text.h"
#include "pages/nodeaccess.h"

using namespace sunblind;

CNodeHistory HistoryOf(CWnd* sheet) {
    const std::wstring file = SettingsFilePath(sheet);
    return file.empty() ? CNodeHistory(KnownNodeName(sheet)) : CNodeHistory::OfSettingsFile(file);
}

ChangeRecord NewRecord(CWnd* sheet, const std::string& action) {
    ChangeRecord record;
    record.time = CNodeHistory::Now();
    record.user = CNodeHistory::User();
    record.node = AfxUtf8FromWide(AfxWideFromBytes(KnownNodeName(sheet)));
    record.action = action;
    return record;
}

void RecordChange(CWnd* sheet, const ChangeRecord& record, bool backup) {
    if (!Changes(record)) return;
    const CNodeHistory history = HistoryOf(sheet);
    std::string error;
    if ((!backup || history.Backup(record, error)) && history.Log(record, error)) error.clear();
    SetHistoryProblem(sheet, error);
}
