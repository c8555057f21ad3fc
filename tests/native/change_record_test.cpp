// The record a change leaves: the change log's lines (checked by a CSV
// reader of this test's own), the backup's channels, and the names of
// backups and history folders.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "change_record.h"
#include "csv.h"

using namespace sunblind;

namespace {

ChannelSettings Factory() {
    // Down 10000 lux (0x2710), up 5000 (0x1388), 5 s delays (50 tenths).
    ChannelSettings s;
    s.block[0] = 0x27, s.block[1] = 0x10, s.block[2] = 0x13, s.block[3] = 0x88;
    s.block[5] = 50, s.block[7] = 50;
    s.driveTime = {0x01, 0x2C};  // 30.0 s
    return s;
}

LocalTime Time() {
    LocalTime t;
    t.year = 2026, t.month = 12, t.day = 10, t.hour = 9, t.minute = 5, t.second = 7, t.millisecond = 42;
    t.utcOffsetMinutes = 60;
    return t;
}

// A change of `node` by `action`, and a channel of it that does not change.
ChangeRecord Record(const char* node, const char* action) {
    ChangeRecord r;
    r.time = Time();
    r.node = node;
    r.action = action;
    return r;
}

ChannelRecord Unchanged(int channel) {
    ChannelRecord c;
    c.channel = channel;
    c.before = c.wanted = Factory();
    return c;
}

TEST(ChangeRecord, LogLinesReadBackAsTheirFields) {
    ChangeRecord r = Record("Hall, east \"A\"", "Write Sunblind 2");
    r.user = "Zoë";
    ChannelRecord c = Unchanged(2);
    c.wanted.block[0] = 0x46, c.wanted.block[1] = 0x50;  // down 18000
    c.wanted.luxCommon = true;
    c.wanted.driveTime = {0x01, 0x90};  // 40.0 s
    c.after = c.wanted;
    c.after->driveTime = {0x01, 0x2C};  // the node kept 30.0
    r.channels = {c};
    ChannelRecord unread = c;
    unread.channel = 4;
    unread.after.reset();
    unread.wanted = unread.before;
    unread.wanted.block[3] = 0x89;  // up 5001
    r.channels.push_back(unread);
    const ChannelRecord same = Unchanged(3);  // nothing to change: no line
    r.channels.push_back(same);

    const auto rows = testcsv::Read(std::string(kLogHeader) + LogLines(r));
    const std::vector<std::vector<std::string>> want = {
        {"\xEF\xBB\xBFTime", "User", "Node", "Action", "Channel", "Setting", "Before", "After", "Check"},
        {"2026-12-10T09:05:07+01:00", "Zoë", "Hall, east \"A\"", "Write Sunblind 2", "Sunblind 2", "Down setpoint",
         "10000", "18000", "taken"},
        {"2026-12-10T09:05:07+01:00", "Zoë", "Hall, east \"A\"", "Write Sunblind 2", "Sunblind 2", "Top down time",
         "30.0", "30.0", "not taken"},
        {"2026-12-10T09:05:07+01:00", "Zoë", "Hall, east \"A\"", "Write Sunblind 2", "Sunblind 2", "nviLux", "Local",
         "Common", "taken"},
        {"2026-12-10T09:05:07+01:00", "Zoë", "Hall, east \"A\"", "Write Sunblind 2", "Sunblind 4", "Up setpoint",
         "5000", "", "not read back"},
    };
    EXPECT_EQ(rows, want);
    EXPECT_TRUE(Changes(r));
    r.channels = {same};
    EXPECT_FALSE(Changes(r));
    EXPECT_EQ(LogLines(r), "");
}

TEST(ChangeRecord, TimesWithTheirOffset) {
    const struct {
        int offset;
        const char* text;
    } rows[] = {{60, "2026-12-10T09:05:07+01:00"}, {0, "2026-12-10T09:05:07+00:00"},
                {-210, "2026-12-10T09:05:07-03:30"}, {345, "2026-12-10T09:05:07+05:45"}};
    for (const auto& row : rows) {
        LocalTime t = Time();
        t.utcOffsetMinutes = row.offset;
        EXPECT_EQ(IsoTime(t), row.text);
        EXPECT_EQ(SavedTime(t), "2026-12-10 09:05:07");  // a settings file's, without the offset
    }
}

TEST(ChangeRecord, BackupHoldsTheChangedChannelsAsTheyWere) {
    ChangeRecord r = Record("Node 1", "Copy Sunblind 1 to Sunblind 3");
    ChannelRecord c = Unchanged(3);
    c.wanted.block[9] = 7;
    r.channels = {Unchanged(1), c};
    const SettingsFile file = BackupFile(r);
    EXPECT_FALSE(file.channels[0]);
    ASSERT_TRUE(file.channels[2]);
    EXPECT_EQ(*file.channels[2], Factory());
    EXPECT_EQ(file.saved, "2026-12-10 09:05:07 (before Copy Sunblind 1 to Sunblind 3)");
    // It reads back as a settings file.
    const ParsedSettingsFile parsed = ParseSettingsFile(FormatSettingsFile(file));
    ASSERT_TRUE(parsed.file) << parsed.error.message;
    EXPECT_EQ(*parsed.file->channels[2], Factory());
}

TEST(ChangeRecord, NamesForFilesAndFolders) {
    const struct {
        const char* text;
        const char* name;
    } rows[] = {
        {"Sunblind controller 1", "Sunblind controller 1"},
        {"Hall \\ east: \"A\"?", "Hall _ east_ _A__"},
        {"  trailing. . ", "trailing"},
        {"", "Unnamed node"},
        {"...", "Unnamed node"},
        {"con", "con_"},
        {"NUL.txt", "NUL_.txt"},
        {"Com7", "Com7_"},
        {"COM", "COM"},
        {"Console", "Console"},
        {"Läden 東 \x01", "Läden 東 _"},
    };
    for (const auto& row : rows) EXPECT_EQ(FileNamePart(row.text, "Unnamed node"), row.name) << row.text;
    EXPECT_EQ(BackupName(Time(), "Load a/b.txt"), "2026-12-10 09.05.07.042 Load a_b.txt.txt");
    std::string time, action;
    ASSERT_TRUE(ParseBackupName("2026-12-10 09.05.07.042 Write Sunblind 2.txt", time, action));
    EXPECT_EQ(time, "2026-12-10 09:05:07");
    EXPECT_EQ(action, "Write Sunblind 2");
    for (const char* other : {"changes.csv", "2026-12-10 09.05.07.042.txt", "x026-12-10 09.05.07.042 Write.txt",
                              "2026-12-10 09.05.07.042 Write.csv"})
        EXPECT_FALSE(ParseBackupName(other, time, action)) << other;
}

TEST(ChangeRecord, TheNewestBackupsStay) {
    std::vector<std::string> names;
    for (int i = 0; i < 503; ++i) {
        char n[64];
        std::snprintf(n, sizeof n, "2026-%02d-%02d 10.00.00.000 Write Sunblind 1.txt", 1 + i / 28, 1 + i % 28);
        names.insert(names.begin() + (i * 7) % (names.size() + 1), n);  // in no order
    }
    const std::vector<std::string> gone = BackupsToRemove(names, 500);
    EXPECT_EQ(gone, (std::vector<std::string>{"2026-01-01 10.00.00.000 Write Sunblind 1.txt",
                                              "2026-01-02 10.00.00.000 Write Sunblind 1.txt",
                                              "2026-01-03 10.00.00.000 Write Sunblind 1.txt"}));
    names.resize(500);
    EXPECT_TRUE(BackupsToRemove(names, 500).empty());
}

}  // namespace
