// Settings prepared at the desk: the factory channel, the in-memory node the
// pages work on, and a settings file's history folder name.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "memory_node.h"
#include "node_layout.h"
#include "page_items.h"

using namespace sunblind;

namespace {

// A factory channel's block, as the controller stores it: down 10000 lux,
// up 5000, 5.0 s and 5.0 s, push long 1.0 s and short 0.3 s, level Local,
// override Common, top 100 %, bottom 0 %.
const BYTE_T kFactoryBlock[layout::kBlockSize] = {0x27, 0x10, 0x13, 0x88, 0x00, 0x32, 0x00,
                                                  0x32, 0x0A, 0x03, 0x01, 0x02, 0xC8, 0x00};
const BYTE_T kFactoryDrive[2] = {0x01, 0x2C};  // 30.0 s

std::string Channel(int n, const char* values) {
    return "\r\n[Sunblind " + std::to_string(n) + "]\r\n" + values;
}

const char kFactoryValues[] =
    "Down setpoint = 10000\r\nUp setpoint = 5000\r\nTime before down = 5.0\r\nTime before up = 5.0\r\n"
    "Push time short = 0.3\r\nPush time long = 1.0\r\nTop down time = 30.0\r\nTop level = 100.0\r\n"
    "Bottum level = 0.0\r\nnviLux = Local\r\nnviLevel = Local\r\nnviOverrideLevel = Common\r\n";

std::string FileText(const std::string& name, const std::string& channels) {
    return "Brisel settings, format 1\r\n"
           "# Setpoints in lux, times in seconds, levels in percent.\r\n"
           "# nviLevel and nviOverrideLevel: None, Local, Common or Local and Common.\r\n"
           "# A source code the page cannot show is kept as its number (-128 to 127).\r\n"
           "Node name = " + name + "\r\nSaved =\r\n" + channels + "\r\nEnd of settings\r\n";
}

std::vector<BYTE_T> Item(MemoryNode& node, long item, long length = 32) {
    std::vector<BYTE_T> bytes(static_cast<std::size_t>(length));
    return node.Read(item, bytes.data(), length) ? bytes : std::vector<BYTE_T>();
}

TEST(DeskNode, FactoryFileIsTheControllersFactorySettings) {
    std::string channels;
    for (int c = 1; c <= 4; ++c) channels += Channel(c, kFactoryValues);
    EXPECT_EQ(FormatSettingsFile(FactoryFile("Wärmepumpe Süd")), FileText("Wärmepumpe Süd", channels));

    MemoryNode node("Hall 7", NodeChannels{});
    for (const layout::Channel& c : layout::kChannels) {
        SCOPED_TRACE(c.number);
        const std::vector<BYTE_T> record = Item(node, c.record), drive = Item(node, c.driveTimeItem);
        ASSERT_EQ(record.size(), 32u);
        ASSERT_EQ(drive.size(), 32u);
        EXPECT_EQ(0, std::memcmp(&record[c.block], kFactoryBlock, sizeof kFactoryBlock));
        EXPECT_EQ(0, std::memcmp(drive.data(), kFactoryDrive, 2));
        EXPECT_EQ(Item(node, layout::kFlagRecord)[0] & c.luxBit, 0);  // its own sensor
    }
    // Nothing but the channels' bytes is set: byte 0 of record 22, the
    // drive items beyond their two bytes.
    EXPECT_EQ(Item(node, 22)[0], 0);
    for (long item : {30L, 31L, 32L, 33L})
        for (int i = 2; i < 32; ++i) EXPECT_EQ(Item(node, item)[static_cast<std::size_t>(i)], 0) << item << " " << i;
}

TEST(DeskNode, OnlyTheChannelsItemsAnswer) {
    MemoryNode node("Hall 7", NodeChannels{});
    struct Case {
        long item, length;
        bool answers;
    } cases[] = {
        {21, 31, true}, {22, 32, true}, {30, 2, true}, {33, 0, true},
        {13, 31, false}, {14, 31, false}, {17, 31, false}, {18, 31, false},  // levels: the live values stay empty
        {23, 31, false}, {24, 31, false}, {27, 31, false},                   // lux readings
        {21, 33, false}, {21, -1, false}, {0, 31, false},
    };
    for (const Case& c : cases) {
        BYTE_T buffer[40] = {};
        EXPECT_EQ(node.Read(c.item, buffer, c.length), c.answers) << c.item << " " << c.length;
        EXPECT_EQ(node.Write(c.item, buffer, c.length), c.answers) << c.item << " " << c.length;
    }
    EXPECT_FALSE(node.Read(21, nullptr, 31));

    char name[8];
    std::memset(name, 'x', sizeof name);
    ASSERT_TRUE(node.Name(name, 8));
    EXPECT_STREQ(name, "Hall 7");
    ASSERT_TRUE(node.Name(name, 4));
    EXPECT_EQ(std::string(name, 4), "Hall");  // cut to the length, like a host's name
}

// Every stored value of a file goes through the node and back byte for
// byte: the extremes of each field and source codes the page cannot show.
TEST(DeskNode, FileThroughTheNodeAndBackIsUnchanged) {
    const std::string extremes =
        Channel(1, "Down setpoint = 65535\r\nUp setpoint = 0\r\nTime before down = 6553.5\r\nTime before up = 0.1\r\n"
                   "Push time short = -12.8\r\nPush time long = 12.7\r\nTop down time = 6553.5\r\nTop level = 127.5\r\n"
                   "Bottum level = 0.5\r\nnviLux = Common\r\nnviLevel = -128\r\nnviOverrideLevel = 127\r\n") +
        Channel(2, kFactoryValues) +
        Channel(3, "Down setpoint = 1\r\nUp setpoint = 65534\r\nTime before down = 0.0\r\nTime before up = 6553.4\r\n"
                   "Push time short = 12.7\r\nPush time long = -12.8\r\nTop down time = 0.1\r\nTop level = 0.0\r\n"
                   "Bottum level = 127.0\r\nnviLux = Common\r\nnviLevel = None\r\nnviOverrideLevel = Local and Common\r\n") +
        Channel(4, kFactoryValues);
    const std::string text = FileText("Hall 7", extremes);
    const ParsedSettingsFile parsed = ParseSettingsFile(text);
    ASSERT_TRUE(parsed.file) << parsed.error.message;
    const DeskDocument document = CompleteFromFactory(*parsed.file);
    EXPECT_TRUE(document.completed.empty());
    MemoryNode node("Hall 7", document.file.channels);
    SettingsFile back = *parsed.file;
    back.channels = node.Channels();
    EXPECT_EQ(FormatSettingsFile(back), text);
}

TEST(DeskNode, MissingChannelsAreCompletedFromFactory) {
    const std::string two = Channel(2, kFactoryValues) + Channel(4, kFactoryValues);
    const ParsedSettingsFile parsed = ParseSettingsFile(FileText("Hall 7", two));
    ASSERT_TRUE(parsed.file) << parsed.error.message;
    const DeskDocument document = CompleteFromFactory(*parsed.file);
    EXPECT_EQ(document.completed, (std::vector<int>{1, 3}));
    std::string four;
    for (int c = 1; c <= 4; ++c) four += Channel(c, kFactoryValues);
    EXPECT_EQ(FormatSettingsFile(document.file), FileText("Hall 7", four));
}

// The page's Write on the in-memory node changes what the user edited and
// nothing else; the page's Read shows it back.
TEST(DeskNode, PageWriteChangesTheEditedSettingOnly) {
    MemoryNode node("Hall 7", NodeChannels{});
    NodeItems items(&node);
    PageEdits edits;
    edits.field[DownSetpoint] = "18000";
    WritePage(items, 2, edits);
    const NodeChannels now = node.Channels();
    for (int c = 1; c <= 4; ++c) {
        ChannelSettings expected = FactorySettings();
        if (c == 2) expected.block[0] = 0x46, expected.block[1] = 0x50;  // 18000
        EXPECT_TRUE(now[c - 1] && *now[c - 1] == expected) << c;
    }
    const PageRead shown = ReadPage(items, 2);
    ASSERT_TRUE(shown.block);
    EXPECT_EQ(shown.block->text[DownSetpoint], "18000");
    EXPECT_FALSE(ReadLive(items, 2).lux);
    EXPECT_FALSE(ReadLive(items, 2).level);
}

TEST(DeskHistory, FolderNameIsTheFileNameAndItsPath) {
    struct Case {
        const char* path;
        const char* name;
    } cases[] = {
        {"C:\\Desk\\Hall 7.txt", "Hall 7.txt 1E0B8BD3"},
        {"c:\\desk\\HALL 7.TXT", "HALL 7.TXT 1E0B8BD3"},  // the same file, by Windows' rules for ASCII
        {"C:\\Users\\Zoë\\東京 settings.txt", "東京 settings.txt 2E9B5498"},
    };
    for (const Case& c : cases) EXPECT_EQ(FileHistoryName(c.path), c.name) << c.path;
    EXPECT_NE(FileHistoryName("C:\\A\\Hall 7.txt"), FileHistoryName("C:\\B\\Hall 7.txt"));
    EXPECT_EQ(FileHistoryName("C:\\Desk\\CON").substr(0, 5), "CON_ ");  // a device name cannot be a folder
}

}  // namespace
