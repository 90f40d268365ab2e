// Reads the installations service's replies into records. Replies are untrusted bytes: anything
// that is not a JSON object of the expected shape, a body above kTSRInstallationsMaxResponseSize, a
// field of the wrong type, a text field that could not be stored or sent back in a header (control
// characters, above kTSRInstallationsMaxFieldLength bytes) or an "expiresIn" that is not a
// non-negative number of seconds followed by "s" (within ten years) is refused with the error the
// service contract names. Pure functions, safe from any thread.
#pragma once

#include "installations/TSRInstallationsItem.h"
#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

inline constexpr size_t kTSRInstallationsMaxResponseSize = 1 << 20;
inline constexpr size_t kTSRInstallationsMaxFieldLength = 8192;

class TSRInstallationsResponseParser {
public:
    // The registered record for the register reply to `request`: the server's "tid" when it gave
    // a usable one (else the request's), the refresh token, the auth token expiring "expiresIn"
    // after `date`, status registered. The legacy token is not carried over.
    static std::optional<TSRInstallationsItem>
    registeredInstallationWithJSONData(const TSRInstallationsItem& request, std::string_view data,
                                       plat::Date date, std::optional<plat::Error>* error);
    // The auth token of a generate-token reply (fields at the top level).
    static std::shared_ptr<const TSRInstallationsStoredAuthToken>
    authTokenWithGenerateTokenAPIJSONData(std::string_view data, plat::Date date,
                                          std::optional<plat::Error>* error);
    // The auth token of an object holding "token" and "expiresIn".
    static std::shared_ptr<const TSRInstallationsStoredAuthToken>
    authTokenWithJSONDict(const plat::Object& dict, plat::Date date, std::optional<plat::Error>* error);

    // The seconds of an "expiresIn" text ("604800s"); none when it is malformed.
    static std::optional<double> secondsFromExpiresIn(std::string_view text);
    // The field's text when it is a usable string (see above); none otherwise.
    static std::optional<std::string> validString(const plat::Object& value);
};
