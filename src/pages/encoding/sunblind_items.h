// The sunblind node's data items: which items belong to which channel, the
// byte layout of each, and the decoding into display texts and encoding of
// edited texts back into the buffer a read has just filled. No Win32 here.
#pragma once

#include <array>
#include <string>

#include "channel_schema.h"
#include "real_text.h"

namespace sunblind {

constexpr int kValueBufferSize = 32;     // every procedure's value buffer
constexpr long kDisplayReadLength = 31;  // reads for display
constexpr long kWriteReadLength = 32;    // reads that precede a write
constexpr long kRecordWriteLength = 31;  // parameter records
constexpr long kDriveTimeWriteLength = 2;
constexpr long kFlagRecord = 21;         // holds the LuxSource bits of all channels
constexpr long kCommonLuxItem = 23;

struct Channel {
    int number;            // 1..4
    long driveTimeItem;    // 30, 31, 33, 32
    long settingsRecord;   // 21 or 22
    int blockStart;        // 1 or 15
    long localLuxItem;     // 24..27
    long levelItem;        // 13, 14, 18, 17
};

// The channel table; channel is 1..4 (anything else is a programming error,
// reported by throwing std::out_of_range, as do the LuxSource functions).
const Channel& ChannelInfo(int channel);

struct BlockValues {
    std::array<std::string, kFieldCount> text;  // as shown / as edited
    int levelSource = 0;                         // code 0-3 (decoded: any signed byte)
    int overrideSource = 0;
};


// Decoding; buf is a value buffer after a successful read. A null buffer
// throws std::invalid_argument, a blockStart outside 0..18 (the block must
// lie in the value buffer) std::out_of_range. Numbers read as kSettings
// says; the live lux with no decimal, the actual level with one.
std::string DecodeTopDownTime(const CBitConverter& conv, const BYTE_T* buf);
bool DecodeLuxSourceCommon(const CBitConverter& conv, const BYTE_T* record21, int channel);
BlockValues DecodeBlock(const CBitConverter& conv, const BYTE_T* record, int blockStart);
std::string DecodeLuxLevel(const CBitConverter& conv, const BYTE_T* buf);
std::string DecodeActualLevel(const CBitConverter& conv, const BYTE_T* buf);

// Encoding into the buffer that the read before the write filled; only the
// bytes the channel owns change.
void EncodeTopDownTime(const CBitConverter& conv, BYTE_T* buf, const std::string& text);
void EncodeLuxSource(const CBitConverter& conv, BYTE_T* record21, int channel, bool common);
void EncodeBlock(const CBitConverter& conv, BYTE_T* record, int blockStart, const BlockValues& values);

// Check-box pairs <-> source code. A box state is 0 unchecked, 1 checked,
// anything else indeterminate.
int CodeFromChecks(int localState, int commonState);
// False (and the states untouched) for a code outside 0-3.
bool ChecksFromCode(int code, int& localState, int& commonState);

}  // namespace sunblind
