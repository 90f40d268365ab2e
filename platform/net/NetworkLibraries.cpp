#include "platform/net/NetworkLibraries.h"

#include "platform/security/CryptoLibrary.h"

#include <curl/curl.h>

namespace plat {

void initializeNetworkLibraries() {
    static const bool initialized = [] {
        initializeCryptoLibrary();
        return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    }();
    (void)initialized;
}

namespace {
// Before main, so on the main thread and before any other thread exists.
[[maybe_unused]] const bool initializedAtLoad = (initializeNetworkLibraries(), true);
} // namespace

} // namespace plat
