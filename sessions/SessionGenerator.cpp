#include "sessions/SessionGenerator.h"

#include "platform/security/UUID.h"

#include <algorithm>
#include <cctype>
#include <limits>

std::string SessionGenerator::makeSessionId() {
    std::string id = plat::UUID().uuidString();
    id.erase(std::remove(id.begin(), id.end(), '-'), id.end());
    std::transform(id.begin(), id.end(), id.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return id;
}

SessionInfo SessionGenerator::generateNewSession() {
    std::string sessionId = makeSessionId();
    if (firstSessionId_.empty()) firstSessionId_ = sessionId;
    if (sessionIndex_ < std::numeric_limits<int32_t>::max()) ++sessionIndex_;
    thisSession_ = SessionInfo{sessionId, firstSessionId_, collectEvents_, sessionIndex_};
    return *thisSession_;
}
