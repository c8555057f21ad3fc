// One sunblind channel's settings, written once: where each lives, how it is
// stored and how it reads. The page's decoding and encoding, the settings
// file and the list of differences all iterate this table. No Win32 here.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "converter.h"

namespace sunblind {

constexpr int kBlockSize = 14;  // a channel's block in its settings record

// The page's edits of the channel block, in block order of encoding (the
// index of a control id in SunblindControlIds::field).
enum Field {
    DownSetpoint,
    UpSetpoint,
    TimeBeforeDown,
    TimeBeforeUp,
    PushTimeLong,
    PushTimeShort,
    TopLevel,
    BottomLevel,
    kFieldCount
};

// A channel's page-owned state as the node stores it. Raw bytes, not texts:
// a settings file restores exactly what was read, including source codes
// the check boxes cannot show.
struct ChannelSettings {
    std::array<BYTE_T, 2> driveTime{};       // drive time item, bytes 0-1
    bool luxCommon = false;                  // the channel's LuxSource bit in record 21
    std::array<BYTE_T, kBlockSize> block{};  // at ChannelInfo(c).blockStart
};
bool operator==(const ChannelSettings& a, const ChannelSettings& b);
bool operator!=(const ChannelSettings& a, const ChannelSettings& b);

enum class Kind { Number, Lux, Source };  // a number in edits; the nviLux radio pair; a check-box pair's code
enum class Place { Block, DriveTime, LuxBit };
enum class Step { Whole, Tenths, Halves };  // the stored unit

struct Setting {
    std::string_view label;  // the page's label and the file's key ("Bottum level" as the page has it)
    Kind kind;
    Place place;
    int offset;     // in the block or the drive time item
    int width;      // bytes, big-endian (0 for the lux bit)
    bool isSigned;  // two's complement
    Step step;
    int decimals;   // shown with: 0 for whole units, 1 for tenths and halves
    int field;      // the page's edit (Field) for a block number, else -1
};

// In the file's order, which is also the order of every list of differences.
constexpr int kSettingCount = 12;
extern const std::array<Setting, kSettingCount> kSettings;

// A setting as an integer of its stored unit (source codes signed, the lux
// bit 0 or 1), and back (the value's low bits).
int StoredValue(const ChannelSettings& s, const Setting& d);
void Store(ChannelSettings& s, const Setting& d, int value);
int MinStored(const Setting& d);
int MaxStored(const Setting& d);

// A stored number as the page shows it: printf's "%.0f" or "%.1f" of
// stored x step, computed with integers (every step is 1, 0.1 or 0.5).
std::string StepText(long long stored, Step step, int decimals);

// A number of width bytes at p, big-endian, as stored; and its encoding from
// an edit's value x (as atof read it), scaled and truncated as the page's
// conversions do.
int ReadStored(const BYTE_T* p, int width, bool isSigned);
void EncodeNumber(const CBitConverter& conv, const Setting& d, BYTE_T* p, double x);

}  // namespace sunblind
