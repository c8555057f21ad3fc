#include "settings_file.h"

#include <algorithm>
#include <string_view>

#include "sunblind_items.h"

namespace sunblind {

namespace {

constexpr std::string_view kFormatPrefix = "Brisel settings, format ";
constexpr std::string_view kEndMarker = "End of settings";
constexpr std::string_view kNodeNameKey = "Node name";
constexpr std::string_view kSavedKey = "Saved";

enum class Kind { Number, Lux, Source };
// A number's stored step: whole units, tenths or halves.
enum class Unit { Whole, Tenths, Halves };

constexpr int kInDriveTime = -1;  // offset of the setting kept in the drive time item

struct SettingDef {
    std::string_view key;
    Kind kind;
    Unit unit;
    int min, max;  // stored value, in steps
    int width;     // bytes: 2 big-endian unsigned, 1 signed when min < 0
    int offset;    // in the block, or kInDriveTime
    Field field;   // where DecodeBlock puts its display text
};

// In file order, which is also the order of the confirmation.
constexpr int kSettingCount = 12;
constexpr SettingDef kSettings[kSettingCount] = {
    {"Down setpoint", Kind::Number, Unit::Whole, 0, 65535, 2, 0, DownSetpoint},
    {"Up setpoint", Kind::Number, Unit::Whole, 0, 65535, 2, 2, UpSetpoint},
    {"Time before down", Kind::Number, Unit::Tenths, 0, 65535, 2, 4, TimeBeforeDown},
    {"Time before up", Kind::Number, Unit::Tenths, 0, 65535, 2, 6, TimeBeforeUp},
    {"Push time short", Kind::Number, Unit::Tenths, -128, 127, 1, 9, PushTimeShort},
    {"Push time long", Kind::Number, Unit::Tenths, -128, 127, 1, 8, PushTimeLong},
    {"Top down time", Kind::Number, Unit::Tenths, 0, 65535, 2, kInDriveTime, kFieldCount},
    {"Top level", Kind::Number, Unit::Halves, 0, 255, 1, 12, TopLevel},
    {"Bottum level", Kind::Number, Unit::Halves, 0, 255, 1, 13, BottomLevel},  // the page's label
    {"nviLux", Kind::Lux, Unit::Whole, 0, 1, 0, 0, kFieldCount},
    {"nviLevel", Kind::Source, Unit::Whole, -128, 127, 1, 10, kFieldCount},
    {"nviOverrideLevel", Kind::Source, Unit::Whole, -128, 127, 1, 11, kFieldCount},
};

// Indexed by source code; "Common and Local" is read as code 3 too.
constexpr std::string_view kSourceNames[4] = {"None", "Local", "Common", "Local and Common"};

// ---- Stored values ---------------------------------------------------------

int StoredValue(const ChannelSettings& s, const SettingDef& d) {
    if (d.kind == Kind::Lux) return s.luxCommon ? 1 : 0;
    const BYTE_T* p = d.offset == kInDriveTime ? s.driveTime.data() : s.block.data() + d.offset;
    if (d.width == 2) return p[0] * 256 + p[1];
    return (d.min < 0 && p[0] >= 128) ? p[0] - 256 : p[0];
}

void Store(ChannelSettings& s, const SettingDef& d, int value) {
    if (d.kind == Kind::Lux) {
        s.luxCommon = value != 0;
        return;
    }
    BYTE_T* p = d.offset == kInDriveTime ? s.driveTime.data() : s.block.data() + d.offset;
    if (d.width == 2) {
        p[0] = static_cast<BYTE_T>((value >> 8) & 0xFF);
        p[1] = static_cast<BYTE_T>(value & 0xFF);
    } else {
        p[0] = static_cast<BYTE_T>(value & 0xFF);
    }
}

// The page's own display texts, so the file shows what the page shows.
std::array<std::string, kSettingCount> SettingTexts(const ChannelSettings& s) {
    const CBitConverter conv;
    BYTE_T record[kValueBufferSize] = {};
    std::copy(s.block.begin(), s.block.end(), record);
    const BlockValues shown = DecodeBlock(conv, record, 0);
    std::array<std::string, kSettingCount> texts;
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingDef& d = kSettings[i];
        switch (d.kind) {
            case Kind::Number:
                texts[i] = d.offset == kInDriveTime ? DecodeTopDownTime(conv, s.driveTime.data())
                                                    : shown.text[d.field];
                break;
            case Kind::Lux: texts[i] = s.luxCommon ? "Common" : "Local"; break;
            case Kind::Source: {
                const int code = StoredValue(s, d);
                texts[i] = code >= 0 && code <= 3 ? std::string(kSourceNames[code]) : std::to_string(code);
                break;
            }
        }
    }
    return texts;
}

// ---- Text helpers ----------------------------------------------------------

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string_view Trim(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    return t;
}

// Length of the valid UTF-8 sequence at t[i], 0 when there is none
// (overlong forms, surrogates and code points above U+10FFFF are invalid).
std::size_t Utf8Length(std::string_view t, std::size_t i) {
    const unsigned char c = static_cast<unsigned char>(t[i]);
    if (c < 0x80) return 1;
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) n = 2;
    else if (c == 0xE0) n = 3, lo = 0xA0;
    else if (c >= 0xE1 && c <= 0xEC) n = 3;
    else if (c == 0xED) n = 3, hi = 0x9F;
    else if (c >= 0xEE && c <= 0xEF) n = 3;
    else if (c == 0xF0) n = 4, lo = 0x90;
    else if (c >= 0xF1 && c <= 0xF3) n = 4;
    else if (c == 0xF4) n = 4, hi = 0x8F;
    else return 0;
    if (t.size() - i < n) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const unsigned char b = static_cast<unsigned char>(t[i + k]);
        if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return 0;
    }
    return n;
}

