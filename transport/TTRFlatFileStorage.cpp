#include "transport/TTRFlatFileStorage.h"

#include "transport/TTRApplication.h"
#include "transport/TTRConsoleLogger.h"
#include "transport/TTRPlatform.h"
#include "transport/TTRTransformer.h"

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/FolderCheck.h"
#include "platform/foundation/OwnFiles.h"

#include <sys/stat.h>
#include <utility>

namespace fs = std::filesystem;

namespace {

// Ends a background task when the last copy of it goes, whatever way the store finished.
struct BackgroundTask {
    std::shared_ptr<TTRApplicationProtocol> application;
    TTRBackgroundIdentifier identifier = TTRBackgroundIdentifierInvalid;
    ~BackgroundTask() {
        if (identifier != TTRBackgroundIdentifierInvalid) application->endBackgroundTask(identifier);
    }
};

std::shared_ptr<BackgroundTask> beginTask(const std::shared_ptr<TTRApplicationProtocol>& application) {
    auto task = std::make_shared<BackgroundTask>();
    task->application = application;
    std::weak_ptr<BackgroundTask> weak = task;
    task->identifier = application->beginBackgroundTaskWithName("TTRStorage", [weak] {
        if (auto expiring = weak.lock())
            expiring->application->endBackgroundTask(
                std::exchange(expiring->identifier, TTRBackgroundIdentifierInvalid));
    });
    return task;
}

// The event files below `folder` that expired before `now`.
void collectExpiredEvents(const fs::path& folder, double now, int depth, std::vector<fs::path>& expired) {
    // Event files lie two levels down; nothing the store makes nests anywhere near this deep.
    for (const auto& [name, info] :
         plat::paths::ownEntries(folder).value_or(std::vector<plat::paths::FolderEntry>{})) {
        if (name.empty() || name.front() == '.') continue;
        const fs::path path = folder / name;
        std::optional<TTREventFileComponents> components = TTREventComponentsFromFilename(name);
        if (!components) {
            if (S_ISDIR(info.st_mode) && depth < plat::folders::kMostDepth)
                collectExpiredEvents(path, now, depth + 1, expired);
            continue;
        }
        if (!(components->expiration.secondsSince1970 < now)) continue;
        if (!S_ISREG(info.st_mode)) {
            // A folder (or anything else) under an event's name is foreign: leave it and its content.
            TTRLogError(kTTRMCErrorLog, "Skipping an entry that is not an event file: %@", path.string());
            continue;
        }
        expired.push_back(path);
    }
}

} // namespace

std::shared_ptr<TTRFlatFileStorage> TTRFlatFileStorage::sharedInstance() {
    static auto* instance = new std::shared_ptr<TTRFlatFileStorage>([] {
        Configuration configuration;
        configuration.rootDirectory = TTRRootDirectory();
        return makeStorage(std::move(configuration));
    }());
    return *instance;
}

std::shared_ptr<TTRFlatFileStorage> TTRFlatFileStorage::makeStorage(Configuration configuration) {
    auto storage = std::make_shared<TTRFlatFileStorage>(std::move(configuration));
    std::weak_ptr<TTRFlatFileStorage> weak = storage;
    storage->storageQueue_.async([weak] {
        if (auto self = weak.lock()) self->sweepInterruptedWrites();
    });
    return storage;
}

TTRFlatFileStorage::TTRFlatFileStorage(Configuration configuration)
    : configuration_(std::move(configuration)),
      storageQueue_(plat::DispatchQueue::serial("com.tessera.TTRFlatFileStorage")),
      sizeTracker_(configuration_.rootDirectory), uploadCoordinator_(configuration_.uploadCoordinator) {
    if (!configuration_.clock) configuration_.clock = &plat::Clock::system();
    if (!configuration_.application)
        configuration_.application = std::shared_ptr<TTRApplicationProtocol>(
            &TTRApplication::sharedApplication(), [](TTRApplicationProtocol*) {});
}

// Paths -------------------------------------------------------------------------------------------

fs::path TTRFlatFileStorage::storageRoot() const {
    return configuration_.rootDirectory / "TTRFlatFileStorage";
}

fs::path TTRFlatFileStorage::ensured(const fs::path& folder, const char* failureMessage) const {
    std::optional<plat::Error> error = plat::AtomicFile::createDirectories(folder);
    TTRAssert(!error, failureMessage, error ? error->localizedDescription() : std::string());
    return folder;
}

fs::path TTRFlatFileStorage::eventDataStoragePath() const {
    return ensured(storageRoot() / "ttr_event_data", "Creating the event data path failed: %@");
}

fs::path TTRFlatFileStorage::batchDataStoragePath() const {
    return ensured(storageRoot() / "ttr_batch_data", "Creating the batch data path failed: %@");
}

fs::path TTRFlatFileStorage::libraryDataStoragePath() const {
    return ensured(storageRoot() / "ttr_library_data", "Creating the library data path failed: %@");
}

