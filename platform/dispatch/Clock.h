// Time sources. Everything that waits, times out or schedules takes a Clock (or a Scheduler, which
// owns one) so tests can drive time by hand instead of sleeping.
#pragma once

#include "platform/object/Object.h"

#include <atomic>
#include <chrono>

namespace plat {

using Duration = std::chrono::nanoseconds;
using TimePoint = std::chrono::time_point<std::chrono::steady_clock, Duration>;

// Converts seconds given as a double to a Duration. NaN gives zero; negative values give zero;
// infinite or too-large values saturate at `maxDuration()`.
Duration durationFromSeconds(double seconds);
// The largest duration any deadline arithmetic here accepts (about 100 years), so adding it to a
// time point never overflows.
constexpr Duration maxDuration() {
    return std::chrono::hours(24 * 365 * 100);
}
double secondsFromDuration(Duration d);

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic time, for deadlines and intervals.
    virtual TimePoint now() const = 0;
    // Wall-clock time, for timestamps.
    virtual Date wallNow() const = 0;
    // The real clock; never destroyed.
    static Clock& system();
};

// A clock that only moves when told to. Thread-safe.
class ManualClock final : public Clock {
public:
    explicit ManualClock(Date wallStart = Date{1'700'000'000.0});
    TimePoint now() const override;
    Date wallNow() const override;
    void advance(Duration d);
    void setWallNow(Date d);

private:
    std::atomic<int64_t> monotonicNanos_{0};
    std::atomic<int64_t> wallOffsetNanos_{0};
    Date wallStart_;
};

} // namespace plat
