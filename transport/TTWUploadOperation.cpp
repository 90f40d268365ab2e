#include "transport/TTWUploadOperation.h"

#include "transport/TTRApplication.h"
#include "transport/TTRConsoleLogger.h"
#include "transport/TTRMetrics.h"
#include "transport/TTWCompressionHelper.h"
#include "transport/TTWLogRequestBuilders.h"

#include "platform/object/Error.h"

#include <atomic>

namespace {

constexpr const char* kErrorDomain = "TTWUploader";
constexpr const char* kLocalizedFailureReasonKey = "NSLocalizedFailureReason";
constexpr const char* kTransportVersion = "0.0.1";

std::string targetName(int64_t target) {
    switch (target) {
    case 1000:
        return "ttw";
    case 1001:
        return "tlg";
    case 1002:
        return "crw";
    case 1003:
        return "int";
    default:
        return "unknown";
    }
}

} // namespace

std::shared_ptr<TTWUploadOperation>
TTWUploadOperation::initWithTarget(int64_t target, uint32_t conditions, std::string uploadURL,
                                   plat::DispatchQueue queue,
                                   std::shared_ptr<TTRStoragePromiseProtocol> storage,
                                   std::shared_ptr<TTWUploadMetadataProvider> metadataProvider,
                                   std::shared_ptr<TTRMetricsControllerProtocol> metricsController) {
    return std::shared_ptr<TTWUploadOperation>(
        new TTWUploadOperation(target, conditions, std::move(uploadURL), std::move(queue), std::move(storage),
                               std::move(metadataProvider), std::move(metricsController)));
}

TTWUploadOperation::TTWUploadOperation(int64_t target, uint32_t conditions, std::string uploadURL,
                                       plat::DispatchQueue queue,
                                       std::shared_ptr<TTRStoragePromiseProtocol> storage,
                                       std::shared_ptr<TTWUploadMetadataProvider> metadataProvider,
                                       std::shared_ptr<TTRMetricsControllerProtocol> metricsController)
    : target_(target), conditions_(conditions), uploadURL_(std::move(uploadURL)),
      uploaderQueue_(std::move(queue)), storage_(std::move(storage)),
      metadataProvider_(std::move(metadataProvider)), metricsController_(std::move(metricsController)) {}

std::string TTWUploadOperation::description() const {
    return "<TTWUploadOperation target:" + std::to_string(target_) +
           " conditions:" + std::to_string(conditions_) + ">";
}

void TTWUploadOperation::start() {
    {
        std::lock_guard guard(lock_);
        if (finished_ || executing_) return;
        if (cancelled_) {
            finished_ = true;
            finishedSignal_.notify_all();
            return;
        }
        executing_ = true;
    }
    TTRLogDebug("Upload operation started: %@", description());
    uploadTarget(target_, conditions_);
}

void TTWUploadOperation::cancel() {
    std::lock_guard guard(lock_);
    cancelled_ = true;
    if (!executing_) {
        finished_ = true;
        finishedSignal_.notify_all();
    }
}

bool TTWUploadOperation::isCancelled() const {
    std::lock_guard guard(lock_);
    return cancelled_;
}

bool TTWUploadOperation::isExecuting() const {
    std::lock_guard guard(lock_);
    return executing_;
}

bool TTWUploadOperation::isFinished() const {
    std::lock_guard guard(lock_);
    return finished_;
}

void TTWUploadOperation::waitUntilFinished() const {
    std::unique_lock guard(lock_);
    finishedSignal_.wait(guard, [this] { return finished_; });
}

bool TTWUploadOperation::uploadAttempted() const {
    std::lock_guard guard(lock_);
    return uploadAttempted_;
}

std::shared_ptr<const TTRMetrics> TTWUploadOperation::currentMetrics() const {
    std::lock_guard guard(lock_);
    return currentMetrics_;
}

void TTWUploadOperation::finish() {
    std::lock_guard guard(lock_);
    executing_ = false;
    finished_ = true;
    finishedSignal_.notify_all();
}

