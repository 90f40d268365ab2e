#include "crash/report/CRWUserDefaults.h"

#include "crash/record/CRWApplication.h"
#include "crash/record/CRWSharedLog.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"

#include <atomic>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kFileName = "CRWUserDefaults.plist";
// The store holds a handful of short values; a larger file is not ours.
constexpr uint64_t kMaxFileSize = 4u << 20;

struct Standard {
    std::mutex mutex;
    CRWUserDefaults* instance = nullptr;
    // Instances a test hook replaced: kept, since a test may still hold a reference to one.
    std::vector<CRWUserDefaults*> retired;
};

Standard& standard() {
    static Standard* shared = new Standard;
    return *shared;
}

} // namespace

CRWUserDefaults& CRWUserDefaults::standardUserDefaults() {
    Standard& shared = standard();
    std::lock_guard lock(shared.mutex);
    // Never destroyed: other singletons may still use it while the process exits.
    if (!shared.instance) shared.instance = new CRWUserDefaults(defaultDirectory());
    return *shared.instance;
}

void CRWUserDefaults::resetStandardUserDefaultsForTesting() {
    std::lock_guard lock(standard().mutex);
    if (standard().instance) standard().retired.push_back(standard().instance);
    standard().instance = nullptr;
}

fs::path CRWUserDefaults::defaultDirectory() {
    fs::path directory = plat::paths::applicationSupportDir();
    const std::string bundleIdentifier = CRWApplicationGetBundleIdentifier();
    if (!bundleIdentifier.empty()) directory /= bundleIdentifier;
    return directory / "com.crashwatch";
}

CRWUserDefaults::CRWUserDefaults(fs::path directory)
    : directoryURL_(std::move(directory)), fileURL_(directoryURL_ / kFileName),
      serialDictionaryQueue_(plat::DispatchQueue::serial("com.crashwatch.CRWUserDefaults.access")),
      synchronizationQueue_(plat::DispatchQueue::serial("com.crashwatch.CRWUserDefaults.io")) {
    serialDictionaryQueue_.sync([this] { load(); });
}

void CRWUserDefaults::load() {
    plat::Object::Dict loaded;
    synchronizationQueue_.sync([this, &loaded] {
        const std::optional<struct stat> status = plat::paths::entryStatus(fileURL_);
        if (status && S_ISDIR(status->st_mode) && status->st_uid == ::geteuid()) {
            CRWErrorLog("Found directory where file expected. Removing conflicting directory");
            if (auto failure = plat::paths::removeOwn(fileURL_, true))
                CRWErrorLog("Error removing conflicting directory: %@", failure->text);
            return;
        }
        // An interrupted write leaves a temporary file beside the store.
        plat::paths::removeStaleTemporaryFiles(directoryURL_, kFileName);
        // Another user's file or folder, a link or a socket: neither read nor, later, replaced.
        if ((refusal_ = plat::paths::refusalOf(fileURL_))) {
            CRWErrorLog("%@; leaving it aside", *refusal_);
            return;
        }
        if (!status) return;
        plat::Error readError;
        const std::optional<plat::Data> bytes = plat::AtomicFile::read(fileURL_, &readError, kMaxFileSize);
        plat::Object root;
        if (bytes) root = plat::PropertyList::fromBytes(plat::toString(*bytes), &readError);
        if (root.isDict()) {
            loaded = root.dict();
            return;
        }
        CRWErrorLog("Failed to read existing UserDefaults file");
        // Kept for inspection rather than overwritten by the next write.
        plat::paths::moveAside(fileURL_);
    });
    persistedDataDictionary_ = loaded;
    dataDictionary_ = std::move(loaded);
}

plat::Object CRWUserDefaults::objectForKey(const std::string& key) const {
    plat::Object value;
    serialDictionaryQueue_.sync([&] {
        auto found = dataDictionary_.find(key);
        if (found != dataDictionary_.end()) value = found->second;
    });
    return value;
}

std::optional<std::string> CRWUserDefaults::stringForKey(const std::string& key) const {
    const plat::Object value = objectForKey(key);
    if (!value.isString()) return std::nullopt;
    return value.string();
}

bool CRWUserDefaults::boolForKey(const std::string& key) const {
    const plat::Object value = objectForKey(key);
    return value.isNumber() && value.number().boolValue();
}