// A file's text quoted in a message: at most 40 bytes, cut between characters.
std::string Quoted(std::string_view t) {
    std::string q = "\"";
    if (t.size() <= 40) {
        q += t;
    } else {
        std::size_t n = 40;
        while (n > 0 && (static_cast<unsigned char>(t[n]) & 0xC0) == 0x80) --n;
        q += t.substr(0, n);
        q += "...";
    }
    return q + "\"";
}

// Written node name and saved text: see FormatSettingsFile.
std::string CleanText(std::string_view t) {
    std::string out;
    for (std::size_t i = 0; i < t.size();) {
        const std::size_t n = Utf8Length(t, i);
        const unsigned char c = static_cast<unsigned char>(t[i]);
        std::string_view piece = n == 0 ? std::string_view("\xEF\xBF\xBD")
                                 : (n == 1 && (c < 0x20 || c == 0x7F)) ? std::string_view(" ")
                                 : t.substr(i, n);
        if (out.size() + piece.size() > kMaxSettingsTextBytes) break;
        out += piece;
        i += n == 0 ? 1 : n;
    }
    return out;
}

// ---- Numbers ---------------------------------------------------------------

// A decimal number read exactly: [+|-]digits[.digits], nothing else (no
// exponent, hexadecimal, inf or nan: a file is not typing).
struct Decimal {
    bool negative = false;
    long long tenths = 0;  // magnitude, capped far beyond any field's range
    bool finer = false;    // non-zero digits after the tenths
};

bool ParseDecimal(std::string_view t, Decimal& x) {
    constexpr long long kCap = 1000000000000LL;
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) x.negative = t[i++] == '-';
    const std::size_t first = i;
    long long whole = 0;
    for (; i < t.size() && IsDigit(t[i]); ++i) whole = std::min(kCap, whole * 10 + (t[i] - '0'));
    if (i == first) return false;
    x.tenths = whole * 10;
    if (i < t.size() && t[i] == '.') {
        const std::size_t point = ++i;
        for (; i < t.size() && IsDigit(t[i]); ++i) {
            if (i == point) x.tenths += t[i] - '0';
            else if (t[i] != '0') x.finer = true;
        }
        if (i == point) return false;
    }
    return i == t.size();
}

long long StepTenths(Unit u) { return u == Unit::Whole ? 10 : u == Unit::Halves ? 5 : 1; }

// A stored value (in steps) as the page shows it, for messages.
std::string StepsText(long long steps, Unit u) {
    if (u == Unit::Whole) return std::to_string(steps);
    const long long t = steps * StepTenths(u);
    const long long a = t < 0 ? -t : t;
    return (t < 0 ? "-" : "") + std::to_string(a / 10) + "." + std::to_string(a % 10);
}

