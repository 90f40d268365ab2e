// The batch half of the flat-file storage: making batches by moving selected event files into a
// batch folder, listing and removing batches, and returning a batch's events to the store.
#include "transport/TTRFlatFileStorage.h"

#include "transport/TTRConsoleLogger.h"
#include "transport/TTRPlatform.h"

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/OwnFiles.h"

#include <sys/stat.h>

namespace fs = std::filesystem;

plat::Error TTRFlatFileStorage::storageErrorWithReason(int64_t code, const std::string& reason) {
    return plat::Error(TTRFlatFileStorageErrorDomain, code,
                       {{"NSLocalizedFailureReason", plat::Object(reason)},
                        {plat::kLocalizedDescriptionKey, plat::Object(reason)}});
}

plat::Error TTRFlatFileStorage::genericRejectedPromiseErrorWithReason(const std::string& reason) {
    return storageErrorWithReason(-1, reason);
}

void TTRFlatFileStorage::pathsForTarget(int64_t target, std::optional<std::set<std::string>> eventIDs,
                                        std::optional<std::set<int64_t>> qosTiers,
                                        std::optional<std::set<std::string>> mappingIDs,
                                        std::function<void(std::set<fs::path>)> onComplete) {
    if (!onComplete) onComplete = [](std::set<fs::path>) {};
    std::weak_ptr<TTRFlatFileStorage> weak = weak_from_this();
    storageQueue_.async([weak, target, eventIDs, qosTiers, mappingIDs, onComplete] {
        std::set<fs::path> taken;
        auto self = weak.lock();
        if (!self) return onComplete(taken);
        fs::path folder = self->eventDataStoragePath() / std::to_string(target);
        plat::AtomicFile::createDirectories(folder);
        plat::paths::FileProblem problem;
        std::optional<std::vector<plat::paths::FolderEntry>> entries = plat::paths::ownEntries(folder, &problem);
        if (!entries) {
            TTRLogDebug("There was an error reading the contents of the target path: %@", problem.text);
            return onComplete(taken);
        }
        for (const auto& [name, info] : *entries) {
            const fs::path path = folder / name;
            if (name.empty() || name.front() == '.') continue;
            std::optional<TTREventFileComponents> parts = TTREventComponentsFromFilename(name);
            if (!parts) {
                // A foreign file is neither batched nor deleted.
                TTRLogDebug("There was an error reading the filename components: %@", name);
                continue;
            }
            if (!S_ISREG(info.st_mode)) {
                TTRLogError(kTTRMCErrorLog, "Skipping an entry that is not an event file: %@", path.string());
                continue;
            }
            if (eventIDs && !eventIDs->empty() && !eventIDs->count(parts->eventID)) continue;
            if (qosTiers && !qosTiers->empty() && !qosTiers->count(parts->qosTier)) continue;
            if (mappingIDs && !mappingIDs->empty()) {
                std::optional<std::string> mappingID = TTRPercentDecode(parts->mappingID);
                if (!mappingID || !mappingIDs->count(*mappingID)) continue;
            }
            taken.insert(path);
        }
        onComplete(taken);
    });
}

void TTRFlatFileStorage::batchWithEventSelector(const TTRStorageEventSelector& selector,
                                                plat::Date batchExpiration, TTRBatchCompletion onComplete) {
    if (!onComplete) onComplete = [](std::optional<int64_t>, std::optional<TTREvents>) {};
    std::weak_ptr<TTRFlatFileStorage> weak = weak_from_this();
    nextBatchID([weak, selector, batchExpiration, onComplete](std::optional<int64_t> batchID) {
        auto self = weak.lock();
        if (!self || !batchID) return onComplete(std::nullopt, std::nullopt);
        int64_t target = selector.selectedTarget();
        self->pathsForTarget(
            target, selector.selectedEventIDs(), selector.selectedQosTiers(), selector.selectedMappingIDs(),
            [weak, target, id = *batchID, batchExpiration, onComplete](std::set<fs::path> paths) {
                auto self = weak.lock();
                if (!self) return onComplete(std::nullopt, std::nullopt);
                // A separate step, as the listing was: other storage work may run between.
                self->storageQueue_.async([weak, paths, target, id, batchExpiration, onComplete] {
                    auto self = weak.lock();
                    if (!self) return onComplete(std::nullopt, std::nullopt);
                    self->moveIntoBatch(paths, target, id, batchExpiration, onComplete);
                });
            });
    });
}

void TTRFlatFileStorage::moveIntoBatch(const std::set<fs::path>& paths, int64_t target, int64_t batchID,
                                       plat::Date expiration, const TTRBatchCompletion& completion) {
    TTREvents events;
    for (const fs::path& path : paths) {
        plat::Error decodeError;
        std::shared_ptr<TTREvent> event = TTRDecodeArchiveAtPath<TTREvent>(path, &decodeError);
        if (!event) {
            TTRLogError(kTTRMCErrorLog, "Error deserializing event: %@", decodeError.localizedDescription());
            // Only a regular file is removed: nothing else was selected, but it may have changed since.
            std::optional<struct stat> info = plat::paths::entryStatus(path);
            if (info && S_ISREG(info->st_mode)) plat::paths::removeOwn(path);
            continue;
        }
        fs::path batchFolder = batchPathForTarget(target, batchID, expiration);
        std::optional<plat::Error> folderError = plat::AtomicFile::createDirectories(batchFolder);
        std::optional<plat::paths::FileProblem> moveError;
        if (!folderError) moveError = plat::paths::renameOwn(path, batchFolder / path.filename());
        if (folderError || moveError)
            TTRLogError(kTTRMCErrorLog, "An event file wasn't moveable into the batch directory: %@",
                        folderError ? folderError->localizedDescription() : moveError->text);
        events.push_back(std::move(event));
    }
    if (events.empty()) return completion(std::nullopt, std::nullopt);
    completion(batchID, std::move(events));
}

