#include "keychain/Keychain.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Text.h"
#include "platform/log/OSLog.h"
#include "platform/security/SecItem.h"

namespace keychain {

using plat::Object;
using namespace plat; // the SecItem constants read as in the platform's own documentation

namespace {

Options defaultServiceOptions() {
    Options options;
    options.service = Bundle::main().bundleIdentifier().value_or("");
    return options;
}

Options internetOptions(const URL& server, ProtocolType protocolType, std::optional<std::string> accessGroup,
                        AuthenticationType authenticationType) {
    Options options;
    options.itemClass = ItemClass::internetPassword;
    options.server = server;
    options.protocolType = protocolType;
    options.accessGroup = std::move(accessGroup);
    options.authenticationType = authenticationType;
    return options;
}

URL parseServer(const std::string& text) {
    auto url = URL::string(text);
    if (!url || !url->host() || url->host()->empty()) throw Status(Status::param);
    return *url;
}

std::optional<std::string> decodeUTF8(const Data& data) {
    std::string text = toString(data);
    if (!text::isValidUTF8(text)) {
        consoleLine("failed to convert data to string");
        return std::nullopt;
    }
    return text;
}

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

Keychain::Keychain() : options_(defaultServiceOptions()) {}

Keychain::Keychain(std::string service, std::optional<std::string> accessGroup) {
    options_.service = std::move(service);
    options_.accessGroup = std::move(accessGroup);
}

Keychain::Keychain(const std::string& server, ProtocolType protocolType,
                   std::optional<std::string> accessGroup, AuthenticationType authenticationType)
    : Keychain(parseServer(server), protocolType, std::move(accessGroup), authenticationType) {}

Keychain::Keychain(const URL& server, ProtocolType protocolType, std::optional<std::string> accessGroup,
                   AuthenticationType authenticationType)
    : options_(internetOptions(server, protocolType, std::move(accessGroup), authenticationType)) {}

std::shared_ptr<Keychain> Keychain::withAccessGroup(const std::string& accessGroup) {
    Options options = defaultServiceOptions();
    options.accessGroup = accessGroup;
    return std::make_shared<Keychain>(std::move(options));
}

std::shared_ptr<const LAContext> Keychain::authenticationContext() const {
    if (!options_.authenticationContext || !options_.authenticationContext->as<LAContext>()) return nullptr;
    return std::static_pointer_cast<const LAContext>(options_.authenticationContext->pointer);
}

// ---- Modifiers ----

std::shared_ptr<Keychain> Keychain::withOptions(Options options) const {
    return std::make_shared<Keychain>(std::move(options));
}

std::shared_ptr<Keychain> Keychain::with(const std::function<void(Options&)>& change) const {
    Options copy = options_;
    change(copy);
    return withOptions(std::move(copy));
}

std::shared_ptr<Keychain> Keychain::accessibility(Accessibility a) const {
    return with([&](Options& o) { o.accessibility = a; });
}
std::shared_ptr<Keychain> Keychain::accessibility(Accessibility a, AuthenticationPolicy policy) const {
    return with([&](Options& o) {
        o.accessibility = a;
        o.authenticationPolicy = policy;
    });
}
std::shared_ptr<Keychain> Keychain::synchronizable(bool s) const {
    return with([&](Options& o) { o.synchronizable = s; });
}
std::shared_ptr<Keychain> Keychain::label(const std::string& l) const {
    return with([&](Options& o) { o.label = l; });
}
std::shared_ptr<Keychain> Keychain::comment(const std::string& c) const {
    return with([&](Options& o) { o.comment = c; });
}
std::shared_ptr<Keychain> Keychain::attributes(const Object::Dict& extra) const {
    return with([&](Options& o) {
        for (const auto& [key, value] : extra)
            o.attributes[key] = value;
    });
}
std::shared_ptr<Keychain> Keychain::authenticationPrompt(const std::string& p) const {
    return with([&](Options& o) { o.authenticationPrompt = p; });
}
std::shared_ptr<Keychain> Keychain::authenticationUI(AuthenticationUI ui) const {
    return with([&](Options& o) { o.authenticationUI = ui; });
}
std::shared_ptr<Keychain> Keychain::authenticationContext(std::shared_ptr<const LAContext> context) const {
    return with([&](Options& o) { o.authenticationContext = Opaque::make(std::move(context), "LAContext"); });
}

// ---- Reading ----

std::optional<Data> Keychain::getData(const std::string& key, bool ignoringAttributeSynchronizable) const {
    Object::Dict query = options_.query(ignoringAttributeSynchronizable);
    query[kSecMatchLimit] = kSecMatchLimitOne;
    query[kSecReturnData] = true;
    query[kSecAttrAccount] = key;
    Object result;
    OSStatus status = SecItemCopyMatching(query, &result);
    if (status == errSecSuccess) {
        if (!result.isData()) throw Status(Status::unexpectedError);
        return result.data();
    }
    if (status == errSecItemNotFound) return std::nullopt;
    throw securityError(status);
}

std::optional<std::string> Keychain::get(const std::string& key, bool ignoringAttributeSynchronizable) const {
    auto data = getData(key, ignoringAttributeSynchronizable);
    if (!data) return std::nullopt;
    auto text = decodeUTF8(*data);
    if (!text) throw Status(Status::conversionError);
    return text;
}

std::optional<Attributes> Keychain::getAttributes(const std::string& key,
                                                  bool ignoringAttributeSynchronizable) const {
    Object::Dict query = options_.query(ignoringAttributeSynchronizable);
    query[kSecMatchLimit] = kSecMatchLimitOne;
    query[kSecReturnData] = true;
    query[kSecReturnAttributes] = true;
    query[kSecReturnRef] = true;
    query[kSecReturnPersistentRef] = true;
    query[kSecAttrAccount] = key;
    Object result;
    OSStatus status = SecItemCopyMatching(query, &result);
    if (status == errSecSuccess) {
        if (!result.isDict()) throw Status(Status::unexpectedError);
        return Attributes(result.dict());
    }
    if (status == errSecItemNotFound) return std::nullopt;
    throw securityError(status);
}

bool Keychain::contains(const std::string& key, bool withoutAuthenticationUI) const {
    Object::Dict query = options_.query(true);
    query[kSecAttrAccount] = key;
    if (options_.authenticationUI)
        query[kSecUseAuthenticationUI] = rawValue(*options_.authenticationUI);
    else if (withoutAuthenticationUI)
        query[kSecUseAuthenticationUI] = kSecUseAuthenticationUIFail;
    OSStatus status = SecItemCopyMatching(query, nullptr);
    if (status == errSecSuccess) return true;
    if (status == errSecInteractionNotAllowed) return withoutAuthenticationUI;
    if (status == errSecItemNotFound) return false;
    throw securityError(status);
}

// ---- Subscripts ----

// Stores the value, or removes the item when there is none; a failure is dropped.
template <typename Value>
void Keychain::storeQuietly(const std::string& key, const std::optional<Value>& value) const {
    try {
        if (value)
            set(*value, key, true);
        else
            remove(key, true);
    } catch (...) {
    }
}

std::optional<std::string> Keychain::subscriptString(const std::string& key) const {
    std::optional<Data> data;
    try {
        data = getData(key, true);
    } catch (...) {
        return std::nullopt;
    }
    if (!data) return std::nullopt;
    return decodeUTF8(*data);
}

void Keychain::setSubscriptString(const std::string& key, const std::optional<std::string>& value) const {
    storeQuietly(key, value);
}

void Keychain::modifySubscriptString(const std::string& key,
                                     const std::function<void(std::optional<std::string>&)>& change) const {
    auto value = subscriptString(key);
    change(value);
    setSubscriptString(key, value);
}

std::optional<Data> Keychain::subscriptData(const std::string& key) const {
    try {
        return getData(key, true);
    } catch (...) {
        return std::nullopt;
    }
}

void Keychain::setSubscriptData(const std::string& key, const std::optional<Data>& value) const {
    storeQuietly(key, value);
}

void Keychain::modifySubscriptData(const std::string& key,
                                   const std::function<void(std::optional<Data>&)>& change) const {
    auto value = subscriptData(key);
    change(value);
    setSubscriptData(key, value);
}

std::optional<Attributes> Keychain::subscriptAttributes(const std::string& key) const {
    try {
        return getAttributes(key, true);
    } catch (...) {
        return std::nullopt;
    }
}

// ---- Writing ----

void Keychain::set(const std::string& value, const std::string& key,
                   bool ignoringAttributeSynchronizable) const {
    // Text that is not UTF-8 would not read back as the same string.
    if (!text::isValidUTF8(value)) {
        consoleLine("failed to convert string to data");
        throw Status(Status::conversionError);
    }
    set(toData(value), key, ignoringAttributeSynchronizable);
}

void Keychain::set(const Data& value, const std::string& key, bool ignoringAttributeSynchronizable) const {
    Object::Dict probe = options_.query(ignoringAttributeSynchronizable);
    probe[kSecAttrAccount] = key;
    probe[kSecReturnData] = true;
    probe[kSecUseAuthenticationUI] =
        options_.authenticationUI ? rawValue(*options_.authenticationUI) : kSecUseAuthenticationUIFail;
    OSStatus status = SecItemCopyMatching(probe, nullptr);

    auto build = [&](const std::optional<std::string>& account) {
        auto [attrs, error] = options_.itemAttributes(account, value);
        if (error) {
            consoleLine(error->localizedDescription());
            throw *error;
        }
        for (const auto& [k, v] : options_.attributes)
            attrs[k] = v;
        return attrs;
    };

    if (status == errSecSuccess || status == errSecInteractionNotAllowed) {
        Object::Dict match = options_.query(true);
        match[kSecAttrAccount] = key;
        Object::Dict changes = build(std::nullopt);
        if (OSStatus st = SecItemUpdate(match, changes)) throw securityError(st);
    } else if (status == errSecItemNotFound) {
        Object::Dict attrs = build(key);
        if (OSStatus st = SecItemAdd(attrs, nullptr)) throw securityError(st);
    } else {
        throw securityError(status);
    }
}

void Keychain::remove(const std::string& key, bool ignoringAttributeSynchronizable) const {
    Object::Dict query = options_.query(ignoringAttributeSynchronizable);
    query[kSecAttrAccount] = key;
    OSStatus status = SecItemDelete(query);
    if (status != errSecSuccess && status != errSecItemNotFound) throw securityError(status);
}

void Keychain::removeAll() const {
    Object::Dict query = options_.query(true);
    query[kSecMatchLimit] = kSecMatchLimitAll;
    OSStatus status = SecItemDelete(query);
    if (status != errSecSuccess && status != errSecItemNotFound) throw securityError(status);
}

Status Keychain::securityError(int32_t status) {
    if (status == Status::userCanceled) return Status(Status::userCanceled);
    Status error = Status::fromStatus(status);
    consoleLine("OSStatus error:[" + std::to_string(error.errorCode()) + "] " + error.description());
    return error;
}

// ---- Listings and text forms: one fetch of every item's attributes, and the prettified
// dictionaries built from it ----

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
