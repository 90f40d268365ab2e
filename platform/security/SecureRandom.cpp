#include "platform/security/SecureRandom.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plat {

void fillRandomBytes(std::span<uint8_t> out) {
    // The kernel's generator itself: unlike a library's, it has no state that process exit tears
    // down, so a background thread still drawing while the process ends is safe.
    uint8_t* p = out.data();
    size_t left = out.size();
    while (left > 0) {
        const ssize_t got = ::getrandom(p, left, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "velmora: the secure random generator failed (%s); stopping\n",
                         std::strerror(errno));
            std::abort();
        }
        p += got;
        left -= static_cast<size_t>(got);
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
