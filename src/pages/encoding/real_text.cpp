// Text -> number for the pages' edits, independent of the process locale and
// of the floating-point state the host has set: it builds the double's bit
// pattern with exact integer arithmetic and does no floating-point operation
// at all, so neither the x87 precision and rounding nor MXCSR play a part.
// (Numbers are shown from stored integers, see StepText.)
#include "real_text.h"

#include <cstdint>
#include <cstring>

namespace sunblind {

namespace {

using u32 = std::uint32_t;
using u64 = std::uint64_t;

// ---- The double's bit pattern ----------------------------------------------

constexpr u64 kSignBit = u64(1) << 63;
constexpr u64 kFractionMask = (u64(1) << 52) - 1;
constexpr u64 kHiddenBit = u64(1) << 52;
constexpr u64 kInfinityBits = u64(0x7FF) << 52;
constexpr u64 kQuietNanBits = kInfinityBits | (u64(1) << 51);
constexpr long long kMinUnit = -1074;  // exponent of the smallest denormal's bit

double FromBits(u64 bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

int BitLength64(u64 v) {
    int n = 0;
    for (; v; v >>= 1) ++n;
    return n;
}

constexpr u32 kPow10[10] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// A non-negative integer of at most 4096 bits, 32-bit limbs, least
// significant first; limbs at and above size_ are zero. Every number built
// here fits: the largest, in a decimal conversion, is 10^1125 shifted left
// by 57 bits (3795 bits).
class Big {
public:
    static constexpr int kLimbs = 128;

    Big() = default;
    explicit Big(u64 v) {
        limb_[0] = u32(v);
        limb_[1] = u32(v >> 32);
        size_ = 2;
        Trim();
    }

    bool IsZero() const { return size_ == 0; }
    u64 Low64() const { return limb_[0] | (u64(limb_[1]) << 32); }
    int BitLength() const {
        return size_ ? 32 * (size_ - 1) + BitLength64(limb_[size_ - 1]) : 0;
    }
    bool Bit(int i) const {
        const int w = i / 32;
        return w < size_ && ((limb_[w] >> (i % 32)) & 1u);
    }
    // Whether any of bits 0 .. n-1 is set.
    bool AnyBitBelow(int n) const {
        const int w = n / 32;
        for (int i = 0; i < w && i < size_; ++i)
            if (limb_[i]) return true;
        return w < size_ && n % 32 && (limb_[w] & ((u32(1) << (n % 32)) - 1));
    }

    // this = this * m + add
    void MulAdd(u32 m, u32 add) {
        u64 carry = add;
        for (int i = 0; i < size_; ++i) {
            const u64 t = u64(limb_[i]) * m + carry;
            limb_[i] = u32(t);
            carry = t >> 32;
        }
        if (carry && size_ < kLimbs) limb_[size_++] = u32(carry);
    }
    void MulPow10(long long n) {
        for (; n > 0; n -= 9) MulAdd(kPow10[n < 9 ? n : 9], 0);
    }
    void ShiftLeft(long long n) {
        if (size_ == 0 || n <= 0) return;
        const int words = int(n / 32), bits = int(n % 32);
        u32 out[kLimbs] = {};
        for (int i = 0; i < size_; ++i) {
            const u64 v = u64(limb_[i]) << bits;
            if (i + words < kLimbs) out[i + words] |= u32(v);
            if (i + words + 1 < kLimbs) out[i + words + 1] |= u32(v >> 32);
        }
        std::memcpy(limb_, out, sizeof out);
        size_ = size_ + words + 1 < kLimbs ? size_ + words + 1 : kLimbs;
        Trim();
    }
    void ShiftRight(long long n) {
        if (n <= 0) return;
        if (n >= 32LL * size_) {
            std::memset(limb_, 0, sizeof limb_);
            size_ = 0;
            return;
        }
        const int words = int(n / 32), bits = int(n % 32);
        for (int i = 0; i < size_ - words; ++i) {
            u64 v = limb_[i + words] >> bits;
            if (bits && i + words + 1 < size_) v |= u64(limb_[i + words + 1]) << (32 - bits);
            limb_[i] = u32(v);
        }
        for (int i = size_ - words; i < size_; ++i) limb_[i] = 0;
        size_ -= words;
        Trim();
    }
    // this = this - b; requires this >= b.
    void Subtract(const Big& b) {
        u64 borrow = 0;
        for (int i = 0; i < size_; ++i) {
            const u64 d = u64(limb_[i]) - (i < b.size_ ? b.limb_[i] : 0u) - borrow;
            limb_[i] = u32(d);
            borrow = d >> 63;
        }
        Trim();
    }
    friend int Compare(const Big& a, const Big& b) {
        if (a.size_ != b.size_) return a.size_ < b.size_ ? -1 : 1;
        for (int i = a.size_ - 1; i >= 0; --i)
            if (a.limb_[i] != b.limb_[i]) return a.limb_[i] < b.limb_[i] ? -1 : 1;
        return 0;
    }

private:
    void Trim() {
        while (size_ > 0 && limb_[size_ - 1] == 0) --size_;
    }

    u32 limb_[kLimbs] = {};
    int size_ = 0;
};

// The bits of the double nearest to (q + f) * 2^e2, where 0 <= f < 1 and
// f > 0 exactly when sticky; ties to even, as strtod rounds by default.
// Beyond the range gives infinity, below half the smallest denormal zero.
// Whenever sticky is set, q has at least 55 bits, so f lies below q's
// rounding bit.
u64 RoundToBits(u64 q, long long e2, bool sticky) {
    if (q == 0) return 0;
    const long long top = e2 + BitLength64(q) - 1;  // exponent of the leading bit
    if (top > 1023) return kInfinityBits;
    long long unit = top - 52 < kMinUnit ? kMinUnit : top - 52;  // of the result's last bit
    const long long shift = unit - e2;
    u64 mant = 0;
    if (shift <= 0) {
        mant = q << -shift;  // exact: q has fewer than 53 bits
    } else if (shift <= 64) {
        const u64 rem = shift == 64 ? q : q & ((u64(1) << shift) - 1);
        const u64 half = u64(1) << (shift - 1);
        mant = shift == 64 ? 0 : q >> shift;
        if (rem > half || (rem == half && (sticky || (mant & 1)))) ++mant;
    }  // else below half the smallest denormal: zero
    if (mant >> 53) {  // rounded up to the next power of two
        mant >>= 1;
        ++unit;
    }
    if (mant < kHiddenBit) return mant;  // a denormal or zero; unit is kMinUnit
    const long long biased = unit + 1075;
    if (biased >= 2047) return kInfinityBits;
    return (u64(biased) << 52) | (mant & kFractionMask);
}

// ---- Scanning --------------------------------------------------------------

// White space as isspace() has it in the "C" locale.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Length of word (lower case) if p starts with it in any case, else 0.
std::size_t MatchNoCase(const char* p, const char* word) {
    std::size_t i = 0;
    for (; word[i]; ++i)
        if (Lower(p[i]) != word[i]) return 0;  // also stops at p's terminator
    return i;
}

// The numeric subject of a text without sign or "0x": digits with at most
// one point in [begin, end), then the exponent that followed them (decimal,
// or binary for hex), saturated far beyond any double's range.
struct Subject {
    const char* begin = nullptr;
    const char* end = nullptr;
    long long exponent = 0;
};

// Scans an exponent "e12", "p-3" (marker already checked). Returns p
// unchanged when no digit follows.
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

// The longest numeric prefix at p; false when it has no digit.
bool ScanNumber(const char* p, bool hex, Subject& s) {
    const char* q = p;
    bool point = false, digit = false;
    for (;; ++q) {
        if (*q == '.' && !point) {
            point = true;
        } else if (hex ? HexValue(*q) >= 0 : IsDigit(*q)) {
            digit = true;
        } else {
            break;
        }
    }
    if (!digit) return false;
    s.begin = p;
    s.end = q;
    s.exponent = 0;
    if (hex ? (*q == 'p' || *q == 'P') : (*q == 'e' || *q == 'E')) ScanExponent(q, s.exponent);
    return true;
}

// ---- Conversion ------------------------------------------------------------

// Walks a subject's digits: leading zeros are skipped, the first `limit`
// significant digits go to keep(value), of the rest only whether any is
// non-zero is noted in sticky. Returns how many were kept; shift is the
// power of the base that the kept digits, read as an integer, are to be
// scaled by (before the exponent).
template <class Keep>
int WalkDigits(const Subject& s, int limit, long long& shift, bool& sticky, Keep keep) {
    int kept = 0;
    bool point = false;
    for (const char* p = s.begin; p != s.end; ++p) {
        if (*p == '.') {
            point = true;
            continue;
        }
        const int v = HexValue(*p);  // a decimal digit's value too
        if (kept == 0 && v == 0) {
            if (point) --shift;
        } else if (kept < limit) {
            keep(v);
            ++kept;
            if (point) --shift;
        } else {
            sticky = sticky || v != 0;
            if (!point) ++shift;
        }
    }
    return kept;
}

// Hexadecimal: 15 significant digits (at least 57 bits) are kept exactly,
// the rest only tells whether anything non-zero follows.
u64 HexToBits(const Subject& s) {
    u64 q = 0;
    long long shift = 0;
    bool sticky = false;
    WalkDigits(s, 15, shift, sticky, [&q](int v) { q = q * 16 + u64(v); });
    long long e2 = s.exponent + 4 * shift;
    // q < 2^60: beyond these bounds the value is infinite or zero anyway.
    if (e2 > 2000) e2 = 2000;
    if (e2 < -2000) e2 = -2000;
    return RoundToBits(q, e2, sticky);
}

// Decimal. A midpoint between two doubles has at most 768 significant
// digits, so of a longer mantissa the first 800 digits are kept and the
// rest stands for one more digit 1 when any of it is non-zero: that number
// lies on the same side of every double and every midpoint as the text's.
// Then value = D * 10^e exactly, D an integer, and the double is found by
// exact integer arithmetic.
u64 DecimalToBits(const Subject& s) {
    constexpr int kMaxDigits = 800;
    Big d;
    int chunkDigits = 0;
    u32 chunk = 0;
    long long shift = 0;
    bool sticky = false;
    int kept = WalkDigits(s, kMaxDigits, shift, sticky, [&](int v) {
        chunk = chunk * 10 + u32(v);
        if (++chunkDigits == 9) {
            d.MulAdd(kPow10[9], chunk);
            chunk = 0;
            chunkDigits = 0;
        }
    });
    long long e = s.exponent + shift;
    if (sticky) {  // kept is kMaxDigits, so at most 8 digits are waiting
        chunk = chunk * 10 + 1;
        ++chunkDigits;
        ++kept;
        --e;
    }
    if (chunkDigits) d.MulAdd(kPow10[chunkDigits], chunk);
    if (kept == 0) return 0;
    // value in [10^(kept-1+e), 10^(kept+e)): at least 10^309 overflows, below
    // 10^-324 (less than half the smallest denormal) is zero.
    if (kept - 1 + e > 308) return kInfinityBits;
    if (kept + e < -324) return 0;

    if (e >= 0) {
        d.MulPow10(e);  // below 10^309
        const int bits = d.BitLength();
        if (bits <= 64) return RoundToBits(d.Low64(), 0, false);
        const bool rest = d.AnyBitBelow(bits - 64);
        d.ShiftRight(bits - 64);
        return RoundToBits(d.Low64(), bits - 64, rest);
    }
    // value = D / S with S = 10^-e (at most 10^1125). Scaled by 2^binary so
    // that the quotient q lies in [2^56, 2^58); its bits come one at a time
    // by restoring division, the remainder tells whether anything follows.
    Big scale(1);
    scale.MulPow10(-e);
    const long long binary = 57 + scale.BitLength() - d.BitLength();
    if (binary > 0)
        d.ShiftLeft(binary);
    else
        scale.ShiftLeft(-binary);
    scale.ShiftLeft(57);
    u64 q = 0;
    for (int i = 57; i >= 0; --i) {
        if (Compare(d, scale) >= 0) {
            d.Subtract(scale);
            q |= u64(1) << i;
        }
        scale.ShiftRight(1);
    }
    return RoundToBits(q, -binary, !d.IsZero());
}

}  // namespace

double TextToReal(const char* text) {
    if (!text) return 0.0;
    const char* p = text;
    while (IsSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';

    u64 bits = 0;
    Subject s;
    if (MatchNoCase(p, "inf")) {
        bits = kInfinityBits;
    } else if (MatchNoCase(p, "nan")) {
        bits = kQuietNanBits;
    } else if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && ScanNumber(p + 2, true, s)) {
        bits = HexToBits(s);
    } else if (ScanNumber(p, false, s)) {
        bits = DecimalToBits(s);
    } else {
        return 0.0;  // no numeric prefix; the sign alone converts nothing
    }
    return FromBits(negative ? bits | kSignBit : bits);
}

}  // namespace sunblind
