#include "transport/TTRMetricsController.h"

#include "transport/TTRConsoleLogger.h"
#include "transport/TTRFlatFileStorage.h"

#include "promises/TPRPromiseError.h"

namespace {

std::shared_ptr<const TTRMetricsMetadata> asMetadata(const std::shared_ptr<plat::SecureCoding>& stored) {
    return std::dynamic_pointer_cast<const TTRMetricsMetadata>(stored);
}

std::string describe(const std::optional<plat::Error>& error) {
    return error ? error->domain + " " + std::to_string(error->code) + ": " + error->localizedDescription()
                 : std::string("(none)");
}

} // namespace

std::shared_ptr<TTRMetricsController> TTRMetricsController::sharedInstance() {
    static auto* instance =
        new std::shared_ptr<TTRMetricsController>(initWithStorage(TTRFlatFileStorage::sharedInstance()));
    return *instance;
}

std::shared_ptr<TTRMetricsController>
TTRMetricsController::initWithStorage(std::shared_ptr<TTRStoragePromiseProtocol> storage,
                                      const plat::Clock& clock) {
    return std::shared_ptr<TTRMetricsController>(new TTRMetricsController(std::move(storage), clock));
}

TTRMetricsController::TTRMetricsController(std::shared_ptr<TTRStoragePromiseProtocol> storage,
                                           const plat::Clock& clock)
    : storage_(std::move(storage)), clock_(clock),
      queue_(plat::DispatchQueue::serial("com.tessera.TTRMetricsController")) {}

TPRPromise::Ptr TTRMetricsController::logEventsDroppedForReason(int64_t reason, const TTREvents& events) {
    if (events.empty()) return TPRPromise::resolvedWith(plat::Object());
    std::shared_ptr<const TTRLogSourceMetrics> added = TTRLogSourceMetrics::metricsWithEvents(events, reason);
    const plat::Date now = clock_.wallNow();
    return storage_->fetchAndUpdateMetricsWithHandler(
        plat::SecureCodingClass::of<TTRMetricsMetadata>(),
        [added, now](const std::shared_ptr<plat::SecureCoding>& stored,
                     const std::optional<plat::Error>& error) -> std::shared_ptr<const plat::SecureCoding> {
            if (std::shared_ptr<const TTRMetricsMetadata> metadata = asMetadata(stored))
                return TTRMetricsMetadata::metadataWithCollectionStartDate(
                    metadata->collectionStartDate(),
                    metadata->logSourceMetrics()->logSourceMetricsByMergingWithLogSourceMetrics(*added));
            TTRLogDebug("Error fetching metrics metadata: %@", describe(error));
            return TTRMetricsMetadata::metadataWithCollectionStartDate(now, added);
        });
}

TPRPromise::Ptr TTRMetricsController::getAndResetMetrics() {
    auto remembered = std::make_shared<std::shared_ptr<const TTRMetricsMetadata>>();
    const plat::Date now = clock_.wallNow();
    std::shared_ptr<TTRStoragePromiseProtocol> storage = storage_;
    return storage_
        ->fetchAndUpdateMetricsWithHandler(
            plat::SecureCodingClass::of<TTRMetricsMetadata>(),
            [remembered,
             now](const std::shared_ptr<plat::SecureCoding>& stored,
                  const std::optional<plat::Error>& error) -> std::shared_ptr<const plat::SecureCoding> {
                *remembered = asMetadata(stored);
                if (!*remembered) TTRLogDebug("Error fetching metrics metadata: %@", describe(error));
                return TTRMetricsMetadata::metadataWithCollectionStartDate(now,
                                                                           TTRLogSourceMetrics::metrics());
            })
        ->validate(queue_, [remembered](const plat::Object&) { return *remembered != nullptr; })
        ->then(queue_, [storage](const plat::Object&) { return TPRValue(storage->fetchStorageMetadata()); })
        ->then(queue_, [remembered, now](const plat::Object& value) -> TPRValue {
            std::shared_ptr<const TTRStorageMetadata> sizes = TTRStorageMetadata::fromObject(value);
            if (!sizes)
                sizes = TTRStorageMetadata::metadataWithCurrentCacheSize(0, kTTRFlatFileStorageSizeLimit);
            return TTRMetrics::asObject(TTRMetrics::metricsWithMetricsMetadata(**remembered, *sizes, now));
        });
}

TPRPromise::Ptr TTRMetricsController::offerMetrics(const std::shared_ptr<const TTRMetrics>& metrics) {
    if (!metrics) return TPRPromise::resolvedWith(plat::Object());
    const plat::Date now = clock_.wallNow();
    return storage_->fetchAndUpdateMetricsWithHandler(
        plat::SecureCodingClass::of<TTRMetricsMetadata>(),
        [metrics, now](const std::shared_ptr<plat::SecureCoding>& stored,
                       const std::optional<plat::Error>& error) -> std::shared_ptr<const plat::SecureCoding> {
            if (std::shared_ptr<const TTRMetricsMetadata> metadata = asMetadata(stored)) {
                // Counts of a window that began after the stored one are already covered by it.
                if (metrics->collectionStartDate() > metadata->collectionStartDate()) return metadata;
                return TTRMetricsMetadata::metadataWithCollectionStartDate(
                    metrics->collectionStartDate(),
                    metadata->logSourceMetrics()->logSourceMetricsByMergingWithLogSourceMetrics(
                        *metrics->logSourceMetrics()));
            }
            TTRLogDebug("Error fetching metrics metadata: %@", describe(error));
            if (metrics->collectionStartDate() <= now)
                return TTRMetricsMetadata::metadataWithCollectionStartDate(metrics->collectionStartDate(),
                                                                           metrics->logSourceMetrics());
            return TTRMetricsMetadata::metadataWithCollectionStartDate(now, TTRLogSourceMetrics::metrics());
        });
}

void TTRMetricsController::storage(TTRStorageProtocol&, const std::shared_ptr<TTREvent>& droppedEvent) {
    logEventsDroppedForReason(TTREventDropReasonStorageFull, TTREvents{droppedEvent});
}

void TTRMetricsController::storage(TTRStorageProtocol&, const TTREvents& removedExpiredEvents) {
    logEventsDroppedForReason(TTREventDropReasonExpired, removedExpiredEvents);
}
