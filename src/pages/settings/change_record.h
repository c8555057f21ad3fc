// What a change leaves beside the node, so that nothing is overwritten for
// good: a backup of the values it replaced (a settings file of the channels
// it touches) and one change-log row per setting it changed. Built from the
// reads the change makes anyway. No Win32 here: the caller gives the time
// and the user, and writes the files.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings_file.h"

namespace sunblind {

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    int utcOffsetMinutes = 0;  // east of UTC positive: +60 is UTC+01:00
};

// "2026-12-10T14:03:07+01:00".
std::string IsoTime(const LocalTime& t);
// "2026-12-10 14:03:07": a settings file's "Saved" line.
std::string SavedTime(const LocalTime& t);

// One channel a change wrote.
struct ChannelRecord {
    int channel = 0;
    ChannelSettings before;                // as the node held it
    ChannelSettings wanted;                // what was written
    std::optional<ChannelSettings> after;  // read back; none when that read failed
};

struct ChangeRecord {
    LocalTime time;
    std::string user, node, action;  // UTF-8; action e.g. "Write Sunblind 2"
    std::vector<ChannelRecord> channels;
};

// Whether the record holds any setting that was to change: a change that
// changes nothing leaves no backup and no row.
bool Changes(const ChangeRecord& record);

// The backup: the channels as they were before, format 1.
SettingsFile BackupFile(const ChangeRecord& record);

// The change log: UTF-8 with a byte-order mark and RFC 4180 quoting, lines
// ending in CR LF, so that spreadsheet programs open it as it is.
extern const char kLogHeader[];  // the byte-order mark and the column names
std::string CsvField(std::string_view text);
// One line per setting that was to change, in channel and page order:
// time, user, node, action, channel, setting, before, after (read back),
// and the check: "taken", "not taken" or "not read back".
std::string LogLines(const ChangeRecord& record);

// A name for a file or folder from any text: the characters a Windows file
// name cannot hold (control characters, \ / : * ? " < > |) become '_',
// trailing spaces and dots go, a device name (CON, NUL, COM1 ...) gets a
// '_' after it, and an empty name becomes `empty`. Any script stays.
std::string FileNamePart(std::string_view text, std::string_view empty);

// The history folder's name of a settings file edited at the desk (full
// path, UTF-8): its file name and eight hex digits of the path (ASCII
// letters in any case alike), so that files of one name in different
// folders keep histories of their own.
std::string FileHistoryName(std::string_view path);

// "2026-12-10 14.03.07.123 Write Sunblind 2.txt": sorts by time.
std::string BackupName(const LocalTime& t, const std::string& action);
// A backup's time and action back from its name; false for other names.
bool ParseBackupName(const std::string& name, std::string& time, std::string& action);

// Of `names` (backups of one node), those to remove so that the newest
// `keep` remain (by name, which sorts by time).
std::vector<std::string> BackupsToRemove(std::vector<std::string> names, std::size_t keep);

}  // namespace sunblind
