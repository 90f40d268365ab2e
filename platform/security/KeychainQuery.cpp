#include "platform/security/KeychainQuery.h"

#include "platform/security/SecAccessControl.h"

#include <cstring>
#include <map>
#include <string_view>

namespace plat {

namespace {

enum class Type { String, Data, Bool, Int, Accessibility, AccessControl, Date };

const std::map<std::string_view, Type>& attributeTypes() {
    static const auto* types = new std::map<std::string_view, Type>{
        {kSecAttrAccessible, Type::Accessibility},
        {kSecAttrAccessControl, Type::AccessControl},
        {kSecAttrAccessGroup, Type::String},
        {kSecAttrSynchronizable, Type::Bool},
        {kSecAttrCreationDate, Type::Date},
        {kSecAttrModificationDate, Type::Date},
        {kSecAttrDescription, Type::String},
        {kSecAttrComment, Type::String},
        {kSecAttrCreator, Type::String},
        {kSecAttrType, Type::String},
        {kSecAttrLabel, Type::String},
        {kSecAttrIsInvisible, Type::Bool},
        {kSecAttrIsNegative, Type::Bool},
        {kSecAttrAccount, Type::String},
        {kSecAttrService, Type::String},
        {kSecAttrGeneric, Type::Data},
        {kSecAttrSecurityDomain, Type::String},
        {kSecAttrServer, Type::String},
        {kSecAttrProtocol, Type::String},
        {kSecAttrAuthenticationType, Type::String},
        {kSecAttrPort, Type::Int},
        {kSecAttrPath, Type::String},
        {kSecAttrApplicationTag, Type::Data},
        {kSecAttrKeyType, Type::String},
        {kSecAttrKeyClass, Type::String},
    };
    return *types;
}

bool isClass(const Object& value) {
    return value.isString() &&
           (value.string() == kSecClassGenericPassword || value.string() == kSecClassInternetPassword ||
            value.string() == kSecClassKey);
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

bool isTrue(const Object& value) {
    return value.isNumber() && value.number().boolValue();
}

// Checks a value against its attribute type and returns its stored form (absent when invalid).
Object checked(Type type, const Object& value) {
    switch (type) {
    case Type::String:
        return value.isString() ? value : Object();
    case Type::Data:
        return value.isData() ? value : Object();
    case Type::Bool:
        return value.isNumber() ? Object(value.number().boolValue()) : Object();
    case Type::Int:
        return value.isNumber() && value.number().isInteger() && !value.number().isBool()
                   ? Object(value.number().int64Value())
                   : Object();
    case Type::Accessibility:
        return value.isString() && isSecAccessibilityValue(value.string()) ? value : Object();
    case Type::AccessControl:
        return secAccessControl(value) ? value : Object();
    case Type::Date:
        return value.isDate() ? value : Object();
    }
    return {};
}

constexpr const char kRefMagic[4] = {'V', 'K', 'P', 'R'};

} // namespace

OSStatus KeychainQuery::parse(const Object::Dict& query, KeychainQuery* out) {
    KeychainQuery q;
    auto cls = query.find(kSecClass);
    if (cls == query.end() || !isClass(cls->second)) return errSecParam;
    q.itemClass = cls->second.string();
    for (const auto& [key, value] : query) {
        if (key == kSecClass || startsWith(key, "kSecUse")) continue;
        if (key == kSecAttrSynchronizable) {
            if (value.isString() && value.string() == kSecAttrSynchronizableAny)
                q.sync = Sync::Any;
            else if (value.isNumber())
                q.sync = value.number().boolValue() ? Sync::SynchronizableOnly : Sync::NonSynchronizableOnly;
            else
                return errSecParam;
        } else if (key == kSecMatchLimit) {
            q.limitGiven = true;
            if (value.isString() && value.string() == kSecMatchLimitOne)
                q.limit = 1;
            else if (value.isString() && value.string() == kSecMatchLimitAll)
                q.limit = 0;
            else if (value.isNumber() && value.number().isInteger() && value.number().int64Value() >= 1)
                q.limit = static_cast<size_t>(value.number().int64Value());
            else
                return errSecParam;
        } else if (key == kSecReturnData)
            q.returnData = isTrue(value);
        else if (key == kSecReturnAttributes)
            q.returnAttributes = isTrue(value);
        else if (key == kSecReturnRef)
            q.returnRef = isTrue(value);
        else if (key == kSecReturnPersistentRef)
            q.returnPersistentRef = isTrue(value);
        else if (key == kSecValuePersistentRef) {
            q.reference = KeychainRules::decodeReference(value);
            if (!q.reference) return errSecParam;
        } else if (key == kSecValueRef) {
            if (!value.isData() || value.data().size() != 16) return errSecParam;
            std::array<uint8_t, 16> id{};
            std::memcpy(id.data(), value.data().data(), id.size());
            q.itemRef = id;
        } else if (key == kSecValueData || key == kSecAttrAccessControl) {
            // Neither is searchable; accepted so a dictionary built for an add can be reused.
        } else {
            auto type = attributeTypes().find(key);
            if (type == attributeTypes().end()) return errSecParam;
            Object v = checked(type->second, value);
            if (v.isAbsent()) return errSecParam;
            q.match[key] = std::move(v);
        }
    }
    *out = std::move(q);
    return errSecSuccess;
}

bool KeychainQuery::matches(const KeychainItem& item) const {
    const auto& attrs = item.attributes;
    const Object& cls = attrs.count(kSecClass) ? attrs.at(kSecClass) : Object();
    if (!cls.isString() || cls.string() != itemClass) return false;
    bool synced = isTrue(attrs.count(kSecAttrSynchronizable) ? attrs.at(kSecAttrSynchronizable) : Object());
    if (sync == Sync::NonSynchronizableOnly && synced) return false;
    if (sync == Sync::SynchronizableOnly && !synced) return false;
    if (reference && reference->id != item.id) return false;
    if (itemRef && *itemRef != item.id) return false;
    for (const auto& [key, value] : match) {
        auto it = attrs.find(key);
        if (it == attrs.end() || !(it->second == value)) return false;
    }
    return true;
}

Object KeychainQuery::resultFor(const KeychainItem& item) const {
    Data ref(item.id.begin(), item.id.end());
    Data persistent =
        KeychainRules::persistentReference(itemClass, KeychainRules::domainOf(item.attributes), item.id);
    const Object& data =
        item.attributes.count(kSecValueData) ? item.attributes.at(kSecValueData) : Object(Data());
    if (returnCount() == 1) {
        if (returnData) return data;
        if (returnRef) return Object(ref);
        if (returnPersistentRef) return Object(persistent);
    }
    Object::Dict result;
    if (returnAttributes) {
        result = item.attributes;
        result.erase(kSecValueData);
    }
    if (returnData) result[kSecValueData] = data;
    if (returnRef) result[kSecValueRef] = Object(ref);
    if (returnPersistentRef) result[kSecValuePersistentRef] = Object(persistent);
    return Object(std::move(result));
}

std::optional<std::string> KeychainQuery::domain() const {
    // Keys have no service: they all share one file.
    if (itemClass == kSecClassKey) return std::string();
    auto it = match.find(KeychainRules::domainKey(itemClass));
    if (it != match.end()) return it->second.string();
    return std::nullopt;
}

namespace KeychainRules {

const char* domainKey(const std::string& itemClass) {
    return itemClass == kSecClassInternetPassword ? kSecAttrServer : kSecAttrService;
}

std::string domainOf(const Object::Dict& attributes) {
    auto cls = attributes.find(kSecClass);
    if (cls == attributes.end() || !cls->second.isString()) return {};
    if (cls->second.string() == kSecClassKey) return {};
    auto it = attributes.find(domainKey(cls->second.string()));
    return it != attributes.end() && it->second.isString() ? it->second.string() : std::string();
}

OSStatus normalise(const Object::Dict& attributes, bool forAdd, Object::Dict* out) {
    Object::Dict result;
    for (const auto& [key, value] : attributes) {
        if (key == kSecClass) {
            if (!forAdd || !isClass(value)) return errSecParam;
            result[key] = value;
        } else if (key == kSecValueData) {
            if (!value.isData()) return errSecParam;
            result[key] = value;
        } else if (startsWith(key, "kSecUse") ||
                   (forAdd && (startsWith(key, "kSecReturn") || key == kSecMatchLimit))) {
            continue;
        } else if (key == kSecAttrCreationDate || key == kSecAttrModificationDate) {
            continue; // kept by the store itself
        } else {
            auto type = attributeTypes().find(key);
            if (type == attributeTypes().end()) return errSecParam;
            Object v = checked(type->second, value);
            if (v.isAbsent()) return errSecParam;
            result[key] = std::move(v);
        }
    }
    if (auto ac = result.find(kSecAttrAccessControl); ac != result.end()) {
        if (result.count(kSecAttrAccessible)) return errSecParam;
        result[kSecAttrAccessible] = Object(secAccessControl(ac->second)->protection);
    }
    if (forAdd) {
        if (!result.count(kSecClass)) return errSecParam;
        result.try_emplace(kSecAttrSynchronizable, Object(false));
        result.try_emplace(kSecAttrAccessible, Object(kSecAttrAccessibleWhenUnlocked));
        if (result.at(kSecClass).string() != kSecClassKey)
            result.try_emplace(domainKey(result.at(kSecClass).string()), Object(""));
    }
    *out = std::move(result);
    return errSecSuccess;
}

bool sameIdentity(const Object::Dict& a, const Object::Dict& b) {
    auto get = [](const Object::Dict& d, const char* key) -> const Object& {
        static const Object* absent = new Object();
        auto it = d.find(key);
        return it == d.end() ? *absent : it->second;
    };
    static const char* const generic[] = {kSecClass, kSecAttrAccessGroup, kSecAttrService, kSecAttrAccount,
                                          kSecAttrSynchronizable};
    static const char* const internet[] = {kSecClass,
                                           kSecAttrAccessGroup,
                                           kSecAttrServer,
                                           kSecAttrAccount,
                                           kSecAttrProtocol,
                                           kSecAttrAuthenticationType,
                                           kSecAttrPort,
                                           kSecAttrPath,
                                           kSecAttrSecurityDomain,
                                           kSecAttrSynchronizable};
    static const char* const keys[] = {kSecClass,       kSecAttrAccessGroup, kSecAttrApplicationTag,
                                       kSecAttrKeyType, kSecAttrKeyClass,    kSecAttrSynchronizable};
    if (!(get(a, kSecClass) == get(b, kSecClass))) return false;
    const std::string& itemClass = get(a, kSecClass).string();
    auto same = [&](const auto& primary) {
        for (const char* key : primary)
            if (!(get(a, key) == get(b, key))) return false;
        return true;
    };
    if (itemClass == kSecClassInternetPassword) return same(internet);
    if (itemClass == kSecClassKey) return same(keys);
    return same(generic);
}

Data persistentReference(const std::string& itemClass, const std::string& domain,
                         const std::array<uint8_t, 16>& id) {
    Data out(kRefMagic, kRefMagic + sizeof kRefMagic);
    out.push_back(itemClass == kSecClassInternetPassword ? 'i' : itemClass == kSecClassKey ? 'k' : 'g');
    out.insert(out.end(), id.begin(), id.end());
    out.insert(out.end(), domain.begin(), domain.end());
    return out;
}

std::optional<KeychainReference> decodeReference(const Object& value) {
    if (!value.isData()) return std::nullopt;
    const Data& d = value.data();
    if (d.size() < 21 || std::memcmp(d.data(), kRefMagic, sizeof kRefMagic) != 0) return std::nullopt;
    KeychainReference ref;
    if (d[4] == 'g')
        ref.itemClass = kSecClassGenericPassword;
    else if (d[4] == 'i')
        ref.itemClass = kSecClassInternetPassword;
    else if (d[4] == 'k')
        ref.itemClass = kSecClassKey;
    else
        return std::nullopt;
    std::memcpy(ref.id.data(), d.data() + 5, ref.id.size());
    ref.domain.assign(d.begin() + 21, d.end());
    return ref;
}

} // namespace KeychainRules
} // namespace plat
