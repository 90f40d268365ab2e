// A snapshot of the moment an event was sent: wall time in milliseconds since 1970, the time-zone
// offset, the wall-clock instant of the kernel's boot and the time since that boot. Ordering prefers
// the boot time over the wall clock, so a later boot wins whatever the wall clocks say, and within
// one boot uptime cannot be moved by a change of the wall clock. Immutable; archived with secure
// coding as "TTRClock".
#pragma once

#include "platform/foundation/SecureCoding.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The wall-clock instant of the kernel's boot in nanoseconds since 1970, in whole seconds as the
// kernel reports it; 0 when it cannot be read. It moves when the wall clock is set.
int64_t KernelBootTimeInNanoseconds();

class TTRClock : public plat::SecureCoding {
public:
    static constexpr const char* kClassName = "TTRClock";

    TTRClock(int64_t timeMillis, int64_t timezoneOffsetSeconds, int64_t kernelBootTimeNanoseconds,
             int64_t uptimeNanoseconds)
        : timeMillis_(timeMillis), timezoneOffsetSeconds_(timezoneOffsetSeconds),
          kernelBootTimeNanoseconds_(kernelBootTimeNanoseconds), uptimeNanoseconds_(uptimeNanoseconds) {}

    // The current moment.
    static std::shared_ptr<TTRClock> snapshot();
    // The current moment with the wall time advanced by `millisInTheFuture`.
    static std::shared_ptr<TTRClock> clockSnapshotInTheFuture(uint64_t millisInTheFuture);

    int64_t timeMillis() const { return timeMillis_; }
    int64_t timezoneOffsetSeconds() const { return timezoneOffsetSeconds_; }
    int64_t kernelBootTimeNanoseconds() const { return kernelBootTimeNanoseconds_; }
    int64_t uptimeNanoseconds() const { return uptimeNanoseconds_; }
    int64_t kernelBootTime() const { return kernelBootTimeNanoseconds_; }
    int64_t uptime() const { return uptimeNanoseconds_; }
    int64_t uptimeMilliseconds() const { return uptimeNanoseconds_ / 1000000; }

    // Later boot wins; within one boot, the later local wall time (millis + offset as stored).
    bool isAfter(const TTRClock& other) const;

    size_t hash() const;
    // Field by field (equal hashes alone do not make two snapshots equal).
    bool isEqual(const TTRClock& other) const;
    std::string description() const;

    std::string className() const override { return kClassName; }
    void encodeWithCoder(plat::KeyedArchiver& coder) const override;
    static std::shared_ptr<TTRClock> initWithCoder(plat::KeyedUnarchiver& coder);

private:
    int64_t timeMillis_;
    int64_t timezoneOffsetSeconds_;
    int64_t kernelBootTimeNanoseconds_;
    int64_t uptimeNanoseconds_;
};
