// The library-data half of the flat-file storage: one file per key beside the events, and the batch
// id counter kept in it.
#include "transport/TTRFlatFileStorage.h"

#include "transport/TTRConsoleLogger.h"
#include "transport/TTRPlatform.h"
#include "transport/TTRTransformer.h"

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/OwnFiles.h"

#include <cerrno>
#include <cstring>
#include <limits>

namespace fs = std::filesystem;

void TTRFlatFileStorage::libraryDataForKey(const std::string& key, TTRLibraryDataFetch onFetchComplete,
                                           TTRLibraryDataNewValue setNewValue) {
    std::weak_ptr<TTRFlatFileStorage> weak = weak_from_this();
    storageQueue_.async([weak, key, onFetchComplete, setNewValue] {
        auto self = weak.lock();
        if (!self) return;
        fs::path path = self->libraryDataPathForKey(key);
        plat::Error readError;
        std::optional<plat::Data> data = plat::AtomicFile::read(path, &readError, kTTRMaxArchiveSize);
        if (onFetchComplete)
            onFetchComplete(data, data ? std::nullopt : std::optional<plat::Error>(readError));
        if (!setNewValue) return;
        std::optional<plat::Data> newValue = setNewValue();
        if (!newValue || newValue->empty()) return;
        plat::Error writeError;
        if (TTRWriteDataToFile(*newValue, path, &writeError)) {
            self->sizeTracker_.fileWasRemovedAtPath(path, data ? data->size() : 0);
            self->sizeTracker_.fileWasAddedAtPath(path, newValue->size());
        } else {
            TTRLogError(kTTRMCErrorLog, "Error writing new value in libraryDataForKey: %@",
                        writeError.localizedDescription());
        }
    });
}

void TTRFlatFileStorage::storeLibraryData(const plat::Data& data, const std::string& key,
                                          TTRErrorCompletion onComplete) {
    if (data.empty()) {
        if (onComplete) onComplete(plat::Error(kTTRInternalInconsistencyDomain, -1));
        return;
    }
    std::weak_ptr<TTRFlatFileStorage> weak = weak_from_this();
    storageQueue_.async([weak, data, key, onComplete] {
        auto self = weak.lock();
        if (!self) return;
        fs::path path = self->libraryDataPathForKey(key);
        plat::Error writeError;
        bool written = TTRWriteDataToFile(data, path, &writeError);
        if (written) self->sizeTracker_.fileWasAddedAtPath(path, data.size());
        if (onComplete) onComplete(written ? std::nullopt : std::optional<plat::Error>(writeError));
    });
}

void TTRFlatFileStorage::removeLibraryDataForKey(const std::string& key, TTRErrorCompletion onComplete) {
    std::weak_ptr<TTRFlatFileStorage> weak = weak_from_this();
    storageQueue_.async([weak, key, onComplete] {
        auto self = weak.lock();
        if (!self) return;
        fs::path path = self->libraryDataPathForKey(key);
        std::optional<plat::Error> error;
        if (plat::paths::entryStatus(path)) {
            uint64_t size = TTRDirectorySizeTracker::fileSizeAtURL(path);
            if (std::optional<plat::paths::FileProblem> problem = plat::paths::removeOwn(path))
                error = plat::AtomicFile::posixError(*problem);
            else
                self->sizeTracker_.fileWasRemovedAtPath(path, size);
        }
        if (onComplete) onComplete(error);
    });
}

void TTRFlatFileStorage::nextBatchID(std::function<void(std::optional<int64_t> batchID)> onComplete) {
    auto value = std::make_shared<int64_t>(-1);
    libraryDataForKey(
        kTTRBatchIDCounterKey,
        [value, onComplete](const std::optional<plat::Data>& data, const std::optional<plat::Error>& error) {
            const bool missing = !data && error && error->code == ENOENT;
            if (missing || (data && data->empty())) {
                *value = 0;
            } else if (data && data->size() == 4) {
                int32_t stored = 0;
                std::memcpy(&stored, data->data(), 4);
                *value = stored;
            }
            if (*value < 0 || *value >= std::numeric_limits<int32_t>::max()) {
                TTRLogError(kTTRMCErrorLog, "The batch id counter was unusable (%@); it restarts at 0.",
                            error ? error->localizedDescription()
                                  : "size " + std::to_string(data ? data->size() : 0) + ", value " +
                                        std::to_string(*value));
                *value = 0;
            }
            if (onComplete) onComplete(*value);
        },
        [value]() -> std::optional<plat::Data> {
            // Wrap to 0 rather than ever storing a value that would read back as damaged.
            int32_t next =
                *value + 1 < std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(*value + 1) : 0;
            plat::Data bytes(4);
            std::memcpy(bytes.data(), &next, 4);
            return bytes;
        });
}