std::optional<std::set<int64_t>> TTRFlatFileStorage::batchIDsOnQueue(int64_t target) const {
    std::optional<std::vector<std::string>> names = ownNames(batchDataStoragePath());
    if (!names || names->empty()) return std::nullopt;
    std::set<int64_t> ids;
    for (const std::string& name : *names) {
        std::optional<TTRBatchComponents> batch = TTRBatchComponentsFromFilename(name);
        if (batch && static_cast<int32_t>(batch->target) == static_cast<int32_t>(target))
            ids.insert(batch->batchID);
    }
    return ids;
}

void TTRFlatFileStorage::batchIDsForTarget(int64_t target, TTRBatchIDsCompletion onComplete) {
    std::weak_ptr<TTRFlatFileStorage> weak = weak_from_this();
    storageQueue_.async([weak, target, onComplete] {
        auto self = weak.lock();
        std::optional<std::set<int64_t>> ids = self ? self->batchIDsOnQueue(target) : std::nullopt;
        if (onComplete) onComplete(std::move(ids));
    });
}

void TTRFlatFileStorage::removeBatchWithID(int64_t batchID, bool deleteEvents,
                                           std::function<void()> onComplete) {
    std::weak_ptr<TTRFlatFileStorage> weak = weak_from_this();
    storageQueue_.async([weak, batchID, deleteEvents, onComplete] {
        if (auto self = weak.lock()) self->syncThreadUnsafeRemoveBatchWithID(batchID, deleteEvents);
        if (onComplete) onComplete();
    });
}

std::optional<std::vector<fs::path>> TTRFlatFileStorage::batchDirPathsForBatchID(int64_t batchID,
                                                                                 plat::Error* error) const {
    fs::path folder = batchDataStoragePath();
    std::optional<std::vector<std::string>> names = ownNames(folder, error);
    if (!names) return std::nullopt;
    std::vector<fs::path> found;
    for (const std::string& name : *names) {
        std::optional<TTRBatchComponents> batch = TTRBatchComponentsFromFilename(name);
        if (batch && batch->batchID == batchID) found.push_back(folder / name);
    }
    return found;
}

bool TTRFlatFileStorage::moveContentsOfDirectoryAtPath(const fs::path& from, const fs::path& to,
                                                       plat::Error* error) const {
    std::optional<std::vector<std::string>> names = ownNames(from, error);
    if (!names) return false;
    plat::Object::Array failures;
    for (const std::string& name : *names) {
        if (std::optional<plat::paths::FileProblem> moveError = plat::paths::renameOwn(from / name, to / name))
            failures.emplace_back(plat::AtomicFile::posixError(*moveError).localizedDescription());
    }
    if (failures.empty()) return true;
    if (error)
        *error = plat::Error(TTRFlatFileStorageErrorDomain, -1,
                             {{plat::kUnderlyingErrorKey, plat::Object(failures)}});
    return false;
}

void TTRFlatFileStorage::syncThreadUnsafeRemoveBatchWithID(int64_t batchID, bool deleteEvents) {
    plat::Error listError;
    std::optional<std::vector<fs::path>> folders = batchDirPathsForBatchID(batchID, &listError);
    if (!folders) {
        TTRLogError(kTTRMCErrorLog, "Failed to find event file paths for batchID: %@, error: %@", batchID,
                    listError.localizedDescription());
        return;
    }
    for (const fs::path& folder : *folders) {
        if (!deleteEvents) {
            // Events are only ever deleted with the batch once every one of them is back in the store;
            // otherwise the batch stays for a later sweep to try again.
            std::optional<TTRBatchComponents> batch =
                TTRBatchComponentsFromFilename(folder.filename().string());
            plat::Error moveError;
            bool movedAll = false;
            if (batch) {
                fs::path targetFolder = eventDataStoragePath() / std::to_string(batch->target);
                std::optional<plat::Error> folderError = plat::AtomicFile::createDirectories(targetFolder);
                if (folderError)
                    moveError = *folderError;
                else
                    movedAll = moveContentsOfDirectoryAtPath(folder, targetFolder, &moveError);
            }
            if (!movedAll) {
                TTRLogError(kTTRMCErrorLog,
                            "Error encountered whilst moving events back: %@; the batch is kept: %@",
                            moveError.localizedDescription(), folder.string());
                continue;
            }
            TTRLogDebug("Batched events at path: %@ moved back to the storage: %@", folder.string(),
                        eventDataStoragePath().string());
        }
        if (plat::paths::removeOwn(folder, true))
            TTRLogError(kTTRMCErrorLog, "Failed to remove batch at path: %@", folder.string());
        else
            TTRLogDebug("Batch removed at path: %@", folder.string());
    }
    sizeTracker_.resetCachedSize();
}
