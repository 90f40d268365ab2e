// Archives an object graph as a binary property list in the keyed-archive layout ("$archiver",
// "$version", "$top" with "root", and the shared "$objects" table referenced by UIDs), so other
// tools can read it. Objects take part through SecureCoding; plain values (text, numbers, data,
// dates, arrays, dictionaries, null) are archived as the platform's value classes.
#pragma once

#include "platform/foundation/SecureCoding.h"
#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace plat {

class KeyedArchiver {
public:
    // The error domain and codes of archiving and unarchiving.
    static constexpr const char* kErrorDomain = "NSCocoaErrorDomain";
    static constexpr int64_t kReadCorruptError = 4864;
    static constexpr int64_t kValueNotFoundError = 4865;
    static constexpr int64_t kInvalidValueError = 4866;

    // The archive of `root`, or none with `error` set when something in it cannot be archived.
    static std::optional<Data> archivedDataWithRootObject(const SecureCoding& root,
                                                          bool requiringSecureCoding, Error* error = nullptr);
    static std::optional<Data> archivedDataWithRootObject(const Object& root, bool requiringSecureCoding,
                                                          Error* error = nullptr);

    // Field writers for SecureCoding::encodeWithCoder. A key written twice keeps the last value.
    void encodeObject(const Object& value, const std::string& key);
    void encodeObject(const std::shared_ptr<const SecureCoding>& value, const std::string& key);
    void encodeBool(bool value, const std::string& key);
    void encodeInt64(int64_t value, const std::string& key);
    void encodeDouble(double value, const std::string& key);
    bool requiresSecureCoding() const { return requiresSecureCoding_; }

    struct State;
    explicit KeyedArchiver(State& state, bool requiresSecureCoding)
        : state_(state), requiresSecureCoding_(requiresSecureCoding) {}

private:
    Object::Dict fields_;
    State& state_;
    bool requiresSecureCoding_;
    friend struct State;
};

} // namespace plat