fs::path TTRFlatFileStorage::pathForTarget(int64_t target, const std::string& eventID, int64_t qosTier,
                                           plat::Date expirationDate, const std::string& mappingID) const {
    // Not made here: the write that stores the event makes the folders on its way to the file.
    return storageRoot() / "ttr_event_data" / std::to_string(target) /
           TTREventFileName(eventID, qosTier, expirationDate, mappingID);
}

fs::path TTRFlatFileStorage::batchPathForTarget(int64_t target, int64_t batchID,
                                                plat::Date expirationDate) const {
    return batchDataStoragePath() / TTRBatchFolderName(target, batchID, expirationDate);
}

fs::path TTRFlatFileStorage::libraryDataPathForKey(const std::string& key) const {
    // A key becomes one file name: nothing in it may climb out of the folder.
    std::string name = key;
    for (char& c : name)
        if (c == '/' || c == '\0') c = '_';
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    return libraryDataStoragePath() / name;
}

const plat::paths::OwnFolder& TTRFlatFileStorage::eventFolderForTarget(int64_t target) {
    plat::paths::OwnFolder& held = eventFolders_[target];
    // Judged when it was opened, and still judged while it is held: only a folder that is no longer
    // the one its path names (or that could not be opened) is reached again from the cache folder.
    if (!held.stillAtPath())
        held = plat::paths::OwnFolder::open(storageRoot() / "ttr_event_data" / std::to_string(target), true);
    return held;
}

