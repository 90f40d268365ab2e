// The event transport's one uploader: registered for targets 1000 to 1003, it turns each upload
// request of the coordinator into a TTWUploadOperation on an operation queue that runs one at a
// time, and serves the operations as their metadata provider (the earliest next upload time per
// target, kept in memory only, and the API key per target). Once an operation has sent a request,
// the regular operations still waiting are dropped; they run again at the next timer pass. Forced
// (high-priority) operations are never dropped: the urgent event that asked for one may have been
// stored after the batch that was sent was made, and a regular pass would hold it back for as long
// as the backend asked.
#pragma once

#include "transport/TTRRegistrar.h"
#include "transport/TTRUploader.h"
#include "transport/TTWUploadMetadataProvider.h"
#include "transport/TTWUploadOperation.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/OperationQueue.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// The targets the uploader serves.
inline constexpr int64_t kTTWUploaderTargets[] = {1000, 1001, 1002, 1003};

class TTWUploader final : public TTRUploader,
                          public TTWUploadMetadataProvider,
                          public std::enable_shared_from_this<TTWUploader> {
public:
    // The process-wide uploader over the shared registrar; never destroyed.
    static std::shared_ptr<TTWUploader> sharedInstance();
    // An uploader that finds storages and metrics controllers in `registrar`, which the caller keeps
    // (tests).
    static std::shared_ptr<TTWUploader> makeUploader(std::shared_ptr<TTRRegistrar> registrar);

    // Schedules one upload operation for the target; only enqueues. A target without a storage that
    // offers promises is logged and skipped.
    void uploadTarget(int64_t target, uint32_t conditions) override;

    // The target's upload URL (TTREndpoints); none outside 1000 to 1003.
    static std::optional<std::string> serverURLForTarget(int64_t target);

    std::shared_ptr<const TTRClock> nextUploadTimeForTarget(int64_t target) const override;
    void setNextUploadTime(std::shared_ptr<const TTRClock> time, int64_t target) override;
    // The one key of targets 1001 to 1003; none for any other target.
    std::optional<std::string> APIKeyForTarget(int64_t target) const override;

    // Blocks until every scheduled operation has finished or was dropped (tests, tools).
    void waitUntilAllOperationsAreFinished() const;
    const plat::DispatchQueue& uploadQueue() const { return uploadQueue_; }

private:
    explicit TTWUploader(std::shared_ptr<TTRRegistrar> registrar);

    // Weak: the registrar holds the uploader.
    std::weak_ptr<TTRRegistrar> registrar_;
    plat::DispatchQueue uploadQueue_;
    plat::OperationQueue uploadOperationQueue_;
    // Moves on each time an operation sends a request; a regular operation scheduled before the
    // move is dropped when its turn comes.
    std::atomic<uint64_t> dropGeneration_{0};
    mutable std::mutex nextUploadTimeLock_;
    std::map<int64_t, std::shared_ptr<const TTRClock>> nextUploadTimeByTarget_;
};
