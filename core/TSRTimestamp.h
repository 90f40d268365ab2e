// A point in time as whole seconds and nanoseconds since 1970-01-01T00:00:00Z, limited to the
// years 0001 to 9999. Immutable value; construction outside that range raises
// TSRException("Invalid timestamp").
#pragma once

#include "platform/object/Object.h"

#include <cstddef>
#include <cstdint>
#include <string>

class TSRTimestamp {
public:
    static constexpr int64_t kMinSeconds = -62135596800; // 0001-01-01T00:00:00Z
    static constexpr int64_t kMaxSeconds = 253402300800; // 10000-01-01T00:00:00Z, excluded

    TSRTimestamp(int64_t seconds, int32_t nanoseconds);
    static TSRTimestamp timestampWithSeconds(int64_t seconds, int32_t nanoseconds) {
        return {seconds, nanoseconds};
    }
    // Fractions below a second round down to the earlier nanosecond (-1.5 s is -2 s + 0.5e9 ns).
    static TSRTimestamp timestampWithDate(plat::Date date);
    static TSRTimestamp timestamp() { return timestampWithDate(plat::Date::now()); }

    int64_t seconds() const { return seconds_; }
    int32_t nanoseconds() const { return nanoseconds_; }
    plat::Date dateValue() const;

    // -1, 0 or 1, by seconds and then nanoseconds.
    int compare(const TSRTimestamp& other) const;
    bool isEqualToTimestamp(const TSRTimestamp& other) const { return compare(other) == 0; }
    bool operator==(const TSRTimestamp& other) const { return isEqualToTimestamp(other); }
    size_t hash() const;
    // "<TSRTimestamp: seconds=<s> nanoseconds=<ns>>".
    std::string description() const;
    // "yyyy-MM-ddTHH:mm:ss.nnnnnnnnnZ" in UTC.
    std::string ISO8601String() const;

private:
    int64_t seconds_;
    int32_t nanoseconds_;
};