TPRPromise::Ptr TTWUploadOperation::uploadTarget(int64_t target, uint32_t conditions) {
    TTRApplicationProtocol& application = TTRApplication::sharedApplication();
    // Shared by the expiration handler and the last step; each ends the task once.
    auto backgroundTask =
        std::make_shared<std::atomic<TTRBackgroundIdentifier>>(TTRBackgroundIdentifierInvalid);
    std::weak_ptr<TTWUploadOperation> weak = weak_from_this();
    backgroundTask->store(
        application.beginBackgroundTaskWithName("TTWUploader-upload", [&application, backgroundTask, weak] {
            TTRBackgroundIdentifier identifier = backgroundTask->exchange(TTRBackgroundIdentifierInvalid);
            if (identifier == TTRBackgroundIdentifierInvalid) {
                TTRLog(kTTRMCDebugLog, TTRLoggingLevelWarnings, "%@",
                       "Attempted to cancel invalid background task in TTWUploadOperation.");
                return;
            }
            if (auto self = weak.lock()) {
                std::lock_guard guard(self->lock_);
                if (self->currentTask_) self->currentTask_->cancel();
            }
            application.endBackgroundTask(identifier);
        }));

    auto self = shared_from_this();
    const plat::DispatchQueue& queue = uploaderQueue_;
    auto notCancelled = [self](const plat::Object&) { return !self->isCancelled(); };
    return isReadyToUploadTarget(target, conditions)
        ->validate(queue, notCancelled)
        ->then(queue,
               [self, target](const plat::Object&) {
                   // Batches of an earlier attempt that never settled give their events back.
                   return TPRValue(self->storage_->removeAllBatchesForTarget(target, false));
               })
        ->then(queue,
               [self, target](const plat::Object&) {
                   return TPRValue(self->storage_->hasEventsForTarget(target));
               })
        ->validate(queue,
                   [](const plat::Object& hasEvents) {
                       return hasEvents.isNumber() && hasEvents.number().boolValue();
                   })
        ->then(queue,
               [self, target, conditions](const plat::Object&) {
                   plat::Date expiration{plat::Date::now().secondsSince1970 + kTTWBatchExpirationSeconds};
                   return TPRValue(self->storage_->batchWithEventSelector(
                       self->eventSelectorTarget(target, conditions), expiration));
               })
        ->then(queue,
               [self, target](const plat::Object& batch) -> TPRValue {
                   if (!self->metricsController_) return batch;
                   return self->batchByAddingMetricsEventToBatch(TTRUploadBatch::fromObject(batch), target);
               })
        ->validate(queue, notCancelled)
        ->then(queue,
               [self, target](const plat::Object& batch) {
                   {
                       std::lock_guard guard(self->lock_);
                       self->uploadAttempted_ = true;
                   }
                   return TPRValue(
                       self->uploadBatch(TTRUploadBatch::fromObject(batch), target, self->storage_));
               })
        ->catch_(queue, [](const plat::Error&) {})
        ->always(queue, [self, &application, backgroundTask] {
            self->finish();
            TTRBackgroundIdentifier identifier = backgroundTask->exchange(TTRBackgroundIdentifierInvalid);
            if (identifier != TTRBackgroundIdentifierInvalid) application.endBackgroundTask(identifier);
        });
}

TPRPromise::Ptr TTWUploadOperation::isReadyToUploadTarget(int64_t target, uint32_t conditions) {
    if (readyToUploadTarget(target, conditions)) return TPRPromise::resolvedWith(plat::Object::null());
    return TPRPromise::resolvedWith(genericRejectedPromiseErrorWithReason(
        "Target " + std::to_string(target) +
        " is not ready to upload with condition: " + std::to_string(conditions)));
}

