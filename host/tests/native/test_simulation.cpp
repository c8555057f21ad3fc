#include <gtest/gtest.h>

#include <cmath>

#include "node_layout.h"
#include "nodeimage.h"
#include "simulation.h"

using namespace brmodel;

namespace {

using layout::kCommonLuxItem;
long LevelItem(int n) { return layout::kChannels[n - 1].levelItem; }

// A node whose channels all read the lux value that the test sets.
struct Bench {
    double lux[5] = {0, 0, 0, 0, 0};
    Image image = DefaultImage();
    Simulation sim{[this](int source, double) { return lux[source]; }};

    void Set(int n, unsigned down, unsigned up, double beforeDown, double beforeUp, double drive, double top,
             double bottom, bool common = false) {
        Settings s = GetSettings(image.items, n);
        s.downSetpoint = down;
        s.upSetpoint = up;
        s.timeBeforeDown = beforeDown;
        s.timeBeforeUp = beforeUp;
        s.topDownTime = drive;
        s.topLevel = top;
        s.bottomLevel = bottom;
        s.commonLux = common;
        PutSettings(image.items, n, s);
    }
    double Level(int n) { return image.items[LevelItem(n)][0] / 2.0; }
    void Run(double seconds) { sim.Advance(seconds, image.items); }
};

}  // namespace

TEST(NodeImage, ChannelsOwnTheirBytesOnly) {
    for (const layout::Channel& row : layout::kChannels) {
        SCOPED_TRACE(row.number);
        Image image = BlankImage();
        Settings s;
        s.commonLux = true;
        s.downSetpoint = 500;       // 01 F4
        s.timeBeforeDown = 12.3;    // 00 7B
        s.pushTimeShort = -1.0;     // F6
        s.topLevel = 72.5;          // 91
        s.topDownTime = 12.3;
        PutSettings(image.items, row.number, s);
        Image expected = BlankImage();
        expected.items[layout::kFlagRecord][0] = row.luxBit;
        expected.items[row.driveTimeItem][1] = 0x7B;
        auto& rec = expected.items[row.record];
        rec[row.block] = 0x01;
        rec[row.block + 1] = 0xF4;
        rec[row.block + 5] = 0x7B;
        rec[row.block + 9] = 0xF6;
        rec[row.block + 12] = 0x91;
        EXPECT_EQ(image.items, expected.items);
        const Settings back = GetSettings(image.items, row.number);
        EXPECT_TRUE(back.commonLux);
        EXPECT_EQ(back.downSetpoint, 500u);
        EXPECT_DOUBLE_EQ(back.timeBeforeDown, 12.3);
        EXPECT_DOUBLE_EQ(back.pushTimeShort, -1.0);
        EXPECT_DOUBLE_EQ(back.topLevel, 72.5);
    }
}

TEST(NodeImage, DefaultIsSensible) {
    const Image image = DefaultImage();
    EXPECT_FALSE(image.name.empty());
    EXPECT_LE(image.name.size(), 50u);
    for (long index : AllItems()) EXPECT_EQ(image.items.at(index).size(), 32u) << index;
    for (int n = 1; n <= 4; ++n) {
        const Settings s = GetSettings(image.items, n);
        EXPECT_GT(s.downSetpoint, s.upSetpoint) << n;
        EXPECT_GT(s.topDownTime, 0) << n;
        EXPECT_GT(s.topLevel, s.bottomLevel) << n;
        EXPECT_EQ(image.items.at(LevelItem(n))[0], s.topLevel * 2) << "blind " << n << " starts up";
    }
}

// Where the blind goes for a lux that stays put for a while.
TEST(Simulation, LevelFollowsSetpointsAfterTheirDelays) {
    struct Row {
        const char* what;
        double lux, seconds, expected;
    } rows[] = {
        // down 20000 after 10 s, up 8000 after 20 s, 40 s full travel, top 100 %, bottom 10 %
        {"bright, before the delay", 25000, 9.5, 100},
        {"bright, 10 s travel after the delay", 25000, 10 + 10, 75},
        {"bright, long enough to arrive", 25000, 60, 10},
        {"exactly the down setpoint counts", 20000, 60, 10},
        {"between the setpoints nothing moves", 15000, 300, 100},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Bench b;
        b.Set(1, 20000, 8000, 10, 20, 40, 100, 10);
        b.lux[1] = row.lux;
        b.Run(row.seconds);
        EXPECT_NEAR(b.Level(1), row.expected, 0.5);
    }
}

