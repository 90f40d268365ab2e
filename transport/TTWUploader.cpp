#include "transport/TTWUploader.h"

#include "transport/TTRConsoleLogger.h"
#include "transport/TTREndpoints.h"

namespace {

// Assembled once, on first use, from parts of its own. It identifies the client to the upload
// service; it is not a secret, but it stays out of log lines all the same. Never destroyed: upload
// operations ask for it until the process has ended.
const std::string& TLGAndCRWAndINTAPIKey() {
    static const std::string* key = [] {
        const char* parts[] = {"VLM", "t1-", "7f3c2a91", "e0b84d56", "a1c9e2f0", "4b7d3a68"};
        auto* assembled = new std::string;
        for (const char* part : parts)
            *assembled += part;
        return assembled;
    }();
    return *key;
}

} // namespace

std::shared_ptr<TTWUploader> TTWUploader::sharedInstance() {
    static auto* instance = new std::shared_ptr<TTWUploader>(makeUploader(TTRRegistrar::sharedInstance()));
    return *instance;
}

std::shared_ptr<TTWUploader> TTWUploader::makeUploader(std::shared_ptr<TTRRegistrar> registrar) {
    return std::shared_ptr<TTWUploader>(new TTWUploader(std::move(registrar)));
}

TTWUploader::TTWUploader(std::shared_ptr<TTRRegistrar> registrar)
    : registrar_(std::move(registrar)), uploadQueue_(plat::DispatchQueue::serial("com.tessera.TTWUploader")),
      uploadOperationQueue_("com.tessera.TTWUploader.operations") {
    uploadOperationQueue_.setMaxConcurrentOperationCount(1);
}

std::optional<std::string> TTWUploader::serverURLForTarget(int64_t target) {
    return TTREndpoints::uploadURLForTarget(target);
}

void TTWUploader::uploadTarget(int64_t target, uint32_t conditions) {
    std::shared_ptr<TTRRegistrar> registrar = registrar_.lock();
    if (!registrar) return;
    auto storages = registrar->targetToStorage();
    auto storage = storages.count(target)
                       ? std::dynamic_pointer_cast<TTRStoragePromiseProtocol>(storages[target])
                       : nullptr;
    std::optional<std::string> url = serverURLForTarget(target);
    if (!storage || !url) {
        TTRLogError(kTTRMCErrorLog,
                    "Failed to upload target: %ld - could not find corresponding storage instance.", target);
        return;
    }
    auto controllers = registrar->targetToMetricsController();
    auto controller = controllers.count(target) ? controllers[target] : nullptr;
    std::shared_ptr<TTWUploadOperation> operation = TTWUploadOperation::initWithTarget(
        target, conditions, *url, uploadQueue_, storage, shared_from_this(), controller);
    TTRLogDebug("Upload operation created: %@, target: %@", operation->description(), std::to_string(target));

    std::weak_ptr<TTWUploader> weakSelf = weak_from_this();
    std::weak_ptr<TTWUploadOperation> weakOperation = operation;
    const bool forced = (conditions & TTRUploadConditionHighPriority) != 0;
    const uint64_t generation = dropGeneration_.load();
    // The queue runs one block at a time and the operation is asynchronous, so the block waits for
    // it (its steps run on uploadQueue_, never on this thread) and then plays its completion.
    uploadOperationQueue_.addOperation([operation, weakSelf, weakOperation, forced, generation] {
        // A regular operation that was waiting when another one sent a request is dropped: the next
        // timer pass asks again. A forced one was asked for by an urgent event stored after the
        // sent batch was made, so it still runs; it sends nothing when that batch took the event.
        if (auto self = weakSelf.lock(); self && !forced && self->dropGeneration_.load() != generation) {
            TTRLogDebug("Upload operation dropped: %@", operation->description());
            return;
        }
        operation->start();
        operation->waitUntilFinished();
        auto self = weakSelf.lock();
        auto finished = weakOperation.lock();
        if (!self || !finished) {
            TTRLogDebug("%@", "Internal inconsistency: TTWUploader was deallocated during upload.");
            return;
        }
        TTRLogDebug("Upload operation finished: %@, uploadAttempted: %@", finished->description(),
                    std::string(finished->uploadAttempted() ? "YES" : "NO"));
        if (finished->uploadAttempted()) ++self->dropGeneration_;
    });
    TTRLogDebug("Upload operation scheduled: %@, operation count: %@", operation->description(),
                std::to_string(uploadOperationQueue_.operationCount()));
}

std::shared_ptr<const TTRClock> TTWUploader::nextUploadTimeForTarget(int64_t target) const {
    std::lock_guard guard(nextUploadTimeLock_);
    auto found = nextUploadTimeByTarget_.find(target);
    return found == nextUploadTimeByTarget_.end() ? nullptr : found->second;
}

void TTWUploader::setNextUploadTime(std::shared_ptr<const TTRClock> time, int64_t target) {
    std::lock_guard guard(nextUploadTimeLock_);
    if (time)
        nextUploadTimeByTarget_[target] = std::move(time);
    else
        nextUploadTimeByTarget_.erase(target);
}

std::optional<std::string> TTWUploader::APIKeyForTarget(int64_t target) const {
    if (target >= 1001 && target <= 1003) return TLGAndCRWAndINTAPIKey();
    return std::nullopt;
}

void TTWUploader::waitUntilAllOperationsAreFinished() const {
    uploadOperationQueue_.waitUntilAllOperationsAreFinished();
}
