// Decides whether the installations client may call the service now, after the outcome of its
// last calls: nothing holds back after a success; consecutive recoverable failures (429, 5xx) wait
// about 2, 4, 8 ... seconds plus up to one second of jitter, never more than 30 minutes; an
// unrecoverable failure (400, 403) waits 24 hours. Time comes from the date provider, so tests drive
// it by hand. Thread-safe (one lock).
#pragma once

#include "platform/object/Object.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

enum TSRInstallationsBackoffEvent : int64_t {
    TSRInstallationsBackoffEventSuccess = 0,
    TSRInstallationsBackoffEventRecoverableFailure = 1,
    TSRInstallationsBackoffEventUnrecoverableFailure = 2,
};

inline constexpr double kTSRInstallationsMaxRecoverableBackoffSeconds = 1800;
inline constexpr double kTSRInstallationsUnrecoverableBackoffSeconds = 86400;

// One outcome and how long it holds requests back.
struct TSRInstallationsBackoffEventData {
    TSRInstallationsBackoffEvent eventType;
    plat::Date lastEventDate;
    int64_t eventCount; // consecutive events of this type, from 1
    double backoffTimeInterval;
};

class TSRInstallationsBackoffController {
public:
    using DateProvider = std::function<plat::Date()>;
    // Draws the jitter in milliseconds, 0 to 999.
    using JitterProvider = std::function<int()>;

    // The system's current date.
    static DateProvider TSRRealCurrentDateProvider();

    explicit TSRInstallationsBackoffController(
        DateProvider currentDateProvider = TSRRealCurrentDateProvider(), JitterProvider jitter = nullptr);

    void registerEvent(TSRInstallationsBackoffEvent event);
    // True with no event yet, or once the last event's interval has passed.
    bool isNextRequestAllowed() const;
    std::optional<TSRInstallationsBackoffEventData> lastEventData() const;

    // The wait after `count` consecutive events of `type`, with `jitterMilliseconds` added to
    // recoverable waits.
    static double backoffTimeInterval(TSRInstallationsBackoffEvent type, int64_t count,
                                      int jitterMilliseconds);

private:
    DateProvider currentDateProvider_;
    JitterProvider jitter_;
    mutable std::mutex lock_;
    std::optional<TSRInstallationsBackoffEventData> lastEventData_;
};
