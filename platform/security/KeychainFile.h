// The on-disk form of one keychain store file: a fixed header (magic, version, item count, payload
// length, CRC-32 of the payload) followed by length-prefixed item records. Decoding checks every
// length against the bytes present, so a truncated or altered file is detected, never half-read.
#pragma once

#include "platform/object/Object.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plat {

// One stored item: a random identity (the basis of its references) and its attributes, including
// kSecClass and kSecValueData. Attribute values are strings, data, booleans, integers, doubles,
// dates or access-control objects.
struct KeychainItem {
    std::array<uint8_t, 16> id{};
    Object::Dict attributes;
};

namespace KeychainFile {

// Encodes the items. Values of other kinds are left out (the store never puts them there).
std::string encode(const std::vector<KeychainItem>& items);
// Decodes a whole file; none when the bytes are not a complete, intact store file.
std::optional<std::vector<KeychainItem>> decode(const std::string& bytes);
// CRC-32 (IEEE) of the bytes, as the header stores it.
uint32_t crc32(const std::string& bytes, size_t offset = 0);

} // namespace KeychainFile
} // namespace plat
