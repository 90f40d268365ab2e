// A guard over the platform user defaults for the library components: keys must be non-empty and
// values must be property-list values all the way down (text, numbers, dates, data, and arrays or
// dictionaries of these). Anything else is logged as a warning and not stored; nothing raises.
// It keeps no state of its own beyond the wrapped defaults, which are safe from any thread.
#pragma once

#include "platform/object/Object.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace plat {
class UserDefaults;
}

class TULUserDefaults {
public:
    // The process-wide wrapper of the standard user defaults; never destroyed.
    static TULUserDefaults& standardUserDefaults();
    // Over the standard user defaults.
    TULUserDefaults();
    // Over the suite `suiteName`, or the standard user defaults when the name is empty.
    explicit TULUserDefaults(const std::string& suiteName);

    // The stored value; absent when unset, and absent with warning I-TUL000001 for an empty key.
    plat::Object objectForKey(const std::string& key) const;
    // Stores `value`; an absent value removes the key. An empty key (I-TUL000002) or a value that
    // is not a property-list value (I-TUL000003) is refused with a warning.
    void setObject(const plat::Object& value, const std::string& key);
    void removeObjectForKey(const std::string& key) { setObject(plat::Object(), key); }

    // Typed reads with the platform's conversions; 0 or false when unset or not convertible.
    int64_t integerForKey(const std::string& key) const;
    float floatForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    bool boolForKey(const std::string& key) const;
    // The stored value when it has the asked-for kind.
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::optional<plat::Object::Array> arrayForKey(const std::string& key) const;
    std::optional<plat::Object::Dict> dictionaryForKey(const std::string& key) const;

    void setInteger(int64_t value, const std::string& key) { setObject(plat::Object(value), key); }
    void setFloat(float value, const std::string& key) { setObject(plat::Object(value), key); }
    void setDouble(double value, const std::string& key) { setObject(plat::Object(value), key); }
    void setBool(bool value, const std::string& key) { setObject(plat::Object(value), key); }

    plat::UserDefaults& userDefaults() const { return *userDefaults_; }

private:
    // False, with warning I-TUL000001, for an empty key.
    bool isReadableKey(const std::string& key) const;

    std::shared_ptr<plat::UserDefaults> userDefaults_;
};
