// The process-wide hand-off between transports and storage: on its serial queue
// "com.tessera.TTRTransformer" it runs a transport's transformers over each event, in the order the
// events were sent, and gives the result to the storage registered for the event's target, inside a
// background task of the application.
#pragma once

#include "transport/TTRApplicationProtocol.h"
#include "transport/TTREventTransformer.h"
#include "transport/TTRStorageProtocol.h"

#include "platform/dispatch/DispatchQueue.h"

#include <memory>
#include <vector>

class TTRRegistrar;

// The error of a send that no storage took: domain NSInternalInconsistencyException, code -1.
inline constexpr const char* kTTRInternalInconsistencyDomain = "NSInternalInconsistencyException";

class TTRTransformer {
public:
    // The process-wide transformer over the shared application wrapper and registrar.
    static std::shared_ptr<TTRTransformer> sharedInstance();
    // A transformer over its own application and registrar (tests).
    TTRTransformer(std::shared_ptr<TTRApplicationProtocol> application,
                   std::shared_ptr<TTRRegistrar> registrar);
    static std::shared_ptr<TTRTransformer>
    initWithApplication(std::shared_ptr<TTRApplicationProtocol> application);

    // Transforms and stores `event`; the completion (if any) runs once: on the storage queue after
    // the storage finished, or on the transformer queue when a transformer dropped the event, the
    // event is null, or no storage is registered for its target (then with an error).
    void transformEvent(std::shared_ptr<TTREvent> event,
                        const std::vector<std::shared_ptr<TTREventTransformer>>& transformers,
                        TTRStoreCompletion onComplete);

    const plat::DispatchQueue& eventWritingQueue() const { return eventWritingQueue_; }
    const std::shared_ptr<TTRApplicationProtocol>& application() const { return application_; }

private:
    plat::DispatchQueue eventWritingQueue_;
    std::shared_ptr<TTRApplicationProtocol> application_;
    std::shared_ptr<TTRRegistrar> registrar_;
};
