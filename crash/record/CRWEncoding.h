// Text forms of bytes that reports carry: hex descriptions, SHA-1 and SHA-256 digests, and UUID
// text. Stateless and thread-safe; these allocate, so crash-time code uses CRWHex.h instead.
#pragma once

#include "platform/object/Object.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>

// Lower-case hex text of the bytes ("" for none).
std::string CRWNSDataPrettyDescription(const plat::Data& data);
// SHA-1 as 40 lower-case hex digits.
std::string CRWHashBytes(const void* bytes, uint32_t length);
std::string CRWHashNSData(const plat::Data& data);
// SHA-256 as 64 lower-case hex digits.
std::string CRW256HashBytes(const void* bytes, uint32_t length);
std::string CRW256HashNSData(const plat::Data& data);
// Calls `block` for each contiguous byte range of the data, in order, until it sets `stop`. Our
// data is one contiguous range, so there is one call (none for empty data).
void CRWEnumerateByteRangesOfNSDataUsingBlock(
    const plat::Data& data,
    const std::function<void(std::span<const uint8_t> bytes, size_t offset, bool& stop)>& block);

// A new random UUID's standard text (upper-case 8-4-4-4-12).
std::string CRWGenerateUUID();
// 16 UUID bytes as 32 lower-case hex digits, no dashes.
std::string CRWUUIDToNSString(const uint8_t* bytes);
