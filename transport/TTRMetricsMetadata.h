// The persisted state of the client metrics: when the current counting window began and the counts
// of lost events since then. Immutable; stored in the storage's library data under
// "metrics_metadata" as a secure archive of "TTRMetricsMetadata".
#pragma once

#include "transport/TTRLogSourceMetrics.h"

#include "platform/foundation/SecureCoding.h"
#include "platform/object/Object.h"

#include <cstddef>
#include <memory>

class TTRMetricsMetadata : public plat::SecureCoding {
public:
    static constexpr const char* kClassName = "TTRMetricsMetadata";

    TTRMetricsMetadata(plat::Date collectionStartDate,
                       std::shared_ptr<const TTRLogSourceMetrics> logSourceMetrics)
        : collectionStartDate_(collectionStartDate), logSourceMetrics_(std::move(logSourceMetrics)) {}
    static std::shared_ptr<const TTRMetricsMetadata>
    metadataWithCollectionStartDate(plat::Date collectionStartDate,
                                    std::shared_ptr<const TTRLogSourceMetrics> logSourceMetrics) {
        return std::make_shared<const TTRMetricsMetadata>(collectionStartDate, std::move(logSourceMetrics));
    }

    plat::Date collectionStartDate() const { return collectionStartDate_; }
    // Never null.
    const std::shared_ptr<const TTRLogSourceMetrics>& logSourceMetrics() const { return logSourceMetrics_; }

    bool isEqualToMetricsMetadata(const TTRMetricsMetadata& other) const {
        return collectionStartDate_ == other.collectionStartDate_ &&
               logSourceMetrics_->isEqualToLogSourceMetrics(*other.logSourceMetrics_);
    }
    size_t hash() const;

    std::string className() const override { return kClassName; }
    void encodeWithCoder(plat::KeyedArchiver& coder) const override;
    // Null when either field is missing or of the wrong class.
    static std::shared_ptr<TTRMetricsMetadata> initWithCoder(plat::KeyedUnarchiver& coder);

private:
    plat::Date collectionStartDate_;
    std::shared_ptr<const TTRLogSourceMetrics> logSourceMetrics_;
};
