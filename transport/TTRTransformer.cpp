#include "transport/TTRTransformer.h"

#include "transport/TTRApplication.h"
#include "transport/TTRConsoleLogger.h"
#include "transport/TTRRegistrar.h"

#include <atomic>

std::shared_ptr<TTRTransformer> TTRTransformer::sharedInstance() {
    static auto* instance = new std::shared_ptr<TTRTransformer>(std::make_shared<TTRTransformer>(
        // The wrapper lives for the whole process; the pointer does not own it.
        std::shared_ptr<TTRApplicationProtocol>(&TTRApplication::sharedApplication(),
                                                [](TTRApplicationProtocol*) {}),
        TTRRegistrar::sharedInstance()));
    return *instance;
}

std::shared_ptr<TTRTransformer>
TTRTransformer::initWithApplication(std::shared_ptr<TTRApplicationProtocol> application) {
    return std::make_shared<TTRTransformer>(std::move(application), TTRRegistrar::sharedInstance());
}

TTRTransformer::TTRTransformer(std::shared_ptr<TTRApplicationProtocol> application,
                               std::shared_ptr<TTRRegistrar> registrar)
    : eventWritingQueue_(plat::DispatchQueue::serial("com.tessera.TTRTransformer")),
      application_(std::move(application)), registrar_(std::move(registrar)) {}

void TTRTransformer::transformEvent(std::shared_ptr<TTREvent> event,
                                    const std::vector<std::shared_ptr<TTREventTransformer>>& transformers,
                                    TTRStoreCompletion onComplete) {
    TTRAssert(event != nullptr, "You can't write a nil event");

    // Shared by the expiration handler and the completion wrapper; whichever ends the task first
    // marks it invalid.
    auto taskID = std::make_shared<std::atomic<TTRBackgroundIdentifier>>(TTRBackgroundIdentifierInvalid);
    std::shared_ptr<TTRApplicationProtocol> application = application_;
    taskID->store(application->beginBackgroundTaskWithName("TTRTransformer", [application, taskID] {
        application->endBackgroundTask(taskID->exchange(TTRBackgroundIdentifierInvalid));
    }));
    TTRStoreCompletion completion = [onComplete, application,
                                     taskID](bool wasWritten, const std::optional<plat::Error>& error) {
        if (onComplete) onComplete(wasWritten, error);
        TTRBackgroundIdentifier id = taskID->exchange(TTRBackgroundIdentifierInvalid);
        if (id != TTRBackgroundIdentifierInvalid)
            application->endBackgroundTask(id);
        else
            TTRLog(kTTRMCDebugLog, TTRLoggingLevelWarnings,
                   "Attempted to cancel invalid background task in TTRTransformer.");
    };

    std::shared_ptr<TTRRegistrar> registrar = registrar_;
    eventWritingQueue_.async([event, transformers, completion, registrar]() mutable {
        if (!event) {
            completion(false,
                       plat::Error::withMessage(kTTRInternalInconsistencyDomain, -1, "The event was nil."));
            return;
        }
        for (const std::shared_ptr<TTREventTransformer>& transformer : transformers) {
            if (!transformer) {
                TTRLogError(kTTRMCTransformerDoesntImplementTransform,
                            "Transformer doesn't implement transformTTREvent: %@", "(null)");
                completion(false, std::nullopt);
                return;
            }
            TTRLogDebug("Applying a transformer to event %@", event->description());
            event = transformer->transformTTREvent(event);
            if (!event) {
                completion(false, std::nullopt);
                return;
            }
        }
        auto storages = registrar->targetToStorage();
        auto found = storages.find(event->target());
        if (found == storages.end() || !found->second) {
            // Nothing would ever answer the sender otherwise.
            TTRLogError(kTTRMCErrorLog, "No storage is registered for target %ld; the event was not stored.",
                        event->target());
            completion(false, plat::Error::withMessage(kTTRInternalInconsistencyDomain, -1,
                                                       "No storage is registered for target " +
                                                           std::to_string(event->target()) + "."));
            return;
        }
        found->second->storeEvent(event, completion);
    });
}