TEST(Simulation, DarkRaisesTheBlindAfterTimeBeforeUp) {
    Bench b;
    b.Set(2, 20000, 8000, 10, 20, 40, 100, 10);
    b.lux[2] = 30000;
    b.Run(60);
    ASSERT_NEAR(b.Level(2), 10, 0.5);
    b.lux[2] = 5000;
    b.Run(19.5);
    EXPECT_NEAR(b.Level(2), 10, 0.5) << "still waiting";
    b.Run(0.5 + 20);
    EXPECT_NEAR(b.Level(2), 60.5, 0.5) << "20 s at 2.5 % per s";
    b.Run(100);
    EXPECT_NEAR(b.Level(2), 100, 0.5);
}

TEST(Simulation, ABriefPeakDoesNotLowerTheBlind) {
    Bench b;
    b.Set(3, 20000, 8000, 10, 20, 40, 90, 10);  // starts at its top level
    for (int i = 0; i < 10; ++i) {  // 8 s bright, 2 s dimmer, over and over
        b.lux[3] = 25000;
        b.Run(8);
        b.lux[3] = 15000;
        b.Run(2);
    }
    EXPECT_NEAR(b.Level(3), 90, 0.5);
}

TEST(Simulation, ChannelReadsTheLuxSourceItsFlagNames) {
    for (bool common : {false, true}) {
        SCOPED_TRACE(common);
        Bench b;
        b.Set(4, 20000, 8000, 0, 0, 0, 100, 30, common);
        b.lux[0] = common ? 30000 : 1000;
        b.lux[4] = common ? 1000 : 30000;
        b.Run(1);
        EXPECT_NEAR(b.Level(4), 30, 0.5);
        EXPECT_EQ(GetU16(b.image.items, kCommonLuxItem), static_cast<unsigned>(b.lux[0]));
        EXPECT_EQ(GetU16(b.image.items, layout::kChannels[3].localLuxItem), static_cast<unsigned>(b.lux[4]));
    }
}

TEST(Simulation, WrittenSettingTakesEffect) {
    Bench b;
    b.Set(1, 20000, 8000, 5, 5, 0, 100, 10);
    b.lux[1] = 15000;
    b.Run(30);
    ASSERT_NEAR(b.Level(1), 100, 0.5);
    b.Set(1, 12000, 8000, 5, 5, 0, 100, 10);  // the engineer lowers the down setpoint
    b.Run(4);
    EXPECT_NEAR(b.Level(1), 100, 0.5);
    b.Run(2);
    EXPECT_NEAR(b.Level(1), 10, 0.5);
    b.Set(1, 12000, 8000, 5, 5, 0, 100, 40);  // and then the bottom level
    b.Run(1);
    EXPECT_NEAR(b.Level(1), 40, 0.5);
}

TEST(Simulation, LevelWrittenFromOutsideIsTheNewPosition) {
    Bench b;
    b.Set(1, 20000, 8000, 5, 5, 40, 100, 10);
    b.lux[1] = 15000;
    b.Run(1);
    b.image.items[LevelItem(1)][0] = 100;  // 50 %
    b.Run(10);
    EXPECT_NEAR(b.Level(1), 50, 0.5);
}

TEST(Simulation, HugeOrBadStepsAreBounded) {
    Bench b;
    b.Set(1, 20000, 8000, 5, 5, 40, 100, 10);
    b.lux[1] = 30000;
    for (double dt : {-5.0, double(NAN), double(INFINITY), 1e12}) b.Run(dt);
    EXPECT_NEAR(b.Level(1), 10, 0.5);
    EXPECT_LE(b.sim.Time(), 3600 + 1);  // at most an hour per call
}

TEST(Daylight, DeterministicCurveWithNoise) {
    Daylight a, same, other;
    other.seed = 7;
    double lowest = 1e9, highest = 0;
    bool differs = false;
    for (double t = 0; t < 600; t += 2) {
        for (int source = 0; source <= 4; ++source) {
            const double v = a(source, t);
            EXPECT_EQ(v, same(source, t));
            differs = differs || v != other(source, t);
            EXPECT_GE(v, 0);
            EXPECT_LE(v, 65535);
            lowest = std::min(lowest, v);
            highest = std::max(highest, v);
        }
    }
    EXPECT_TRUE(differs) << "the seed changes the noise";
    EXPECT_LT(lowest, 1000);
    EXPECT_GT(highest, 30000);
    EXPECT_NE(a(0, 100), a(0, 102)) << "readings move between two refreshes";
    EXPECT_NE(a(0, 150), a(4, 150)) << "local sensors differ from the common one";
}
