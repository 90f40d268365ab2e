// How a delegate session sends its requests: header fields added to every request, timeouts, the
// cache policy, and for background sessions their identifier. Plain data.
#pragma once

#include "platform/net/URLRequest.h"

#include <optional>
#include <string>

namespace plat {

struct URLSessionConfiguration {
    // Set for background sessions; a background session's transfers read and write files, so they
    // could be handed over to a later launch. Here they run like any other.
    std::optional<std::string> identifier;
    // Fields added to each request that does not set them itself.
    HTTPHeaderFields HTTPAdditionalHeaders;
    // Seconds without a byte moving before a request fails, unless the request sets its own.
    double timeoutIntervalForRequest = 60;
    // Seconds for a whole transfer, redirects included.
    double timeoutIntervalForResource = 7 * 24 * 3600;
    URLRequest::CachePolicy requestCachePolicy = URLRequest::CachePolicy::UseProtocolCachePolicy;
    // Whether replies may be kept in a URL cache. Nothing is cached on this platform either way.
    bool URLCacheEnabled = true;

    static URLSessionConfiguration defaultSessionConfiguration() { return {}; }
    static URLSessionConfiguration backgroundSessionConfigurationWithIdentifier(std::string identifier) {
        URLSessionConfiguration configuration;
        configuration.identifier = std::move(identifier);
        return configuration;
    }
};

} // namespace plat
