// What the host's trend chart shows: per channel, the recent lux that drives
// it, its down and up setpoints and the blind's actual level, sampled from
// the simulation; and where those land in a plot of a given size.
// Platform-free; the host draws the result with GDI.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "simulation.h"

namespace brmodel {

struct Sample {
    double t = 0;      // simulated seconds
    double lux = 0;    // the reading the channel's source flag selects
    double down = 0;   // down setpoint, lux
    double up = 0;     // up setpoint, lux
    double level = 0;  // actual level, %
};

// The last span seconds of every channel, at most points samples each
// (one every span / points seconds), plus one older sample so that the
// lines reach the left edge.
class History {
public:
    explicit History(double span = 600, std::size_t points = 720);

    double Span() const { return m_span; }
    double Now() const { return m_now; }
    // Takes one sample of every channel from the simulation's present.
    void Record(const Simulation& sim, const Items& items);
    void Add(int n, const Sample& s);  // n = 1..4; times must not go back
    const std::deque<Sample>& Of(int n) const { return m_channels[Index(n)]; }

private:
    static int Index(int n) { return (n < 1 ? 1 : n > 4 ? 4 : n) - 1; }
    double m_span, m_every;
    double m_now = 0;
    std::deque<Sample> m_channels[4];
};

// The lux axis from 0: the smallest step of 1, 2 or 5 times a power of ten
// with which at most five steps reach highest.
struct Axis {
    double max = 0, step = 0;
};
Axis LuxAxis(double highest);
// "0", "500", "2k", "12.5k", "40k".
std::string LuxLabel(double lux);

// Time marks back from now: a step of 1/2/5/10/15/30 s, 1/2/5/10/15/30 min
// or 1/2/3/6/12 h with at most six steps over the span, labelled "-5 min".
struct Mark {
    double ago = 0;  // seconds before now
    std::string label;
};
std::vector<Mark> TimeMarks(double span);

struct Point {
    int x = 0, y = 0;
};

// A plot rectangle in pixels showing [now - span, now] left to right, lux
// 0..luxMax and level 0..100 % bottom to top.
struct Plot {
    int left = 0, top = 0, right = 0, bottom = 0;
    double now = 0, span = 600, luxMax = 1;

    int X(double t) const;
    int LuxY(double lux) const;
    int LevelY(double percent) const;
};

// The line of one value of the samples (e.g. &Sample::lux), clipped to the
// plot's time; level picks the level scale. Neighbouring samples that land
// on the same pixel column are merged to keep the line short.
std::vector<Point> Line(const Plot& plot, const std::deque<Sample>& samples, double Sample::*value, bool level);

}  // namespace brmodel
