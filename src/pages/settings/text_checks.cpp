#include "text_checks.h"

namespace sunblind {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

namespace {
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

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

std::string CleanText(std::string_view t, std::size_t maxBytes) {
    std::string out;
    for (std::size_t i = 0; i < t.size();) {
        const std::size_t n = Utf8Length(t, i);
        const unsigned char c = static_cast<unsigned char>(t[i]);
        std::string_view piece = n == 0 ? std::string_view("\xEF\xBF\xBD")
                                 : (n == 1 && (c < 0x20 || c == 0x7F)) ? std::string_view(" ")
                                 : t.substr(i, n);
        if (out.size() + piece.size() > maxBytes) break;
        out += piece;
        i += n == 0 ? 1 : n;
    }
    return out;
}

bool LooksLikeUtf16(std::string_view t) {
    std::size_t even = 0, odd = 0;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (t[i] == '\0') ++(i % 2 ? odd : even);
    return (even == 0) != (odd == 0) && (even + odd) * 4 >= t.size();
}

std::string LineProblem(std::string_view line, std::size_t maxBytes) {
    if (line.size() > maxBytes)
        return "This line is " + std::to_string(line.size()) + " bytes long; a line may have at most " +
               std::to_string(maxBytes) + ".";
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

}  // namespace sunblind
