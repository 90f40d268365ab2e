// The event transport's durable queue: one object serving every target, keeping each event as one
// file named by its id, tier, expiration and mapping id (so events are selected and expired by name
// alone), grouping events into upload batches by moving their files into batch folders, and keeping
// a small key-value store of library data beside them. The whole tree is capped at 20,000,000
// bytes. Every operation runs on the serial queue "com.tessera.TTRFlatFileStorage" and answers there.
//
// Files are written atomically (hidden temporary file, then rename), so a crash or kill leaves only
// whole event files; temporaries left by an interrupted write are swept when a storage opens. Names
// and contents read back from disk are untrusted: a damaged or foreign entry is skipped and logged,
// and never takes other events with it.
//
// Where the members live: TTRFlatFileStorage.cpp holds the folders, storing, event queries and
// expiry; TTRFlatFileStorageBatches.cpp making, listing and removing batches;
// TTRFlatFileStorageLibraryData.cpp the library data and the batch id counter;
// TTRFlatFileStoragePromises.cpp the operations as promises.
#pragma once

#include "transport/TTRApplicationProtocol.h"
#include "transport/TTRDirectorySizeTracker.h"
#include "transport/TTRStorageFileNames.h"
#include "transport/TTRStorageProtocol.h"
#include "transport/TTRUploader.h"

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/OwnFiles.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

inline constexpr uint64_t kTTRFlatFileStorageSizeLimit = 20000000;
inline constexpr const char* TTRFlatFileStorageErrorDomain = "TTRFlatFileStorage";
inline constexpr const char* kTTRBatchIDCounterKey = "TTRFlatFileStorageBatchIDCounter";
inline constexpr const char* kTTRMetricsMetadataKey = "metrics_metadata";

