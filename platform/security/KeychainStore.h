// The keychain item store behind the SecItem calls: one file per service (per server for internet
// passwords) in the keychain folder (0700, files 0600), each rewritten whole to a temporary name
// and renamed. A mutex orders threads and an flock on the folder's lock file orders processes, so
// concurrent writers never lose each other's items. A file that does not decode answers
// errSecDecode and is left untouched for inspection; one that is not this user's own, that others
// may write, or a link answers errSecIO, unread and untouched (paths::readOwnFile).
#pragma once

#include "platform/security/SecItem.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>

namespace plat {

enum class KeychainOperation { Any, CopyMatching, Add, Update, Delete };

class KeychainStore {
public:
    // The store the SecItem calls use, over paths::keychainDir() (read on every call, so tests can
    // switch $VELMORA_HOME). Never destroyed.
    static KeychainStore& shared();

    // A store over the folder that `folder` names at each call.
    explicit KeychainStore(std::function<std::filesystem::path()> folder);

    OSStatus copyMatching(const Object::Dict& query, Object* result);
    OSStatus add(const Object::Dict& attributes, Object* result);
    OSStatus update(const Object::Dict& query, const Object::Dict& attributesToUpdate);
    OSStatus remove(const Object::Dict& query);
    // Why a store file in the folder may not be used (the first by name): another user's, one
    // that others may write, or a link. None when every one may. Changes nothing.
    std::optional<std::string> refusal();

    // Test hooks. `failNext` queues a status that the next call of the given kind (any kind for
    // Any) answers without touching the files. `setObserver` sees every call with its dictionaries
    // before it runs (the second is null except for updates and adds).
    void failNext(OSStatus status, KeychainOperation operation = KeychainOperation::Any);
    void clearFaults();
    using Observer =
        std::function<void(KeychainOperation, const Object::Dict& query, const Object::Dict* attributes)>;
    void setObserver(Observer observer);

    // The store file that holds items of this class and service (or server).
    std::filesystem::path fileFor(const std::string& itemClass, const std::string& domain) const;

private:
    class Session;
    std::optional<OSStatus> intercept(KeychainOperation op, const Object::Dict& query,
                                      const Object::Dict* attributes);
    OSStatus run(bool write, const std::function<OSStatus(Session&)>& body);

    std::function<std::filesystem::path()> folder_;
    std::mutex mutex_;     // serialises operations of this process
    std::set<std::filesystem::path> openedFolders_; // swept of stale temporary files; under mutex_
    std::mutex hookMutex_; // guards the hooks; never held while the files are used
    std::deque<std::pair<KeychainOperation, OSStatus>> faults_;
    Observer observer_;
};

} // namespace plat
