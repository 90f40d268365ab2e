// A 128-bit universally unique identifier. New ones are version 4 (random, from the secure
// generator); text is upper-case 8-4-4-4-12 hexadecimal.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

class UUID {
public:
    using Bytes = std::array<uint8_t, 16>;

    // A new random (version 4) identifier.
    UUID();
    // The identifier with exactly these bytes (any version).
    explicit UUID(const Bytes& bytes) : bytes_(bytes) {}
    // Parses "E621E1F8-C36C-495A-93FC-0C247A3E6E5F" in any letter case; none for any other text.
    static std::optional<UUID> fromString(std::string_view text);

    // Upper-case 8-4-4-4-12 text.
    std::string uuidString() const;
    const Bytes& bytes() const { return bytes_; }

    bool operator==(const UUID&) const = default;
    auto operator<=>(const UUID&) const = default;

private:
    Bytes bytes_;
};

} // namespace plat

template <> struct std::hash<plat::UUID> { size_t operator()(const plat::UUID& id) const noexcept; };
