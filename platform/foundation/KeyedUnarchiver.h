// Reads archives written by KeyedArchiver (or any archive in the same keyed layout) with secure
// coding: the root must be of the expected class, and every nested object of the class its reader
// asks for. Damaged, cyclic or hostile archives give an error, never a crash or a runaway.
#pragma once

#include "platform/foundation/KeyedArchiver.h"

#include <memory>
#include <optional>
#include <string>

namespace plat {

class KeyedUnarchiver {
public:
    // The root restored as `objectClass`; null with `error` set when the data is not an archive,
    // the root is of another class, or the class refused its fields.
    static std::shared_ptr<SecureCoding> unarchivedObjectOfClass(const SecureCodingClass& objectClass,
                                                                 const Data& data, Error* error = nullptr);
    template <typename T>
    static std::shared_ptr<T> unarchivedObjectOfClass(const Data& data, Error* error = nullptr) {
        return std::static_pointer_cast<T>(unarchivedObjectOfClass(SecureCodingClass::of<T>(), data, error));
    }
    // A root that is a plain value (text, number, data, date, array, dictionary, null); absent with
    // `error` set otherwise.
    static Object unarchivedPlainObject(const Data& data, Error* error = nullptr);

    // The error of a value of class `found` where `expected` was asked for under `key`.
    static Error unexpectedClassError(const std::string& key, const std::string& found,
                                      const std::string& expected);

    // Field readers for initWithCoder. A missing key reads as absent, false or 0.
    bool containsValueForKey(const std::string& key) const;
    Object decodeObjectForKey(const std::string& key);
    std::shared_ptr<SecureCoding> decodeObjectOfClass(const SecureCodingClass& objectClass,
                                                      const std::string& key);
    template <typename T> std::shared_ptr<T> decodeObjectOfClass(const std::string& key) {
        return std::static_pointer_cast<T>(decodeObjectOfClass(SecureCodingClass::of<T>(), key));
    }
    bool decodeBoolForKey(const std::string& key) const;
    int64_t decodeInt64ForKey(const std::string& key) const;
    double decodeDoubleForKey(const std::string& key) const;

    // Records the first failure; the whole unarchiving then fails with it.
    void failWithError(Error error);
    const std::optional<Error>& error() const;

    struct State;
    KeyedUnarchiver(State& state, const Object::Dict& fields) : state_(state), fields_(fields) {}

private:
    State& state_;
    const Object::Dict& fields_;
};

} // namespace plat
