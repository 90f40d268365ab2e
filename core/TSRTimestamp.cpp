#include "core/TSRTimestamp.h"

#include "core/TSRException.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr const char* kInvalidTimestamp = "Invalid timestamp";

[[noreturn]] void secondsOutOfRange(long long seconds) {
    throw TSRException(kInvalidTimestamp, "Timestamp seconds out of range: " + std::to_string(seconds));
}

} // namespace

TSRTimestamp::TSRTimestamp(int64_t seconds, int32_t nanoseconds)
    : seconds_(seconds), nanoseconds_(nanoseconds) {
    if (static_cast<uint32_t>(nanoseconds) >= 1000000000u)
        throw TSRException(kInvalidTimestamp,
                           "Timestamp nanoseconds out of range: " + std::to_string(nanoseconds));
    if (seconds < kMinSeconds || seconds >= kMaxSeconds) secondsOutOfRange(seconds);
}

TSRTimestamp TSRTimestamp::timestampWithDate(plat::Date date) {
    double integral = 0;
    double fraction = std::modf(date.secondsSince1970, &integral);
    if (fraction < 0) {
        integral -= 1;
        fraction += 1;
    }
    // Checked before the conversion: a date far outside the range (or not a number) must raise,
    // not overflow the integer.
    if (!(integral >= static_cast<double>(kMinSeconds) && integral < static_cast<double>(kMaxSeconds)))
        secondsOutOfRange(std::isnan(integral) ? 0 : (integral < 0 ? kMinSeconds - 1 : kMaxSeconds));
    auto seconds = static_cast<int64_t>(integral);
    auto nanoseconds = static_cast<int64_t>(fraction * 1e9);
    // A fraction a hair below one can round up to a whole second.
    if (nanoseconds >= 1000000000) {
        seconds += 1;
        nanoseconds -= 1000000000;
    }
    return TSRTimestamp(seconds, static_cast<int32_t>(nanoseconds));
}

plat::Date TSRTimestamp::dateValue() const {
    return plat::Date{static_cast<double>(seconds_) + static_cast<double>(nanoseconds_) / 1e9};
}

int TSRTimestamp::compare(const TSRTimestamp& other) const {
    if (seconds_ != other.seconds_) return seconds_ < other.seconds_ ? -1 : 1;
    if (nanoseconds_ != other.nanoseconds_) return nanoseconds_ < other.nanoseconds_ ? -1 : 1;
    return 0;
}

size_t TSRTimestamp::hash() const {
    const auto s = static_cast<uint64_t>(seconds_);
    return static_cast<size_t>(s ^ (s >> 32) ^ static_cast<uint32_t>(nanoseconds_));
}

std::string TSRTimestamp::description() const {
    return "<TSRTimestamp: seconds=" + std::to_string(seconds_) +
           " nanoseconds=" + std::to_string(nanoseconds_) + ">";
}

std::string TSRTimestamp::ISO8601String() const {
    const auto seconds = static_cast<time_t>(seconds_);
    std::tm utc{};
    char text[64] = "";
    if (gmtime_r(&seconds, &utc))
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", utc.tm_year + 1900, utc.tm_mon + 1,
                      utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    const std::string dateText = text;
    if (dateText.size() != 19) throw TSRException("Invalid ISO string", "Invalid ISO string: " + dateText);
    std::snprintf(text, sizeof text, "%s.%09dZ", dateText.c_str(), nanoseconds_);
    return text;
}
