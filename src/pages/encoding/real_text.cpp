// Text <-> number for the pages' edits, independent of the process locale
// and of the x87 precision the host has set.
#include "real_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "fp_env.h"

namespace sunblind {

namespace {

// White space as isspace() has it in the "C" locale.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Length of word (lower case) if p starts with it in any case, else 0.
std::size_t MatchNoCase(const char* p, const char* word) {
    std::size_t i = 0;
    for (; word[i]; ++i)
        if (Lower(p[i]) != word[i]) return 0;  // also stops at p's terminator
    return i;
}

// The numeric subject of a text: the digits with at most one point and an
// optional exponent, without sign or "0x".
struct Subject {
    const char* begin = nullptr;
    const char* end = nullptr;
    bool hex = false;
    // Where the leading non-zero digit lies, in digits left of the units
    // place (positive: in the integer part), plus the exponent (binary for
    // hex, so counted in bits there). Only its sign is used: it tells an
    // overflow from an underflow.
    long long magnitude = 0;
};

// Scans digits with at most one point from p; requires at least one digit.
// Returns the end, or nullptr when there is no digit.
const char* ScanMantissa(const char* p, bool hex, long long& place) {
    bool point = false, digit = false, nonzero = false;
    long long leadingFractionZeros = 0, integerDigitsFromLead = 0;
    for (;; ++p) {
        const char c = *p;
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (!(hex ? IsHexDigit(c) : IsDigit(c))) break;
        digit = true;
        if (!nonzero && c != '0') nonzero = true;
        if (point) {
            if (!nonzero) ++leadingFractionZeros;
        } else if (nonzero) {
            ++integerDigitsFromLead;
        }
    }
    if (!digit) return nullptr;
    place = integerDigitsFromLead > 0 ? integerDigitsFromLead : -leadingFractionZeros;
    return p;
}

// Scans an exponent "e12", "p-3" (marker already checked); saturates far
// beyond any double's range. Returns p unchanged when no digit follows.
const char* ScanExponent(const char* p, long long& exponent) {
    const char* q = p + 1;
    bool negative = false;
    if (*q == '+' || *q == '-') negative = *q++ == '-';
    if (!IsDigit(*q)) return p;
    long long e = 0;
    for (; IsDigit(*q); ++q)
        if (e < 1000000000LL) e = e * 10 + (*q - '0');
    exponent = negative ? -e : e;
    return q;
}

bool ScanNumber(const char* p, bool hex, Subject& s) {
    long long place = 0, exponent = 0;
    const char* end = ScanMantissa(p, hex, place);
    if (!end) return false;
    const bool marker = hex ? (*end == 'p' || *end == 'P') : (*end == 'e' || *end == 'E');
    if (marker) end = ScanExponent(end, exponent);
    s.begin = p;
    s.end = end;
    s.hex = hex;
    s.magnitude = hex ? place * 4 + exponent : place + exponent;
    return true;
}

double ConvertSubject(const Subject& s) {
    double value = 0.0;
    std::from_chars_result r;
    {
        brisel_fp::Guard guard;
        r = std::from_chars(s.begin, s.end, value,
                            s.hex ? std::chars_format::hex : std::chars_format::general);
        brisel_fp::Pin(value);
    }
    if (r.ec == std::errc::result_out_of_range)
        // Like strtod: an overflow gives HUGE_VAL, an underflow below the
        // smallest denormal gives 0 (values that round to a denormal come
        // back from from_chars without an error).
        return s.magnitude > 0 ? HUGE_VAL : 0.0;
    if (r.ec != std::errc() || r.ptr != s.end) return 0.0;  // cannot happen: scanned above
    return value;
}

}  // namespace

double TextToReal(const char* text) {
    if (!text) return 0.0;
    const char* p = text;
    while (IsSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';

    double magnitude = 0.0;
    Subject s;
    if (MatchNoCase(p, "inf")) {
        magnitude = HUGE_VAL;
    } else if (MatchNoCase(p, "nan")) {
        magnitude = std::nan("");
    } else if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && ScanNumber(p + 2, true, s)) {
        magnitude = ConvertSubject(s);
    } else if (ScanNumber(p, false, s)) {
        magnitude = ConvertSubject(s);
    } else {
        return 0.0;  // no numeric prefix; the sign alone converts nothing
    }
    return negative ? -magnitude : magnitude;
}

std::string FormatReal(double value, int decimals) {
    if (decimals < 0) decimals = 0;
    if (decimals > 20) decimals = 20;
    // Up to 309 integer digits, a sign, a point and the decimals.
    char buf[340];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return std::string();  // cannot happen: the buffer holds DBL_MAX
    return std::string(buf, r.ptr);
}

}  // namespace sunblind
