#include <gtest/gtest.h>

#include "history.h"

using namespace brmodel;

namespace {

Sample At(double t, double lux = 0, double level = 0) { return Sample{t, lux, 20000, 8000, level}; }

}  // namespace

// Samples come at most every span / points seconds, and what is older than
// the span goes, except one sample that carries the line to the left edge.
TEST(History, KeepsTheSpanAtItsResolution) {
    History h(60, 60);  // one sample a second
    for (int k = 0; k <= 4 * 180; ++k) h.Add(1, At(k * 0.25));  // 180 s in the simulation's steps
    const auto& d = h.Of(1);
    EXPECT_DOUBLE_EQ(h.Now(), 180);
    EXPECT_DOUBLE_EQ(d.back().t, 180);
    EXPECT_DOUBLE_EQ(d.front().t, 120) << "one sample at the left edge";
    EXPECT_EQ(d.size(), 61u);
    for (std::size_t i = 1; i < d.size(); ++i) EXPECT_DOUBLE_EQ(d[i].t - d[i - 1].t, 1);
    EXPECT_TRUE(h.Of(2).empty()) << "channels are apart";
}

// The simulation's steps fill the history: channel 1 of the default node,
// its lux, its setpoints from the items and its level.
TEST(History, RecordsTheSimulationAtEveryStep) {
    Items items = DefaultImage().items;
    Simulation sim([](int source, double t) { return source == 0 ? 1000 * t : 5.0; });
    History h(600);
    sim.onStep = [&](const Simulation& s, const Items& i) { h.Record(s, i); };
    sim.Advance(40, items);
    const auto& c1 = h.Of(1);
    ASSERT_EQ(c1.size(), 40u);  // 160 steps at most one sample per 600 / 720 s
    EXPECT_NEAR(c1.back().t, 40, 1);
    EXPECT_DOUBLE_EQ(c1.back().lux, 1000 * c1.back().t);  // common lux
    EXPECT_DOUBLE_EQ(c1.back().down, 20000);
    EXPECT_DOUBLE_EQ(c1.back().up, 8000);
    EXPECT_LT(c1.back().level, 100) << "the blind heads down 10 s after 20000 lux";
    EXPECT_DOUBLE_EQ(h.Of(3).back().lux, 5) << "channel 3 reads its local sensor";
}

TEST(History, LuxAxisIsRoundAndCoversTheHighest) {
    struct Row {
        double highest, max, step;
    } rows[] = {
        {40000, 40000, 10000}, {41000, 50000, 10000}, {24000, 25000, 5000}, {30000, 30000, 10000},
        {9000, 10000, 2000},   {950, 1000, 200},      {1, 1, 0.2},          {0, 100, 20},
        {-5, 100, 20},         {65535, 80000, 20000},
    };
    for (const Row& row : rows) {
        const Axis a = LuxAxis(row.highest);
        EXPECT_DOUBLE_EQ(a.max, row.max) << row.highest;
        EXPECT_DOUBLE_EQ(a.step, row.step) << row.highest;
    }
    for (auto [lux, label] : {std::pair{0.0, "0"}, {500.0, "500"}, {2000.0, "2k"}, {12500.0, "12.5k"}})
        EXPECT_EQ(LuxLabel(lux), label);
}

TEST(History, TimeMarksSuitTheSpan) {
    struct Row {
        double span;
        std::vector<std::string> labels;
    } rows[] = {
        {600, {"now", "-2 min", "-4 min", "-6 min", "-8 min", "-10 min"}},
        {60, {"now", "-10 s", "-20 s", "-30 s", "-40 s", "-50 s", "-60 s"}},
        {3600, {"now", "-10 min", "-20 min", "-30 min", "-40 min", "-50 min", "-60 min"}},
        {86400, {"now", "-6 h", "-12 h", "-18 h", "-24 h"}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> labels;
        for (const Mark& m : TimeMarks(row.span)) labels.push_back(m.label);
        EXPECT_EQ(labels, row.labels) << row.span;
    }
}

// Pixels: time left to right ending at now, lux and level bottom to top,
// values outside clamped to the plot.
TEST(History, PlotMapsTimeLuxAndLevel) {
    const Plot p{100, 10, 700, 310, 1000, 600, 40000};
    struct Row {
        int got, want;
    } rows[] = {
        {p.X(400), 100},     {p.X(1000), 700},  {p.X(700), 400},   {p.X(0), 100},     {p.X(2000), 700},
        {p.LuxY(0), 310},    {p.LuxY(40000), 10}, {p.LuxY(20000), 160}, {p.LuxY(90000), 10}, {p.LuxY(-1), 310},
        {p.LevelY(100), 10}, {p.LevelY(0), 310}, {p.LevelY(50), 160},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].got, rows[i].want) << "row " << i;
}

TEST(History, LineStartsAtTheEdgeAndStopsAtNow) {
    const Plot p{0, 0, 100, 100, 100, 100, 100};
    std::deque<Sample> s;
    for (int t = -20; t <= 110; t += 10) s.push_back(At(t, t, 100 - t));
    const auto lux = Line(p, s, &Sample::lux, false);
    ASSERT_EQ(lux.size(), 11u);  // 0 .. 100: the sample at 0 starts it, 110 is after now
    EXPECT_EQ(lux.front().x, 0);
    EXPECT_EQ(lux.front().y, 100);
    EXPECT_EQ(lux.back().x, 100);
    EXPECT_EQ(lux.back().y, 0);
    const auto level = Line(p, s, &Sample::level, true);
    EXPECT_EQ(level.front().y, 0);
    EXPECT_EQ(level.back().y, 100);
    EXPECT_TRUE(Line(p, {}, &Sample::lux, false).empty());
}

// Many samples in few columns: at most two points per column.
TEST(History, LineMergesSamplesInOneColumn) {
    const Plot p{0, 0, 10, 100, 1000, 1000, 100};
    std::deque<Sample> s;
    for (int t = 0; t <= 1000; ++t) s.push_back(At(t, t % 100));
    const auto line = Line(p, s, &Sample::lux, false);
    EXPECT_LE(line.size(), 22u);
    EXPECT_GE(line.size(), 11u);
}
