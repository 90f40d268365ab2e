// The parts of the upload path that the registrar holds: uploaders (one per target, asked to upload
// under the current network conditions), the metrics controller (which counts lost events) and the
// upload coordinator (which decides when to upload and forces an upload on request).
#pragma once

#include "transport/TTREvent.h"
#include "transport/TTRLifecycleProtocol.h"
#include "transport/TTRStorageProtocol.h"

#include "promises/TPRPromise.h"

#include <cstdint>
#include <memory>

// The network conditions of an upload request, as bits.
enum TTRUploadConditions : uint32_t {
    TTRUploadConditionNoNetwork = 1,
    TTRUploadConditionMobileData = 2,
    TTRUploadConditionWifiData = 4,
    TTRUploadConditionHighPriority = 16,
};

class TTRUploader : public TTRLifecycleProtocol {
public:
    // Schedules an upload of the target's events; only enqueues work.
    virtual void uploadTarget(int64_t target, uint32_t conditions) = 0;
};

class TTRMetrics;

// Counts the events the transport loses and hands the counts to uploads.
class TTRMetricsControllerProtocol : public TTRStorageDelegate {
public:
    virtual TPRPromise::Ptr logEventsDroppedForReason(int64_t reason, const TTREvents& events) = 0;
    virtual TPRPromise::Ptr getAndResetMetrics() = 0;
    virtual TPRPromise::Ptr offerMetrics(const std::shared_ptr<const TTRMetrics>& metrics) = 0;
};

// Decides when uploads happen; the storage forces an upload of a target when it stores a tier-4
// (high-priority) event.
class TTRUploadCoordinatorProtocol : public TTRLifecycleProtocol {
public:
    virtual void forceUploadForTarget(int64_t target) = 0;
};
