#include "core/TSRTesseraBase.h"

#include "core/TSRLogger.h"
#include "platform/foundation/URL.h"

#include <cstdlib>

std::optional<std::string> TSRTesseraBaseFromText(const std::string& text) {
    std::optional<plat::URL> url = plat::URL::string(text);
    if (!url || !url->scheme() || !url->host()) return std::nullopt;
    const std::string& scheme = *url->scheme();
    if (scheme != "http" && scheme != "https") return std::nullopt;
    // Only an origin: a path, query, fragment or user would silently change every service's
    // address in ways nobody asked for.
    const std::string& path = url->percentEncodedPath();
    if ((!path.empty() && path != "/") || url->query() || url->fragment() || url->user() || url->password())
        return std::nullopt;
    std::string base = url->absoluteString();
    if (!path.empty()) base.pop_back();
    return base;
}

std::string TSRTesseraURL(const std::string& builtInURL) {
    const char* variable = std::getenv(kTSRTesseraBaseEnvironmentVariable);
    if (!variable || !*variable) return builtInURL;
    std::optional<std::string> base = TSRTesseraBaseFromText(variable);
    if (!base) {
        TSRLogError(kTSRLoggerCore, "I-COR000040",
                    "%@ is not of the form scheme://host[:port] and is ignored: %@",
                    kTSRTesseraBaseEnvironmentVariable, std::string(variable));
        return builtInURL;
    }
    // Everything after the built-in origin (path, query, fragment) is kept.
    const size_t origin = builtInURL.find("://");
    if (origin == std::string::npos) return builtInURL;
    const size_t rest = builtInURL.find_first_of("/?#", origin + 3);
    return *base + (rest == std::string::npos ? std::string() : builtInURL.substr(rest));
}