class TTRFlatFileStorage final : public TTRStoragePromiseProtocol,
                                 public std::enable_shared_from_this<TTRFlatFileStorage> {
public:
    struct Configuration {
        // The transport's root folder; the storage keeps its tree in "<root>/TTRFlatFileStorage".
        std::filesystem::path rootDirectory;
        // "Now" for the expiration sweep.
        const plat::Clock* clock = &plat::Clock::system();
        // Grants background tasks around stores (the shared wrapper when null).
        std::shared_ptr<TTRApplicationProtocol> application;
        // Told to upload a target at once when a tier-4 event of it is stored (none: nobody is).
        std::shared_ptr<TTRUploadCoordinatorProtocol> uploadCoordinator;
    };

    // The process-wide storage under TTRRootDirectory(); never destroyed.
    static std::shared_ptr<TTRFlatFileStorage> sharedInstance();
    // A storage over its own root (tests, tools). Queues the sweep of interrupted writes.
    static std::shared_ptr<TTRFlatFileStorage> makeStorage(Configuration configuration);

    // The three folders, created (with their parents) on every call; a failure is asserted.
    std::filesystem::path eventDataStoragePath() const;
    std::filesystem::path batchDataStoragePath() const;
    std::filesystem::path libraryDataStoragePath() const;
    // Where an event of these fields lives.
    std::filesystem::path pathForTarget(int64_t target, const std::string& eventID, int64_t qosTier,
                                        plat::Date expirationDate, const std::string& mappingID) const;
    // Where a batch's events live.
    std::filesystem::path batchPathForTarget(int64_t target, int64_t batchID,
                                             plat::Date expirationDate) const;

    // TTRStorageProtocol
    void storeEvent(std::shared_ptr<TTREvent> event, TTRStoreCompletion onComplete) override;
    void hasEventsForTarget(int64_t target, std::function<void(bool hasEvents)> onComplete) override;
    void checkForExpirations() override;
    void storageSizeWithCallback(std::function<void(uint64_t bytes)> onComplete) override;
    void batchWithEventSelector(const TTRStorageEventSelector& selector, plat::Date batchExpiration,
                                TTRBatchCompletion onComplete) override;
    void removeBatchWithID(int64_t batchID, bool deleteEvents, std::function<void()> onComplete) override;
    void batchIDsForTarget(int64_t target, TTRBatchIDsCompletion onComplete) override;
    void libraryDataForKey(const std::string& key, TTRLibraryDataFetch onFetchComplete,
                           TTRLibraryDataNewValue setNewValue) override;
    void storeLibraryData(const plat::Data& data, const std::string& key,
                          TTRErrorCompletion onComplete) override;
    // Calls the completion whether or not the key had a file (without an error when it had none).
    void removeLibraryDataForKey(const std::string& key, TTRErrorCompletion onComplete) override;
    std::shared_ptr<TTRStorageDelegate> delegate() const override;
    void setDelegate(const std::shared_ptr<TTRStorageDelegate>& delegate) override;
    // Begins and at once ends a background task on the storage queue.
    void appWillBackground(TTRApplicationProtocol& application) override;

    // TTRStoragePromiseProtocol
    TPRPromise::Ptr batchWithEventSelector(const TTRStorageEventSelector& selector,
                                           plat::Date batchExpiration) override;
    TPRPromise::Ptr batchIDsForTarget(int64_t target) override;
    TPRPromise::Ptr removeBatchWithID(int64_t batchID, bool deleteEvents) override;
    TPRPromise::Ptr removeBatchesWithIDs(const std::vector<int64_t>& batchIDs, bool deleteEvents) override;
    TPRPromise::Ptr removeAllBatchesForTarget(int64_t target, bool deleteEvents) override;
    TPRPromise::Ptr hasEventsForTarget(int64_t target) override;
    TPRPromise::Ptr fetchStorageMetadata() override;
    TPRPromise::Ptr fetchAndUpdateMetricsWithHandler(const plat::SecureCodingClass& metadataClass,
                                                     TTRMetricsUpdateHandler handler) override;

    // The next batch id from the counter in the library data: a stored value of exactly 4 bytes in
    // [0, 2^31-1) is used and advanced (wrapping to 0 before it would reach 2^31-1); a missing
    // counter starts at 0, and a damaged one restarts at 0 with a log line.
    void nextBatchID(std::function<void(std::optional<int64_t> batchID)> onComplete);
    // The full paths of the target's event files that pass the filters (missing or empty sets do not
    // filter). Hidden entries, non-files and names of another shape are never taken.
    void pathsForTarget(int64_t target, std::optional<std::set<std::string>> eventIDs,
                        std::optional<std::set<int64_t>> qosTiers,
                        std::optional<std::set<std::string>> mappingIDs,
                        std::function<void(std::set<std::filesystem::path>)> onComplete);

    // The names of the entries in `folder` that may be used (what is left aside, another user's
    // entry say, is absent); none with `error` set when it cannot be listed.
    static std::optional<std::vector<std::string>> ownNames(const std::filesystem::path& folder,
                                                            plat::Error* error = nullptr);

    // Storage-queue-only building blocks of the batch operations.
    std::optional<std::vector<std::filesystem::path>> batchDirPathsForBatchID(int64_t batchID,
                                                                              plat::Error* error) const;
    bool moveContentsOfDirectoryAtPath(const std::filesystem::path& from, const std::filesystem::path& to,
                                       plat::Error* error) const;
    void syncThreadUnsafeRemoveBatchWithID(int64_t batchID, bool deleteEvents);

    // Domain "TTRFlatFileStorage", code -1, `reason` as the localized failure reason.
    static plat::Error genericRejectedPromiseErrorWithReason(const std::string& reason);
    // Domain "TTRFlatFileStorage" with `code`; `reason` is the failure reason and the description.
    static plat::Error storageErrorWithReason(int64_t code, const std::string& reason);

    const plat::DispatchQueue& storageQueue() const { return storageQueue_; }
    std::shared_ptr<TTRUploadCoordinatorProtocol> uploadCoordinator() const;
    // The coordinator joins after creation when it is made later than the storage.
    void setUploadCoordinator(std::shared_ptr<TTRUploadCoordinatorProtocol> coordinator);
    // Storage queue only.
    TTRDirectorySizeTracker& sizeTracker() { return sizeTracker_; }

    explicit TTRFlatFileStorage(Configuration configuration);

private:
    std::filesystem::path storageRoot() const;
    std::filesystem::path ensured(const std::filesystem::path& folder, const char* failureMessage) const;
    std::filesystem::path libraryDataPathForKey(const std::string& key) const;
    // On the storage queue.
    void storeOnQueue(const std::shared_ptr<TTREvent>& event, const TTRStoreCompletion& completion);
    void expireOnQueue();
    void moveIntoBatch(const std::set<std::filesystem::path>& paths, int64_t target, int64_t batchID,
                       plat::Date expiration, const TTRBatchCompletion& completion);
    std::optional<std::set<int64_t>> batchIDsOnQueue(int64_t target) const;
    bool hasEventsOnQueue(int64_t target) const;
    void sweepInterruptedWrites();
    // The target's event folder, made when missing and held open across stores; opened again when
    // its path no longer leads to it (removed or replaced since). Storage queue only.
    const plat::paths::OwnFolder& eventFolderForTarget(int64_t target);

    Configuration configuration_;
    plat::DispatchQueue storageQueue_;
    TTRDirectorySizeTracker sizeTracker_;
    mutable std::mutex lock_; // the coordinator and the delegate
    std::shared_ptr<TTRUploadCoordinatorProtocol> uploadCoordinator_;
    std::weak_ptr<TTRStorageDelegate> delegate_;
    std::map<int64_t, plat::paths::OwnFolder> eventFolders_; // storage queue only
};
