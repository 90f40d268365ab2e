#include "platform/dispatch/Clock.h"

#include <cmath>

namespace plat {

Duration durationFromSeconds(double seconds) {
    if (std::isnan(seconds) || seconds <= 0) return Duration::zero();
    const double nanos = seconds * 1e9;
    if (!(nanos < static_cast<double>(maxDuration().count()))) return maxDuration();
    return Duration(static_cast<Duration::rep>(nanos));
}

double secondsFromDuration(Duration d) {
    return static_cast<double>(d.count()) / 1e9;
}

namespace {

class SystemClock final : public Clock {
public:
    TimePoint now() const override {
        return std::chrono::time_point_cast<Duration>(std::chrono::steady_clock::now());
    }
    Date wallNow() const override { return Date::now(); }
};

} // namespace

Clock& Clock::system() {
    static Clock* clock = new SystemClock();
    return *clock;
}

ManualClock::ManualClock(Date wallStart) : wallStart_(wallStart) {}

TimePoint ManualClock::now() const {
    return TimePoint(Duration(monotonicNanos_.load()));
}

// Wall time moves with advance(); setWallNow() shifts it without touching monotonic time.
Date ManualClock::wallNow() const {
    const int64_t nanos = monotonicNanos_.load() + wallOffsetNanos_.load();
    return Date{wallStart_.secondsSince1970 + static_cast<double>(nanos) / 1e9};
}

void ManualClock::advance(Duration d) {
    if (d > Duration::zero()) monotonicNanos_.fetch_add(d.count());
}

void ManualClock::setWallNow(Date d) {
    const double offsetSeconds = d.secondsSince1970 - wallStart_.secondsSince1970;
    wallOffsetNanos_.store(static_cast<int64_t>(offsetSeconds * 1e9) - monotonicNanos_.load());
}

} // namespace plat
