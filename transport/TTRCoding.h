// Strict field readers for the transport's archived records. An archive comes back from disk and is
// untrusted: a field of the wrong kind fails the whole decoding (as secure coding does) instead of
// being read as a default. A missing field is not a failure; the caller decides what it means.
#pragma once

#include "platform/foundation/KeyedUnarchiver.h"

#include <cstdint>
#include <optional>
#include <string>

namespace ttr_coding {

// Each answers true when the key is missing (leaving `out` alone) or holds a value of the right
// kind (stored in `out`); false, with the failure recorded on the coder, otherwise.
bool decodeInt64(plat::KeyedUnarchiver& coder, const char* key, std::optional<int64_t>& out);
bool decodeString(plat::KeyedUnarchiver& coder, const char* key, std::optional<std::string>& out);
bool decodeData(plat::KeyedUnarchiver& coder, const char* key, std::optional<plat::Data>& out);
bool decodeDate(plat::KeyedUnarchiver& coder, const char* key, std::optional<plat::Date>& out);

} // namespace ttr_coding
