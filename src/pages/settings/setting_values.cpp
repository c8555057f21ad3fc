#include "setting_values.h"

#include <algorithm>

#include "text_checks.h"

namespace sunblind {

namespace {

// Indexed by source code; "Common and Local" is read as code 3 too.
constexpr std::string_view kSourceNames[4] = {"None", "Local", "Common", "Local and Common"};

// A decimal number read exactly: [+|-]digits[.digits], nothing else.
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

long long StepTenths(Step s) { return s == Step::Whole ? 10 : s == Step::Halves ? 5 : 1; }

bool ParseNumber(const Setting& d, std::string_view text, int& value, std::string& error) {
    const std::string key(d.label);
    const std::string range =
        StepText(MinStored(d), d.step, d.decimals) + " to " + StepText(MaxStored(d), d.step, d.decimals);
    Decimal x;
    if (!ParseDecimal(text, x)) {
        error = key + " must be a number from " + range + " (digits with at most one decimal point); " +
                "the file has " + Quoted(text) + ".";
        return false;
    }
    const long long step = StepTenths(d.step), lo = MinStored(d) * step, hi = MaxStored(d) * step;
    const long long v = x.negative ? -x.tenths : x.tenths;
    // Digits after the tenths lie beyond v, away from zero.
    if (v < lo || v > hi || (x.finer && (x.negative ? v <= lo : v >= hi))) {
        error = key + " must be from " + range + "; the file has " + Quoted(text) + ".";
        return false;
    }
    if (x.finer || v % step != 0) {
        const char* how = d.step == Step::Whole    ? " must be a whole number"
                          : d.step == Step::Halves ? " is stored in steps of 0.5"
                                                   : " is stored in tenths (one decimal)";
        error = key + how + "; the file has " + Quoted(text) + ", which the node cannot hold.";
        return false;
    }
    value = static_cast<int>(v / step);
    return true;
}

bool ParseSource(const Setting& d, std::string_view text, int& value, std::string& error) {
    for (int code = 0; code < 4; ++code)
        if (EqualNoCase(text, kSourceNames[code])) return value = code, true;
    if (EqualNoCase(text, "Common and Local")) return value = 3, true;
    Decimal x;
    if (ParseDecimal(text, x) && !x.finer && x.tenths % 10 == 0) {
        const long long code = (x.negative ? -x.tenths : x.tenths) / 10;
        if (code >= MinStored(d) && code <= MaxStored(d)) return value = static_cast<int>(code), true;
    }
    error = std::string(d.label) + " must be None, Local, Common, Local and Common, or a code number from " +
            "-128 to 127; the file has " + Quoted(text) + ".";
    return false;
}

}  // namespace

std::string SettingText(const Setting& d, int stored) {
    switch (d.kind) {
        case Kind::Number: return StepText(stored, d.step, d.decimals);
        case Kind::Lux: return stored ? "Common" : "Local";
        case Kind::Source:
            return stored >= 0 && stored <= 3 ? std::string(kSourceNames[stored]) : std::to_string(stored);
    }
    return {};
}

bool ParseSettingText(const Setting& d, std::string_view text, int& stored, std::string& error) {
    if (text.empty()) {
        error = std::string(d.label) + " has no value.";
        return false;
    }
    switch (d.kind) {
        case Kind::Number: return ParseNumber(d, text, stored, error);
        case Kind::Lux:
            if (EqualNoCase(text, "Local") || EqualNoCase(text, "Common")) {
                stored = EqualNoCase(text, "Common") ? 1 : 0;
                return true;
            }
            error = std::string(d.label) + " must be Local or Common; the file has " + Quoted(text) + ".";
            return false;
        case Kind::Source: return ParseSource(d, text, stored, error);
    }
    return false;
}

std::vector<Difference> ChannelDifferences(const ChannelSettings& now, const ChannelSettings& after) {
    std::vector<Difference> out;
    for (const Setting& d : kSettings) {
        const int a = StoredValue(now, d), b = StoredValue(after, d);
        if (a != b) out.push_back({&d, a, b});
    }
    return out;
}

}  // namespace sunblind
