// Typed field reads that the installation archives share: a field of another class than the
// declared one fails the whole unarchiving, as secure decoding does.
#pragma once

#include "platform/object/Object.h"

#include <cstdint>
#include <optional>
#include <string>

namespace plat {
class KeyedUnarchiver;
}

// The text stored under `key`: empty when absent; a value of another class fails the unarchiving.
std::string TSRInstallationsDecodeString(plat::KeyedUnarchiver& coder, const std::string& key);
// The date stored under `key`, likewise.
std::optional<plat::Date> TSRInstallationsDecodeDate(plat::KeyedUnarchiver& coder, const std::string& key);
// The archive version under "storageVersion"; a version above `current` logs `code` with `message`
// (which takes the found and the current version) and decoding goes on with the known keys.
int64_t TSRInstallationsDecodeStorageVersion(plat::KeyedUnarchiver& coder, int64_t current,
                                             const std::string& code, const std::string& message);
