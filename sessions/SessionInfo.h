// The identity of one session: its id (32 lower-case hexadecimal digits), the first session id of
// the process, the process's sampling decision and its index (0 for the process's first session).
#pragma once

#include <cstdint>
#include <string>

struct SessionInfo {
    std::string sessionId;
    std::string firstSessionId;
    bool shouldDispatchEvents = false;
    int32_t sessionIndex = 0;

    bool operator==(const SessionInfo&) const = default;
};
