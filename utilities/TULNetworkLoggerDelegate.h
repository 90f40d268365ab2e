// Where the network request layer's log lines go: three forms of one call, with a list of context
// objects, with one, or with none. Levels are the shared logger's (3 error to 7 debug); message
// codes are the layer's six-digit numbers.
#pragma once

#include "platform/object/Object.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TULNetworkLoggerDelegate {
public:
    virtual ~TULNetworkLoggerDelegate() = default;
    // `message` none stands for a missing message.
    virtual void TULNetwork_logWithLevel(int64_t level, int64_t messageCode,
                                         const std::optional<std::string>& message,
                                         const std::vector<plat::Object>& contexts) = 0;
    virtual void TULNetwork_logWithLevel(int64_t level, int64_t messageCode,
                                         const std::optional<std::string>& message,
                                         const plat::Object& context) = 0;
    virtual void TULNetwork_logWithLevel(int64_t level, int64_t messageCode,
                                         const std::optional<std::string>& message) = 0;
};
