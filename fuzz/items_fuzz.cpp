// A value buffer as a read may leave it, a channel, and edited texts: decode
// then encode must give the buffer back unchanged, and encoding any texts
// must change only the bytes and the flag bit that the channel owns.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sunblind_items.h"

using namespace sunblind;
using Buffer = std::array<BYTE_T, kValueBufferSize>;

namespace {

void Require(bool cond, const char* what) {
    if (!cond) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

}  // namespace

// Input: 32 buffer bytes, one control byte (channel, LuxSource, source
// codes), then up to nine texts separated by '\n' (the eight block fields
// and the top down time).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const CBitConverter conv;
    Buffer buf{};
    std::memcpy(buf.data(), data, std::min(size, buf.size()));
    const std::uint8_t control = size > buf.size() ? data[buf.size()] : 0;
    std::string rest = size > buf.size() + 1
                           ? std::string(reinterpret_cast<const char*>(data) + buf.size() + 1, size - buf.size() - 1)
                           : std::string();
    const int channel = 1 + (control & 3);
    const bool common = control & 4;
    const int start = ChannelInfo(channel).blockStart;

    // Decode then encode, unedited: the identity on every byte.
    Buffer same = buf;
    EncodeBlock(conv, same.data(), start, DecodeBlock(conv, buf.data(), start));
    EncodeTopDownTime(conv, same.data(), DecodeTopDownTime(conv, buf.data()));
    EncodeLuxSource(conv, same.data(), channel, DecodeLuxSourceCommon(conv, buf.data(), channel));
    Require(same == buf, "decode then encode changed the buffer");
    DecodeLuxLevel(conv, buf.data());
    DecodeActualLevel(conv, buf.data());

    // Edited texts and codes: only owned bytes change.
    BlockValues v;
    std::string texts[kFieldCount + 1];
    for (std::string& t : texts) {
        const std::size_t nl = rest.find('\n');
        t = rest.substr(0, nl);
        rest = nl == std::string::npos ? std::string() : rest.substr(nl + 1);
    }
    std::copy(texts, texts + kFieldCount, v.text.begin());
    v.levelSource = (control >> 3) & 3;
    v.overrideSource = (control >> 5) & 3;
    Buffer block = buf, drive = buf, flags = buf;
    EncodeBlock(conv, block.data(), start, v);
    EncodeTopDownTime(conv, drive.data(), texts[kFieldCount]);
    EncodeLuxSource(conv, flags.data(), channel, common);
    const BYTE_T bit = BYTE_T(1u << (channel - 1));
    for (int i = 0; i < kValueBufferSize; ++i) {
        if (i < start || i >= start + 14) Require(block[i] == buf[i], "block encoding wrote outside the block");
        if (i >= 2) Require(drive[i] == buf[i], "top down time wrote beyond bytes 0-1");
        if (i >= 1) Require(flags[i] == buf[i], "LuxSource wrote beyond byte 0");
    }
    Require((flags[0] & ~bit) == (buf[0] & ~bit) && ((flags[0] & bit) != 0) == common, "wrong flag bits");
    Require(block[start + 10] == v.levelSource && block[start + 11] == v.overrideSource, "source codes");

    // What was just encoded decodes and encodes back to itself.
    Buffer again = block;
    EncodeBlock(conv, again.data(), start, DecodeBlock(conv, block.data(), start));
    Require(again == block, "edited block does not round-trip");
    return 0;
}
