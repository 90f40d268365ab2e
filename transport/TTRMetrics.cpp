#include "transport/TTRMetrics.h"

#include "transport/TTRConsoleLogger.h"
#include "transport/TTWClientMetricsBuilders.h"
#include "transport/TTWLogRequestBuilders.h"

#include "platform/foundation/Bundle.h"

#include <functional>

TTRMetrics::TTRMetrics(plat::Date collectionStartDate, plat::Date collectionEndDate,
                       std::shared_ptr<const TTRLogSourceMetrics> logSourceMetrics, uint64_t currentCacheSize,
                       uint64_t maxCacheSize, std::string bundleID)
    : collectionStartDate_(collectionStartDate), collectionEndDate_(collectionEndDate),
      logSourceMetrics_(logSourceMetrics ? std::move(logSourceMetrics) : TTRLogSourceMetrics::metrics()),
      currentCacheSize_(currentCacheSize), maxCacheSize_(maxCacheSize), bundleID_(std::move(bundleID)) {}

std::shared_ptr<const TTRMetrics> TTRMetrics::metricsWithMetricsMetadata(const TTRMetricsMetadata& metadata,
                                                                         const TTRStorageMetadata& storage,
                                                                         plat::Date now) {
    return std::make_shared<const TTRMetrics>(
        metadata.collectionStartDate(), now, metadata.logSourceMetrics(), storage.currentCacheSize(),
        storage.maxCacheSize(), plat::Bundle::main().bundleIdentifier().value_or(""));
}

bool TTRMetrics::isEqualToMetrics(const TTRMetrics& other) const {
    return collectionStartDate_ == other.collectionStartDate_ &&
           collectionEndDate_ == other.collectionEndDate_ &&
           logSourceMetrics_->isEqualToLogSourceMetrics(*other.logSourceMetrics_) &&
           currentCacheSize_ == other.currentCacheSize_ && maxCacheSize_ == other.maxCacheSize_ &&
           bundleID_ == other.bundleID_;
}

size_t TTRMetrics::hash() const {
    std::hash<double> date;
    std::hash<uint64_t> size;
    return date(collectionStartDate_.secondsSince1970) ^ date(collectionEndDate_.secondsSince1970) ^
           logSourceMetrics_->hash() ^ std::hash<std::string>()(bundleID_) ^ size(currentCacheSize_) ^
           size(maxCacheSize_);
}

std::string TTRMetrics::description() const {
    return "<TTRMetrics> {\n\tcollectionStartDate: " + std::to_string(collectionStartDate_.secondsSince1970) +
           ",\n\tcollectionEndDate: " + std::to_string(collectionEndDate_.secondsSince1970) +
           ",\n\tcurrentCacheSize: " + std::to_string(currentCacheSize_) +
           ",\n\tmaxCacheSize: " + std::to_string(maxCacheSize_) + ",\n\tbundleID: " + bundleID_ +
           ",\n\tlogSourceMetrics: " + logSourceMetrics_->description() + "}\n";
}

std::optional<plat::Data> TTRMetrics::transportBytes() const {
    std::unique_ptr<TTWClientMetricsRecord> record = TTWConstructClientMetrics(*this);
    return TTWEncodeMessage(record->fields(), &record->message, kTTRMCErrorCouldNotEncodeMetrics);
}

std::shared_ptr<TTREvent> TTREventWithMetrics(std::shared_ptr<const TTRMetrics> metrics, int64_t target) {
    std::shared_ptr<TTREvent> event = TTREvent::initWithMappingID(kTTRMetricsMappingID, target);
    if (event) event->setDataObject(std::move(metrics));
    return event;
}
