// Hex descriptions, digests and UUID text on the platform's digest and UUID functions.
#include "crash/record/CRWEncoding.h"

#include "crash/record/CRWHex.h"
#include "platform/security/Digest.h"
#include "platform/security/UUID.h"

std::string CRWNSDataPrettyDescription(const plat::Data& data) {
    return plat::hexString(data);
}

std::string CRWHashBytes(const void* bytes, uint32_t length) {
    if (bytes == nullptr) length = 0;
    return plat::hexString(plat::sha1(std::span<const uint8_t>(static_cast<const uint8_t*>(bytes), length)));
}

std::string CRWHashNSData(const plat::Data& data) {
    return plat::hexString(plat::sha1(std::span<const uint8_t>(data)));
}

std::string CRW256HashBytes(const void* bytes, uint32_t length) {
    if (bytes == nullptr) length = 0;
    return plat::hexString(
        plat::sha256(std::span<const uint8_t>(static_cast<const uint8_t*>(bytes), length)));
}

std::string CRW256HashNSData(const plat::Data& data) {
    return plat::hexString(plat::sha256(std::span<const uint8_t>(data)));
}

void CRWEnumerateByteRangesOfNSDataUsingBlock(
    const plat::Data& data,
    const std::function<void(std::span<const uint8_t> bytes, size_t offset, bool& stop)>& block) {
    if (data.empty() || !block) return;
    bool stop = false;
    block(std::span<const uint8_t>(data), 0, stop);
}

std::string CRWGenerateUUID() {
    return plat::UUID().uuidString();
}

std::string CRWUUIDToNSString(const uint8_t* bytes) {
    char text[33];
    CRWSafeHexToString(bytes, 16, text);
    return text;
}
