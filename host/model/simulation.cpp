#include "simulation.h"

#include <algorithm>
#include <cmath>

namespace brmodel {

namespace {

constexpr double kPi = 3.14159265358979323846;

std::uint64_t Mix(std::uint64_t x) {  // splitmix64 finaliser
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Deterministic value in [-1, 1] for (seed, source, whole second k).
double Knot(std::uint64_t seed, int source, long long k) {
    const std::uint64_t h = Mix(seed ^ Mix(static_cast<std::uint64_t>(source) * 0x100000001B3ull ^
                                          static_cast<std::uint64_t>(k)));
    return static_cast<double>(h >> 11) / 9007199254740992.0 * 2.0 - 1.0;
}

std::uint8_t LevelByte(double percent) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(percent * 2), 0L, 255L));
}

}  // namespace

double Daylight::operator()(int source, double t) const {
    // Facades: east sees the sun early, west late, north little.
    static const double shift[5] = {0, -0.08, 0, 0.08, 0};
    static const double scale[5] = {1.0, 1.1, 1.0, 0.9, 0.35};
    const int s = std::clamp(source, 0, 4);
    const double day = dayLength > 0 ? dayLength : 600;
    const double phase = t / day - shift[s];
    const double sky = 0.5 - 0.5 * std::cos(2 * kPi * phase);
    const double base = nightLux + (peakLux - nightLux) * sky * scale[s];
    const double k = std::floor(t);
    const double f = t - k;
    const long long ki = static_cast<long long>(k);
    const double n = Knot(seed, s, ki) * (1 - f) + Knot(seed, s, ki + 1) * f;
    return std::max(0.0, base * (1 + noise * n));
}

Simulation::Simulation(LuxFunction lux, double startTime) : m_lux(std::move(lux)), m_time(startTime) {}

void Simulation::Step(double h, const Items& items) {
    m_time += h;
    for (int n = 1; n <= 4; ++n) {
        Channel& c = m_channels[n - 1];
        const Settings s = GetSettings(items, n);
        c.lux = m_lux(s.commonLux ? 0 : n, m_time);
        c.downFor = c.lux >= s.downSetpoint ? c.downFor + h : 0;
        c.upFor = c.lux <= s.upSetpoint ? c.upFor + h : 0;
        // With the setpoints the wrong way round both can hold: down wins.
        if (c.downFor > 0 && c.downFor >= s.timeBeforeDown) c.goal = Goal::Bottom;
        else if (c.upFor > 0 && c.upFor >= s.timeBeforeUp) c.goal = Goal::Top;
        if (c.goal == Goal::Stay) continue;
        const double target = c.goal == Goal::Top ? s.topLevel : s.bottomLevel;
        // The drive time is a full travel of 100 %; none means at once.
        const double move = s.topDownTime > 0 ? 100.0 / s.topDownTime * h : 1e9;
        if (c.level < target) c.level = std::min(target, c.level + move);
        else c.level = std::max(target, c.level - move);
    }
}

void Simulation::Advance(double dt, Items& items) {
    for (int n = 1; n <= 4; ++n) {
        auto it = items.find(brmodel::Channel(n).level);
        const std::uint8_t byte = it == items.end() || it->second.empty() ? 0 : it->second[0];
        if (!m_started || byte != m_stored[n - 1]) m_channels[n - 1].level = byte / 2.0;
    }
    m_started = true;
    if (dt > 0 && std::isfinite(dt)) m_pending += std::min(dt, kMaxAdvance);
    while (m_pending >= kStep) {
        Step(kStep, items);
        m_pending -= kStep;
        if (onStep) onStep(*this, items);
    }
    const double readings[5] = {m_lux(0, m_time), m_lux(1, m_time), m_lux(2, m_time), m_lux(3, m_time),
                                m_lux(4, m_time)};
    PutU16(items, kCommonLux, static_cast<unsigned>(std::clamp(std::lround(readings[0]), 0L, 65535L)));
    for (int n = 1; n <= 4; ++n) {
        PutU16(items, brmodel::Channel(n).localLux,
               static_cast<unsigned>(std::clamp(std::lround(readings[n]), 0L, 65535L)));
        Bytes& level = items[brmodel::Channel(n).level];
        if (level.size() < kItemSize) level.resize(kItemSize, 0);
        m_stored[n - 1] = level[0] = LevelByte(m_channels[n - 1].level);
    }
}

}  // namespace brmodel
