#pragma once

#include <memory>

namespace ombrilo {

// The pace of the coefficient sweep: one step of the slider per tick.
class SweepClock {
public:
    virtual ~SweepClock() = default;

    // A sweep begins: the ticks count from now.
    virtual void Start() = 0;
    // Returns at the next tick; the window's events are handled while it waits.
    virtual void WaitForTick() = 0;
};

// Milliseconds between two ticks of the sweep.
inline constexpr int kSweepTickMs = 10;

// Ticks every kSweepTickMs by the system's clock, sleeping in an event loop in between. A tick
// that comes late is made up at once, so the pace does not depend on the machine; after a long
// hold-up (a modal window opened during the sweep) the count starts afresh instead.
std::unique_ptr<SweepClock> MakeTimerSweepClock();

}  // namespace ombrilo
