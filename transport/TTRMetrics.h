// One hand-out of the client metrics: the counting window, the counts of lost events, the storage's
// size and limit and the bundle id. It renders itself as the ttr_client_metrics_ClientMetrics
// message, the payload of the metrics event (mapping id "2103") that rides along with an upload.
// Immutable; travels through promises as an opaque object (asObject / fromObject).
#pragma once

#include "transport/TTREvent.h"
#include "transport/TTREventDataObject.h"
#include "transport/TTRLogSourceMetrics.h"
#include "transport/TTRMetricsMetadata.h"
#include "transport/TTRStorageMetadata.h"

#include "platform/object/Object.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

inline constexpr const char* kTTRMetricsMappingID = "2103";

class TTRMetrics : public TTREventDataObject {
public:
    TTRMetrics(plat::Date collectionStartDate, plat::Date collectionEndDate,
               std::shared_ptr<const TTRLogSourceMetrics> logSourceMetrics, uint64_t currentCacheSize,
               uint64_t maxCacheSize, std::string bundleID);
    // The window from the metadata's start to now, its counts, the storage's sizes and the main
    // bundle's identifier ("" when there is none).
    static std::shared_ptr<const TTRMetrics> metricsWithMetricsMetadata(const TTRMetricsMetadata& metadata,
                                                                        const TTRStorageMetadata& storage,
                                                                        plat::Date now = plat::Date::now());

    plat::Date collectionStartDate() const { return collectionStartDate_; }
    plat::Date collectionEndDate() const { return collectionEndDate_; }
    const std::shared_ptr<const TTRLogSourceMetrics>& logSourceMetrics() const { return logSourceMetrics_; }
    uint64_t currentCacheSize() const { return currentCacheSize_; }
    uint64_t maxCacheSize() const { return maxCacheSize_; }
    const std::string& bundleID() const { return bundleID_; }

    bool isEqualToMetrics(const TTRMetrics& other) const;
    size_t hash() const;
    std::string description() const;

    // The encoded ttr_client_metrics_ClientMetrics; none when encoding fails (logged, code 1005).
    std::optional<plat::Data> transportBytes() const override;

    static plat::Object asObject(std::shared_ptr<const TTRMetrics> metrics) {
        return plat::Object(plat::Opaque::make<TTRMetrics>(std::move(metrics), "TTRMetrics"));
    }
    static std::shared_ptr<const TTRMetrics> fromObject(const plat::Object& object) {
        const plat::Opaque& opaque = object.opaque();
        if (!opaque.as<TTRMetrics>()) return nullptr;
        return std::static_pointer_cast<const TTRMetrics>(opaque.pointer);
    }

private:
    plat::Date collectionStartDate_;
    plat::Date collectionEndDate_;
    std::shared_ptr<const TTRLogSourceMetrics> logSourceMetrics_;
    uint64_t currentCacheSize_;
    uint64_t maxCacheSize_;
    std::string bundleID_;
};

// A new event of mapping id "2103" for `target` carrying the metrics as its data object.
std::shared_ptr<TTREvent> TTREventWithMetrics(std::shared_ptr<const TTRMetrics> metrics, int64_t target);
