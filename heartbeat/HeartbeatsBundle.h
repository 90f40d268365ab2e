// The stored heartbeats of one app id: the most recent heartbeats in a fixed-capacity ring, and
// for each period the date of the last heartbeat added for it. A plain value; the heartbeat
// storage runs every operation on one bundle on its serial queue.
#pragma once

#include "heartbeat/Heartbeat.h"
#include "heartbeat/HeartbeatsPayload.h"
#include "heartbeat/RingBuffer.h"

#include <map>
#include <optional>

namespace heartbeat {

struct HeartbeatsBundle {
    using DateCache = std::map<TimePeriod, plat::Date>;

    // The start of year 1, far enough back that every period is due against it.
    static plat::Date distantPast();
    // One entry per period, each at the distant past.
    static DateCache defaultCache();
    // Stored capacities above this are treated as a damaged file: a rebuild would otherwise try to
    // allocate whatever a file claims.
    static constexpr int64_t kMaxStoredCapacity = 100000;

    int64_t capacity;
    DateCache lastAddedHeartbeatDates;
    RingBuffer<Heartbeat> buffer;

    explicit HeartbeatsBundle(int64_t capacity, DateCache cache = defaultCache())
        : capacity(capacity), lastAddedHeartbeatDates(std::move(cache)), buffer(capacity) {}
    HeartbeatsBundle(int64_t capacity, DateCache cache, RingBuffer<Heartbeat> buffer)
        : capacity(capacity), lastAddedHeartbeatDates(std::move(cache)), buffer(std::move(buffer)) {}

    // Stores the heartbeat and marks its periods with its date. A ring whose stored tail index is
    // outside its slots is rebuilt empty and given one diagnostic heartbeat naming the fault.
    void append(const Heartbeat& heartbeat);
    // Removes the newest heartbeat dated exactly `date`; the others keep their ring order.
    std::optional<Heartbeat> removeHeartbeat(plat::Date date);
    // Entries grouped by agent, sorted by agent, dates in slot order; version 2.
    HeartbeatsPayload makeHeartbeatsPayload() const;

    // {"capacity", "lastAddedHeartbeatDates": [raw, date, ...], "buffer"}; throws CodingError.
    plat::Object encode() const;
    static HeartbeatsBundle decode(const plat::Object& coded);

    bool operator==(const HeartbeatsBundle&) const = default;
};

} // namespace heartbeat
