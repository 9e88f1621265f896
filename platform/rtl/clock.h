// The platform clock: a millisecond tick count and the wall time. Tests replace it with a
// manual clock and advance it; timers and typing pauses run from it.
#pragma once
#include <cstdint>
#include <functional>

namespace vcl {

class TClock {
public:
    virtual ~TClock() = default;
    virtual uint32_t TickCount() = 0;     // milliseconds, wraps like the platform's counter
    virtual double WallTime() = 0;        // TDateTime of the local wall clock
};

// The clock in use (the system clock unless a test installed another).
TClock& Clock();
uint32_t GetTickCount();
// Installs a clock; nullptr restores the system clock. The caller keeps ownership.
void SetClock(TClock* clock);

// A clock that only moves when told to. Advancing notifies the listener (the timer service)
// so due timers fire.
class TManualClock : public TClock {
public:
    explicit TManualClock(uint32_t startTick = 1000, double startWall = 46000.5)
        : tick_(startTick), wall_(startWall) {}
    uint32_t TickCount() override { return tick_; }
    double WallTime() override { return wall_; }
    void Advance(uint32_t ms);
    void SetWallTime(double dt) { wall_ = dt; }

private:
    uint32_t tick_;
    double wall_;
};

// Called after a manual clock has been advanced (the timer service installs one).
void SetClockAdvanceHook(std::function<void()> hook);

}  // namespace vcl
