// The rules of the keychain item calls, apart from storage: which keys a query or an attribute
// dictionary may hold and with which types, which items a query matches, the identity that makes
// two items duplicates, and the shape of what a search returns.
#pragma once

#include "platform/security/KeychainFile.h"
#include "platform/security/SecItem.h"

#include <optional>
#include <string>

namespace plat {

// A persistent reference decoded: the item's class, service (or server) and identity.
struct KeychainReference {
    std::string itemClass;
    std::string domain; // the service of a generic password, the server of an internet password
    std::array<uint8_t, 16> id{};
};

// A search query, checked and taken apart.
struct KeychainQuery {
    enum class Sync { NonSynchronizableOnly, SynchronizableOnly, Any };

    std::string itemClass;
    Object::Dict match; // attributes an item must carry with equal values
    Sync sync = Sync::NonSynchronizableOnly;
    size_t limit = 1; // 0 means all
    bool limitGiven = false;
    bool returnData = false, returnAttributes = false, returnRef = false, returnPersistentRef = false;
    std::optional<KeychainReference> reference;     // from kSecValuePersistentRef
    std::optional<std::array<uint8_t, 16>> itemRef; // from kSecValueRef

    // Parses a query. errSecParam for a missing or unknown class, an unknown key, or a value of
    // the wrong type.
    static OSStatus parse(const Object::Dict& query, KeychainQuery* out);

    bool matches(const KeychainItem& item) const;
    int returnCount() const { return returnData + returnAttributes + returnRef + returnPersistentRef; }
    // The value this query returns for one item (see SecItemCopyMatching).
    Object resultFor(const KeychainItem& item) const;
    // The service or server the query is confined to, when it names one (a reference does not:
    // its item may have moved).
    std::optional<std::string> domain() const;
};

namespace KeychainRules {

// The attribute holding the store domain of a class: kSecAttrService or kSecAttrServer.
const char* domainKey(const std::string& itemClass);
// The item's store domain ("" when it carries none).
std::string domainOf(const Object::Dict& attributes);

// Checks the attributes of an add (`forAdd`) or the changes of an update and returns them in
// stored form: booleans normalised, use and return keys dropped, the accessibility taken from an
// access-control object. errSecParam on any unknown key or wrong type.
OSStatus normalise(const Object::Dict& attributes, bool forAdd, Object::Dict* out);

// True when two items would be the same item (same class and primary attributes).
bool sameIdentity(const Object::Dict& a, const Object::Dict& b);

Data persistentReference(const std::string& itemClass, const std::string& domain,
                         const std::array<uint8_t, 16>& id);
std::optional<KeychainReference> decodeReference(const Object& value);

} // namespace KeychainRules
} // namespace plat
