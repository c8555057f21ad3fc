#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "node_layout.h"
#include "node_transfer.h"
#include "settings_file.h"
#include "sunblind_items.h"

using namespace sunblind;

namespace {

using Buffer = std::array<BYTE_T, kValueBufferSize>;

ChannelSettings Make(std::array<BYTE_T, 2> drive, bool common, std::array<BYTE_T, 14> block) {
    ChannelSettings s;
    s.driveTime = drive;
    s.luxCommon = common;
    s.block = block;
    return s;
}

// Down 20000, up 15000, times before 60.0, push long 1.5 / short 0.5,
// codes Local / Common, top 100.0, bottom 0.0; drive time 120.0.
const ChannelSettings kTypical = Make({0x04, 0xB0}, false,
    {0x4E, 0x20, 0x3A, 0x98, 0x02, 0x58, 0x02, 0x58, 0x0F, 0x05, 0x01, 0x02, 0xC8, 0x00});

const std::string kOneChannel =
    "Brisel settings, format 1\n"
    "Node name = N\n"
    "[Sunblind 1]\n"
    "Down setpoint = 20000\n"        // line 4
    "Up setpoint = 15000\n"
    "Time before down = 60.0\n"
    "Time before up = 60.0\n"
    "Push time short = 0.5\n"        // line 8
    "Push time long = 1.5\n"
    "Top down time = 120.0\n"        // line 10
    "Top level = 100.0\n"
    "Bottum level = 0.0\n"
    "nviLux = Local\n"               // line 13
    "nviLevel = Local\n"
    "nviOverrideLevel = Common\n"
    "End of settings\n";             // line 16

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::string Utf16(const std::string& ascii, bool bigEndian) {
    std::string out;
    for (char c : ascii) out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return out;
}

TEST(SettingsFile, HandWrittenFileGivesTheBytes) {
    const std::string text =
        "\xEF\xBB\xBF" "Brisel settings, format 1\r\n"
        "# edited by hand\r\n"
        "  node NAME=  Hall 3 = east  \r\n"
        "\r\n"
        "[ sunblind 3 ]\n"
        "\tDOWN setpoint=65535\n"
        "Up setpoint = 0\n"
        "Time before down = 6553.5\n"
        "Time before up = 0.10\n"
        "Push time short = -0.1\n"
        "Push time long = -12.8\n"
        "Top down time = 0\n"
        "Top level = 127.5\n"
        "Bottum level = 0.5\n"
        "nviLux = common\n"
        "nviLevel = 5\n"
        "nviOverrideLevel = -128\n"
        "[Sunblind 1]\r\n" + kOneChannel.substr(kOneChannel.find("Down")) + "\n\r\n";
    const ParsedSettingsFile r = ParseSettingsFile(text);
    ASSERT_TRUE(r.file) << SettingsErrorText(r.error);
    EXPECT_EQ(r.file->nodeName, "Hall 3 = east");
    EXPECT_EQ(r.file->saved, "");
    EXPECT_EQ(r.file->channels[0], kTypical);
    EXPECT_EQ(r.file->channels[2], Make({0x00, 0x00}, true,
        {0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x01, 0x80, 0xFF, 0x05, 0x80, 0xFF, 0x01}));
    EXPECT_FALSE(r.file->channels[1] || r.file->channels[3]);
}

TEST(SettingsFile, WritesThePageFormats) {
    SettingsFile f;
    f.nodeName = "Hall\r\nB\t7\xFF";
    f.saved = "2026-12-09 20:15:00";
    ChannelSettings s = kTypical;
    s.luxCommon = true;
    s.block[10] = 0x05;
    s.block[11] = 0x80;
    f.channels[1] = s;
    EXPECT_EQ(FormatSettingsFile(f),
              "Brisel settings, format 1\r\n"
              "# Setpoints in lux, times in seconds, levels in percent.\r\n"
              "# nviLevel and nviOverrideLevel: None, Local, Common or Local and Common.\r\n"
              "# A source code the page cannot show is kept as its number (-128 to 127).\r\n"
              "Node name = Hall  B 7\xEF\xBF\xBD\r\n"
              "Saved = 2026-12-09 20:15:00\r\n"
              "\r\n"
              "[Sunblind 2]\r\n"
              "Down setpoint = 20000\r\n"
              "Up setpoint = 15000\r\n"
              "Time before down = 60.0\r\n"
              "Time before up = 60.0\r\n"
              "Push time short = 0.5\r\n"
              "Push time long = 1.5\r\n"
              "Top down time = 120.0\r\n"
              "Top level = 100.0\r\n"
              "Bottum level = 0.0\r\n"
              "nviLux = Common\r\n"
              "nviLevel = 5\r\n"
              "nviOverrideLevel = -128\r\n"
              "\r\n"
              "End of settings\r\n");
    f.nodeName = std::string(600, 'n');
    const ParsedSettingsFile r = ParseSettingsFile(FormatSettingsFile(f));
    ASSERT_TRUE(r.file) << SettingsErrorText(r.error);
    EXPECT_EQ(r.file->nodeName, std::string(kMaxSettingsTextBytes, 'n'));
}

// Every byte value of every field, every code and both lux states: written,
// read back, the same bytes.
TEST(SettingsFile, EveryStoredValueRoundTrips) {
    for (int v = 0; v < 16384; ++v) {
        SettingsFile f;
        for (int c = 0; c < 4; ++c) {
            const int w = v * 4 + c, x = w ^ 0xA55A;
            const BYTE_T hi = BYTE_T(w >> 8), lo = BYTE_T(w), xh = BYTE_T(x >> 8), xl = BYTE_T(x);
            f.channels[c] = Make({xh, xl}, (w & 1) != 0,
                                 {hi, lo, xh, xl, lo, hi, xl, xh, lo, xl, lo, xl, hi, xh});
        }
        const ParsedSettingsFile r = ParseSettingsFile(FormatSettingsFile(f));
        ASSERT_TRUE(r.file) << v << " " << SettingsErrorText(r.error);
        ASSERT_TRUE(r.file->channels == f.channels) << v;
    }
}

TEST(SettingsFile, RefusesBadFiles) {
    std::string big = kOneChannel;
    while (big.size() <= 65536) big.insert(big.find("Node"), "# " + std::string(1000, '-') + "\n");
    const std::string cut = kOneChannel.substr(0, kOneChannel.find("Push time long"));
    auto R = [](const std::string& from, const std::string& to) { return Replaced(kOneChannel, from, to); };
    struct Case { std::string text; int line; const char* says; } cases[] = {
        {"", 0, "empty"}, {"\r\n \r\n", 0, "empty"},
        {"\xFF\xFE" + Utf16(kOneChannel, false), 0, "UTF-16"},
        {Utf16(kOneChannel, false), 0, "save it as UTF-8"}, {Utf16(kOneChannel, true), 0, "UTF-16"},
        {R("= N", "= \xC3\x28"), 2, "not valid UTF-8"}, {R("= N", "= " + std::string(1100, 'x')), 2, "1024"},
        {big, 0, "65,536 bytes"}, {R("End of settings\n", ""), 0, "incomplete"},
        {cut, 0, "incomplete"}, {kOneChannel + "\nmore\n", 18, "after \"End of settings\""},
        {R("format 1", "format 2"), 1, "format 2; this version of Brisel reads format 1"},
        {"Some notes\n" + kOneChannel, 1, "not a Brisel settings file"},
        {R("= N", "= a\rb"), 2, "carriage return"}, {R("= N", "= a\x01" "b"), 2, "control character 0x01"},
        {R("Node name = N", "Down setpoint = 1"), 2, "before any channel section"},
        {R("nviLux", "Colour"), 13, "Unknown setting \"Colour\""},
        {R("Up setpoint = 15000", "down SETPOINT = 1"), 5, "Down setpoint appears twice"},
        {R("End of", "[Sunblind 1]\nEnd of"), 16, "[Sunblind 1] appears twice"},
        {R("Top level = 100.0\n", ""), 3, "lacks the setting \"Top level\""},
        {"Brisel settings, format 1\nEnd of settings\n", 0, "no channel section"},
        {R("Sunblind 1", "Sunblind 5"), 3, "no channel"},
        {R("[Sunblind 1]", "[Sunblind 1"), 3, "end with \"]\""}, {R("20000", "70000"), 4, "from 0 to 65535"},
        {R("15000", "-1"), 5, "from 0 to 65535"}, {R("20000", "20000.5"), 4, "whole number"},
        {R("20000", "abc"), 4, "must be a number"}, {R("20000", "1e3"), 4, "must be a number"},
        {R("20000", "nan"), 4, "must be a number"}, {R("20000", "0x10"), 4, "must be a number"},
        {R("20000", ""), 4, "no value"}, {R("down = 60.0", "down = 60.05"), 6, "tenths"},
        {R("short = 0.5", "short = 12.8"), 8, "-12.8 to 12.7"},
        {R("long = 1.5", "long = -12.85"), 9, "-12.8 to 12.7"}, {R("120.0", "6553.6"), 10, "0.0 to 6553.5"},
        {R("100.0", "12.3"), 11, "steps of 0.5"}, {R("level = 0.0", "level = 127.6"), 12, "0.0 to 127.5"},
        {R("nviLux = Local", "nviLux = Both"), 13, "Local or Common"},
        {R("nviLevel = Local", "nviLevel = 128"), 14, "-128 to 127"},
        {R("= Common", "= Remote"), 15, "\"Remote\""},
    };
    for (const Case& c : cases) {
        const ParsedSettingsFile r = ParseSettingsFile(c.text);
        EXPECT_FALSE(r.file) << c.says;
        EXPECT_EQ(r.error.line, c.line) << c.says << ": " << r.error.message;
        EXPECT_NE(r.error.message.find(c.says), std::string::npos) << r.error.message;
    }
    EXPECT_EQ(SettingsErrorText(ParseSettingsFile(R("20000", "70000")).error),
              "Line 4: Down setpoint must be from 0 to 65535; the file has \"70000\".");
}

// A channel's changes replace its bytes and bit and nothing else: written
// into buffers full of other bytes, each item holds the channel's settings
// and every byte outside them as it was.
TEST(ChannelSettings, ChangesReplaceOnlyTheChannelsBytes) {
    for (const layout::Channel& c : layout::kChannels) {
        ValueBuffer drive, r21, r22;
        drive.fill(0x11);
        r21.fill(0x5A);  // flag byte 0101 1010
        r22.fill(0x33);
        const ValueBuffer oldDrive = drive, old21 = r21, old22 = r22;
        const bool common = (old21[0] & c.luxBit) == 0;  // flip the channel's bit
        const ChannelSettings s = Make({0xAB, 0xCD}, common, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
        std::vector<long> items;
        for (const ItemChange& change : ChannelChanges(c.number, s, ChannelParts::All())) {
            items.push_back(change.item);
            change.ApplyTo(change.item == c.driveTimeItem ? drive : change.item == 21 ? r21 : r22);
            EXPECT_EQ(change.writeLength, change.item == c.driveTimeItem ? 2 : 31) << c.number;
        }
        const std::vector<long> want =
            c.record == 21 ? std::vector<long>{c.driveTimeItem, 21} : std::vector<long>{c.driveTimeItem, 21, 22};
        EXPECT_EQ(items, want) << c.number;
        BYTE_T* record = c.record == 21 ? r21.data() : r22.data();
        EXPECT_EQ(TakeChannelSettings(drive.data(), r21.data(), record, c.number), s) << c.number;
        EXPECT_TRUE(drive[0] == 0xAB && drive[1] == 0xCD &&
                    std::equal(drive.begin() + 2, drive.end(), oldDrive.begin() + 2));
        EXPECT_EQ(r21[0], old21[0] ^ c.luxBit) << c.number;
        for (int i = 1; i < kValueBufferSize + 1; ++i) {
            const bool own = i >= c.block && i < c.block + layout::kBlockSize;
            const BYTE_T byte = own ? BYTE_T(i - c.block + 1) : 0;
            EXPECT_EQ(r21[i], own && c.record == 21 ? byte : old21[i]) << c.number << " " << i;
            EXPECT_EQ(r22[i], own && c.record == 22 ? byte : old22[i]) << c.number << " " << i;
        }
        EXPECT_EQ(r22[0], old22[0]);
    }
    ValueBuffer a{}, d{};
    EXPECT_THROW(TakeChannelSettings(nullptr, a.data(), a.data(), 3), std::invalid_argument);
    EXPECT_THROW(TakeChannelSettings(d.data(), a.data(), a.data(), 5), std::out_of_range);
}

TEST(SettingsFile, DifferencesInFileOrder) {
    ChannelSettings file = kTypical;
    file.block[0] = 0x46;  // 18000
    file.block[1] = 0x50;
    file.luxCommon = true;
    file.block[10] = 0xFB;  // -5
    file.block[13] = 0x01;
    const std::vector<Difference> d = ChannelDifferences(kTypical, file);
    const std::vector<std::array<std::string, 3>> want = {
        {"Down setpoint", "20000", "18000"}, {"Bottum level", "0.0", "0.5"},
        {"nviLux", "Local", "Common"}, {"nviLevel", "Local", "-5"}};
    ASSERT_EQ(d.size(), want.size());
    for (std::size_t i = 0; i < d.size(); ++i)
        EXPECT_EQ((std::array<std::string, 3>{std::string(d[i].setting->label), SettingText(*d[i].setting, d[i].now),
                                              SettingText(*d[i].setting, d[i].after)}),
                  want[i])
            << i;
    EXPECT_TRUE(ChannelDifferences(file, file).empty());
}

}  // namespace
