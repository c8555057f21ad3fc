// CNodeHistory: what this user's changes left of a node, in the user's
// profile: %LOCALAPPDATA%\Brisel\History\<node name>\ holds a backup of what
// each change replaced (a settings file named by time and action) and
// changes.csv, the change log. Written only when the user changes a node.
//
// One named mutex of the session serialises every writer (processes and
// apartments alike): no row is lost and no backup overwritten. The newest
// kKeepBackups backups are kept; the log rolls over to a dated file at
// kLogLimit bytes. A history that cannot be written never stops a change:
// the caller shows why.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "change_record.h"

class CNodeHistory {
public:
    static constexpr std::size_t kKeepBackups = 500;
    static constexpr long long kLogLimit = 1024 * 1024;

    // nodeName: the node's name as the host gives it (single-byte).
    explicit CNodeHistory(const std::string& nodeName);
    // A settings file's own history, kept apart from the nodes':
    // %LOCALAPPDATA%\Brisel\Settings file history\<FileHistoryName>\.
    static CNodeHistory OfSettingsFile(const std::wstring& path);

    const std::wstring& Folder() const { return m_folder; }

    // Whether the folder could be made and written (tried in the nearest
    // folder that exists; nothing is made); false with the reason.
    bool CanWrite(std::string& error) const;
    // The backup of what the record's channels held before; false with the
    // reason (nothing half-written stays).
    bool Backup(const sunblind::ChangeRecord& record, std::string& error) const;
    // `bytes` kept as a backup named by time and action (as Backup does).
    bool Keep(const sunblind::LocalTime& time, const std::string& action, const std::string& bytes,
              std::string& error) const;
    // The record's rows appended to the change log.
    bool Log(const sunblind::ChangeRecord& record, std::string& error) const;

    struct Entry {
        std::wstring path;
        std::string time, action;  // from the name; action as UTF-8
    };
    // The backups, newest first.
    std::vector<Entry> Backups() const;

    // The time now with its offset from UTC, and the Windows user (UTF-8).
    static sunblind::LocalTime Now();
    static std::string User();

private:
    CNodeHistory() = default;
    std::wstring m_folder;
};

// The sheet's side (sheethistory.cpp).
class CWnd;

// The history of the sheet's node: its settings file's when the node is
// one held by Brisel Settings, else the node's by the name it last gave.
CNodeHistory HistoryOf(CWnd* sheet);

// Records a change the sheet's node was given: the backup first when
// `backup` (a change whose backup could not be made before it: the page's
// Write reads each item only right before writing it), then the log rows.
// The node is named by the name it last gave (no node call). What went
// wrong, if anything, is kept by the sheet for the node-information tab.
void RecordChange(CWnd* sheet, const sunblind::ChangeRecord& record, bool backup);
// A record of a change of the sheet's node, timed now.
sunblind::ChangeRecord NewRecord(CWnd* sheet, const std::string& action);

