#include "transport/TTRTransport.h"

#include "transport/TTRConsoleLogger.h"
#include "transport/TTRTransformer.h"

std::shared_ptr<TTRTransport>
TTRTransport::initWithMappingID(const std::string& mappingID,
                                std::vector<std::shared_ptr<TTREventTransformer>> transformers,
                                int64_t target, std::shared_ptr<TTRTransformer> transformer) {
    TTRAssert(!mappingID.empty(), "A mapping ID cannot be nil or empty");
    TTRAssert(target >= 1, "A target cannot be negative or 0");
    if (mappingID.empty() || target < 1) return nullptr;
    if (!transformer) transformer = TTRTransformer::sharedInstance();
    auto transport =
        std::make_shared<TTRTransport>(mappingID, std::move(transformers), target, std::move(transformer));
    TTRLogDebug("Transport object created. mappingID:%@ transformers:%@ target:%ld", mappingID,
                static_cast<int64_t>(transport->transformers_.size()), target);
    return transport;
}

TTRTransport::TTRTransport(std::string mappingID,
                           std::vector<std::shared_ptr<TTREventTransformer>> transformers, int64_t target,
                           std::shared_ptr<TTRTransformer> transformer)
    : mappingID_(std::move(mappingID)), transformers_(std::move(transformers)), target_(target),
      transformerInstance_(std::move(transformer)) {}

std::shared_ptr<TTREvent> TTRTransport::eventForTransport() const {
    return TTREvent::initWithMappingID(mappingID_, target_);
}

std::shared_ptr<TTREvent>
TTRTransport::eventForTransportWithProductData(std::shared_ptr<const TTRProductData> productData) const {
    return TTREvent::initWithMappingID(mappingID_, std::move(productData), target_);
}

void TTRTransport::sendDataEvent(const std::shared_ptr<TTREvent>& event, TTRStoreCompletion onComplete) {
    TTRAssert(!event || event->qosTier() != 1, "Use -sendTelemetryEvent, please.");
    sendEvent(event, std::move(onComplete));
}

void TTRTransport::sendTelemetryEvent(const std::shared_ptr<TTREvent>& event, TTRStoreCompletion onComplete) {
    if (event) event->setQosTier(1);
    sendEvent(event, std::move(onComplete));
}

void TTRTransport::sendEvent(const std::shared_ptr<TTREvent>& event, TTRStoreCompletion onComplete) {
    TTRAssert(event != nullptr, "You can't send a nil event");
    std::shared_ptr<TTREvent> copy = event ? event->copy() : nullptr;
    if (copy) copy->setClockSnapshot(TTRClock::snapshot());
    transformerInstance_->transformEvent(copy, transformers_, std::move(onComplete));
}
