#include "keychain/Attributes.h"

#include "platform/security/SecAccessControl.h"
#include "platform/security/SecItem.h"

namespace keychain {

using namespace plat;

Object Attributes::operator[](const std::string& key) const {
    auto it = attributes_.find(key);
    return it == attributes_.end() ? Object() : it->second;
}

std::string Attributes::description() const {
    return Object(attributes_).debugDescription();
}

std::optional<std::string> Attributes::string(const char* key) const {
    auto it = attributes_.find(key);
    if (it == attributes_.end() || !it->second.isString()) return std::nullopt;
    return it->second.string();
}

std::optional<Data> Attributes::bytes(const char* key) const {
    auto it = attributes_.find(key);
    if (it == attributes_.end() || !it->second.isData()) return std::nullopt;
    return it->second.data();
}

std::optional<bool> Attributes::boolean(const char* key) const {
    auto it = attributes_.find(key);
    // Booleans only: the integers 0 and 1 are not flags.
    if (it == attributes_.end() || !it->second.isNumber() || !it->second.number().isBool())
        return std::nullopt;
    return it->second.number().boolValue();
}

std::optional<Date> Attributes::date(const char* key) const {
    auto it = attributes_.find(key);
    if (it == attributes_.end() || !it->second.isDate()) return std::nullopt;
    return it->second.date();
}

std::optional<std::string> Attributes::class_() const {
    return string(kSecClass);
}
std::optional<Data> Attributes::data() const {
    return bytes(kSecValueData);
}
std::optional<Data> Attributes::ref() const {
    return bytes(kSecValueRef);
}
std::optional<Data> Attributes::persistentRef() const {
    return bytes(kSecValuePersistentRef);
}
std::optional<std::string> Attributes::accessible() const {
    return string(kSecAttrAccessible);
}
std::optional<Object> Attributes::accessControl() const {
    auto it = attributes_.find(kSecAttrAccessControl);
    if (it == attributes_.end() || !secAccessControl(it->second)) return std::nullopt;
    return it->second;
}
std::optional<std::string> Attributes::accessGroup() const {
    return string(kSecAttrAccessGroup);
}
std::optional<bool> Attributes::synchronizable() const {
    return boolean(kSecAttrSynchronizable);
}
std::optional<Date> Attributes::creationDate() const {
    return date(kSecAttrCreationDate);
}
std::optional<Date> Attributes::modificationDate() const {
    return date(kSecAttrModificationDate);
}
std::optional<std::string> Attributes::attributeDescription() const {
    return string(kSecAttrDescription);
}
std::optional<std::string> Attributes::comment() const {
    return string(kSecAttrComment);
}
std::optional<std::string> Attributes::creator() const {
    return string(kSecAttrCreator);
}
std::optional<std::string> Attributes::type() const {
    return string(kSecAttrType);
}
std::optional<std::string> Attributes::label() const {
    return string(kSecAttrLabel);
}
std::optional<bool> Attributes::isInvisible() const {
    return boolean(kSecAttrIsInvisible);
}
std::optional<bool> Attributes::isNegative() const {
    return boolean(kSecAttrIsNegative);
}
std::optional<std::string> Attributes::account() const {
    return string(kSecAttrAccount);
}
std::optional<std::string> Attributes::service() const {
    return string(kSecAttrService);
}
std::optional<Data> Attributes::generic() const {
    return bytes(kSecAttrGeneric);
}
std::optional<std::string> Attributes::securityDomain() const {
    return string(kSecAttrSecurityDomain);
}
std::optional<std::string> Attributes::server() const {
    return string(kSecAttrServer);
}
std::optional<std::string> Attributes::protocol() const {
    return string(kSecAttrProtocol);
}
std::optional<std::string> Attributes::authenticationType() const {
    return string(kSecAttrAuthenticationType);
}
std::optional<int64_t> Attributes::port() const {
    auto it = attributes_.find(kSecAttrPort);
    if (it == attributes_.end() || !it->second.isNumber() || !it->second.number().isInteger() ||
        it->second.number().isBool())
        return std::nullopt;
    return it->second.number().int64Value();
}
std::optional<std::string> Attributes::path() const {
    return string(kSecAttrPath);
}

} // namespace keychain
