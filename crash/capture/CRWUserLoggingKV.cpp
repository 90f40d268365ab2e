// Key-value stores: an incremental file that grows by one line per key set, and a compacted file
// rewritten from the merged view once every few dozen entries.
#include "crash/capture/CRWUserLogging.h"

#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWFileRead.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKFileLog.h"
#include "platform/foundation/OwnFiles.h"

#include <atomic>
#include <cerrno>
#include <iterator>
#include <string>
#include <sys/stat.h>

namespace {

// Entries of a key-value file, keyed by their key text; values are strings or the null object.
void applyEntries(plat::Object::Dict& view, const plat::Object::Array& entries, bool decodeHex,
                  bool incremental) {
    for (const plat::Object& entry : entries) {
        const plat::Object key = CRWUserLoggingGetComponent(entry, CRWUserLoggingKeyField, decodeHex);
        const plat::Object value = CRWUserLoggingGetComponent(entry, CRWUserLoggingValueField, decodeHex);
        if (!key.isString() || value.isAbsent() || (!incremental && !value.isString())) {
            if (incremental)
                CRWSDKLogErrorIn("CRWUserLoggingGetCompactedKVEntries",
                                 "incremental key/value contains a nil and must be dropped\n");
            else
                CRWSDKLogErrorIn("CRWUserLoggingGetCompactedKVEntries",
                                 "compacted key/value contains a nil and must be dropped\n");
            continue;
        }
        if (value.isNull())
            view.erase(key.string());
        else
            view[key.string()] = value;
    }
}

bool validStore(const CRWKVStorage* store) {
    return CRWIsValidPointer(store) && CRWIsValidPointer(store->incrementalPath) &&
           CRWIsValidPointer(store->compactedPath);
}

} // namespace

std::optional<std::string> CRWUserLoggingValueDescription(const plat::Object& value) {
    if (value.isAbsent() || value.isNull()) return std::nullopt;
    if (value.isString()) return value.string();
    return value.debugDescription();
}

void CRWUserLoggingRecordUserKeyValue(const std::string& key, const plat::Object& value) {
    if (!CRWContextIsInitialized()) return;
    CRWUserLoggingRecordKeyValue(key, value, &_crwContext.readonly->logging.userKVStorage,
                                 &_crwContext.writable->logging.userKVCount);
}

void CRWUserLoggingRecordUserKeysAndValues(const plat::Object::Dict& keysAndValues) {
    if (!CRWContextIsInitialized()) return;
    CRWUserLoggingRecordKeysAndValues(keysAndValues, &_crwContext.readonly->logging.userKVStorage,
                                      &_crwContext.writable->logging.userKVCount);
}

void CRWUserLoggingRecordInternalKeyValue(const std::string& key, const plat::Object& value) {
    if (!CRWContextIsInitialized()) return;
    CRWUserLoggingRecordKeyValue(key, value, &_crwContext.readonly->logging.internalKVStorage,
                                 &_crwContext.writable->logging.internalKVCount);
}

void CRWUserLoggingWriteInternalKeyValue(const std::string& key, const plat::Object& value) {
    if (!CRWContextIsInitialized()) return;
    plat::Object::Dict entries;
    std::optional<std::string> description = CRWUserLoggingValueDescription(value);
    entries[key] = description ? plat::Object(std::move(*description)) : plat::Object::null();
    CRWUserLoggingWriteKeysAndValues(entries, &_crwContext.readonly->logging.internalKVStorage,
                                     &_crwContext.writable->logging.internalKVCount, false);
}

void CRWUserLoggingRecordKeyValue(const std::string& key, const plat::Object& value,
                                  const CRWKVStorage* store, uint32_t* counter) {
    if (!CRWContextIsInitialized()) return;
    if (key.empty()) {
        CRWSDKLogWarn("User provided bad key\n");
        return;
    }
    plat::Object::Dict entries;
    entries[key] = value.isAbsent() ? plat::Object::null() : value;
    CRWUserLoggingRecordKeysAndValues(entries, store, counter);
}

void CRWUserLoggingRecordKeysAndValues(const plat::Object::Dict& keysAndValues, const CRWKVStorage* store,
                                       uint32_t* counter) {
    if (!CRWContextIsInitialized()) return;
    if (keysAndValues.empty()) {
        CRWSDKLogWarn("User provided empty key/value dictionary\n");
        return;
    }
    plat::Object::Dict copy;
    bool containsNull = false;
    for (const auto& [key, value] : keysAndValues) {
        if (key.empty()) {
            CRWSDKLogWarn("User provided bad key\n");
            return;
        }
        if (std::optional<std::string> description = CRWUserLoggingValueDescription(value)) {
            copy[key] = plat::Object(std::move(*description));
        } else {
            copy[key] = plat::Object::null();
            containsNull = true;
        }
    }
    CRWLoggingQueue().sync([&] { CRWUserLoggingWriteKeysAndValues(copy, store, counter, containsNull); });
}

