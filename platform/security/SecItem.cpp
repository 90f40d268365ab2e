#include "platform/security/SecItem.h"

#include "platform/security/KeychainStore.h"

namespace plat {

OSStatus SecItemCopyMatching(const Object::Dict& query, Object* result) {
    return KeychainStore::shared().copyMatching(query, result);
}

OSStatus SecItemAdd(const Object::Dict& attributes, Object* result) {
    return KeychainStore::shared().add(attributes, result);
}

OSStatus SecItemUpdate(const Object::Dict& query, const Object::Dict& attributesToUpdate) {
    return KeychainStore::shared().update(query, attributesToUpdate);
}

OSStatus SecItemDelete(const Object::Dict& query) {
    return KeychainStore::shared().remove(query);
}

} // namespace plat
