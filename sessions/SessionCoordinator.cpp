#include "sessions/SessionCoordinator.h"

#include "sessions/SessionStartEvent.h"
#include "sessions/SessionsLogger.h"

SessionCoordinator::SessionCoordinator(std::shared_ptr<const InstallationsProtocol> installations,
                                       std::shared_ptr<EventTTRLoggerProtocol> eventLogger)
    : installations_(std::move(installations)), eventLogger_(std::move(eventLogger)) {}

void SessionCoordinator::attemptLoggingSessionStart(const std::shared_ptr<SessionStartEvent>& event,
                                                    std::function<void(SessionStartOutcome)> callback) {
    SessionStartOutcome fillOutcome;
    installations_->installationID([&](InstallationFactsResult result) {
        if (auto* facts = std::get_if<InstallationFacts>(&result)) {
            event->setInstallationID(facts->installationID);
            event->setAuthenticationToken(facts->authToken);
        } else {
            event->setInstallationID("");
            event->setAuthenticationToken("");
            fillOutcome = std::get<TesseraSessionsError>(result);
        }
    });
    eventLogger_->logEvent(event, [fillOutcome,
                                   callback = std::move(callback)](std::optional<plat::Error> error) {
        if (error) {
            callback(TesseraSessionsError::DataTransportError(*error));
            return;
        }
        TSRSessionsLog(TSRLoggerLevelDebug, "Successfully logged Session Start event to TesseraTransport");
        callback(fillOutcome);
    });
}
