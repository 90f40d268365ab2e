// Message digests (SHA-1, SHA-256) of whole byte strings, and hexadecimal text for bytes.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace plat {

using SHA1Digest = std::array<uint8_t, 20>;
using SHA256Digest = std::array<uint8_t, 32>;

// The bytes of `bytes`, a string or a plat::Data.
SHA1Digest sha1(std::string_view bytes);
SHA1Digest sha1(std::span<const uint8_t> bytes);
SHA256Digest sha256(std::string_view bytes);
SHA256Digest sha256(std::span<const uint8_t> bytes);

// Two hexadecimal digits per byte, lower-case unless `uppercase`.
std::string hexString(std::span<const uint8_t> bytes, bool uppercase = false);

} // namespace plat
