#include "app/extensions/UserDefaultsKey.h"

#include <array>

namespace extensions {

namespace {

const std::array<std::string, 2>& names() {
    static const auto& list =
        *new std::array<std::string, 2>{"reviewWorthyActionCount", "lastReviewRequestAppVersion"};
    return list;
}

} // namespace

const std::string& rawValue(UserDefaultsKey key) {
    return names()[static_cast<size_t>(key)];
}

std::optional<UserDefaultsKey> UserDefaultsKeyFromRawValue(std::string_view raw) {
    for (size_t i = 0; i < names().size(); ++i)
        if (names()[i] == raw) return static_cast<UserDefaultsKey>(i);
    return std::nullopt;
}

int64_t integer(const plat::UserDefaults& defaults, UserDefaultsKey key) {
    return defaults.integer(rawValue(key));
}

std::optional<std::string> string(const plat::UserDefaults& defaults, UserDefaultsKey key) {
    return defaults.stringIfSet(rawValue(key));
}

void set(plat::UserDefaults& defaults, int64_t value, UserDefaultsKey key) {
    defaults.set(rawValue(key), value);
}

void set(plat::UserDefaults& defaults, const std::optional<plat::Object>& value, UserDefaultsKey key) {
    if (value && !value->isAbsent())
        defaults.set(rawValue(key), *value);
    else
        defaults.remove(rawValue(key));
}

} // namespace extensions
