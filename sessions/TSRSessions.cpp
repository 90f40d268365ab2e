#include "sessions/TSRSessions.h"

#include "sessions/ApplicationInfo.h"
#include "sessions/DevEventConsoleLogger.h"
#include "sessions/EventTTRLogger.h"
#include "sessions/SessionStartEvent.h"
#include "sessions/SessionsDependencies.h"
#include "sessions/SessionsLogger.h"
#include "sessions/SessionsSettings.h"
#include "sessions/TesseraTransportProtocol.h"

#include "core/TSRVersion.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/security/SecureRandom.h"
#include "promises/PromiseCombinators.h"
#include "transport/TTRTransport.h"

namespace {

constexpr uint64_t kTwoTo53 = uint64_t{1} << 53;

uint64_t drawUpTo2To53() {
    // Uniform over 0 ... 2^53 inclusive: 54 random bits, redrawn while above the range.
    for (;;) {
        uint64_t bits = 0;
        plat::fillRandomBytes(std::span<uint8_t>(reinterpret_cast<uint8_t*>(&bits), sizeof bits));
        bits &= (kTwoTo53 << 1) - 1;
        if (bits <= kTwoTo53) return bits;
    }
}

std::string expectedNames(const std::set<SessionsSubscriberName>& names) {
    std::string list;
    for (SessionsSubscriberName name : names)
        list += (list.empty() ? "" : ", ") + SessionsSubscriberNameDescription(name);
    return "[" + list + "]";
}

} // namespace

// ---- Construction ----

std::shared_ptr<TSRSessions> TSRSessions::make(const std::string& appID,
                                               std::shared_ptr<TSRInstallations> installations) {
    auto transport = std::make_shared<TTRTransportSessionsAdapter>(
        TTRTransport::initWithMappingID(kTSRSessionsMappingID, {}, kTSRSessionsTarget));
    auto eventLogger = std::make_shared<EventTTRLogger>(transport, std::make_shared<DevEventConsoleLogger>());
    auto appInfo = std::make_shared<ApplicationInfo>(appID, std::make_shared<NetworkInfo>(),
                                                     plat::ProcessInfo::processInfo().environment(),
                                                     plat::Bundle::main().infoDictionary());
    auto sessionsInstallations = std::make_shared<TSRInstallationsAdapter>(std::move(installations));
    auto settings = std::make_shared<SessionsSettings>(appInfo, sessionsInstallations);
    const bool collectEvents = shouldCollectEvents(*settings);
    auto generator = std::make_shared<SessionGenerator>(collectEvents);
    auto coordinator = std::make_shared<SessionCoordinator>(sessionsInstallations, eventLogger);
    auto initiator = std::make_shared<SessionInitiator>(settings, plat::Date::now);
    return make(appID, generator, coordinator, initiator, appInfo, settings, [](SessionStartOutcome outcome) {
        auto [level, message] = logMessage(outcome);
        TSRSessionsLog(level, message);
    });
}

std::shared_ptr<TSRSessions> TSRSessions::make(std::string appID,
                                               std::shared_ptr<SessionGenerator> sessionGenerator,
                                               std::shared_ptr<SessionCoordinatorProtocol> coordinator,
                                               std::shared_ptr<SessionInitiator> initiator,
                                               std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                                               std::shared_ptr<SettingsProtocol> settings,
                                               LoggedEventCallback loggedEventCallback) {
    auto sessions = std::make_shared<TSRSessions>(
        std::move(appID), std::move(sessionGenerator), std::move(coordinator), std::move(initiator),
        std::move(appInfo), std::move(settings), std::move(loggedEventCallback));
    sessions->beginListening();
    return sessions;
}

TSRSessions::TSRSessions(std::string appID, std::shared_ptr<SessionGenerator> sessionGenerator,
                         std::shared_ptr<SessionCoordinatorProtocol> coordinator,
                         std::shared_ptr<SessionInitiator> initiator,
                         std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                         std::shared_ptr<SettingsProtocol> settings, LoggedEventCallback loggedEventCallback)
    : appID_(std::move(appID)), coordinator_(std::move(coordinator)), initiator_(std::move(initiator)),
      sessionGenerator_(std::move(sessionGenerator)), appInfo_(std::move(appInfo)),
      settings_(std::move(settings)), loggedEventCallback_(std::move(loggedEventCallback)) {
    const std::set<SessionsSubscriberName> expected = TSRSessionsDependencies::dependencies();
    for (SessionsSubscriberName name : expected)
        subscriberPromises_.emplace(name, promises::Promise<promises::Void>());
    TSRSessionsLog(TSRLoggerLevelDebug,
                   "Version " + TSRVersion() + ". Expecting subscriptions from: " + expectedNames(expected));
}

TSRSessions::~TSRSessions() {
    for (auto& [name, promise] : subscriberPromises_)
        if (promise.isPending())
            promise.reject(
                plat::Error::withMessage("TesseraSessionsError", 0, "The sessions component went away."));
}

void TSRSessions::beginListening() {
    std::weak_ptr<TSRSessions> weak = weak_from_this();
    initiator_->beginListening([weak] {
        if (auto self = weak.lock()) self->startSession();
    });
}

bool TSRSessions::shouldCollectEvents(double samplingRate, uint64_t draw) {
    return static_cast<double>(draw) / static_cast<double>(kTwoTo53) <= samplingRate;
}

bool TSRSessions::shouldCollectEvents(const SettingsProtocol& settings) {
    return shouldCollectEvents(settings.samplingRate(), drawUpTo2To53());
}

// ---- Sessions ----

