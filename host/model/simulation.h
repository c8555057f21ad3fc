// The behaviour of the simulated node: lux readings that follow a daylight
// curve, and each channel's blind moving toward its top or bottom level as its
// lux crosses the setpoints. The model is described in host/README.md.
#pragma once

#include <cstdint>
#include <functional>

#include "nodeimage.h"

namespace brmodel {

// A lux reading at simulated time t (s): source 0 is the common sensor,
// 1..4 the local sensor of channel n.
using LuxFunction = std::function<double(int source, double t)>;

// A compressed day: from nightLux at t = 0 up to peakLux at half a day and
// back, each local sensor shifted and scaled as its facade would be, plus a
// few percent of noise. The same seed gives the same readings.
struct Daylight {
    std::uint64_t seed = 1;
    double dayLength = 600;  // simulated seconds per day
    double nightLux = 300;
    double peakLux = 40000;
    double noise = 0.04;     // relative amplitude

    double operator()(int source, double t) const;
};

class Simulation {
public:
    enum class Goal { Stay, Top, Bottom };
    struct Channel {
        double level = 0;    // %, the actual level
        double downFor = 0;  // s that lux has been at or above the down setpoint
        double upFor = 0;    // s that lux has been at or below the up setpoint
        Goal goal = Goal::Stay;
        double lux = 0;      // last reading used
    };

    static constexpr double kStep = 0.25;  // s of simulated time per step
    static constexpr double kMaxAdvance = 3600;

    explicit Simulation(LuxFunction lux, double startTime = 0);

    // Runs the model forward by dt seconds (at most kMaxAdvance, in steps of
    // kStep) on the node's settings in items, and stores the new lux and
    // level readings there. A level item changed from outside since the last
    // call is taken as the blind's new position.
    void Advance(double dt, Items& items);

    double Time() const { return m_time; }
    // Runs after every step, e.g. to keep a history of the channels.
    std::function<void(const Simulation&, const Items&)> onStep;
    const Channel& State(int n) const { return m_channels[(n < 1 ? 1 : n > 4 ? 4 : n) - 1]; }

private:
    void Step(double h, const Items& items);

    LuxFunction m_lux;
    double m_time;
    double m_pending = 0;  // simulated time not yet stepped
    bool m_started = false;
    Channel m_channels[4];
    std::uint8_t m_stored[4] = {};  // level bytes last written
};

}  // namespace brmodel