int64_t CRWUserDefaults::integerForKey(const std::string& key) const {
    const plat::Object value = objectForKey(key);
    return value.isNumber() ? value.number().int64Value() : 0;
}

void CRWUserDefaults::setObject(const plat::Object& value, const std::string& key) {
    if (value.isAbsent() || value.isNull()) {
        removeObjectForKey(key);
        return;
    }
    std::string reason;
    if (!plat::PropertyList::isValidText(key) || !plat::PropertyList::isValid(value, &reason)) {
        CRWErrorLog("Refusing a value a property list cannot hold for key %@: %@", key, reason);
        return;
    }
    serialDictionaryQueue_.sync([&] { dataDictionary_[key] = value; });
}

void CRWUserDefaults::setString(const std::optional<std::string>& value, const std::string& key) {
    setObject(value ? plat::Object(*value) : plat::Object(), key);
}

void CRWUserDefaults::setBool(bool value, const std::string& key) {
    setObject(plat::Object(value), key);
}

void CRWUserDefaults::setInteger(int64_t value, const std::string& key) {
    setObject(plat::Object(value), key);
}

void CRWUserDefaults::removeObjectForKey(const std::string& key) {
    serialDictionaryQueue_.sync([&] {
        auto found = dataDictionary_.find(key);
        if (found != dataDictionary_.end()) dataDictionary_.erase(found);
    });
}

void CRWUserDefaults::removeAllObjects() {
    serialDictionaryQueue_.sync([&] { dataDictionary_.clear(); });
}

plat::Object::Dict CRWUserDefaults::dictionaryRepresentation() const {
    plat::Object::Dict copy;
    serialDictionaryQueue_.sync([&] { copy = dataDictionary_; });
    return copy;
}

void CRWUserDefaults::migrateFromNSUserDefaults(const std::vector<std::string>& keys) {
    plat::UserDefaults& standard = plat::UserDefaults::standard();
    bool moved = false;
    for (const std::string& key : keys) {
        const plat::Object value = standard.object(key);
        if (value.isAbsent()) continue;
        setObject(value, key);
        moved = true;
    }
    if (!moved) return;
    synchronize();
    // Removed there only once this store holds them on disk.
    if (!synchronizeWroteToDisk()) return;
    for (const std::string& key : keys)
        if (!objectForKey(key).isAbsent()) standard.remove(key);
}

plat::Object CRWUserDefaults::objectForKeyByMigratingFromNSUserDefaults(const std::string& key) {
    plat::Object value = objectForKey(key);
    if (!value.isAbsent()) return value;
    migrateFromNSUserDefaults({key});
    return objectForKey(key);
}

bool CRWUserDefaults::synchronizeWroteToDisk() const {
    bool wrote = false;
    serialDictionaryQueue_.sync([&] { wrote = synchronizeWroteToDisk_; });
    return wrote;
}

bool CRWUserDefaults::write(const plat::Object::Dict& dictionary) const {
    if (!plat::paths::entryStatus(directoryURL_)) {
        if (auto failure = plat::AtomicFile::createDirectories(directoryURL_)) {
            CRWErrorLog("Failed to create directory with error: %@", failure->localizedDescription());
            return false;
        }
    }
    const std::optional<std::string> bytes = plat::PropertyList::toXML(plat::Object(dictionary));
    if (!bytes || plat::AtomicFile::write(fileURL_, *bytes, plat::AtomicFile::Options{})) {
        CRWErrorLog("Unable to open file for writing at path %@", fileURL_.string());
        return false;
    }
    return true;
}

void CRWUserDefaults::synchronize() {
    bool changed = false;
    plat::Object::Dict snapshot;
    serialDictionaryQueue_.sync([&] {
        changed = dataDictionary_ != persistedDataDictionary_;
        if (changed) snapshot = dataDictionary_;
        synchronizeWroteToDisk_ = false;
    });
    if (!changed) return;
    bool written = false;
    synchronizationQueue_.sync([&] { written = write(snapshot); });
    if (!written) return;
    // What was written, not the working dictionary of this moment: a change made meanwhile by
    // another thread is not on disk yet and must still count as a change.
    serialDictionaryQueue_.sync([&] {
        persistedDataDictionary_ = std::move(snapshot);
        synchronizeWroteToDisk_ = true;
    });
}
