#include "platform/security/CryptoLibrary.h"

#include <openssl/crypto.h>

namespace plat {

void initializeCryptoLibrary() {
    // The first initialisation decides whether the library registers its cleanup at exit; the
    // configuration file is read here too, rather than by whichever thread first needs it.
    static const bool initialized =
        OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT | OPENSSL_INIT_LOAD_CONFIG, nullptr) == 1;
    (void)initialized;
}

namespace {
// Before main, so on the main thread and before any other thread can touch the library.
[[maybe_unused]] const bool initializedAtLoad = (initializeCryptoLibrary(), true);
} // namespace

} // namespace plat