void TSRSessions::startSession() {
    const SessionInfo session = sessionGenerator_->generateNewSession();
    notificationCenter_.post(SessionIDChangedNotificationName);
    auto event = std::make_shared<SessionStartEvent>(session, *appInfo_, Time());
    if (subscriberPromises_.empty()) {
        if (loggedEventCallback_)
            loggedEventCallback_(TesseraSessionsError(TesseraSessionsError::Kind::NoDependenciesError));
        return;
    }
    std::vector<promises::Promise<promises::Void>> waits;
    for (const auto& [name, promise] : subscriberPromises_)
        waits.push_back(promise);
    std::weak_ptr<TSRSessions> weak = weak_from_this();
    promises::all(promises::promisesQueue(), waits).then(promises::promisesQueue(), [weak, session, event] {
        // The check waits for the installation id: never on the queue that delivers it.
        plat::DispatchQueue::global(plat::QoS::Background).async([weak, session, event] {
            if (auto self = weak.lock()) self->checkAndSend(session, event);
        });
    });
}

void TSRSessions::checkAndSend(const SessionInfo& session, const std::shared_ptr<SessionStartEvent>& event) {
    auto report = [this](SessionStartOutcome outcome) {
        if (loggedEventCallback_) loggedEventCallback_(std::move(outcome));
    };
    std::vector<std::shared_ptr<TSRSessionsSubscriber>> subscribers;
    {
        std::lock_guard guard(subscribersLock_);
        subscribers = subscribers_;
    }
    bool collects = false;
    for (const auto& subscriber : subscribers) {
        if (subscriber->isDataCollectionEnabled()) {
            collects = true;
            break;
        }
    }
    if (!collects) return report(TesseraSessionsError(TesseraSessionsError::Kind::DataCollectionError));
    TSRSessionsLog(TSRLoggerLevelDebug, "Data Collection is enabled for at least one Subscriber");

    settings_->updateSettings();
    for (const auto& subscriber : subscribers)
        event->set(subscriber->sessionsSubscriberName(), subscriber->isDataCollectionEnabled(), *appInfo_);
    event->setSamplingRate(settings_->samplingRate());

    if (!session.shouldDispatchEvents)
        return report(TesseraSessionsError(TesseraSessionsError::Kind::SessionSamplingError));
    if (!settings_->sessionsEnabled())
        return report(TesseraSessionsError(TesseraSessionsError::Kind::DisabledViaSettingsError));
    // The coordinator's callback runs where the transport reports; it keeps this object alive.
    coordinator_->attemptLoggingSessionStart(event, [self = shared_from_this()](SessionStartOutcome outcome) {
        if (self->loggedEventCallback_) self->loggedEventCallback_(std::move(outcome));
    });
}

// ---- Subscribers ----

void TSRSessions::registerWithSubscriber(std::shared_ptr<TSRSessionsSubscriber> subscriber) {
    if (!subscriber) return;
    TSRSessionsLog(
        TSRLoggerLevelDebug,
        "Registering Sessions SDK subscriber with name: " +
            SessionsSubscriberNameDescription(subscriber->sessionsSubscriberName()) +
            ", data collection enabled: " + (subscriber->isDataCollectionEnabled() ? "true" : "false"));
    listen([subscriber](const TSRSessionDetails& session) { subscriber->onSessionChanged(session); });
    {
        std::lock_guard guard(subscribersLock_);
        subscribers_.push_back(subscriber);
    }
    auto promise = subscriberPromises_.find(subscriber->sessionsSubscriberName());
    if (promise != subscriberPromises_.end()) promise->second.fulfill(promises::Void{});
}

void TSRSessions::addSessionListener(std::function<void(const TSRSessionDetails&)> listener) {
    if (listener) listen(std::move(listener));
}

void TSRSessions::listen(std::function<void(const TSRSessionDetails&)> listener) {
    std::weak_ptr<SessionGenerator> generator = sessionGenerator_;
    auto tell = [generator, listener = std::move(listener)] {
        std::optional<std::string> id;
        if (auto current = generator.lock(); current && current->currentSession())
            id = current->currentSession()->sessionId;
        listener(TSRSessionDetails(id));
    };
    observers_.push_back(notificationCenter_.addObserver(SessionIDChangedNotificationName, plat::Object(),
                                                         [tell](const plat::Notification&) { tell(); }));
    tell();
}

// ---- Outcomes ----

std::pair<int, std::string> TSRSessions::logMessage(const SessionStartOutcome& outcome) {
    if (!outcome) return {TSRLoggerLevelInfo, "Successfully logged Session Start event"};
    using Kind = TesseraSessionsError::Kind;
    const std::string underlying = outcome->underlying() ? outcome->underlying()->localizedDescription() : "";
    switch (outcome->kind()) {
    case Kind::SessionInstallationsError:
        return {TSRLoggerLevelError,
                "Error getting Tessera Installation ID: " + underlying + ". Skipping this Session Event"};
    case Kind::DataTransportError:
        return {TSRLoggerLevelError,
                "Error logging Session Start event to TesseraTransport: " + underlying + "."};
    case Kind::SessionSamplingError:
        return {TSRLoggerLevelDebug, "Sessions SDK has sampled this session"};
    case Kind::SessionInstallationsTimeOutError:
        return {TSRLoggerLevelError,
                "Error getting Tessera Installation ID due to timeout. Skipping this Session Event"};
    case Kind::DisabledViaSettingsError:
        return {TSRLoggerLevelDebug, "Sessions SDK is disabled via Settings"};
    case Kind::DataCollectionError:
        return {TSRLoggerLevelDebug,
                "Data Collection is disabled for all subscribers. Skipping this Session Event"};
    case Kind::NoDependenciesError:
        return {TSRLoggerLevelError, "Sessions SDK did not have any dependent SDKs register as dependencies. "
                                     "Events will not be sent."};
    }
    return {TSRLoggerLevelError, outcome->description()};
}
