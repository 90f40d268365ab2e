// Decides when uploads happen: one repeating timer on the serial queue
// "com.tessera.TTRUploadCoordinator" asks the uploader of every registered target to upload under the
// current network conditions (first 0.5 seconds after start, then every 30 seconds with 5 seconds
// of leeway); the storage forces an immediate upload of a target when it stores a tier-4 event;
// termination stops the timer. Every action runs on the coordinator's queue; the uploaders it calls
// only enqueue work.
#pragma once

#include "transport/TTRApplicationProtocol.h"
#include "transport/TTRRegistrar.h"
#include "transport/TTRUploader.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSourceTimer.h"
#include "platform/dispatch/Scheduler.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class TTRUploadCoordinator final : public TTRUploadCoordinatorProtocol,
                                   public std::enable_shared_from_this<TTRUploadCoordinator> {
public:
    static constexpr std::chrono::nanoseconds kTimerStart{500000000};
    static constexpr std::chrono::nanoseconds kTimerInterval{30000000000};
    static constexpr std::chrono::nanoseconds kTimerLeeway{5000000000};

    struct Configuration {
        // Held weakly (its storages hold the coordinator); the caller keeps it.
        std::shared_ptr<TTRRegistrar> registrar;
        // Runs the timer (the real one unless a test advances a manual one).
        plat::Scheduler* scheduler = &plat::Scheduler::system();
        // The current reachability flags (TTRReachability's unless given).
        std::function<uint32_t()> reachabilityFlags;
        // Whether the application runs in the background (the shared wrapper unless given).
        TTRApplicationProtocol* application = nullptr;
    };

    // The process-wide coordinator over the shared registrar, its timer started; never destroyed.
    static std::shared_ptr<TTRUploadCoordinator> sharedInstance();
    // A coordinator of its own, timer not started (tests).
    static std::shared_ptr<TTRUploadCoordinator> makeCoordinator(Configuration configuration);

    // Uploads the target at once, high priority (unless there is no network).
    void forceUploadForTarget(int64_t target) override;
    // Creates and resumes the timer unless one runs; asynchronous.
    void startTimer();
    // Cancels and drops the timer; call on the coordinator's queue.
    void stopTimer();
    // Asks each target's uploader, in order, to upload; nothing without a network. Asynchronous.
    void uploadTargets(std::vector<int64_t> targets, uint32_t conditions);
    // 1 without a network, 2 on a mobile network, 4 otherwise.
    uint32_t uploadConditions() const;
    // Each distinct registered storage sweeps its expired events.
    void signalToStoragesToCheckExpirations();
    // The target's storage; null, after an assertion, when there is none.
    std::shared_ptr<TTRStorageProtocol> storageForTarget(int64_t target) const;

    // Foreground restarts the timer and sweeps; background and terminate stop it.
    void appWillForeground(TTRApplicationProtocol& application) override;
    void appWillBackground(TTRApplicationProtocol& application) override;
    void appWillTerminate(TTRApplicationProtocol& application) override;

    const plat::DispatchQueue& coordinationQueue() const { return coordinationQueue_; }
    // Whether a timer exists; read on the queue (tests).
    bool hasTimer() const;

private:
    explicit TTRUploadCoordinator(Configuration configuration);
    void timerFired();

    // The registrar's tables; empty once the registrar is gone.
    std::map<int64_t, std::shared_ptr<TTRUploader>> uploaders() const;
    std::map<int64_t, std::shared_ptr<TTRStorageProtocol>> storages() const;

    Configuration configuration_;
    std::weak_ptr<TTRRegistrar> registrar_;
    plat::DispatchQueue coordinationQueue_;
    std::unique_ptr<plat::DispatchSourceTimer> timer_; // on the queue only
};
