// The flat-file storage's operations as promises, each settled on the storage queue.
#include "transport/TTRFlatFileStorage.h"

#include "transport/TTRPlatform.h"
#include "transport/TTRStorageMetadata.h"
#include "transport/TTRUploadBatch.h"

#include "platform/foundation/AtomicFile.h"

namespace fs = std::filesystem;

TPRPromise::Ptr TTRFlatFileStorage::batchWithEventSelector(const TTRStorageEventSelector& selector,
                                                           plat::Date batchExpiration) {
    TPRPromise::Ptr promise = TPRPromise::pendingPromise();
    batchWithEventSelector(selector, batchExpiration,
                           [promise](std::optional<int64_t> batchID, std::optional<TTREvents> events) {
                               if (batchID && events)
                                   promise->fulfill(TTRUploadBatch::asObject(
                                       TTRUploadBatch::initWithBatchID(*batchID, std::move(*events))));
                               else
                                   promise->reject(genericRejectedPromiseErrorWithReason(
                                       "There are no events for the selector."));
                           });
    return promise;
}

TPRPromise::Ptr TTRFlatFileStorage::batchIDsForTarget(int64_t target) {
    TPRPromise::Ptr promise = TPRPromise::pendingPromise();
    batchIDsForTarget(target, [promise](std::optional<std::set<int64_t>> ids) {
        if (!ids) return promise->fulfill(plat::Object());
        plat::Object::Array numbers;
        for (int64_t id : *ids)
            numbers.emplace_back(id);
        promise->fulfill(plat::Object(std::move(numbers)));
    });
    return promise;
}

TPRPromise::Ptr TTRFlatFileStorage::removeBatchWithID(int64_t batchID, bool deleteEvents) {
    TPRPromise::Ptr promise = TPRPromise::pendingPromise();
    removeBatchWithID(batchID, deleteEvents, [promise] { promise->fulfill(plat::Object()); });
    return promise;
}

TPRPromise::Ptr TTRFlatFileStorage::removeBatchesWithIDs(const std::vector<int64_t>& batchIDs,
                                                         bool deleteEvents) {
    std::vector<TPRValue> removals;
    for (int64_t id : batchIDs)
        removals.emplace_back(removeBatchWithID(id, deleteEvents));
    return TPRPromise::all(storageQueue_, std::move(removals))->then(storageQueue_, [](const plat::Object&) {
        return TPRValue(plat::Object::null());
    });
}

TPRPromise::Ptr TTRFlatFileStorage::removeAllBatchesForTarget(int64_t target, bool deleteEvents) {
    std::weak_ptr<TTRFlatFileStorage> weak = weak_from_this();
    return batchIDsForTarget(target)->then(
        storageQueue_, [weak, deleteEvents](const plat::Object& ids) -> TPRValue {
            auto self = weak.lock();
            if (!self || !ids.isArray() || ids.array().empty()) return TPRValue(plat::Object::null());
            std::vector<int64_t> batchIDs;
            for (const plat::Object& id : ids.array())
                batchIDs.push_back(id.number().int64Value());
            return TPRValue(self->removeBatchesWithIDs(batchIDs, deleteEvents));
        });
}

TPRPromise::Ptr TTRFlatFileStorage::hasEventsForTarget(int64_t target) {
    TPRPromise::Ptr promise = TPRPromise::pendingPromise();
    hasEventsForTarget(target, [promise](bool hasEvents) { promise->fulfill(plat::Object(hasEvents)); });
    return promise;
}

TPRPromise::Ptr TTRFlatFileStorage::fetchStorageMetadata() {
    TPRPromise::Ptr promise = TPRPromise::pendingPromise();
    storageSizeWithCallback([promise](uint64_t size) {
        promise->fulfill(TTRStorageMetadata::asObject(
            TTRStorageMetadata::metadataWithCurrentCacheSize(size, kTTRFlatFileStorageSizeLimit)));
    });
    return promise;
}

TPRPromise::Ptr
TTRFlatFileStorage::fetchAndUpdateMetricsWithHandler(const plat::SecureCodingClass& metadataClass,
                                                     TTRMetricsUpdateHandler handler) {
    TPRPromise::Ptr promise = TPRPromise::pendingPromise();
    std::weak_ptr<TTRFlatFileStorage> weak = weak_from_this();
    storageQueue_.async([weak, promise, metadataClass, handler] {
        auto self = weak.lock();
        if (!self) return promise->fulfill(plat::Object());
        fs::path path = self->libraryDataPathForKey(kTTRMetricsMetadataKey);
        plat::Error readError;
        std::optional<plat::Data> stored = plat::AtomicFile::read(path, &readError, kTTRMaxArchiveSize);
        std::shared_ptr<plat::SecureCoding> metadata;
        if (stored) metadata = TTRDecodeArchive(metadataClass, *stored, &readError);
        std::shared_ptr<const plat::SecureCoding> updated =
            handler ? handler(metadata, metadata ? std::nullopt : std::optional<plat::Error>(readError))
                    : nullptr;
        if (!updated || updated == metadata) return promise->fulfill(plat::Object());
        plat::Error error;
        std::optional<plat::Data> archive = TTREncodeArchive(*updated, fs::path(), &error);
        if (!archive) return promise->reject(error);
        // An equal value archives to the same bytes: nothing to write.
        if (stored && metadata && *stored == *archive) return promise->fulfill(plat::Object());
        if (!TTRWriteDataToFile(*archive, path, &error)) return promise->reject(error);
        self->sizeTracker_.fileWasRemovedAtPath(path, stored ? stored->size() : 0);
        self->sizeTracker_.fileWasAddedAtPath(path, archive->size());
        promise->fulfill(plat::Object());
    });
    return promise;
}
