#include "transport/TTRMetricsMetadata.h"

#include "transport/TTRCoding.h"

#include "platform/foundation/KeyedUnarchiver.h"

#include <functional>

namespace {

constexpr const char* kCollectionStartDateKey = "collectionStartDate";
constexpr const char* kLogSourceMetricsKey = "logSourceMetrics";

} // namespace

size_t TTRMetricsMetadata::hash() const {
    return std::hash<double>()(collectionStartDate_.secondsSince1970) ^ logSourceMetrics_->hash();
}

void TTRMetricsMetadata::encodeWithCoder(plat::KeyedArchiver& coder) const {
    coder.encodeObject(plat::Object(collectionStartDate_), kCollectionStartDateKey);
    coder.encodeObject(std::static_pointer_cast<const plat::SecureCoding>(logSourceMetrics_),
                       kLogSourceMetricsKey);
}

std::shared_ptr<TTRMetricsMetadata> TTRMetricsMetadata::initWithCoder(plat::KeyedUnarchiver& coder) {
    std::optional<plat::Date> start;
    if (!ttr_coding::decodeDate(coder, kCollectionStartDateKey, start) || !start) return nullptr;
    auto metrics = coder.decodeObjectOfClass<TTRLogSourceMetrics>(kLogSourceMetricsKey);
    if (coder.error() || !metrics) return nullptr;
    return std::make_shared<TTRMetricsMetadata>(*start, std::move(metrics));
}
