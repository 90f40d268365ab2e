// Keeps the running counts of lost events in the storage's library data ("metrics_metadata"),
// hands them to an upload as a TTRMetrics (and starts a fresh window), and takes them back when that
// upload fails. Hears the storage's dropped and expired events as its delegate. Holds no lock of its
// own: every read-modify-write of the stored metadata is one step on the storage's queue.
#pragma once

#include "transport/TTRMetrics.h"
#include "transport/TTRStorageProtocol.h"
#include "transport/TTRUploader.h"

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"

#include <memory>

// Drop reasons the transport records.
enum TTREventDropReason : int64_t {
    TTREventDropReasonExpired = 1,
    TTREventDropReasonStorageFull = 2,
    TTREventDropReasonServerRefused = 5,
};

class TTRMetricsController final : public TTRMetricsControllerProtocol,
                                   public std::enable_shared_from_this<TTRMetricsController> {
public:
    // The process-wide controller over the shared flat-file storage; never destroyed.
    static std::shared_ptr<TTRMetricsController> sharedInstance();
    // A controller over `storage`, with `clock` for "now" (tests).
    static std::shared_ptr<TTRMetricsController>
    initWithStorage(std::shared_ptr<TTRStoragePromiseProtocol> storage,
                    const plat::Clock& clock = plat::Clock::system());

    // Adds one count per event for `reason`; an empty set stores nothing. Fulfils with none.
    TPRPromise::Ptr logEventsDroppedForReason(int64_t reason, const TTREvents& events) override;
    // Takes the counts out (storing a fresh, empty window starting now) and fulfils with a
    // TTRMetrics object; rejects when nothing was stored (the fresh window is stored all the same).
    TPRPromise::Ptr getAndResetMetrics() override;
    // Gives counts back after a failed upload: merged into the stored window unless that window
    // began before the offered one did. Fulfils with none.
    TPRPromise::Ptr offerMetrics(const std::shared_ptr<const TTRMetrics>& metrics) override;

    // Storage delegate: reason 2 for a refused event, reason 1 for expired ones; not awaited.
    void storage(TTRStorageProtocol& storage, const std::shared_ptr<TTREvent>& droppedEvent) override;
    void storage(TTRStorageProtocol& storage, const TTREvents& removedExpiredEvents) override;

    const std::shared_ptr<TTRStoragePromiseProtocol>& storage() const { return storage_; }

private:
    TTRMetricsController(std::shared_ptr<TTRStoragePromiseProtocol> storage, const plat::Clock& clock);

    std::shared_ptr<TTRStoragePromiseProtocol> storage_;
    const plat::Clock& clock_;
    plat::DispatchQueue queue_;
};
