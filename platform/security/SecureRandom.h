// Cryptographically secure random numbers from the system's generator. A failing generator ends the
// process with a message: predictable bytes are never handed out. Safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace plat {

// `count` random bytes (a plat::Data).
std::vector<uint8_t> randomBytes(size_t count);
// Fills `out` with random bytes.
void fillRandomBytes(std::span<uint8_t> out);
// A random 32-bit value, every value equally likely.
uint32_t randomUInt32();
// A value in [0, upperBound), every value equally likely (no modulo bias); 0 when upperBound < 2.
uint32_t randomUniform(uint32_t upperBound);

} // namespace plat
