#include "platform/security/SecureRandom.h"

#include <openssl/err.h>
#include <openssl/rand.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace plat {

void fillRandomBytes(std::span<uint8_t> out) {
    uint8_t* p = out.data();
    size_t left = out.size();
    while (left > 0) {
        // RAND_bytes takes an int length.
        const int chunk = left > size_t(INT_MAX) ? INT_MAX : int(left);
        if (RAND_bytes(p, chunk) != 1) {
            std::fprintf(stderr, "velmora: the secure random generator failed (error %lu); stopping\n",
                         ERR_get_error());
            std::abort();
        }
        p += chunk;
        left -= size_t(chunk);
    }
}

std::vector<uint8_t> randomBytes(size_t count) {
    std::vector<uint8_t> out(count);
    fillRandomBytes(out);
    return out;
}

uint32_t randomUInt32() {
    uint8_t b[4];
    fillRandomBytes(b);
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

uint32_t randomUniform(uint32_t upperBound) {
    if (upperBound < 2) return 0;
    // 2^32 mod upperBound values at the bottom would make the low results more likely; redraw them.
    const uint32_t threshold = (0u - upperBound) % upperBound;
    for (;;) {
        const uint32_t r = randomUInt32();
        if (r >= threshold) return r % upperBound;
    }
}

} // namespace plat
