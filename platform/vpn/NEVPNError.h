// The errors of the personal-VPN configuration: the domain "NEVPNErrorDomain" with the platform's
// codes, each with a fixed English message as its localized description.
#pragma once

#include "platform/object/Error.h"

#include <cstdint>

namespace plat {

inline constexpr const char* NEVPNErrorDomain = "NEVPNErrorDomain";

enum class NEVPNError : int64_t {
    configurationInvalid = 1,         // no protocol, or a protocol without a server address
    configurationDisabled = 2,        // the saved profile is not enabled
    connectionFailed = 3,             // the tunnel could not be brought up
    configurationStale = 4,           // the profile was changed since this manager last loaded it
    configurationReadWriteFailed = 5, // the profile file could not be read or written
    configurationUnknown = 6,         // anything else
};

// An Error of NEVPNErrorDomain with the code and its message.
Error makeNEVPNError(NEVPNError code);

} // namespace plat
