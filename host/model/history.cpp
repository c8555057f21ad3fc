#include "history.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace brmodel {

History::History(double span, std::size_t points)
    : m_span(span > 0 ? span : 600), m_every(m_span / static_cast<double>(points ? points : 1)) {}

void History::Add(int n, const Sample& s) {
    std::deque<Sample>& d = m_channels[Index(n)];
    m_now = std::max(m_now, s.t);
    if (!d.empty() && s.t < d.back().t + m_every) return;
    d.push_back(s);
    // Keep one sample at or before the left edge.
    while (d.size() > 1 && d[1].t <= m_now - m_span) d.pop_front();
}

void History::Record(const Simulation& sim, const Items& items) {
    for (int n = 1; n <= 4; ++n) {
        const Settings s = GetSettings(items, n);
        const Simulation::Channel& c = sim.State(n);
        Add(n, Sample{sim.Time(), c.lux, static_cast<double>(s.downSetpoint), static_cast<double>(s.upSetpoint),
                      c.level});
    }
}

Axis LuxAxis(double highest) {
    if (!(highest > 0) || !std::isfinite(highest)) return {100, 20};
    const double power = std::pow(10.0, std::floor(std::log10(highest / 5)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        const double step = m * power;
        if (step * 5 >= highest * (1 - 1e-12)) return {std::ceil(highest / step - 1e-9) * step, step};
    }
    return {10 * power * 5, 10 * power};
}

std::string LuxLabel(double lux) {
    char text[32];
    if (lux < 1000) std::snprintf(text, sizeof text, "%.0f", lux);
    else if (std::fmod(lux, 1000) == 0) std::snprintf(text, sizeof text, "%.0fk", lux / 1000);
    else std::snprintf(text, sizeof text, "%gk", lux / 1000);
    return text;
}

std::vector<Mark> TimeMarks(double span) {
    static const struct {
        double seconds;
        double unit;
        const char* name;
    } steps[] = {{1, 1, "s"},       {2, 1, "s"},       {5, 1, "s"},       {10, 1, "s"},     {15, 1, "s"},
                 {30, 1, "s"},      {60, 60, "min"},   {120, 60, "min"},  {300, 60, "min"}, {600, 60, "min"},
                 {900, 60, "min"},  {1800, 60, "min"}, {3600, 3600, "h"}, {7200, 3600, "h"}, {10800, 3600, "h"},
                 {21600, 3600, "h"}, {43200, 3600, "h"}};
    std::vector<Mark> marks;
    if (!(span > 0) || !std::isfinite(span)) return marks;
    auto pick = std::find_if(std::begin(steps), std::end(steps), [&](const auto& s) { return span / s.seconds <= 6; });
    if (pick == std::end(steps)) --pick;
    for (double ago = 0; ago <= span * (1 + 1e-9); ago += pick->seconds) {
        char text[32];
        if (ago == 0) std::snprintf(text, sizeof text, "now");
        else std::snprintf(text, sizeof text, "-%g %s", ago / pick->unit, pick->name);
        marks.push_back({ago, text});
    }
    return marks;
}

int Plot::X(double t) const {
    const double f = span > 0 ? (t - (now - span)) / span : 1;
    return left + static_cast<int>(std::lround(std::clamp(f, 0.0, 1.0) * (right - left)));
}

int Plot::LuxY(double lux) const {
    const double f = luxMax > 0 ? lux / luxMax : 0;
    return bottom - static_cast<int>(std::lround(std::clamp(f, 0.0, 1.0) * (bottom - top)));
}

int Plot::LevelY(double percent) const {
    return bottom - static_cast<int>(std::lround(std::clamp(percent / 100, 0.0, 1.0) * (bottom - top)));
}

std::vector<Point> Line(const Plot& plot, const std::deque<Sample>& samples, double Sample::*value, bool level) {
    std::vector<Point> points;
    const double from = plot.now - plot.span;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        // Samples before the window count only as the start of the line.
        if (s.t < from && i + 1 < samples.size() && samples[i + 1].t <= from) continue;
        if (s.t > plot.now) break;
        const Point p{plot.X(s.t), level ? plot.LevelY(s.*value) : plot.LuxY(s.*value)};
        // Same column and height as the last two points: extend instead.
        if (points.size() >= 2 && points.back().x == p.x && points[points.size() - 2].x == p.x) {
            points.back().y = p.y;
            continue;
        }
        if (!points.empty() && points.back().x == p.x && points.back().y == p.y) continue;
        points.push_back(p);
    }
    return points;
}

}  // namespace brmodel
