// The byte steps of the heartbeat header and their inverses: gzip, and base64url without padding.
#pragma once

#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <optional>
#include <string>
#include <string_view>

namespace heartbeat {

// Gzip of `data`. None (with `error` when given) when compression fails, and for empty input,
// which has no gzip form here.
std::optional<plat::Data> zipped(const plat::Data& data, plat::Error* error = nullptr);
// The most a heartbeat header inflates to: a few agents with their dates need a few kilobytes.
inline constexpr size_t kMaxUnzippedLength = 64 * 1024;
// The bytes inside a gzip (or zlib) stream; none, with `error`, for a damaged stream or one that
// inflates past kMaxUnzippedLength.
std::optional<plat::Data> unzipped(const plat::Data& data, plat::Error* error = nullptr);
// Base64 with "-" and "_" for "+" and "/", and no "=".
std::string base64URLEncodedString(const plat::Data& data);
// The inverse; none for text that is not base64url (padded or not).
std::optional<plat::Data> dataFromBase64URLEncoded(std::string_view text);

} // namespace heartbeat
