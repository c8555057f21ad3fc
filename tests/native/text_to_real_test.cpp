#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sunblind_items.h"

using sunblind::TextToReal;

namespace {

// glibc's strtod in the "C" locale: what atof does there.
double CStrtod(const std::string& s) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    return strtod_l(s.c_str(), nullptr, c);
}

void ExpectSameAsStrtod(const std::string& s) {
    const double got = TextToReal(s.c_str()), want = CStrtod(s);
    if (std::isnan(want))
        EXPECT_TRUE(std::isnan(got) && std::signbit(got) == std::signbit(want)) << '"' << s << '"';
    else
        EXPECT_TRUE(std::memcmp(&got, &want, sizeof got) == 0)
            << '"' << s.substr(0, 60) << "\" gives " << got << ", strtod " << want;
}

const char* const kTexts[] = {
    "", "abc", "  12.34xyz", "-0.05", "1e400", "-1e400", "-inf", "nan", "0x1A", "+5", " \t\n7",
    "\v\f\r-1.5e3", "1e", "1e+", "1e-2x", ".5", ".", "-", "+-1", "- 1", "0x", "0X.8p1", "0x1p",
    "0x1.8P-1y", "0xg", "-0x", "infinity", "INFINITE", "inFinit", "nan(abc_1)", "nan(", "nan()x",
    "-nan", "-0", "1e-400", "4e-324", "2.4703282292062327e-324", "2.4703282292062328e-324",
    "2.2250738585072011e-308", "9007199254740993", "1.7976931348623158e308",
    "1.7976931348623159e308", "0x1.fffffffffffff8p1023", "0x.00000000000008p-1022",
    "1e99999999999999999999", "1e-99999999999999999999", "0.1e-99999999999999999", "1,5", "12.5.3",
    "0.7", "0.3", "12.7", "6553.5", "\xa0" "5", "\x85" "5",
};

TEST(TextToReal, MatchesCStrtod) {
    for (const char* t : kTexts) ExpectSameAsStrtod(t);
    const std::string zeros(10000, '0'), ones(10000, '1');
    for (const std::string& s : {ones, zeros + "123", "0." + zeros + "1", "1" + zeros + "e-10000",
                                 "0." + zeros + "5e10003", "0x" + zeros + "1p-4", "0x" + ones + "p-40000",
                                 "." + ones + "e-10200", "-" + zeros + "4e-324"})
        ExpectSameAsStrtod(s);
    EXPECT_EQ(TextToReal(nullptr), 0.0);
}

// Halfway between two neighbouring doubles, written out exactly (up to 768
// significant digits, which long double holds and printf writes exactly),
// then a hair above and a hair below it, the hair far beyond digit 800.
TEST(TextToReal, MatchesCStrtodAtMidpoints) {
    const long double mids[] = {
        0x1p-1075L, 0x1.fffffffffffffp-1023L, 0x1p-1022L + 0x1p-1075L, 0x1.0000000000001p-1022L + 0x1p-1075L,
        1.0L + 0x1p-53L, 0x1.fffffffffffffp1023L - 0x1p970L, 0x1.fffffffffffffp1023L + 0x1p970L,
        9007199254740993.0L, 0x1.8000000000001p-1000L + 0x1p-1053L};
    char text[1200];
    for (long double mid : mids) {
        std::snprintf(text, sizeof text, "%.900Le", mid);
        const std::string exact = text, mantissa = exact.substr(0, exact.find('e')), e = exact.substr(exact.find('e'));
        std::string below = mantissa;
        const std::size_t last = below.find_last_not_of('0');
        below[last] = char(below[last] - 1);  // never the leading digit: the midpoints have more than one
        below = below.substr(0, last + 1) + std::string(below.size() - last - 1 + 300, '9') + e;
        for (const std::string& t : {exact, mantissa + std::string(300, '0') + "1" + e, below})
            ExpectSameAsStrtod(t);
    }
}

