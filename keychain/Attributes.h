// The typed view of one keychain item's attribute dictionary, as the store returned it. Each getter
// yields the value when it has the stated type, otherwise none.
#pragma once

#include "platform/object/Object.h"

#include <optional>
#include <string>

namespace keychain {

class Attributes {
public:
    explicit Attributes(plat::Object::Dict attributes) : attributes_(std::move(attributes)) {}

    // The raw value, absent when missing.
    plat::Object operator[](const std::string& key) const;
    // The dictionary's standard text form.
    std::string description() const;
    const plat::Object::Dict& dictionary() const { return attributes_; }

    // `class_` is the item class (the getter named "class").
    std::optional<std::string> class_() const;
    std::optional<plat::Data> data() const;
    std::optional<plat::Data> ref() const;
    std::optional<plat::Data> persistentRef() const;
    std::optional<std::string> accessible() const;
    // The access-control object.
    std::optional<plat::Object> accessControl() const;
    std::optional<std::string> accessGroup() const;
    std::optional<bool> synchronizable() const;
    std::optional<plat::Date> creationDate() const;
    std::optional<plat::Date> modificationDate() const;
    std::optional<std::string> attributeDescription() const;
    std::optional<std::string> comment() const;
    std::optional<std::string> creator() const;
    std::optional<std::string> type() const;
    std::optional<std::string> label() const;
    std::optional<bool> isInvisible() const;
    std::optional<bool> isNegative() const;
    std::optional<std::string> account() const;
    std::optional<std::string> service() const;
    std::optional<plat::Data> generic() const;
    std::optional<std::string> securityDomain() const;
    std::optional<std::string> server() const;
    // The raw protocol constant, not a ProtocolType.
    std::optional<std::string> protocol() const;
    // The raw authentication-type constant.
    std::optional<std::string> authenticationType() const;
    std::optional<int64_t> port() const;
    std::optional<std::string> path() const;

private:
    std::optional<std::string> string(const char* key) const;
    std::optional<plat::Data> bytes(const char* key) const;
    std::optional<bool> boolean(const char* key) const;
    std::optional<plat::Date> date(const char* key) const;

    plat::Object::Dict attributes_;
};

} // namespace keychain