std::optional<std::vector<std::string>> TTRFlatFileStorage::ownNames(const fs::path& folder, plat::Error* error) {
    plat::paths::FileProblem problem;
    std::optional<std::vector<plat::paths::FolderEntry>> entries = plat::paths::ownEntries(folder, &problem);
    if (!entries) {
        if (error) *error = plat::AtomicFile::posixError(problem);
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (plat::paths::FolderEntry& entry : *entries)
        names.push_back(std::move(entry.name));
    return names;
}

void TTRFlatFileStorage::sweepInterruptedWrites() {
    size_t removed = plat::AtomicFile::removeTemporaryFiles(storageRoot());
    if (removed > 0) TTRLogDebug("Removed %ld files of interrupted writes.", static_cast<int64_t>(removed));
}

std::shared_ptr<TTRUploadCoordinatorProtocol> TTRFlatFileStorage::uploadCoordinator() const {
    std::lock_guard guard(lock_);
    return uploadCoordinator_;
}

void TTRFlatFileStorage::setUploadCoordinator(std::shared_ptr<TTRUploadCoordinatorProtocol> coordinator) {
    std::lock_guard guard(lock_);
    uploadCoordinator_ = std::move(coordinator);
}

std::shared_ptr<TTRStorageDelegate> TTRFlatFileStorage::delegate() const {
    std::lock_guard guard(lock_);
    return delegate_.lock();
}

void TTRFlatFileStorage::setDelegate(const std::shared_ptr<TTRStorageDelegate>& delegate) {
    std::lock_guard guard(lock_);
    delegate_ = delegate;
}

// Storing -----------------------------------------------------------------------------------------

void TTRFlatFileStorage::storeEvent(std::shared_ptr<TTREvent> event, TTRStoreCompletion onComplete) {
    TTRLogDebug("Saving event: %@", event ? event->description() : std::string("(null)"));
    if (!event || !event->serializedDataObjectBytes()) {
        TTRLogDebug("The event was nil, so it was not saved.");
        if (onComplete) onComplete(false, plat::Error(kTTRInternalInconsistencyDomain, -1));
        return;
    }
    if (!onComplete) {
        std::string description = event->description();
        onComplete = [description](bool wasWritten, const std::optional<plat::Error>& error) {
            TTRLogDebug("event %@ stored. success:%@ error:%@", description, wasWritten ? "YES" : "NO",
                        error ? error->localizedDescription() : std::string("(null)"));
        };
    }
    std::shared_ptr<BackgroundTask> task = beginTask(configuration_.application);
    std::weak_ptr<TTRFlatFileStorage> weak = weak_from_this();
    storageQueue_.async([weak, event, onComplete, task] {
        auto self = weak.lock();
        if (!self) {
            onComplete(false,
                       plat::Error::withMessage(TTRFlatFileStorageErrorDomain, -1, "The storage is gone."));
            return;
        }
        self->storeOnQueue(event, onComplete);
    });
}

void TTRFlatFileStorage::storeOnQueue(const std::shared_ptr<TTREvent>& event,
                                      const TTRStoreCompletion& completion) {
    fs::path path = pathForTarget(event->target(), event->eventID(), event->qosTier(),
                                  event->expirationDate(), event->mappingID());
    plat::Error archiveError;
    std::optional<plat::Data> archive = TTREncodeArchive(*event, fs::path(), &archiveError);
    if (!archive) {
        completion(false, archiveError);
        return;
    }
    if (sizeTracker_.directoryContentSize() + archive->size() > kTTRFlatFileStorageSizeLimit) {
        plat::Error error = storageErrorWithReason(0, "Storage size limit has been reached.");
        if (std::shared_ptr<TTRStorageDelegate> listener = delegate()) {
            TTRLogDebug("Delegate notified that event with mapping ID %@ was dropped.", event->mappingID());
            listener->storage(*this, event);
        }
        completion(false, error);
        return;
    }
    plat::Error writeError;
    if (!TTRWriteDataToFile(*archive, eventFolderForTarget(event->target()), path.filename().string(), &writeError)) {
        TTRLogError(kTTRMCErrorLog, "Attempt to write archive failed: path:%@ error:%@", path.string(),
                    writeError.localizedDescription());
        completion(false, writeError);
        return;
    }
    completion(true, std::nullopt);
    sizeTracker_.fileWasAddedAtPath(path, archive->size());
    if (event->qosTier() == 4) {
        if (std::shared_ptr<TTRUploadCoordinatorProtocol> coordinator = uploadCoordinator())
            coordinator->forceUploadForTarget(event->target());
    }
}

// Queries -----------------------------------------------------------------------------------------

bool TTRFlatFileStorage::hasEventsOnQueue(int64_t target) const {
    fs::path folder = eventDataStoragePath() / std::to_string(target);
    if (plat::AtomicFile::createDirectories(folder)) return false;
    std::optional<std::vector<std::string>> names = ownNames(folder);
    return names && !names->empty();
}

void TTRFlatFileStorage::hasEventsForTarget(int64_t target, std::function<void(bool hasEvents)> onComplete) {
    std::weak_ptr<TTRFlatFileStorage> weak = weak_from_this();
    storageQueue_.async([weak, target, onComplete] {
        auto self = weak.lock();
        bool has = self && self->hasEventsOnQueue(target);
        if (onComplete) onComplete(has);
    });
}

void TTRFlatFileStorage::storageSizeWithCallback(std::function<void(uint64_t bytes)> onComplete) {
    if (!onComplete) return;
    std::weak_ptr<TTRFlatFileStorage> weak = weak_from_this();
    storageQueue_.async([weak, onComplete] {
        if (auto self = weak.lock()) onComplete(self->sizeTracker_.directoryContentSize());
    });
}

void TTRFlatFileStorage::appWillBackground(TTRApplicationProtocol& application) {
    (void)application;
    std::shared_ptr<TTRApplicationProtocol> wrapper = configuration_.application;
    storageQueue_.async([wrapper] {
        auto identifier = std::make_shared<TTRBackgroundIdentifier>(TTRBackgroundIdentifierInvalid);
        *identifier = wrapper->beginBackgroundTaskWithName("TTRStorage", [wrapper, identifier] {
            wrapper->endBackgroundTask(std::exchange(*identifier, TTRBackgroundIdentifierInvalid));
        });
        wrapper->endBackgroundTask(std::exchange(*identifier, TTRBackgroundIdentifierInvalid));
    });
}

// Expiration --------------------------------------------------------------------------------------

void TTRFlatFileStorage::checkForExpirations() {
    std::weak_ptr<TTRFlatFileStorage> weak = weak_from_this();
    storageQueue_.async([weak] {
        if (auto self = weak.lock()) self->expireOnQueue();
    });
}

void TTRFlatFileStorage::expireOnQueue() {
    TTRLogDebug("Checking for expired events and batches");
    const double now = configuration_.clock->wallNow().secondsSince1970;

    std::vector<int64_t> expiredBatches;
    for (const std::string& name : ownNames(batchDataStoragePath()).value_or(std::vector<std::string>{})) {
        std::optional<TTRBatchComponents> batch = TTRBatchComponentsFromFilename(name);
        if (batch && batch->expiration.secondsSince1970 < now) expiredBatches.push_back(batch->batchID);
    }
    for (int64_t batchID : expiredBatches)
        syncThreadUnsafeRemoveBatchWithID(batchID, false);

    TTREvents removed;
    std::vector<fs::path> expired;
    collectExpiredEvents(eventDataStoragePath(), now, 0, expired);
    for (const fs::path& path : expired) {
        plat::Error decodeError;
        std::shared_ptr<TTREvent> event = TTRDecodeArchiveAtPath<TTREvent>(path, &decodeError);
        if (!event)
            TTRLogDebug("Error deserializing event while checking for expired events: %@",
                        decodeError.localizedDescription());
        if (!plat::paths::removeOwn(path)) {
            TTRLogDebug("Item deleted because it expired: %@", path.string());
            if (event) removed.push_back(event);
        } else {
            TTRLogDebug("There was an error deleting an expired item: %@", path.string());
        }
    }
    std::shared_ptr<TTRStorageDelegate> listener = delegate();
    if (listener && !removed.empty()) {
        TTRLogDebug("Delegate notified that %@ events were dropped.", static_cast<int64_t>(removed.size()));
        listener->storage(*this, removed);
    }
    sizeTracker_.resetCachedSize();
}
