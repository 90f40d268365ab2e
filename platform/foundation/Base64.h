// Base64 text for bytes (RFC 4648): the standard alphabet with "=" padding, and the URL-safe
// alphabet without padding. Decoding is strict and returns none for anything that is not valid text
// of its alphabet, rather than guessing at damaged input.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// Standard alphabet ("+", "/"), padded with "=" to a multiple of four characters.
std::string base64Encode(std::span<const uint8_t> bytes);
std::string base64Encode(std::string_view bytes);
// Accepts exactly what base64Encode produces: padded, no white space, zero unused bits.
std::optional<std::vector<uint8_t>> base64Decode(std::string_view text);

// URL-safe alphabet ("-", "_"), no padding.
std::string base64URLEncode(std::span<const uint8_t> bytes);
std::string base64URLEncode(std::string_view bytes);
// Accepts unpadded text and also correctly padded text; no white space, zero unused bits.
std::optional<std::vector<uint8_t>> base64URLDecode(std::string_view text);

} // namespace plat
