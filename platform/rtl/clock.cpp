// The platform clock: the system clock by default, replaceable by tests.
#include "rtl/clock.h"

#include <time.h>

#include "rtl/datetime.h"

namespace vcl {

namespace {
class TSystemClock : public TClock {
public:
    uint32_t TickCount() override {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
        return uint32_t(ms);  // wraps after 49.7 days like the platform's counter
    }
    double WallTime() override {
        timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        time_t secs = ts.tv_sec;
        tm local;
        localtime_r(&secs, &local);
        TDateTime d = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
        int sec = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second
        return d + EncodeTime(local.tm_hour, local.tm_min, sec, int(ts.tv_nsec / 1000000));
    }
};

TSystemClock& SystemClock() {
    static TSystemClock clock;
    return clock;
}

TClock*& CurrentClock() {
    static TClock* clock = nullptr;
    return clock;
}

std::function<void()>& AdvanceHook() {
    static std::function<void()> hook;
    return hook;
}
}  // namespace

TClock& Clock() {
    TClock* c = CurrentClock();
    return c ? *c : SystemClock();
}

uint32_t GetTickCount() { return Clock().TickCount(); }

void SetClock(TClock* clock) { CurrentClock() = clock; }

void TManualClock::Advance(uint32_t ms) {
    tick_ += ms;
    wall_ += ms / MSecsPerDay;
    // Copy first: the hook may replace itself while it runs.
    if (auto hook = AdvanceHook()) hook();
}

void SetClockAdvanceHook(std::function<void()> hook) { AdvanceHook() = std::move(hook); }

}  // namespace vcl
