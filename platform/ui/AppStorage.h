// A setting kept in the user defaults, read and written by a screen: reading gives the stored value
// (or the default when the key is unset or holds another type), writing stores it, and any change of
// the key through that defaults object, from this screen or elsewhere, rebuilds the screen.
// Supported value types: bool, integers, double, std::string.
//
// Main thread only (changes made on other threads reach the screen through the main queue).
#pragma once

#include "platform/foundation/Binding.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/BuildContext.h"

#include <memory>
#include <string>
#include <type_traits>

namespace plat::ui {

namespace detail {
// Reads `key` as T; none when unset or not convertible.
template <typename T> std::optional<T> readDefault(const UserDefaults& defaults, const std::string& key) {
    Object object = defaults.object(key);
    if (object.isAbsent() || object.isNull()) return std::nullopt;
    if constexpr (std::is_same_v<T, bool>) {
        if (auto* n = object.asNumber()) return n->boolValue();
        if (object.isString()) return defaults.boolean(key);
        return std::nullopt;
    } else if constexpr (std::is_integral_v<T>) {
        if (!object.isNumber() && !object.isString()) return std::nullopt;
        return static_cast<T>(defaults.integer(key));
    } else if constexpr (std::is_floating_point_v<T>) {
        if (!object.isNumber() && !object.isString()) return std::nullopt;
        return static_cast<T>(defaults.doubleValue(key));
    } else {
        static_assert(std::is_same_v<T, std::string>,
                      "AppStorage holds bool, integers, double or std::string");
        if (auto* s = object.asString()) return *s;
        return std::nullopt;
    }
}
// Rebuilds the place behind `link` when `key` changes in `defaults`.
UserDefaults::Token observeDefault(UserDefaults& defaults, const std::string& key,
                                   std::shared_ptr<NodeLink> link);
} // namespace detail

template <typename T> class AppStorage {
public:
    // A setting of the standard defaults.
    AppStorage(std::string key, T defaultValue)
        : AppStorage(std::move(key), std::move(defaultValue), &UserDefaults::standard(), nullptr) {}
    // A setting of another defaults object (a suite, or an in-memory one in tests).
    AppStorage(std::string key, T defaultValue, std::shared_ptr<UserDefaults> defaults)
        : AppStorage(std::move(key), std::move(defaultValue), defaults.get(), defaults) {}

    T get() const { return detail::readDefault<T>(*defaults_, key_).value_or(default_); }
    T operator()() const { return get(); }
    void set(const T& value) const { defaults_->set(key_, Object(value)); }
    Binding<T> binding() const {
        return Binding<T>([self = *this] { return self.get(); }, [self = *this](const T& v) { self.set(v); });
    }
    const std::string& key() const { return key_; }

private:
    struct Observation {
        UserDefaults::Token token;
    };
    AppStorage(std::string key, T defaultValue, UserDefaults* defaults, std::shared_ptr<UserDefaults> keep)
        : key_(std::move(key)), default_(std::move(defaultValue)), defaults_(defaults),
          keep_(std::move(keep)) {
        if (auto* context = detail::BuildContext::current()) {
            context->slot<Observation>([&] {
                auto observation = std::make_shared<Observation>();
                observation->token = detail::observeDefault(*defaults_, key_, context->link());
                return observation;
            });
        }
    }
    std::string key_;
    T default_;
    UserDefaults* defaults_;
    std::shared_ptr<UserDefaults> keep_;
};

} // namespace plat::ui
