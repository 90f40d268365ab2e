// One usage data point: the agent text of the libraries in use on a day, the day, a model version
// and the periods it counts for. A plain value.
#pragma once

#include "heartbeat/TimePeriod.h"
#include "platform/object/Object.h"

#include <string>
#include <vector>

namespace heartbeat {

struct Heartbeat {
    std::string agent;
    plat::Date date;
    int64_t version = 0;
    std::vector<TimePeriod> timePeriods;

    Heartbeat(std::string agent, plat::Date date, std::vector<TimePeriod> timePeriods, int64_t version = 0)
        : agent(std::move(agent)), date(date), version(version), timePeriods(std::move(timePeriods)) {}

    bool operator==(const Heartbeat&) const = default;

    // The keyed form {"agent", "date", "version", "timePeriods"}; the date is seconds since
    // 2001-01-01 UTC. Decoding requires all four keys and ignores others; throws CodingError.
    plat::Object encode() const;
    static Heartbeat decode(const plat::Object& coded);
};

// The form every coder here uses for a date: seconds since 2001-01-01 00:00:00 UTC.
inline plat::Object encodeDate(plat::Date date) {
    return plat::Object(date.timeIntervalSinceReferenceDate());
}

} // namespace heartbeat
