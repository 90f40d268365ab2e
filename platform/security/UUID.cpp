#include "platform/security/UUID.h"

#include "platform/security/SecureRandom.h"

#include <cstring>

namespace plat {

namespace {

// Where the dashes go in the 36-character text.
bool isDashPosition(size_t i) {
    return i == 8 || i == 13 || i == 18 || i == 23;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

UUID::UUID() {
    fillRandomBytes(bytes_);
    bytes_[6] = uint8_t((bytes_[6] & 0x0f) | 0x40); // version 4
    bytes_[8] = uint8_t((bytes_[8] & 0x3f) | 0x80); // variant 10xx (RFC 4122)
}

std::optional<UUID> UUID::fromString(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    Bytes bytes{};
    size_t n = 0; // hex digits read
    for (size_t i = 0; i < text.size(); ++i) {
        if (isDashPosition(i)) {
            if (text[i] != '-') return std::nullopt;
            continue;
        }
        const int v = hexValue(text[i]);
        if (v < 0) return std::nullopt;
        bytes[n / 2] = uint8_t(bytes[n / 2] << 4 | v);
        ++n;
    }
    return UUID(bytes);
}

std::string UUID::uuidString() const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += kDigits[bytes_[i] >> 4];
        out += kDigits[bytes_[i] & 0xf];
    }
    return out;
}

} // namespace plat

size_t std::hash<plat::UUID>::operator()(const plat::UUID& id) const noexcept {
    // The bytes are random (or come from such an identifier), so any eight of them hash well.
    uint64_t a, b;
    std::memcpy(&a, id.bytes().data(), 8);
    std::memcpy(&b, id.bytes().data() + 8, 8);
    return size_t(a ^ (b * 0x9e3779b97f4a7c15ull));
}