bool ParseNumber(const SettingDef& d, std::string_view text, int& value, std::string& error) {
    const std::string key(d.key);
    const std::string range = StepsText(d.min, d.unit) + " to " + StepsText(d.max, d.unit);
    Decimal x;
    if (!ParseDecimal(text, x)) {
        error = key + " must be a number from " + range + " (digits with at most one decimal point); " +
                "the file has " + Quoted(text) + ".";
        return false;
    }
    const long long step = StepTenths(d.unit), lo = d.min * step, hi = d.max * step;
    const long long v = x.negative ? -x.tenths : x.tenths;
    // Digits after the tenths lie beyond v, away from zero.
    if (v < lo || v > hi || (x.finer && (x.negative ? v <= lo : v >= hi))) {
        error = key + " must be from " + range + "; the file has " + Quoted(text) + ".";
        return false;
    }
    if (x.finer || v % step != 0) {
        const char* how = d.unit == Unit::Whole    ? " must be a whole number"
                          : d.unit == Unit::Halves ? " is stored in steps of 0.5"
                                                   : " is stored in tenths (one decimal)";
        error = key + how + "; the file has " + Quoted(text) + ", which the node cannot hold.";
        return false;
    }
    value = static_cast<int>(v / step);
    return true;
}

bool ParseValue(const SettingDef& d, std::string_view text, int& value, std::string& error) {
    const std::string key(d.key);
    if (text.empty()) {
        error = key + " has no value.";
        return false;
    }
    switch (d.kind) {
        case Kind::Number: return ParseNumber(d, text, value, error);
        case Kind::Lux:
            if (EqualNoCase(text, "Local") || EqualNoCase(text, "Common")) {
                value = EqualNoCase(text, "Common") ? 1 : 0;
                return true;
            }
            error = key + " must be Local or Common; the file has " + Quoted(text) + ".";
            return false;
        case Kind::Source: {
            for (int code = 0; code < 4; ++code)
                if (EqualNoCase(text, kSourceNames[code])) {
                    value = code;
                    return true;
                }
            if (EqualNoCase(text, "Common and Local")) {
                value = 3;
                return true;
            }
            Decimal x;
            if (ParseDecimal(text, x) && !x.finer && x.tenths % 10 == 0) {
                const long long code = (x.negative ? -x.tenths : x.tenths) / 10;
                if (code >= -128 && code <= 127) {
                    value = static_cast<int>(code);
                    return true;
                }
            }
            error = key + " must be None, Local, Common, Local and Common, or a code number from " +
                    "-128 to 127; the file has " + Quoted(text) + ".";
            return false;
        }
    }
    return false;
}

// ---- Reading helpers -------------------------------------------------------

ParsedSettingsFile Refuse(int line, std::string message) {
    ParsedSettingsFile r;
    r.error.line = line;
    r.error.message = std::move(message);
    return r;
}

const char kUtf16Message[] = "The file is in UTF-16 (Unicode) encoding; save it as UTF-8 and load it again.";

// Without a byte-order mark: NUL bytes, all on even or all on odd offsets,
// as the ASCII text of a UTF-16 file has them.
bool LooksLikeUtf16(std::string_view t) {
    std::size_t even = 0, odd = 0;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (t[i] == '\0') ++(i % 2 ? odd : even);
    return (even == 0) != (odd == 0) && (even + odd) * 4 >= t.size();
}

// Why a line cannot be read as text, or empty.
std::string LineProblem(std::string_view line) {
    if (line.size() > kMaxSettingsLineBytes)
        return "This line is " + std::to_string(line.size()) + " bytes long; a line may have at most " +
               std::to_string(kMaxSettingsLineBytes) + ".";
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t n = Utf8Length(line, i);
        if (n == 0) return "This line is not valid UTF-8 text; save the file as UTF-8.";
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c == '\r') return "This line holds a carriage return that does not end it; lines end in CR LF or LF.";
        if (c == 0) return "This line holds a NUL byte; a settings file is plain text.";
        if ((c < 0x20 && c != '\t') || c == 0x7F) {
            const char hex[] = "0123456789ABCDEF";
            return std::string("This line holds the control character 0x") + hex[c >> 4] + hex[c & 15] +
                   "; a settings file is plain text.";
        }
        i += n;
    }
    return {};
}

