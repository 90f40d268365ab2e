#include "platform/foundation/Base64.h"

#include <array>

namespace plat {

namespace {

constexpr std::string_view kStandard = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kURL = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

constexpr uint8_t kInvalid = 0xff;

constexpr std::array<uint8_t, 256> reverse(std::string_view alphabet) {
    std::array<uint8_t, 256> table{};
    table.fill(kInvalid);
    for (size_t i = 0; i < alphabet.size(); ++i)
        table[static_cast<uint8_t>(alphabet[i])] = static_cast<uint8_t>(i);
    return table;
}

constexpr auto kStandardReverse = reverse(kStandard);
constexpr auto kURLReverse = reverse(kURL);

std::string encode(std::span<const uint8_t> in, std::string_view alphabet, bool pad) {
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= in.size(); i += 3) {
        const uint32_t n = uint32_t(in[i]) << 16 | uint32_t(in[i + 1]) << 8 | in[i + 2];
        out += alphabet[n >> 18 & 63];
        out += alphabet[n >> 12 & 63];
        out += alphabet[n >> 6 & 63];
        out += alphabet[n & 63];
    }
    const size_t rest = in.size() - i;
    if (rest == 1) {
        const uint32_t n = uint32_t(in[i]) << 16;
        out += alphabet[n >> 18 & 63];
        out += alphabet[n >> 12 & 63];
        if (pad) out += "==";
    } else if (rest == 2) {
        const uint32_t n = uint32_t(in[i]) << 16 | uint32_t(in[i + 1]) << 8;
        out += alphabet[n >> 18 & 63];
        out += alphabet[n >> 12 & 63];
        out += alphabet[n >> 6 & 63];
        if (pad) out += '=';
    }
    return out;
}

// Decodes text whose padding has already been stripped.
std::optional<std::vector<uint8_t>> decode(std::string_view text, const std::array<uint8_t, 256>& table) {
    // One leftover character carries only six bits, less than a byte: no encoder produces it.
    if (text.size() % 4 == 1) return std::nullopt;
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3 + 2);
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        const uint8_t v = table[static_cast<uint8_t>(c)];
        if (v == kInvalid) return std::nullopt;
        bits = bits << 6 | v;
        if (++count == 4) {
            out.push_back(uint8_t(bits >> 16));
            out.push_back(uint8_t(bits >> 8));
            out.push_back(uint8_t(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 2) {
        // 12 bits: one byte and four unused bits, which must be zero so that each byte string has
        // exactly one text.
        if (bits & 0xf) return std::nullopt;
        out.push_back(uint8_t(bits >> 4));
    } else if (count == 3) {
        if (bits & 0x3) return std::nullopt;
        out.push_back(uint8_t(bits >> 10));
        out.push_back(uint8_t(bits >> 2));
    }
    return out;
}

// Strips the padding of a complete padded text; none when the padding is malformed.
std::optional<std::string_view> stripPadding(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    size_t pad = 0;
    while (pad < 2 && pad < text.size() && text[text.size() - 1 - pad] == '=')
        ++pad;
    text.remove_suffix(pad);
    return text;
}

std::span<const uint8_t> asBytes(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

} // namespace

std::string base64Encode(std::span<const uint8_t> bytes) {
    return encode(bytes, kStandard, true);
}
std::string base64Encode(std::string_view bytes) {
    return base64Encode(asBytes(bytes));
}

std::optional<std::vector<uint8_t>> base64Decode(std::string_view text) {
    auto body = stripPadding(text);
    if (!body) return std::nullopt;
    // A stray "=" inside the body (or a third one at the end) fails as a non-alphabet character.
    return decode(*body, kStandardReverse);
}

std::string base64URLEncode(std::span<const uint8_t> bytes) {
    return encode(bytes, kURL, false);
}
std::string base64URLEncode(std::string_view bytes) {
    return base64URLEncode(asBytes(bytes));
}

std::optional<std::vector<uint8_t>> base64URLDecode(std::string_view text) {
    if (text.find('=') != std::string_view::npos) {
        auto body = stripPadding(text);
        if (!body) return std::nullopt;
        text = *body;
    }
    return decode(text, kURLReverse);
}

} // namespace plat