TEST(TextToReal, MatchesCStrtodOnGeneratedTexts) {
    std::mt19937_64 rng(12345);
    const std::string alphabet = " \t+-.0123456789eEpPxXabcdfinINtyAN()_";
    for (int i = 0; i < 100000; ++i) {  // arbitrary characters
        std::string s(rng() % 30, ' ');
        for (char& ch : s) ch = alphabet[rng() % alphabet.size()];
        ExpectSameAsStrtod(s);
    }
    for (int i = 0; i < 100000; ++i) {  // well-formed numbers, hard to round
        std::string s = (rng() & 1) ? "-" : "";
        const bool hex = rng() % 4 == 0;
        if (hex) s += "0x";
        const int digits = 1 + int(rng() % 25), point = int(rng() % (digits + 1));
        for (int d = 0; d < digits; ++d) {
            if (d == point) s += '.';
            s += (hex ? "0123456789abcdef" : "0123456789")[rng() % (hex ? 16 : 10)];
        }
        const int range = hex ? 1200 : 400;  // reaching overflow and underflow
        s += (hex ? "p" : "e") + std::to_string(int(rng() % (2 * range)) - range);
        ExpectSameAsStrtod(s);
    }
}

TEST(TextToReal, IgnoresProcessLocale) {
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "nl_NL.UTF-8", "ru_RU.UTF-8"};
    const char* found = nullptr;
    for (const char* n : names)
        if (std::setlocale(LC_ALL, n) && std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
            found = n;
            break;
        }
    if (!found) {
        std::setlocale(LC_ALL, "C");
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    const double point = TextToReal("12.75"), comma = TextToReal("12,75");
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(point, 12.75) << found;
    EXPECT_EQ(comma, 12.0) << found;
}

// Every value that each field and item can store: shown as printf shows the
// stored number in the field's unit, and that text read back as strtod reads
// it. The 16-bit fields hold v, the 8-bit ones v's low byte.
TEST(ShownText, EveryStoredValueShowsAsPrintfAndReadsAsStrtod) {
    using namespace sunblind;
    const CBitConverter conv;
    char want[64];
    for (int v = 0; v < 65536; ++v) {
        const int byte = v & 0xFF, signedByte = byte < 128 ? byte : byte - 256;
        BYTE_T rec[kValueBufferSize] = {};
        for (int i : {0, 2, 4, 6}) {  // the words of a block at 0
            rec[i] = BYTE_T(v >> 8);
            rec[i + 1] = BYTE_T(v);
        }
        for (int i : {8, 9, 12, 13}) rec[i] = BYTE_T(byte);
        const BlockValues block = DecodeBlock(conv, rec, 0);
        const struct {
            const char* name;
            std::string shown;
            double stored;  // in the field's unit; tenths as the double nearest v / 10
            const char* format;
        } cases[] = {
            {"DownSetpoint", block.text[DownSetpoint], double(v), "%.0f"},
            {"UpSetpoint", block.text[UpSetpoint], double(v), "%.0f"},
            {"TimeBeforeDown", block.text[TimeBeforeDown], v / 10.0, "%.1f"},
            {"TimeBeforeUp", block.text[TimeBeforeUp], v / 10.0, "%.1f"},
            {"PushTimeLong", block.text[PushTimeLong], signedByte / 10.0, "%.1f"},
            {"PushTimeShort", block.text[PushTimeShort], signedByte / 10.0, "%.1f"},
            {"TopLevel", block.text[TopLevel], byte / 2.0, "%.1f"},
            {"BottomLevel", block.text[BottomLevel], byte / 2.0, "%.1f"},
            {"top down time", DecodeTopDownTime(conv, rec), v / 10.0, "%.1f"},
            {"lux level", DecodeLuxLevel(conv, rec), double(v), "%.0f"},
            {"actual level", DecodeActualLevel(conv, rec + 8), byte / 2.0, "%.1f"},
        };
        for (const auto& c : cases) {
            std::snprintf(want, sizeof want, c.format, c.stored);
            ASSERT_EQ(c.shown, want) << c.name << " stores " << v;
            const double got = TextToReal(c.shown.c_str()), read = CStrtod(c.shown);
            ASSERT_EQ(std::memcmp(&got, &read, sizeof got), 0) << c.name << " \"" << c.shown << '"';
        }
    }
}

}  // namespace
