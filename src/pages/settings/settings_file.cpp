#include "settings_file.h"

#include <algorithm>
#include <string_view>

#include "setting_values.h"
#include "text_checks.h"

namespace sunblind {

namespace {

constexpr std::string_view kFormatPrefix = "Brisel settings, format ";
constexpr std::string_view kEndMarker = "End of settings";
constexpr std::string_view kNodeNameKey = "Node name";
constexpr std::string_view kSavedKey = "Saved";
const char kUtf16Message[] = "The file is in UTF-16 (Unicode) encoding; save it as UTF-8 and load it again.";

struct Refusal {
    int line = 0;  // 0: not about one line
    std::string message;
};
using Check = std::optional<Refusal>;  // empty: fine

std::string SectionName(int channel) { return "[Sunblind " + std::to_string(channel) + "]"; }

int FindSetting(std::string_view key) {
    for (int i = 0; i < kSettingCount; ++i)
        if (EqualNoCase(key, kSettings[i].label)) return i;
    return -1;
}

// "Sunblind N" in any case: N, or -1 for another section name. N may be
// outside 1..4 (refused by the caller with its own message).
long long SectionNumber(std::string_view name) {
    constexpr std::string_view kWord = "Sunblind";
    if (name.size() <= kWord.size() || !EqualNoCase(name.substr(0, kWord.size()), kWord)) return -1;
    const std::string_view digits = Trim(name.substr(kWord.size()));
    if (digits.empty() || digits.size() > 9) return digits.empty() ? -1 : 1000000000LL;
    long long n = 0;
    for (char c : digits) {
        if (!IsDigit(c)) return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

// The file's lines without their ends, each readable as text.
Check SplitLines(std::string_view all, std::vector<std::string_view>& lines) {
    if (all.size() >= 2 && ((all[0] == '\xFF' && all[1] == '\xFE') || (all[0] == '\xFE' && all[1] == '\xFF')))
        return Refusal{0, kUtf16Message};
    if (all.size() > kMaxSettingsFileBytes)
        return Refusal{0, "The file is " + std::to_string(all.size()) +
                              " bytes long; a settings file has at most 65,536 bytes (64 KB)."};
    if (all.substr(0, 3) == "\xEF\xBB\xBF") all.remove_prefix(3);  // Notepad writes one
    if (LooksLikeUtf16(all)) return Refusal{0, kUtf16Message};
    bool blank = true;
    for (std::size_t pos = 0; pos < all.size();) {
        std::size_t end = all.find('\n', pos);
        if (end == std::string_view::npos) end = all.size();
        std::string_view line = all.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string problem = LineProblem(line, kMaxSettingsLineBytes);
        if (!problem.empty()) return Refusal{static_cast<int>(lines.size()) + 1, std::move(problem)};
        blank = blank && Trim(line).empty();
        lines.push_back(line);
        pos = end + 1;
    }
    if (blank) return Refusal{0, "The file is empty."};
    return std::nullopt;
}

Check CheckFormatLine(std::string_view line) {
    const std::string wanted = std::string(kFormatPrefix) + std::to_string(kSettingsFormat);
    const std::string_view first = Trim(line);
    const std::string_view version =
        first.size() > kFormatPrefix.size() && EqualNoCase(first.substr(0, kFormatPrefix.size()), kFormatPrefix)
            ? Trim(first.substr(kFormatPrefix.size()))
            : std::string_view();
    if (version.empty() || !std::all_of(version.begin(), version.end(), IsDigit))
        return Refusal{1, "This is not a Brisel settings file: its first line must be \"" + wanted + "\"."};
    const std::string_view significant = version.substr(std::min(version.find_first_not_of('0'), version.size()));
    if (significant != std::to_string(kSettingsFormat))
        return Refusal{1, "The file is in settings format " +
                              (version.size() <= 20 ? std::string(version) : Quoted(version)) +
                              "; this version of Brisel reads format " + std::to_string(kSettingsFormat) + "."};
    return std::nullopt;
}

// The index of the end marker's line, after which only blank lines may follow.
Check FindEnd(const std::vector<std::string_view>& lines, std::size_t& endLine) {
    endLine = 1;
    while (endLine < lines.size() && !EqualNoCase(Trim(lines[endLine]), kEndMarker)) ++endLine;
    if (endLine == lines.size())
        return Refusal{0, "The file is incomplete: its last line \"" + std::string(kEndMarker) +
                              "\" is missing (was the file cut short?)."};
    for (std::size_t i = endLine + 1; i < lines.size(); ++i)
        if (!Trim(lines[i]).empty())
            return Refusal{static_cast<int>(i) + 1,
                           "There is text after \"" + std::string(kEndMarker) + "\", which must be the last line."};
    return std::nullopt;
}

// The body between the format line and the end marker, line by line.
class BodyReader {
public:
    Check Line(int lineNo, std::string_view t);
    Check Finish();
    SettingsFile file;

private:
    Check Section(int lineNo, std::string_view t);
    Check Header(int lineNo, std::string_view key, std::string_view value);
    Check Value(int lineNo, int setting, std::string_view value);
    Check Incomplete() const;

    int m_nodeNameLine = 0, m_savedLine = 0;
    std::array<int, 4> m_sectionLine{};
    int m_section = 0;  // channel of the current section, 0 before the first
    std::array<int, kSettingCount> m_keyLine{};
};

Check BodyReader::Line(int lineNo, std::string_view t) {
    if (t.empty() || t[0] == '#') return std::nullopt;
    if (t[0] == '[') return Section(lineNo, t);
    const std::size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return Refusal{lineNo, "This line is neither a setting (name = value), a section such as "
                               "[Sunblind 1], nor a comment starting with \"#\"."};
    const std::string_view key = Trim(t.substr(0, eq)), value = Trim(t.substr(eq + 1));
    if (key.empty()) return Refusal{lineNo, "This line has no setting name before \"=\"."};
    const bool headerKey = EqualNoCase(key, kNodeNameKey) || EqualNoCase(key, kSavedKey);
    const int setting = FindSetting(key);
    if (m_section == 0) {
        if (setting >= 0)
            return Refusal{lineNo, std::string(kSettings[setting].label) +
                                       " comes before any channel section; put it under [Sunblind 1] to [Sunblind 4]."};
        if (!headerKey) return Refusal{lineNo, "Unknown setting " + Quoted(key) + "."};
        return Header(lineNo, key, value);
    }
    if (setting >= 0) return Value(lineNo, setting, value);
    if (headerKey) return Refusal{lineNo, Quoted(key) + " belongs before the first channel section."};
    return Refusal{lineNo, "Unknown setting " + Quoted(key) + " in " + SectionName(m_section) + "."};
}

Check BodyReader::Section(int lineNo, std::string_view t) {
    if (t.back() != ']') return Refusal{lineNo, "A section line must end with \"]\", as in [Sunblind 1]."};
    const long long channel = SectionNumber(Trim(t.substr(1, t.size() - 2)));
    if (channel < 0)
        return Refusal{lineNo, "Unknown section " + Quoted(t) + "; the sections are [Sunblind 1] to [Sunblind 4]."};
    if (channel < 1 || channel > 4)
        return Refusal{lineNo, "There is no channel " + Quoted(t) + "; the node has [Sunblind 1] to [Sunblind 4]."};
    if (Check missing = Incomplete()) return missing;
    m_section = static_cast<int>(channel);
    if (m_sectionLine[m_section - 1])
        return Refusal{lineNo, SectionName(m_section) + " appears twice (first on line " +
                                   std::to_string(m_sectionLine[m_section - 1]) + ")."};
    m_sectionLine[m_section - 1] = lineNo;
    m_keyLine.fill(0);
    file.channels[m_section - 1] = ChannelSettings{};
    return std::nullopt;
}

Check BodyReader::Header(int lineNo, std::string_view key, std::string_view value) {
    const bool isName = EqualNoCase(key, kNodeNameKey);
    int& seen = isName ? m_nodeNameLine : m_savedLine;
    if (seen)
        return Refusal{lineNo, std::string(isName ? kNodeNameKey : kSavedKey) + " appears twice (first on line " +
                                   std::to_string(seen) + ")."};
    seen = lineNo;
    (isName ? file.nodeName : file.saved) = std::string(value);
    return std::nullopt;
}

Check BodyReader::Value(int lineNo, int setting, std::string_view value) {
    const Setting& d = kSettings[setting];
    if (m_keyLine[setting])
        return Refusal{lineNo, std::string(d.label) + " appears twice in " + SectionName(m_section) +
                                   " (first on line " + std::to_string(m_keyLine[setting]) + ")."};
    int stored = 0;
    std::string error;
    if (!ParseSettingText(d, value, stored, error)) return Refusal{lineNo, error};
    Store(*file.channels[m_section - 1], d, stored);
    m_keyLine[setting] = lineNo;
    return std::nullopt;
}

Check BodyReader::Incomplete() const {
    if (m_section == 0) return std::nullopt;
    for (int i = 0; i < kSettingCount; ++i)
        if (m_keyLine[i] == 0)
            return Refusal{m_sectionLine[m_section - 1], SectionName(m_section) + " lacks the setting \"" +
                                                             std::string(kSettings[i].label) + "\"."};
    return std::nullopt;
}

Check BodyReader::Finish() {
    if (Check missing = Incomplete()) return missing;
    if (m_section == 0)
        return Refusal{0, "The file holds no channel section; it needs at least one of [Sunblind 1] to [Sunblind 4]."};
    return std::nullopt;
}

}  // namespace

// ---- Writing ---------------------------------------------------------------

std::string FormatSettingsFile(const SettingsFile& file) {
    const char* const nl = "\r\n";
    auto line = [&](std::string& out, std::string_view key, const std::string& value) {
        out += key;
        out += value.empty() ? " =" : " = " + value;
        out += nl;
    };
    std::string out = std::string(kFormatPrefix) + std::to_string(kSettingsFormat) + nl;
    out += std::string("# Setpoints in lux, times in seconds, levels in percent.") + nl;
    out += std::string("# nviLevel and nviOverrideLevel: None, Local, Common or Local and Common.") + nl;
    out += std::string("# A source code the page cannot show is kept as its number (-128 to 127).") + nl;
    line(out, kNodeNameKey, CleanText(file.nodeName, kMaxSettingsTextBytes));
    line(out, kSavedKey, CleanText(file.saved, kMaxSettingsTextBytes));
    for (int c = 1; c <= 4; ++c) {
        const std::optional<ChannelSettings>& ch = file.channels[c - 1];
        if (!ch) continue;
        out += nl + SectionName(c) + nl;
        for (const Setting& d : kSettings) line(out, d.label, SettingText(d, StoredValue(*ch, d)));
    }
    out += nl + std::string(kEndMarker) + nl;
    return out;
}

// ---- Reading ---------------------------------------------------------------

ParsedSettingsFile ParseSettingsFile(const std::string& bytes) {
    ParsedSettingsFile result;
    std::vector<std::string_view> lines;
    std::size_t endLine = 0;
    BodyReader body;
    Check refused = SplitLines(bytes, lines);
    if (!refused) refused = CheckFormatLine(lines[0]);
    if (!refused) refused = FindEnd(lines, endLine);
    for (std::size_t n = 1; !refused && n < endLine; ++n) refused = body.Line(static_cast<int>(n) + 1, Trim(lines[n]));
    if (!refused) refused = body.Finish();
    if (refused) {
        result.error.line = refused->line;
        result.error.message = std::move(refused->message);
    } else {
        result.file = std::move(body.file);
    }
    return result;
}

std::string SettingsErrorText(const SettingsFileError& error) {
    if (error.line <= 0) return error.message;
    return "Line " + std::to_string(error.line) + ": " + error.message;
}

}  // namespace sunblind
