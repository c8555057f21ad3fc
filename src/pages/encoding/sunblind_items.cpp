#include "sunblind_items.h"

#include <stdexcept>

namespace sunblind {

namespace {

// Channels 3 and 4 have their drive time and level items out of channel
// order (33/32 and 18/17); that is how the node numbers them.
constexpr Channel kChannels[4] = {
    {1, 30, 21, 1, 24, 13},
    {2, 31, 21, 15, 25, 14},
    {3, 33, 22, 1, 26, 18},
    {4, 32, 22, 15, 27, 17},
};

constexpr int kLevelSourceOffset = 10;
constexpr int kOverrideSourceOffset = 11;

void RequireBuffer(const void* buf) {
    if (!buf) throw std::invalid_argument("sunblind: null value buffer");
}

void RequireBlockStart(int blockStart) {
    if (blockStart < 0 || blockStart > kValueBufferSize - kBlockSize)
        throw std::out_of_range("sunblind: channel block outside the value buffer");
}

// Bit index of the channel's LuxSource flag in the reversed flag byte.
int LuxIndex(int channel) { return ChannelInfo(channel).number - 1; }

}  // namespace

const Channel& ChannelInfo(int channel) {
    if (channel < 1 || channel > 4) throw std::out_of_range("sunblind: channel must be 1..4");
    return kChannels[channel - 1];
}

// ---- Decoding ------------------------------------------------------------

std::string DecodeTopDownTime(const CBitConverter& conv, const BYTE_T* buf) {
    RequireBuffer(buf);
    return StepText(conv.BytesToWord(buf[0], buf[1]), Step::Tenths, 1);
}

bool DecodeLuxSourceCommon(const CBitConverter& conv, const BYTE_T* record21, int channel) {
    RequireBuffer(record21);
    return conv.TestBit(conv.ReverseBits(record21[0]), LuxIndex(channel)) == 1;
}

BlockValues DecodeBlock(const CBitConverter& conv, const BYTE_T* record, int blockStart) {
    RequireBuffer(record);
    RequireBlockStart(blockStart);
    const BYTE_T* block = record + blockStart;
    BlockValues values;
    values.levelSource = conv.ByteToInt(block[kLevelSourceOffset]);
    values.overrideSource = conv.ByteToInt(block[kOverrideSourceOffset]);
    for (const Setting& d : kSettings)
        if (d.field >= 0)
            values.text[d.field] = StepText(ReadStored(block + d.offset, d.width, d.isSigned), d.step, d.decimals);
    return values;
}

std::string DecodeLuxLevel(const CBitConverter& conv, const BYTE_T* buf) {
    RequireBuffer(buf);
    return StepText(conv.BytesToWord(buf[0], buf[1]), Step::Whole, 0);
}

std::string DecodeActualLevel(const CBitConverter&, const BYTE_T* buf) {
    RequireBuffer(buf);
    return StepText(buf[0], Step::Halves, 1);
}

// ---- Encoding ------------------------------------------------------------

void EncodeTopDownTime(const CBitConverter& conv, BYTE_T* buf, const std::string& text) {
    RequireBuffer(buf);
    const double x = TextToReal(text.c_str());
    buf[0] = conv.TenthsHighByte(x);
    buf[1] = conv.TenthsLowByte(x);
}

void EncodeLuxSource(const CBitConverter& conv, BYTE_T* record21, int channel, bool common) {
    RequireBuffer(record21);
    const int index = LuxIndex(channel);
    BYTE_T f = conv.ReverseBits(record21[0]);
    f = common ? conv.SetBit(f, index) : conv.ClearBit(f, index);
    record21[0] = conv.ReverseBits(f);
}

void EncodeBlock(const CBitConverter& conv, BYTE_T* record, int blockStart, const BlockValues& values) {
    RequireBuffer(record);
    RequireBlockStart(blockStart);
    BYTE_T* block = record + blockStart;
    // The codes are stored as their low 8 bits.
    block[kLevelSourceOffset] = static_cast<BYTE_T>(values.levelSource & 0xFF);
    block[kOverrideSourceOffset] = static_cast<BYTE_T>(values.overrideSource & 0xFF);
    for (const Setting& d : kSettings)
        if (d.field >= 0) EncodeNumber(conv, d, block + d.offset, TextToReal(values.text[d.field].c_str()));
}

// ---- Check boxes -----------------------------------------------------------

int CodeFromChecks(int localState, int commonState) {
    if (localState == 1 && commonState == 1) return 3;
    if (localState == 0 && commonState == 1) return 2;
    if (localState == 1 && commonState == 0) return 1;
    return 0;
}

bool ChecksFromCode(int code, int& localState, int& commonState) {
    if (code < 0 || code > 3) return false;
    localState = code & 1;
    commonState = (code >> 1) & 1;
    return true;
}

}  // namespace sunblind
