// Keychain's listings and text forms: one fetch of every item's attributes, and the prettified
// dictionaries built from it.
#include "keychain/Keychain.h"

#include "platform/foundation/Text.h"
#include "platform/security/SecItem.h"

namespace keychain {

using plat::Object;
using namespace plat;

namespace {

// The attribute dictionaries of a listing's answer, or none when it has another shape.
std::optional<std::vector<Object::Dict>> dictionaries(const Object& result) {
    if (!result.isArray()) return std::nullopt;
    std::vector<Object::Dict> out;
    for (const auto& item : result.array()) {
        if (!item.isDict()) return std::nullopt;
        out.push_back(item.dict());
    }
    return out;
}

std::vector<Object::Dict> runListing(const Object::Dict& query) {
    Object result;
    OSStatus status = SecItemCopyMatching(query, &result);
    if (status == errSecSuccess) {
        if (auto items = dictionaries(result)) return *items;
    } else if (status == errSecItemNotFound) {
        return {};
    }
    Keychain::securityError(status); // printed; a listing never fails
    return {};
}

const std::string* stringAt(const Object::Dict& d, const char* key) {
    auto it = d.find(key);
    return it != d.end() && it->second.isString() ? &it->second.string() : nullptr;
}

} // namespace

std::vector<Object::Dict> Keychain::fetchItems() const {
    Object::Dict query = options_.query(true);
    query[kSecMatchLimit] = kSecMatchLimitAll;
    query[kSecReturnAttributes] = true;
    return runListing(query);
}

std::vector<Object::Dict> Keychain::prettify(ItemClass itemClass, const std::vector<Object::Dict>& items) {
    std::vector<Object::Dict> out;
    for (const auto& attrs : items) {
        Object::Dict item;
        item["class"] = keychain::description(itemClass);
        if (auto* group = stringAt(attrs, kSecAttrAccessGroup)) item["accessGroup"] = *group;
        if (itemClass == ItemClass::genericPassword) {
            if (auto* service = stringAt(attrs, kSecAttrService)) item["service"] = *service;
        } else {
            if (auto* server = stringAt(attrs, kSecAttrServer)) item["server"] = *server;
            if (auto* raw = stringAt(attrs, kSecAttrProtocol))
                if (auto protocol = fromRawValue<ProtocolType>(*raw))
                    item["protocol"] = keychain::description(*protocol);
            if (auto* raw = stringAt(attrs, kSecAttrAuthenticationType))
                if (auto type = fromRawValue<AuthenticationType>(*raw))
                    item["authenticationType"] = keychain::description(*type);
        }
        if (auto* account = stringAt(attrs, kSecAttrAccount)) item["key"] = *account;
        if (auto it = attrs.find(kSecValueData); it != attrs.end() && it->second.isData()) {
            std::string text = toString(it->second.data());
            item["value"] = text::isValidUTF8(text) ? Object(text) : it->second;
        }
        if (auto* raw = stringAt(attrs, kSecAttrAccessible))
            if (auto accessibility = fromRawValue<Accessibility>(*raw))
                item["accessibility"] = keychain::description(*accessibility);
        if (auto it = attrs.find(kSecAttrSynchronizable);
            it != attrs.end() && it->second.isNumber() && it->second.number().isBool())
            item["synchronizable"] = it->second.number().boolValue() ? "true" : "false";
        out.push_back(std::move(item));
    }
    return out;
}

std::vector<Object::Dict> Keychain::allItems() const {
    return prettify(options_.itemClass, fetchItems());
}

std::vector<std::string> Keychain::allKeys() const {
    std::vector<std::string> keys;
    for (const auto& item : allItems())
        if (auto* key = stringAt(item, "key")) keys.push_back(*key);
    return keys;
}

std::vector<std::pair<std::string, std::string>> Keychain::allKeys(ItemClass itemClass) {
    Object::Dict query{{kSecClass, rawValue(itemClass)},
                       {kSecAttrSynchronizable, kSecAttrSynchronizableAny},
                       {kSecMatchLimit, kSecMatchLimitAll},
                       {kSecReturnAttributes, true}};
    const char* domain = itemClass == ItemClass::genericPassword ? "service" : "server";
    std::vector<std::pair<std::string, std::string>> keys;
    for (const auto& item : prettify(itemClass, runListing(query))) {
        auto* d = stringAt(item, domain);
        auto* k = stringAt(item, "key");
        keys.emplace_back(d ? *d : "", k ? *k : "");
    }
    return keys;
}

std::vector<Object::Dict> Keychain::allItems(ItemClass itemClass) {
    Object::Dict query{
        {kSecClass, rawValue(itemClass)}, {kSecMatchLimit, kSecMatchLimitAll}, {kSecReturnAttributes, true}};
    return prettify(itemClass, runListing(query));
}

std::string Keychain::description() const {
    auto items = allItems();
    if (items.empty()) return "[]";
    std::string text = "[\n";
    for (const auto& item : items)
        text += "  " + Object(item).debugDescription() + "\n";
    return text + "]";
}

std::string Keychain::debugDescription() const {
    Object::Array items;
    for (auto& item : fetchItems())
        items.emplace_back(std::move(item));
    return Object(std::move(items)).debugDescription();
}

} // namespace keychain
