// Archived objects kept as generic-password items of one keychain service, with an in-memory cache
// in front. All keychain calls run on one private serial queue and all cache work on another;
// every operation reports through its handler on those queues, never on the caller's thread. A
// read issued after a write or remove on the same storage sees it.
#pragma once

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/LRUCache.h"
#include "platform/foundation/SecureCoding.h"
#include "platform/object/Error.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class TULKeychainStorage {
public:
    using Object = std::shared_ptr<const plat::SecureCoding>;
    using Cache = plat::LRUCache<std::string, Object>;
    using ObjectHandler = std::function<void(Object object, std::optional<plat::Error> error)>;
    using ErrorHandler = std::function<void(std::optional<plat::Error> error)>;

    // A cache of at most 5 objects.
    explicit TULKeychainStorage(const std::string& service);
    TULKeychainStorage(const std::string& service, std::shared_ptr<Cache> cache);

    // The cached object, else the item unarchived as `objectClass` (and then cached). No item ends
    // with neither object nor error; an item of another class ends with the unarchiver's error.
    void getObjectForKey(const std::string& key, const plat::SecureCodingClass& objectClass,
                         const std::optional<std::string>& accessGroup, ObjectHandler completionHandler);
    // Caches the object at once, then archives and stores it. A failed archive or keychain write
    // takes the unsaved object out of the cache again (unless a newer one replaced it) before the
    // handler hears of the error.
    void setObject(Object object, const std::string& key, const std::optional<std::string>& accessGroup,
                   ObjectHandler completionHandler);
    // Forgets the cached object, then deletes the item; a missing item is no error.
    void removeObjectForKey(const std::string& key, const std::optional<std::string>& accessGroup,
                            ErrorHandler completionHandler);
    // Empties the cache on the caller's thread.
    void resetInMemoryCache();

    // The item query for a key: generic password, this service, the key as account, the access
    // group when given, and the data-protection keychain.
    plat::Object::Dict keychainQueryWithKey(const std::string& key,
                                            const std::optional<std::string>& accessGroup) const;

    const std::string& service() const { return service_; }
    const plat::DispatchQueue& keychainQueue() const { return keychainQueue_; }
    const plat::DispatchQueue& inMemoryCacheQueue() const { return inMemoryCacheQueue_; }
    const std::shared_ptr<Cache>& inMemoryCache() const { return inMemoryCache_; }

private:
    plat::DispatchQueue keychainQueue_;
    plat::DispatchQueue inMemoryCacheQueue_;
    std::string service_;
    std::shared_ptr<Cache> inMemoryCache_;
    // Per key, how many writes and removes were issued; touched only on the cache queue. A keychain
    // read caches its result only when no write or remove of the key came after it.
    std::shared_ptr<std::map<std::string, uint64_t>> generations_;
};
