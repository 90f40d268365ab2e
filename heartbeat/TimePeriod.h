// The periods a heartbeat counts for. There is one, a day; its coded form is its raw integer.
#pragma once

#include "heartbeat/CodingError.h"
#include "platform/object/Object.h"

#include <array>
#include <cstdint>
#include <optional>

namespace heartbeat {

enum class TimePeriod : int64_t { daily = 1 };

struct TimePeriods {
    static constexpr std::array<TimePeriod, 1> allCases{TimePeriod::daily};

    static std::optional<TimePeriod> fromRawValue(int64_t raw) {
        if (raw == 1) return TimePeriod::daily;
        return std::nullopt;
    }
    static int64_t rawValue(TimePeriod period) { return static_cast<int64_t>(period); }
    // The period's length in seconds.
    static double timeInterval(TimePeriod period) {
        switch (period) {
        case TimePeriod::daily:
            return 86400;
        }
        return 86400;
    }
    // Reads a coded period; any integer but a known raw value is corrupted data.
    static TimePeriod decode(int64_t raw) {
        if (auto period = fromRawValue(raw)) return *period;
        throw CodingError(CodingError::Kind::dataCorrupted,
                          "Cannot initialize TimePeriod from invalid Int value " + std::to_string(raw));
    }
};

} // namespace heartbeat
