// Typed user-defaults keys for the review prompt's bookkeeping, with typed reads and writes.
#pragma once

#include "platform/foundation/UserDefaults.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace extensions {

// The raw value of each key is its case name.
enum class UserDefaultsKey { reviewWorthyActionCount, lastReviewRequestAppVersion };

const std::string& rawValue(UserDefaultsKey key);
// Exact, case-sensitive match; none for any other text.
std::optional<UserDefaultsKey> UserDefaultsKeyFromRawValue(std::string_view raw);

// The integer stored under the key (0 when absent).
int64_t integer(const plat::UserDefaults& defaults, UserDefaultsKey key);
// The text stored under the key; none when nothing is stored.
std::optional<std::string> string(const plat::UserDefaults& defaults, UserDefaultsKey key);
void set(plat::UserDefaults& defaults, int64_t value, UserDefaultsKey key);
// Stores the value; none removes the key.
void set(plat::UserDefaults& defaults, const std::optional<plat::Object>& value, UserDefaultsKey key);

} // namespace extensions
