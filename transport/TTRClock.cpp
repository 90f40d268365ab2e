#include "transport/TTRClock.h"

#include "platform/foundation/KernelClock.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "transport/TTRCoding.h"

#include <functional>

namespace {

constexpr const char* kTimeMillisKey = "TTRClockTimeMillis";
constexpr const char* kTimezoneOffsetSecondsKey = "TTRClockTimezoneOffsetSeconds";
constexpr const char* kKernelBootTimeKey = "TTRClockKernelBootTime";
constexpr const char* kUptimeKey = "TTRClockUptime";

} // namespace

int64_t KernelBootTimeInNanoseconds() {
    return plat::KernelClock::bootTimeNanoseconds();
}

std::shared_ptr<TTRClock> TTRClock::snapshot() {
    return clockSnapshotInTheFuture(0);
}

std::shared_ptr<TTRClock> TTRClock::clockSnapshotInTheFuture(uint64_t millisInTheFuture) {
    plat::KernelClockReading now = plat::KernelClock::read();
    int64_t millis = now.wallNanoseconds / 1000000 + static_cast<int64_t>(millisInTheFuture);
    return std::make_shared<TTRClock>(millis, now.timezoneOffsetSeconds, now.bootTimeNanoseconds,
                                      now.uptimeNanoseconds);
}

bool TTRClock::isAfter(const TTRClock& other) const {
    if (kernelBootTimeNanoseconds_ != other.kernelBootTimeNanoseconds_)
        return other.kernelBootTimeNanoseconds_ < kernelBootTimeNanoseconds_;
    return timeMillis_ + timezoneOffsetSeconds_ > other.timeMillis_ + other.timezoneOffsetSeconds_;
}

size_t TTRClock::hash() const {
    std::hash<int64_t> h;
    return h(timeMillis_) ^ h(timezoneOffsetSeconds_) ^ h(kernelBootTimeNanoseconds_) ^ h(uptimeNanoseconds_);
}

bool TTRClock::isEqual(const TTRClock& other) const {
    return timeMillis_ == other.timeMillis_ && timezoneOffsetSeconds_ == other.timezoneOffsetSeconds_ &&
           kernelBootTimeNanoseconds_ == other.kernelBootTimeNanoseconds_ &&
           uptimeNanoseconds_ == other.uptimeNanoseconds_;
}

std::string TTRClock::description() const {
    return "<TTRClock timeMillis:" + std::to_string(timeMillis_) +
           " timezoneOffsetSeconds:" + std::to_string(timezoneOffsetSeconds_) +
           " kernelBootTime:" + std::to_string(kernelBootTimeNanoseconds_) +
           " uptime:" + std::to_string(uptimeNanoseconds_) + ">";
}

void TTRClock::encodeWithCoder(plat::KeyedArchiver& coder) const {
    coder.encodeInt64(timeMillis_, kTimeMillisKey);
    coder.encodeInt64(timezoneOffsetSeconds_, kTimezoneOffsetSecondsKey);
    coder.encodeInt64(kernelBootTimeNanoseconds_, kKernelBootTimeKey);
    coder.encodeInt64(uptimeNanoseconds_, kUptimeKey);
}

std::shared_ptr<TTRClock> TTRClock::initWithCoder(plat::KeyedUnarchiver& coder) {
    std::optional<int64_t> millis, offset, boot, uptime;
    if (!ttr_coding::decodeInt64(coder, kTimeMillisKey, millis) ||
        !ttr_coding::decodeInt64(coder, kTimezoneOffsetSecondsKey, offset) ||
        !ttr_coding::decodeInt64(coder, kKernelBootTimeKey, boot) ||
        !ttr_coding::decodeInt64(coder, kUptimeKey, uptime))
        return nullptr;
    return std::make_shared<TTRClock>(millis.value_or(0), offset.value_or(0), boot.value_or(0),
                                      uptime.value_or(0));
}