int FindSetting(std::string_view key) {
    for (int i = 0; i < kSettingCount; ++i)
        if (EqualNoCase(key, kSettings[i].key)) return i;
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

std::string SectionName(int channel) { return "[Sunblind " + std::to_string(channel) + "]"; }

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
    line(out, kNodeNameKey, CleanText(file.nodeName));
    line(out, kSavedKey, CleanText(file.saved));
    for (int c = 1; c <= 4; ++c) {
        const std::optional<ChannelSettings>& ch = file.channels[c - 1];
        if (!ch) continue;
        out += nl + SectionName(c) + nl;
        const auto texts = SettingTexts(*ch);
        for (int i = 0; i < kSettingCount; ++i) line(out, kSettings[i].key, texts[i]);
    }
    out += nl + std::string(kEndMarker) + nl;
    return out;
}

// ---- Reading ---------------------------------------------------------------

ParsedSettingsFile ParseSettingsFile(const std::string& bytes) {
    std::string_view all(bytes);
    if (all.size() >= 2 && ((all[0] == '\xFF' && all[1] == '\xFE') || (all[0] == '\xFE' && all[1] == '\xFF')))
        return Refuse(0, kUtf16Message);
    if (all.size() > kMaxSettingsFileBytes)
        return Refuse(0, "The file is " + std::to_string(all.size()) +
                             " bytes long; a settings file has at most 65,536 bytes (64 KB).");
    if (all.substr(0, 3) == "\xEF\xBB\xBF") all.remove_prefix(3);  // Notepad writes one
    if (LooksLikeUtf16(all)) return Refuse(0, kUtf16Message);

    // Lines without their ends, each readable as text.
    std::vector<std::string_view> lines;
    bool blank = true;
    for (std::size_t pos = 0; pos < all.size();) {
        std::size_t end = all.find('\n', pos);
        if (end == std::string_view::npos) end = all.size();
        std::string_view line = all.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string problem = LineProblem(line);
        if (!problem.empty()) return Refuse(static_cast<int>(lines.size()) + 1, problem);
        blank = blank && Trim(line).empty();
        lines.push_back(line);
        pos = end + 1;
    }
    if (blank) return Refuse(0, "The file is empty.");

    // The format line.
    const std::string wanted = std::string(kFormatPrefix) + std::to_string(kSettingsFormat);
    const std::string_view first = Trim(lines[0]);
    const std::string_view version =
        first.size() > kFormatPrefix.size() && EqualNoCase(first.substr(0, kFormatPrefix.size()), kFormatPrefix)
            ? Trim(first.substr(kFormatPrefix.size()))
            : std::string_view();
    if (version.empty() || !std::all_of(version.begin(), version.end(), IsDigit))
        return Refuse(1, "This is not a Brisel settings file: its first line must be \"" + wanted + "\".");
    const std::string_view significant = version.substr(std::min(version.find_first_not_of('0'), version.size()));
    if (significant != std::to_string(kSettingsFormat))
        return Refuse(1, "The file is in settings format " +
                             (version.size() <= 20 ? std::string(version) : Quoted(version)) +
                             "; this version of Brisel reads format " + std::to_string(kSettingsFormat) + ".");

    // The end marker, and nothing but blank lines after it.
    std::size_t endLine = 1;
    while (endLine < lines.size() && !EqualNoCase(Trim(lines[endLine]), kEndMarker)) ++endLine;
    if (endLine == lines.size())
        return Refuse(0, "The file is incomplete: its last line \"" + std::string(kEndMarker) +
                             "\" is missing (was the file cut short?).");
    for (std::size_t i = endLine + 1; i < lines.size(); ++i)
        if (!Trim(lines[i]).empty())
            return Refuse(static_cast<int>(i) + 1,
                          "There is text after \"" + std::string(kEndMarker) + "\", which must be the last line.");

    SettingsFile file;
    int nodeNameLine = 0, savedLine = 0;
    std::array<int, 4> sectionLine{};
    int section = 0;  // channel of the current section, 0 before the first
    std::array<int, kSettingCount> keyLine{};
    auto incomplete = [&]() -> std::string {
        if (section == 0) return {};
        for (int i = 0; i < kSettingCount; ++i)
            if (keyLine[i] == 0)
                return SectionName(section) + " lacks the setting \"" + std::string(kSettings[i].key) + "\".";
        return {};
    };

    for (std::size_t n = 1; n < endLine; ++n) {
        const int lineNo = static_cast<int>(n) + 1;
        const std::string_view t = Trim(lines[n]);
        if (t.empty() || t[0] == '#') continue;

        if (t[0] == '[') {
            if (t.back() != ']') return Refuse(lineNo, "A section line must end with \"]\", as in [Sunblind 1].");
            const std::string_view name = Trim(t.substr(1, t.size() - 2));
            const long long channel = SectionNumber(name);
            if (channel < 0)
                return Refuse(lineNo, "Unknown section " + Quoted(t) + "; the sections are [Sunblind 1] to [Sunblind 4].");
            if (channel < 1 || channel > 4)
                return Refuse(lineNo, "There is no channel " + Quoted(t) +
                                          "; the node has [Sunblind 1] to [Sunblind 4].");
            const std::string missing = incomplete();
            if (!missing.empty()) return Refuse(sectionLine[section - 1], missing);
            section = static_cast<int>(channel);
            if (sectionLine[section - 1])
                return Refuse(lineNo, SectionName(section) + " appears twice (first on line " +
                                          std::to_string(sectionLine[section - 1]) + ").");
            sectionLine[section - 1] = lineNo;
            keyLine.fill(0);
            file.channels[section - 1] = ChannelSettings{};
            continue;
        }

        const std::size_t eq = t.find('=');
        if (eq == std::string_view::npos)
            return Refuse(lineNo, "This line is neither a setting (name = value), a section such as "
                                  "[Sunblind 1], nor a comment starting with \"#\".");
        const std::string_view key = Trim(t.substr(0, eq)), value = Trim(t.substr(eq + 1));
        if (key.empty()) return Refuse(lineNo, "This line has no setting name before \"=\".");
        const bool headerKey = EqualNoCase(key, kNodeNameKey) || EqualNoCase(key, kSavedKey);
        const int setting = FindSetting(key);

        if (section == 0) {
            if (setting >= 0)
                return Refuse(lineNo, std::string(kSettings[setting].key) +
                                          " comes before any channel section; put it under [Sunblind 1] to [Sunblind 4].");
            if (!headerKey) return Refuse(lineNo, "Unknown setting " + Quoted(key) + ".");
            const bool isName = EqualNoCase(key, kNodeNameKey);
            int& seen = isName ? nodeNameLine : savedLine;
            if (seen)
                return Refuse(lineNo, std::string(isName ? kNodeNameKey : kSavedKey) +
                                          " appears twice (first on line " + std::to_string(seen) + ").");
            seen = lineNo;
            (isName ? file.nodeName : file.saved) = std::string(value);
            continue;
        }

        if (setting < 0) {
            if (headerKey)
                return Refuse(lineNo, Quoted(key) + " belongs before the first channel section.");
            return Refuse(lineNo, "Unknown setting " + Quoted(key) + " in " + SectionName(section) + ".");
        }
        const SettingDef& d = kSettings[setting];
        if (keyLine[setting])
            return Refuse(lineNo, std::string(d.key) + " appears twice in " + SectionName(section) +
                                      " (first on line " + std::to_string(keyLine[setting]) + ").");
        int stored = 0;
        std::string error;
        if (!ParseValue(d, value, stored, error)) return Refuse(lineNo, error);
        Store(*file.channels[section - 1], d, stored);
        keyLine[setting] = lineNo;
    }
    const std::string missing = incomplete();
    if (!missing.empty()) return Refuse(sectionLine[section - 1], missing);
    if (section == 0)
        return Refuse(0, "The file holds no channel section; it needs at least one of [Sunblind 1] to [Sunblind 4].");

    ParsedSettingsFile result;
    result.file = std::move(file);
    return result;
}

std::string SettingsErrorText(const SettingsFileError& error) {
    if (error.line <= 0) return error.message;
    return "Line " + std::to_string(error.line) + ": " + error.message;
}

std::vector<Difference> DiffChannel(const ChannelSettings& node, const ChannelSettings& file) {
    std::vector<Difference> out;
    const auto nodeTexts = SettingTexts(node), fileTexts = SettingTexts(file);
    for (int i = 0; i < kSettingCount; ++i)
        if (StoredValue(node, kSettings[i]) != StoredValue(file, kSettings[i]))
            out.push_back({std::string(kSettings[i].key), nodeTexts[i], fileTexts[i]});
    return out;
}

}  // namespace sunblind