bool TTWUploadOperation::readyToUploadTarget(int64_t target, uint32_t conditions) const {
    if (conditions & TTRUploadConditionNoNetwork) {
        TTRLogDebug("%@", "TTW: Not ready to upload without a network connection.");
        return false;
    }
    if (conditions & TTRUploadConditionHighPriority) {
        TTRLogDebug("%@", "TTW: a high priority event is allowing an upload");
        return true;
    }
    std::shared_ptr<const TTRClock> next = metadataProvider_->nextUploadTimeForTarget(target);
    if (!next) return true;
    if (TTRClock::snapshot()->isAfter(*next)) {
        TTRLogDebug("TTW: can upload to target %ld because the request wait time has transpired", target);
        return true;
    }
    TTRLogDebug("TTW: can't upload to target %ld because the backend asked to wait", target);
    return false;
}

TTRStorageEventSelector TTWUploadOperation::eventSelectorTarget(int64_t target, uint32_t conditions) const {
    if (conditions & TTRUploadConditionHighPriority)
        return TTRStorageEventSelector::eventSelectorForTarget(target);
    std::set<int64_t> tiers;
    if (conditions & TTRUploadConditionWifiData) tiers.insert({4, 5, 3, 1, 0});
    if (conditions & TTRUploadConditionMobileData) tiers.insert({4, 3});
    return TTRStorageEventSelector(target, std::nullopt, std::nullopt, std::move(tiers));
}

TPRPromise::Ptr
TTWUploadOperation::batchByAddingMetricsEventToBatch(std::shared_ptr<const TTRUploadBatch> batch,
                                                     int64_t target) {
    auto self = shared_from_this();
    return metricsController_->getAndResetMetrics()
        ->then(uploaderQueue_,
               [self, batch, target](const plat::Object& value) -> TPRValue {
                   std::shared_ptr<const TTRMetrics> metrics = TTRMetrics::fromObject(value);
                   std::shared_ptr<TTREvent> event = metrics ? TTREventWithMetrics(metrics, target) : nullptr;
                   if (!event) return TTRUploadBatch::asObject(batch);
                   {
                       std::lock_guard guard(self->lock_);
                       self->currentMetrics_ = metrics;
                   }
                   TTREvents events = batch->events();
                   events.push_back(event);
                   return TTRUploadBatch::asObject(
                       TTRUploadBatch::initWithBatchID(batch->batchID(), std::move(events)));
               })
        ->recover(uploaderQueue_,
                  [batch](const plat::Error&) { return TPRValue(TTRUploadBatch::asObject(batch)); });
}

TPRPromise::Ptr TTWUploadOperation::uploadBatch(std::shared_ptr<const TTRUploadBatch> batch, int64_t target,
                                                std::shared_ptr<TTRStoragePromiseProtocol> storage) {
    auto self = shared_from_this();
    return sendURLRequestWithBatch(batch, target)
        ->chainOnQueue(
            uploaderQueue_,
            [self, batch, target, storage](const plat::Object& value) -> TPRValue {
                std::shared_ptr<const TTWURLSessionDataResponse> response =
                    TTWURLSessionDataResponse::fromObject(value);
                if (!response)
                    response = std::make_shared<TTWURLSessionDataResponse>(std::nullopt, std::nullopt);
                self->updateNextUploadTimeWithResponse(*response, target);
                return self->processResponse(*response, batch, storage);
            },
            [self, batch, storage](const plat::Error&) -> TPRValue {
                // No reply (no connection, a dropped one, nothing to send): everything stays.
                if (std::shared_ptr<const TTRMetrics> metrics = self->currentMetrics())
                    self->metricsController_->offerMetrics(metrics);
                return storage->removeBatchWithID(batch->batchID(), false);
            });
}

plat::Error TTWUploadOperation::genericRejectedPromiseErrorWithReason(const std::string& reason) {
    plat::Object::Dict userInfo;
    userInfo[kLocalizedFailureReasonKey] = plat::Object(reason);
    return plat::Error(kErrorDomain, -1, std::move(userInfo));
}

std::string TTWUploadOperation::userAgentForTarget(int64_t target) {
    return std::string("tesseratransport/") + kTransportVersion + " " + targetName(target) + "support/" +
           kTransportVersion + " apple/";
}
