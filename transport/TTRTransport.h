// What a client holds to send events: one sender for a mapping id (log source) and a target. It makes
// events for that pair and sends copies of them, stamped with the send time, through the transformer
// to the target's storage; the client may change or reuse its event afterwards. Any thread.
#pragma once

#include "transport/TTREvent.h"
#include "transport/TTREventTransformer.h"
#include "transport/TTRStorageProtocol.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TTRTransformer;

class TTRTransport {
public:
    // A transport, or null (after the transport's assertion) for an empty mapping id or a target
    // below 1. `transformer` defaults to the shared one.
    static std::shared_ptr<TTRTransport>
    initWithMappingID(const std::string& mappingID,
                      std::vector<std::shared_ptr<TTREventTransformer>> transformers, int64_t target,
                      std::shared_ptr<TTRTransformer> transformer = nullptr);

    // A new event of this transport's mapping id and target.
    std::shared_ptr<TTREvent> eventForTransport() const;
    std::shared_ptr<TTREvent>
    eventForTransportWithProductData(std::shared_ptr<const TTRProductData> productData) const;

    // Sends a copy of the event. The completion (optional) hears whether it was written and why not.
    // sendDataEvent asserts when the event carries the telemetry tier 1 (and sends it all the same);
    // sendTelemetryEvent first sets the caller's event to tier 1.
    void sendDataEvent(const std::shared_ptr<TTREvent>& event, TTRStoreCompletion onComplete = nullptr);
    void sendTelemetryEvent(const std::shared_ptr<TTREvent>& event, TTRStoreCompletion onComplete = nullptr);

    const std::string& mappingID() const { return mappingID_; }
    const std::vector<std::shared_ptr<TTREventTransformer>>& transformers() const { return transformers_; }
    int64_t target() const { return target_; }
    const std::shared_ptr<TTRTransformer>& transformerInstance() const { return transformerInstance_; }

    TTRTransport(std::string mappingID, std::vector<std::shared_ptr<TTREventTransformer>> transformers,
                 int64_t target, std::shared_ptr<TTRTransformer> transformer);

private:
    void sendEvent(const std::shared_ptr<TTREvent>& event, TTRStoreCompletion onComplete);

    std::string mappingID_;
    std::vector<std::shared_ptr<TTREventTransformer>> transformers_;
    int64_t target_;
    std::shared_ptr<TTRTransformer> transformerInstance_;
};
