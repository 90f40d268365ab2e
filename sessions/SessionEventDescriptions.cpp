#include "sessions/SessionEventDescriptions.h"

#include "sessions/TSRSESNanoPBHelpers.h"

#include <charconv>
#include <cmath>
#include <iterator>

namespace {

template <size_t N> std::string named(const char* const (&names)[N], int value, const char* type) {
    if (value >= 0 && static_cast<size_t>(value) < N) return names[value];
    return std::string("Unrecognized ") + type + ". Please update the tessera_apphealth_sessions_" + type +
           " CustomStringConvertible extension";
}

} // namespace

std::string TSRSESDescribeString(const pb_bytes_array_t* array) {
    if (!array) return "<NULL>";
    std::string text = TSRSESDecodeString(array);
    return text.empty() ? "<EMPTY>" : text;
}

std::string TSRSESDescribeEventType(int value) {
    static constexpr const char* names[] = {"UNKNOWN", "SESSION_START"};
    return named(names, value, "EventType");
}

std::string TSRSESDescribeDataCollectionState(int value) {
    static constexpr const char* names[] = {"UNKNOWN",  "SDK_NOT_INSTALLED", "ENABLED",
                                            "DISABLED", "DISABLED_REMOTE",   "SAMPLED"};
    return named(names, value, "DataCollectionState");
}

std::string TSRSESDescribeOsName(int value) {
    static constexpr const char* names[] = {"UNKNOWN_OSNAME", "MACOS",   "MACCATALYST", "IOS_ON_MAC", "IOS",
                                            "TVOS",           "WATCHOS", "IPADOS",      "UNSPECIFIED"};
    return named(names, value, "OsName");
}

std::string TSRSESDescribeLogEnvironment(int value) {
    static constexpr const char* names[] = {"UNKNOWN", "DEV", "STAGING", "PROD"};
    return named(names, value, "LogEnvironment");
}

std::string TSRSESDescribeDouble(double value) {
    char buffer[64];
    // Whole numbers below 10^16 in positional form with ".0"; everything else in the shortest form.
    const bool whole = std::isfinite(value) && std::fabs(value) < 1e16 && std::trunc(value) == value;
    auto result = whole ? std::to_chars(std::begin(buffer), std::end(buffer), value, std::chars_format::fixed)
                        : std::to_chars(std::begin(buffer), std::end(buffer), value);
    std::string text(buffer, result.ptr);
    if (whole) text += ".0";
    return text;
}
