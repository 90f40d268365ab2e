#include "utilities/TULKeychainStorage.h"

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/security/SecItem.h"
#include "utilities/TULKeychainUtils.h"

TULKeychainStorage::TULKeychainStorage(const std::string& service)
    : TULKeychainStorage(service, std::make_shared<Cache>(5)) {}

TULKeychainStorage::TULKeychainStorage(const std::string& service, std::shared_ptr<Cache> cache)
    : keychainQueue_(plat::DispatchQueue::serial("com.tul.KeychainStorage.Keychain")),
      inMemoryCacheQueue_(plat::DispatchQueue::serial("com.tul.KeychainStorage.InMemoryCache")),
      service_(service), inMemoryCache_(std::move(cache)),
      generations_(std::make_shared<std::map<std::string, uint64_t>>()) {}

plat::Object::Dict
TULKeychainStorage::keychainQueryWithKey(const std::string& key,
                                         const std::optional<std::string>& accessGroup) const {
    plat::Object::Dict query{{plat::kSecClass, plat::Object(plat::kSecClassGenericPassword)},
                             {plat::kSecAttrService, plat::Object(service_)},
                             {plat::kSecAttrAccount, plat::Object(key)},
                             {kSecUseDataProtectionKeychain, plat::Object(true)}};
    if (accessGroup) query[plat::kSecAttrAccessGroup] = plat::Object(*accessGroup);
    return query;
}

// The queued blocks capture the queues, cache and query by value rather than `this`, so work still
// queued when the storage goes away runs safely to its end.

void TULKeychainStorage::getObjectForKey(const std::string& key, const plat::SecureCodingClass& objectClass,
                                         const std::optional<std::string>& accessGroup,
                                         ObjectHandler completionHandler) {
    auto query = keychainQueryWithKey(key, accessGroup);
    inMemoryCacheQueue_.async([cache = inMemoryCache_, cacheQueue = inMemoryCacheQueue_,
                               keychainQueue = keychainQueue_, generations = generations_, key, query,
                               objectClass, handler = std::move(completionHandler)] {
        if (auto cached = cache->objectForKey(key)) {
            // The cache holds whatever was last set; a caller that expects another class must get
            // the unarchiver's refusal, not an object it would take for the wrong type.
            if (*cached && (*cached)->className() != objectClass.name) {
                handler(nullptr, plat::KeyedUnarchiver::unexpectedClassError("root", (*cached)->className(),
                                                                             objectClass.name));
                return;
            }
            handler(*cached, std::nullopt);
            return;
        }
        const uint64_t generation = (*generations)[key];
        keychainQueue.async([cache, cacheQueue, generations, generation, key, query, objectClass, handler] {
            std::optional<plat::Error> error;
            std::optional<plat::Data> data = TULKeychainUtils::getItemWithQuery(query, &error);
            if (error) {
                handler(nullptr, error);
                return;
            }
            if (!data) {
                handler(nullptr, std::nullopt);
                return;
            }
            plat::Error archiveError;
            Object object = plat::KeyedUnarchiver::unarchivedObjectOfClass(objectClass, *data, &archiveError);
            if (!object) {
                handler(nullptr, archiveError);
                return;
            }
            cacheQueue.async([cache, generations, generation, key, object, handler] {
                // A write or remove of the key issued after this read missed the cache is newer
                // than what was read; caching the read would bring the old object back.
                if ((*generations)[key] == generation) cache->setObject(object, key);
                handler(object, std::nullopt);
            });
        });
    });
}

void TULKeychainStorage::setObject(Object object, const std::string& key,
                                   const std::optional<std::string>& accessGroup,
                                   ObjectHandler completionHandler) {
    auto query = keychainQueryWithKey(key, accessGroup);
    inMemoryCacheQueue_.async([cache = inMemoryCache_, cacheQueue = inMemoryCacheQueue_,
                               keychainQueue = keychainQueue_, generations = generations_, key, query, object,
                               handler = std::move(completionHandler)] {
        ++(*generations)[key];
        cache->setObject(object, key);
        keychainQueue.async([cache, cacheQueue, key, query, object, handler] {
            // An object that never reached the keychain must not keep answering reads; a newer
            // object set meanwhile stays. The eviction is done before the handler runs.
            auto evict = [&] { cacheQueue.sync([&] { cache->removeObjectForKeyIfEqual(key, object); }); };
            plat::Error archiveError;
            std::optional<plat::Data> data =
                object ? plat::KeyedArchiver::archivedDataWithRootObject(*object, true, &archiveError)
                       : std::nullopt;
            if (!data) {
                if (!object)
                    archiveError = plat::Error::withMessage(plat::KeyedArchiver::kErrorDomain,
                                                            plat::KeyedArchiver::kInvalidValueError,
                                                            "No object to archive.");
                evict();
                handler(nullptr, archiveError);
                return;
            }
            std::optional<plat::Error> error;
            if (!TULKeychainUtils::setItem(*data, query, &error)) {
                evict();
                handler(nullptr, error);
                return;
            }
            handler(object, std::nullopt);
        });
    });
}

void TULKeychainStorage::removeObjectForKey(const std::string& key,
                                            const std::optional<std::string>& accessGroup,
                                            ErrorHandler completionHandler) {
    auto query = keychainQueryWithKey(key, accessGroup);
    inMemoryCacheQueue_.async([cache = inMemoryCache_, keychainQueue = keychainQueue_,
                               generations = generations_, key, query,
                               handler = std::move(completionHandler)] {
        ++(*generations)[key];
        cache->removeObjectForKey(key);
        keychainQueue.async([query, handler] {
            std::optional<plat::Error> error;
            TULKeychainUtils::removeItemWithQuery(query, &error);
            handler(error);
        });
    });
}

void TULKeychainStorage::resetInMemoryCache() {
    inMemoryCache_->removeAllObjects();
}
