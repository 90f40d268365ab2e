// When a session event happened: the current time in microseconds since 1970, truncated to whole
// seconds first (so always a multiple of 1,000,000). A clock before 1970 gives 0.
#pragma once

#include "platform/object/Object.h"

#include <cmath>
#include <cstdint>
#include <functional>

class TimeProvider {
public:
    virtual ~TimeProvider() = default;
    virtual int64_t timestampUS() const = 0;
};

class Time : public TimeProvider {
public:
    // Over the current date, or `now` (tests).
    explicit Time(std::function<plat::Date()> now = plat::Date::now) : now_(std::move(now)) {}

    int64_t timestampUS() const override { return timestampUS(now_()); }

    static int64_t timestampUS(plat::Date date) {
        const double seconds = date.secondsSince1970;
        // Whole seconds as an unsigned count; what the count cannot hold (before 1970, NaN, or past
        // the range of the microsecond value) is pinned rather than left undefined.
        if (!(seconds >= 0)) return 0;
        constexpr double kMaxSeconds = 9'223'372'036'854.0;
        if (seconds >= kMaxSeconds) return static_cast<int64_t>(kMaxSeconds) * 1'000'000;
        return static_cast<int64_t>(static_cast<uint64_t>(std::trunc(seconds)) * 1'000'000);
    }

private:
    std::function<plat::Date()> now_;
};