void CRWUserLoggingWriteKeysAndValues(const plat::Object::Dict& keysAndValues, const CRWKVStorage* store,
                                      uint32_t* counter, bool forceCompaction) {
    if (!validStore(store) || !CRWIsValidPointer(counter)) {
        CRWSDKLogError("Bad parameters\n");
        return;
    }
    CRWFile file;
    if (!CRWFileInitWithPath(&file, store->incrementalPath, true)) {
        CRWSDKLogError("Unable to open k-v file\n");
        return;
    }
    CRWUserLoggingWriteKVEntriesToFile(keysAndValues, true, &file);
    CRWFileClose(&file);

    std::atomic_ref<uint32_t> count(*counter);
    const uint32_t total = count.fetch_add(static_cast<uint32_t>(keysAndValues.size())) +
                           static_cast<uint32_t>(keysAndValues.size());
    if (total >= store->compactionThreshold || forceCompaction) {
        CRWLoggingQueue().async([store, counter] {
            CRWUserLoggingCompactKVEntries(store);
            std::atomic_ref<uint32_t>(*counter).store(0);
        });
    }
}

plat::Object::Array CRWUserLoggingStoredKeyValues(const char* path) {
    if (!CRWContextIsInitialized()) return {};
    std::optional<plat::Object::Array> entries =
        CRWFileReadSections(path, true, [](const plat::Object& section) {
            const plat::Object& entry = section[CRWUserLoggingKVSection];
            return entry.isDict() ? entry : plat::Object();
        });
    return entries ? std::move(*entries) : plat::Object::Array{};
}

plat::Object CRWUserLoggingGetComponent(const plat::Object& entry, const char* component, bool decodeHex) {
    const plat::Object& value = entry[component];
    if (!value.isString() || !decodeHex) return value.isString() || value.isNull() ? value : plat::Object();
    std::optional<std::string> decoded = CRWFileHexDecodeString(value.string());
    return decoded ? plat::Object(std::move(*decoded)) : plat::Object();
}

plat::Object::Dict CRWUserLoggingCompactedView(const plat::Object::Array& compacted,
                                               const plat::Object::Array& incremental, bool decodeHex) {
    plat::Object::Dict view;
    applyEntries(view, compacted, decodeHex, false);
    applyEntries(view, incremental, decodeHex, true);
    return view;
}

std::optional<plat::Object::Dict> CRWUserLoggingGetCompactedKVEntries(const CRWKVStorage* store,
                                                                      bool decodeHex) {
    if (!validStore(store)) {
        CRWSDKLogError("storage invalid\n");
        return std::nullopt;
    }
    return CRWUserLoggingCompactedView(CRWUserLoggingStoredKeyValues(store->compactedPath),
                                       CRWUserLoggingStoredKeyValues(store->incrementalPath), decodeHex);
}

void CRWUserLoggingCompactKVEntries(const CRWKVStorage* store) {
    if (!validStore(store)) {
        CRWSDKLogError("Error: storage invalid\n");
        return;
    }
    std::optional<plat::Object::Dict> view = CRWUserLoggingGetCompactedKVEntries(store, false);
    if (!view) return;

    // The new file goes beside the old one and replaces it in one rename: a crash while it is being
    // written must not cost the keys that only the old compacted file holds.
    const std::string temporaryPath = std::string(store->compactedPath) + ".tmp";
    bool refused = false;
    if (!CRWUnlinkIfExists(temporaryPath.c_str(), &refused)) {
        CRWSDKLogWarn("Error: Unable to remove compacted KV store before compaction %s\n",
                      CRWErrnoName(errno));
        // Another user's file there is neither appended to nor moved over the store.
        if (refused) return;
    }
    CRWFile file;
    if (!CRWFileInitWithPath(&file, temporaryPath.c_str(), true)) {
        CRWSDKLogWarn("Error: Unable to open compacted k-v file\n");
        return;
    }
    if (view->size() > store->maxCount) {
        CRWSDKLogInfo("Truncating %d keys from KV set, which is above max %d\n",
                      static_cast<int32_t>(view->size() - store->maxCount),
                      static_cast<int32_t>(store->maxCount));
        auto keep = view->begin();
        std::advance(keep, store->maxCount);
        view->erase(keep, view->end());
    }
    CRWUserLoggingWriteKVEntriesToFile(*view, false, &file);
    // A compacted file that is not the user's own is not replaced.
    if (!CRWFileClose(&file) || plat::paths::renameOwn(temporaryPath, store->compactedPath)) {
        CRWSDKLogWarn("Error: Unable to open compacted k-v file\n");
        CRWUnlinkIfExists(temporaryPath.c_str());
        return;
    }
    if (!CRWUnlinkIfExists(store->incrementalPath))
        CRWSDKLogWarn("Error: Unable to remove incremental KV store after compaction %s\n",
                      CRWErrnoName(errno));
}

void CRWUserLoggingWriteKVEntriesToFile(const plat::Object::Dict& entries, bool hexEncode, CRWFile* file) {
    for (const auto& [key, value] : entries) {
        const char* valueText = value.isString() ? value.string().c_str() : nullptr;
        CRWFileWriteSectionStart(file, CRWUserLoggingKVSection);
        CRWFileWriteHashStart(file);
        if (hexEncode) {
            CRWFileWriteHashEntryHexEncodedString(file, CRWUserLoggingKeyField, key.c_str());
            CRWFileWriteHashEntryHexEncodedString(file, CRWUserLoggingValueField, valueText);
        } else {
            CRWFileWriteHashEntryString(file, CRWUserLoggingKeyField, key.c_str());
            CRWFileWriteHashEntryString(file, CRWUserLoggingValueField, valueText);
        }
        CRWFileWriteHashEnd(file);
        CRWFileWriteSectionEnd(file);
    }
}
