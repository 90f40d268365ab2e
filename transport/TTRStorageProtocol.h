// The contracts of the transport's event storage: the delegate that hears of lost events, the
// completion-block operations (TTRStorageProtocol) and their promise twins
// (TTRStoragePromiseProtocol). Every operation runs on the storage's own serial queue and calls its
// block, or settles its promise, there: a block must never wait synchronously for another storage
// operation.
#pragma once

#include "transport/TTREvent.h"
#include "transport/TTRLifecycleProtocol.h"
#include "transport/TTRStorageEventSelector.h"

#include "platform/foundation/SecureCoding.h"
#include "platform/object/Error.h"
#include "promises/TPRPromise.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class TTRStorageProtocol;

// Hears of events that the storage gave up: refused for lack of space, or deleted unsent because
// they expired. Called on the storage queue.
class TTRStorageDelegate {
public:
    virtual ~TTRStorageDelegate() = default;
    // An event refused because the size limit was reached.
    virtual void storage(TTRStorageProtocol& storage, const std::shared_ptr<TTREvent>& droppedEvent) = 0;
    // The events one expiration sweep deleted (never empty).
    virtual void storage(TTRStorageProtocol& storage, const TTREvents& removedExpiredEvents) = 0;
};

// Whether an event was written, and why not.
using TTRStoreCompletion = std::function<void(bool wasWritten, const std::optional<plat::Error>& error)>;
using TTRBatchCompletion =
    std::function<void(std::optional<int64_t> batchID, std::optional<TTREvents> events)>;
using TTRBatchIDsCompletion = std::function<void(std::optional<std::set<int64_t>> batchIDs)>;
using TTRLibraryDataFetch =
    std::function<void(const std::optional<plat::Data>& data, const std::optional<plat::Error>& error)>;
using TTRLibraryDataNewValue = std::function<std::optional<plat::Data>()>;
using TTRErrorCompletion = std::function<void(const std::optional<plat::Error>& error)>;

class TTRStorageProtocol : public TTRLifecycleProtocol {
public:
    // Writes the event as one file of its target; the completion says whether it was written.
    virtual void storeEvent(std::shared_ptr<TTREvent> event, TTRStoreCompletion onComplete) = 0;
    // Whether anything is stored for the target.
    virtual void hasEventsForTarget(int64_t target, std::function<void(bool hasEvents)> onComplete) = 0;
    // Deletes expired events and returns the events of expired batches to the store.
    virtual void checkForExpirations() = 0;
    // The bytes the storage uses.
    virtual void storageSizeWithCallback(std::function<void(uint64_t bytes)> onComplete) = 0;

    // Moves the selected events into a new batch; (none, none) when no event was selected.
    virtual void batchWithEventSelector(const TTRStorageEventSelector& selector, plat::Date batchExpiration,
                                        TTRBatchCompletion onComplete) = 0;
    // Removes a batch, deleting its events or returning them to the store.
    virtual void removeBatchWithID(int64_t batchID, bool deleteEvents, std::function<void()> onComplete) = 0;
    // The ids of the target's batches; none when there are no batches at all.
    virtual void batchIDsForTarget(int64_t target, TTRBatchIDsCompletion onComplete) = 0;

    // Reads a library-data value, then stores what `setNewValue` answers (nothing when it answers
    // none or empty bytes), as one step.
    virtual void libraryDataForKey(const std::string& key, TTRLibraryDataFetch onFetchComplete,
                                   TTRLibraryDataNewValue setNewValue) = 0;
    virtual void storeLibraryData(const plat::Data& data, const std::string& key,
                                  TTRErrorCompletion onComplete) = 0;
    virtual void removeLibraryDataForKey(const std::string& key, TTRErrorCompletion onComplete) = 0;

    // The object told of lost events; held weakly.
    virtual std::shared_ptr<TTRStorageDelegate> delegate() const = 0;
    virtual void setDelegate(const std::shared_ptr<TTRStorageDelegate>& delegate) = 0;
};

// What the metrics controller hands to fetchAndUpdateMetricsWithHandler: the stored object (null
// when missing or unreadable, with the error), answering the object to store (null, or the same
// object: store nothing).
using TTRMetricsUpdateHandler = std::function<std::shared_ptr<const plat::SecureCoding>(
    const std::shared_ptr<plat::SecureCoding>& stored, const std::optional<plat::Error>& error)>;

// The same storage as promises, which settle on the storage queue.
class TTRStoragePromiseProtocol : public TTRStorageProtocol {
public:
    using TTRStorageProtocol::batchIDsForTarget;
    using TTRStorageProtocol::batchWithEventSelector;
    using TTRStorageProtocol::hasEventsForTarget;
    using TTRStorageProtocol::removeBatchWithID;

    // Fulfils with a TTRUploadBatch object; rejects with "There are no events for the selector."
    virtual TPRPromise::Ptr batchWithEventSelector(const TTRStorageEventSelector& selector,
                                                   plat::Date batchExpiration) = 0;
    // Fulfils with an array of batch-id numbers, or absent when there are no batches.
    virtual TPRPromise::Ptr batchIDsForTarget(int64_t target) = 0;
    // Fulfil with none once done; never reject.
    virtual TPRPromise::Ptr removeBatchWithID(int64_t batchID, bool deleteEvents) = 0;
    virtual TPRPromise::Ptr removeBatchesWithIDs(const std::vector<int64_t>& batchIDs, bool deleteEvents) = 0;
    virtual TPRPromise::Ptr removeAllBatchesForTarget(int64_t target, bool deleteEvents) = 0;
    // Fulfils with a boolean number.
    virtual TPRPromise::Ptr hasEventsForTarget(int64_t target) = 0;
    // Fulfils with a TTRStorageMetadata object.
    virtual TPRPromise::Ptr fetchStorageMetadata() = 0;
    // Reads the stored metrics metadata as `metadataClass`, lets the handler answer the new value and
    // stores it, as one step; rejects with the archiving or writing error.
    virtual TPRPromise::Ptr fetchAndUpdateMetricsWithHandler(const plat::SecureCodingClass& metadataClass,
                                                             TTRMetricsUpdateHandler handler) = 0;
};
