#include "converter.h"

#include <cmath>
#include <cstdint>

#include "fp_env.h"

namespace {

// The integer part of x (truncated toward zero) as a two's complement
// pattern; 0 when x is not finite or its integer part does not fit in a
// signed 64-bit integer. The range test of a NaN ("nan" typed into a field)
// is an invalid operation, which a host may have unmasked: it runs inside
// the guard, which also drops the flag it raises, and a NaN is told apart
// first by a test that raises nothing.
std::uint64_t IntegerBits(double x) {
    if (std::isnan(x)) return 0;
    brisel_fp::Guard guard;
    brisel_fp::Pin(x);
    double t = std::trunc(x);
    brisel_fp::Pin(t);
    // -2^63 is representable and in range; 2^63 is the first value above it.
    std::uint64_t bits = 0;
    if (t >= -9223372036854775808.0 && t < 9223372036854775808.0)
        bits = static_cast<std::uint64_t>(static_cast<std::int64_t>(t));
    brisel_fp::Pin(bits);
    return bits;
}

// x * factor rounded once to double, whatever the host's rounding state.
double Scaled(double x, double factor) {
    brisel_fp::Guard guard;
    brisel_fp::Pin(x);
    double product = x * factor;
    brisel_fp::Pin(product);
    return product;
}

BYTE_T Bits(std::uint64_t value, int shift) {
    return static_cast<BYTE_T>((value >> shift) & 0xFFu);
}

}  // namespace

CConverter::~CConverter() = default;

int CConverter::BytesToWord(BYTE_T high, BYTE_T low) const {
    return high * 256 + low;
}

double CConverter::BytesToTenths(BYTE_T high, BYTE_T low) const {
    brisel_fp::Guard guard;
    double word = high * 256 + low;
    brisel_fp::Pin(word);
    double tenths = word / 10.0;
    brisel_fp::Pin(tenths);
    return tenths;
}

double CConverter::ByteToTenths(BYTE_T b) const {
    return Scaled(ByteToInt(b), 0.1);
}

int CConverter::ByteToInt(BYTE_T b) const {
    return b < 0x80 ? b : b - 256;
}

double CConverter::ByteToHalves(BYTE_T b) const {
    return b * 0.5;  // exact
}

BYTE_T CConverter::HighByte(double x) const { return Bits(IntegerBits(x), 8); }
BYTE_T CConverter::LowByte(double x) const { return Bits(IntegerBits(x), 0); }
BYTE_T CConverter::TenthsHighByte(double x) const { return Bits(IntegerBits(Scaled(x, 10.0)), 8); }
BYTE_T CConverter::TenthsLowByte(double x) const { return Bits(IntegerBits(Scaled(x, 10.0)), 0); }
BYTE_T CConverter::HalvesToByte(double x) const { return Bits(IntegerBits(Scaled(x, 2.0)), 0); }

CBitConverter::~CBitConverter() = default;

namespace {
bool ValidIndex(int index) { return index >= 0 && index <= 7; }
unsigned Mask(int index) { return 0x80u >> index; }
}  // namespace

BYTE_T CBitConverter::SetBit(BYTE_T b, int index) const {
    return ValidIndex(index) ? static_cast<BYTE_T>(b | Mask(index)) : b;
}

BYTE_T CBitConverter::ClearBit(BYTE_T b, int index) const {
    return ValidIndex(index) ? static_cast<BYTE_T>(b & ~Mask(index)) : b;
}

int CBitConverter::TestBit(BYTE_T b, int index) const {
    return ValidIndex(index) && (b & Mask(index)) ? 1 : 0;
}

BYTE_T CBitConverter::ReverseBits(BYTE_T b) const {
    BYTE_T result = 0;
    for (int index = 0; index <= 7; ++index)
        result = TestBit(b, index) ? SetBit(result, 7 - index) : ClearBit(result, 7 - index);
    return result;
}
