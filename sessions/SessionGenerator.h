// Makes the identity of each new session of the process: a fresh random id, the process's first
// session id, the next index and the sampling decision fixed at construction. Used from the thread
// that starts sessions (the main thread); not locked.
#pragma once

#include "sessions/SessionInfo.h"

#include <cstdint>
#include <optional>
#include <string>

class SessionGenerator {
public:
    explicit SessionGenerator(bool collectEvents) : collectEvents_(collectEvents) {}

    // The next session, which becomes the current one. The index stops at its largest value
    // rather than wrapping around.
    SessionInfo generateNewSession();
    const std::optional<SessionInfo>& currentSession() const { return thisSession_; }

    // A new session id: a random UUID's text without dashes, in lower case.
    static std::string makeSessionId();

private:
    std::optional<SessionInfo> thisSession_;
    std::string firstSessionId_;
    int32_t sessionIndex_ = -1;
    bool collectEvents_;
};
