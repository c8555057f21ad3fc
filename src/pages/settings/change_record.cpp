#include "change_record.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "setting_values.h"

namespace sunblind {

namespace {

std::string Two(int n) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

std::string Date(const LocalTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
    return text;
}

}  // namespace

std::string IsoTime(const LocalTime& t) {
    const int offset = t.utcOffsetMinutes < 0 ? -t.utcOffsetMinutes : t.utcOffsetMinutes;
    return Date(t) + "T" + Two(t.hour) + ":" + Two(t.minute) + ":" + Two(t.second) +
           (t.utcOffsetMinutes < 0 ? "-" : "+") + Two(offset / 60) + ":" + Two(offset % 60);
}

std::string SavedTime(const LocalTime& t) {
    return Date(t) + " " + Two(t.hour) + ":" + Two(t.minute) + ":" + Two(t.second);
}

bool Changes(const ChangeRecord& record) {
    return std::any_of(record.channels.begin(), record.channels.end(),
                       [](const ChannelRecord& c) { return c.before != c.wanted; });
}

SettingsFile BackupFile(const ChangeRecord& record) {
    SettingsFile file;
    file.nodeName = record.node;
    file.saved = Date(record.time) + " " + Two(record.time.hour) + ":" + Two(record.time.minute) + ":" +
                 Two(record.time.second) + " (before " + record.action + ")";
    for (const ChannelRecord& c : record.channels)
        if (c.before != c.wanted) file.channels[c.channel - 1] = c.before;
    return file;
}

const char kLogHeader[] = "\xEF\xBB\xBFTime,User,Node,Action,Channel,Setting,Before,After,Check\r\n";

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string LogLines(const ChangeRecord& record) {
    std::string lines;
    const std::string common = CsvField(IsoTime(record.time)) + "," + CsvField(record.user) + "," +
                               CsvField(record.node) + "," + CsvField(record.action) + ",";
    for (const ChannelRecord& c : record.channels)
        for (const Difference& d : ChannelDifferences(c.before, c.wanted)) {
            const Setting& s = *d.setting;
            const std::string after = c.after ? SettingText(s, StoredValue(*c.after, s)) : std::string();
            const char* check = !c.after ? "not read back" : StoredValue(*c.after, s) == d.after ? "taken" : "not taken";
            lines += common + "Sunblind " + std::to_string(c.channel) + "," + CsvField(s.label) + "," +
                     CsvField(SettingText(s, d.now)) + "," + CsvField(after) + "," + check + "\r\n";
        }
    return lines;
}

std::string FileNamePart(std::string_view text, std::string_view empty) {
    std::string name;
    for (char c : text)
        name += (static_cast<unsigned char>(c) < 32 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
                    ? '_'
                    : c;
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
    while (!name.empty() && name.front() == ' ') name.erase(0, 1);
    if (name.empty()) return std::string(empty);
    // A device name, alone or before an extension, names the device anywhere.
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    const bool numbered = stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
                          stem[3] >= '0' && stem[3] <= '9';
    if (numbered || stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") name.insert(stem.size(), "_");
    return name;
}

std::string BackupName(const LocalTime& t, const std::string& action) {
    char millis[8];
    std::snprintf(millis, sizeof millis, "%03d", t.millisecond);
    return Date(t) + " " + Two(t.hour) + "." + Two(t.minute) + "." + Two(t.second) + "." + millis + " " +
           FileNamePart(action, "Change") + ".txt";
}

std::string FileHistoryName(std::string_view path) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (char c : path) {
        hash ^= static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        hash *= 16777619u;
    }
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(hash));
    const std::size_t slash = path.find_last_of("\\/");
    return FileNamePart(path.substr(slash == std::string_view::npos ? 0 : slash + 1), "Unnamed file") + " " + hex;
}

bool ParseBackupName(const std::string& name, std::string& time, std::string& action) {
    // "YYYY-MM-DD HH.MM.SS.mmm " then the action, then ".txt" (a " (2)"
    // before it when two changes met in one millisecond).
    static const char shape[] = "0000-00-00 00.00.00.000 ";
    const std::size_t head = sizeof shape - 1;
    if (name.size() < head + 5 || name.compare(name.size() - 4, 4, ".txt") != 0) return false;
    for (std::size_t i = 0; i < head; ++i)
        if (shape[i] == '0' ? !(name[i] >= '0' && name[i] <= '9') : name[i] != shape[i]) return false;
    time = name.substr(0, 10) + " " + name.substr(11, 2) + ":" + name.substr(14, 2) + ":" + name.substr(17, 2);
    action = name.substr(head, name.size() - head - 4);
    return true;
}

std::vector<std::string> BackupsToRemove(std::vector<std::string> names, std::size_t keep) {
    std::sort(names.begin(), names.end());
    if (names.size() <= keep) return {};
    names.resize(names.size() - keep);
    return names;
}

}  // namespace sunblind
