// Byte <-> number conversions of the sunblind node's data items.
// Stateless: a procedure creates one CConverter and one CBitConverter on the
// stack and their results depend on the arguments alone. No Win32 here.
#pragma once

#include <cstdint>

typedef std::uint8_t BYTE_T;

class CConverter {
public:
    virtual ~CConverter();

    // Big-endian unsigned 16-bit: high * 256 + low (0..65535).
    int BytesToWord(BYTE_T high, BYTE_T low) const;
    // Big-endian unsigned 16-bit in tenths: (high * 256 + low) / 10.
    double BytesToTenths(BYTE_T high, BYTE_T low) const;
    // Signed 8-bit in tenths (-12.8..12.7).
    double ByteToTenths(BYTE_T b) const;
    // Signed 8-bit (-128..127).
    int ByteToInt(BYTE_T b) const;
    // Unsigned 8-bit in halves (0.0..127.5).
    double ByteToHalves(BYTE_T b) const;

    // Bits 8-15 / 0-7 of the integer part of x (x, x*10, x*2), truncated
    // toward zero, two's complement. Not finite or outside the signed 64-bit
    // range counts as integer part 0.
    BYTE_T HighByte(double x) const;
    BYTE_T LowByte(double x) const;
    BYTE_T TenthsHighByte(double x) const;
    BYTE_T TenthsLowByte(double x) const;
    BYTE_T HalvesToByte(double x) const;
};

// Bit indices count from the most significant bit: index 0 is 0x80.
class CBitConverter : public CConverter {
public:
    ~CBitConverter() override;

    BYTE_T SetBit(BYTE_T b, int index) const;    // unchanged for index outside 0-7
    BYTE_T ClearBit(BYTE_T b, int index) const;  // unchanged for index outside 0-7
    int TestBit(BYTE_T b, int index) const;      // 1 if set, else 0
    BYTE_T ReverseBits(BYTE_T b) const;
};
