// An authentication challenge of a transfer and the answers to it: what is asked (the protection
// space with its method and, for server trust, the trust to evaluate), the disposition and the
// credential.
#pragma once

#include "platform/security/SecTrust.h"

#include <memory>
#include <optional>
#include <string>

namespace plat {

inline constexpr const char* NSURLAuthenticationMethodServerTrust = "NSURLAuthenticationMethodServerTrust";
inline constexpr const char* NSURLAuthenticationMethodDefault = "NSURLAuthenticationMethodDefault";

struct URLProtectionSpace {
    std::string host;
    int port = 0;
    std::string authenticationMethod;
    // Set for server-trust challenges.
    std::shared_ptr<SecTrust> serverTrust;
};

struct URLAuthenticationChallenge {
    URLProtectionSpace protectionSpace;
};

enum class URLSessionAuthChallengeDisposition {
    UseCredential,
    PerformDefaultHandling,
    CancelAuthenticationChallenge,
    RejectProtectionSpace,
};

struct URLCredential {
    std::shared_ptr<SecTrust> trust;

    // A credential that accepts the trust; none without one.
    static std::optional<URLCredential> credentialForTrust(std::shared_ptr<SecTrust> trust) {
        if (!trust) return std::nullopt;
        return URLCredential{std::move(trust)};
    }
};

} // namespace plat
