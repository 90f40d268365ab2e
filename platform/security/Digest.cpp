#include "platform/security/Digest.h"

#include "platform/security/CryptoLibrary.h"

#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>

namespace plat {

namespace {

template <size_t N> std::array<uint8_t, N> digest(const EVP_MD* md, const void* data, size_t size) {
    initializeCryptoLibrary();
    std::array<uint8_t, N> out{};
    unsigned int length = 0;
    // Only allocation failure can make this fail; a wrong digest must never be handed out.
    if (EVP_Digest(data, size, out.data(), &length, md, nullptr) != 1 || length != N) {
        std::fprintf(stderr, "velmora: message digest failed\n");
        std::abort();
    }
    return out;
}

} // namespace

SHA1Digest sha1(std::string_view bytes) {
    return digest<20>(EVP_sha1(), bytes.data(), bytes.size());
}
SHA1Digest sha1(std::span<const uint8_t> bytes) {
    return digest<20>(EVP_sha1(), bytes.data(), bytes.size());
}
SHA256Digest sha256(std::string_view bytes) {
    return digest<32>(EVP_sha256(), bytes.data(), bytes.size());
}
SHA256Digest sha256(std::span<const uint8_t> bytes) {
    return digest<32>(EVP_sha256(), bytes.data(), bytes.size());
}

std::string hexString(std::span<const uint8_t> bytes, bool uppercase) {
    const char* digits = uppercase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 0xf];
    }
    return out;
}

} // namespace plat
