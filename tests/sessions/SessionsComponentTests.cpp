// The sessions component: when a session's event is sent and why not, what the subscribers hear,
// and the sampling decision.
#include "tests/sessions/SessionsTestSupport.h"

#include "sessions/EventTTRLogger.h"
#include "sessions/SessionStartEvent.h"
#include "sessions/SessionsDependencies.h"
#include "sessions/SessionsSettings.h"
#include "sessions/TSRSESNanoPBHelpers.h"
#include "sessions/TSRSessions.h"

#include "platform/appkit/Application.h"
#include "platform/dispatch/RunLoop.h"
#include "transport/TTREvent.h"

#include <pb_decode.h>

using namespace sestest;

namespace {

class TestSettings : public SettingsProtocol {
public:
    std::atomic<bool> enabled{true};
    std::atomic<double> rate{1.0};
    std::atomic<double> timeout{1800};
    std::atomic<int> updates{0};
    bool sessionsEnabled() const override { return enabled; }
    double samplingRate() const override { return rate; }
    double sessionTimeout() const override { return timeout; }
    void updateSettings() override { ++updates; }
};

// A transport that keeps the bytes of what it is given and answers as told.
class RecordingTransport : public TesseraTransportProtocol {
public:
    std::shared_ptr<TTREvent> eventForTransport() override {
        return TTREvent::initWithMappingID("2102", 1001);
    }
    void logTTREvent(const std::shared_ptr<TTREvent>& event, EventLogCompletion completion) override {
        {
            std::lock_guard guard(lock);
            sent.push_back(event->serializedDataObjectBytes().value_or(plat::Data()));
            tiers.push_back(event->qosTier());
        }
        completion(failure);
    }
    std::vector<plat::Data> events() {
        std::lock_guard guard(lock);
        return sent;
    }
    std::mutex lock;
    std::vector<plat::Data> sent;
    std::vector<int64_t> tiers;
    std::optional<plat::Error> failure;
};

class TestSubscriber : public TSRSessionsSubscriber {
public:
    TestSubscriber(SessionsSubscriberName name, bool collects) : name_(name), collects_(collects) {}
    void onSessionChanged(const TSRSessionDetails& session) override { ids.push_back(session.sessionId()); }
    bool isDataCollectionEnabled() const override { return collects_; }
    SessionsSubscriberName sessionsSubscriberName() const override { return name_; }
    std::vector<std::optional<std::string>> ids;

private:
    SessionsSubscriberName name_;
    bool collects_;
};

class SessionsComponentTest : public SessionsTest {
protected:
    void SetUp() override {
        SessionsTest::SetUp();
        TSRSessionsDependencies::removeAllDependenciesForTesting();
    }
    void TearDown() override {
        sessions_.reset();
        plat::RunLoop::main().drain();
        TSRSessionsDependencies::removeAllDependenciesForTesting();
        SessionsTest::TearDown();
    }

    void start(bool collectEvents = true) {
        auto logger = std::make_shared<EventTTRLogger>(transport_, nullptr);
        auto coordinator = std::make_shared<SessionCoordinator>(installations_, logger);
        auto initiator = std::make_shared<SessionInitiator>(settings_, [this] { return now_; });
        sessions_ = TSRSessions::make(kAppID, std::make_shared<SessionGenerator>(collectEvents), coordinator,
                                      initiator, appInfo_, settings_, [this](SessionStartOutcome outcome) {
                                          std::lock_guard guard(lock_);
                                          outcomes_.push_back(std::move(outcome));
                                      });
    }
    // Pumps the main queue until `count` outcomes came; fails after the suite's patience.
    std::vector<SessionStartOutcome> outcomes(size_t count) {
        plat::RunLoop::main().runUntil(
            [&] {
                std::lock_guard guard(lock_);
                return outcomes_.size() >= count;
            },
            testsupport::kPatience);
        std::lock_guard guard(lock_);
        EXPECT_GE(outcomes_.size(), count);
        return outcomes_;
    }
    // A new session by the application's activity, `seconds` after it resigned.
    void newSessionAfter(double seconds) {
        plat::NotificationCenter::defaultCenter().post(plat::NSApplicationDidResignActiveNotification);
        now_.secondsSince1970 += seconds;
        plat::NotificationCenter::defaultCenter().post(plat::NSApplicationDidBecomeActiveNotification);
    }
    static TesseraSessionsError::Kind kindOf(const SessionStartOutcome& outcome) {
        EXPECT_TRUE(outcome) << "success where a failure was expected";
        return outcome ? outcome->kind() : TesseraSessionsError::Kind::NoDependenciesError;
    }

    plat::Date now_{1'700'000'000};
    std::shared_ptr<ApplicationInfo> appInfo_ = makeAppInfo();
    std::shared_ptr<TestSettings> settings_ = std::make_shared<TestSettings>();
    std::shared_ptr<FakeInstallations> installations_ = std::make_shared<FakeInstallations>();
    std::shared_ptr<RecordingTransport> transport_ = std::make_shared<RecordingTransport>();
    std::shared_ptr<TSRSessions> sessions_;
    std::mutex lock_;
    std::vector<SessionStartOutcome> outcomes_;
};

TEST_F(SessionsComponentTest, WithoutExpectedSubscribersNothingIsSent) {
    start();
    newSessionAfter(1801);
    auto results = outcomes(2);
    EXPECT_EQ(kindOf(results[0]), TesseraSessionsError::Kind::NoDependenciesError);
    EXPECT_EQ(kindOf(results[1]), TesseraSessionsError::Kind::NoDependenciesError);
    EXPECT_EQ(TSRSessions::logMessage(results[0]),
              (std::pair<int, std::string>{3, "Sessions SDK did not have any dependent SDKs register as "
                                              "dependencies. Events will not be sent."}));
    EXPECT_TRUE(transport_->events().empty());
}

TEST_F(SessionsComponentTest, TheLaunchEventWaitsForTheExpectedSubscriberThenGoesOut) {
    TSRSessionsDependencies::addDependencyWithName(SessionsSubscriberName::Crashwatch);
    start();
    plat::RunLoop::main().runUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_TRUE(transport_->events().empty()); // still waiting for the subscriber

    auto subscriber = std::make_shared<TestSubscriber>(SessionsSubscriberName::Crashwatch, true);
    sessions_->registerWithSubscriber(subscriber);
    ASSERT_EQ(subscriber->ids.size(), 1u);
    EXPECT_EQ(subscriber->ids[0], sessions_->sessionGenerator()->currentSession()->sessionId);
    EXPECT_FALSE(outcomes(1)[0]) << outcomes(1)[0]->description();
    EXPECT_EQ(settings_->updates.load(), 1);

    auto events = transport_->events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(transport_->tiers[0], 3);
    DecodedSessionEvent event;
    pb_istream_t stream = pb_istream_from_buffer(events[0].data(), events[0].size());
    ASSERT_TRUE(pb_decode(&stream, tessera_apphealth_sessions_SessionEvent_fields, &event.message));
    EXPECT_EQ(TSRSESDecodeString(event.message.session_data.tessera_installation_id), "fake-installation-id");
    EXPECT_EQ(TSRSESDecodeString(event.message.session_data.tessera_authentication_token), "fake-auth-token");
    EXPECT_EQ(event.message.session_data.data_collection_status.crashwatch, 2);
    EXPECT_EQ(event.message.session_data.data_collection_status.session_sampling_rate, 1.0);
    EXPECT_EQ(event.message.session_data.session_index, 0);

    // A later session goes out without waiting, and the subscriber hears its id.
    newSessionAfter(1800.5);
    outcomes(2);
    ASSERT_EQ(subscriber->ids.size(), 2u);
    EXPECT_NE(subscriber->ids[1], subscriber->ids[0]);
    EXPECT_EQ(transport_->events().size(), 2u);
}

TEST_F(SessionsComponentTest, AListenerHearsEverySessionWithoutBeingASubscriber) {
    TSRSessionsDependencies::addDependencyWithName(SessionsSubscriberName::Crashwatch);
    start();
    std::vector<std::optional<std::string>> heard;
    sessions_->addSessionListener(
        [&](const TSRSessionDetails& session) { heard.push_back(session.sessionId()); });
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], sessions_->sessionGenerator()->currentSession()->sessionId);

    // The subscriber alone decides: it collects nothing, so nothing goes out and no other name is
    // put into the event.
    sessions_->registerWithSubscriber(
        std::make_shared<TestSubscriber>(SessionsSubscriberName::Crashwatch, false));
    EXPECT_EQ(kindOf(outcomes(1)[0]), TesseraSessionsError::Kind::DataCollectionError);
    newSessionAfter(1801);
    outcomes(2);
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_NE(heard[1], heard[0]);
    EXPECT_EQ(heard[1], sessions_->sessionGenerator()->currentSession()->sessionId);
    EXPECT_TRUE(transport_->events().empty());
    for (const std::string& line : logLines())
        EXPECT_EQ(line.find("unknown Subscriber"), std::string::npos) << line;
}

TEST_F(SessionsComponentTest, AnExpectedSubscriberThatNeverRegistersHoldsEverythingBack) {
    TSRSessionsDependencies::addDependencyWithName(SessionsSubscriberName::Crashwatch);
    TSRSessionsDependencies::addDependencyWithName(SessionsSubscriberName::Performance);
    start();
    auto subscriber = std::make_shared<TestSubscriber>(SessionsSubscriberName::Crashwatch, true);
    sessions_->registerWithSubscriber(subscriber);
    newSessionAfter(2000);
    // The subscriber hears of the second session; nothing of either goes out.
    EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return subscriber->ids.size() == 2; },
                                               std::chrono::seconds(30)));
    EXPECT_EQ(subscriber->ids.size(), 2u);
    // Time for a send that should not happen to show (a crowded machine can only hide one).
    plat::RunLoop::main().runUntil([] { return false; }, std::chrono::milliseconds(200));
    std::lock_guard guard(lock_);
    EXPECT_TRUE(outcomes_.empty());
    EXPECT_TRUE(transport_->events().empty());
}

TEST_F(SessionsComponentTest, EachReasonNotToSendIsItsOwnOutcome) {
    TSRSessionsDependencies::addDependencyWithName(SessionsSubscriberName::Crashwatch);
    start();
    // No subscriber collects: the settings are not even refreshed.
    sessions_->registerWithSubscriber(
        std::make_shared<TestSubscriber>(SessionsSubscriberName::Crashwatch, false));
    EXPECT_EQ(kindOf(outcomes(1)[0]), TesseraSessionsError::Kind::DataCollectionError);
    EXPECT_EQ(settings_->updates.load(), 0);

    // Disabled by the settings: checked after the fields are set, and nothing goes out.
    sessions_->registerWithSubscriber(
        std::make_shared<TestSubscriber>(SessionsSubscriberName::Performance, true));
    settings_->enabled = false;
    newSessionAfter(1801);
    EXPECT_EQ(kindOf(outcomes(2)[1]), TesseraSessionsError::Kind::DisabledViaSettingsError);
    EXPECT_EQ(settings_->updates.load(), 1);

    // The transport failing, with an error or without one.
    settings_->enabled = true;
    transport_->failure = TesseraTransportProtocol::writeFailure();
    newSessionAfter(1801);
    SessionStartOutcome failed = outcomes(3)[2];
    EXPECT_EQ(kindOf(failed), TesseraSessionsError::Kind::DataTransportError);
    EXPECT_EQ(TSRSessions::logMessage(failed).second,
              "Error logging Session Start event to TesseraTransport: writeFailure.");

    // Installations that do not answer in time: the event still goes out, without the facts.
    transport_->failure.reset();
    installations_->neverAnswer = true;
    installations_->waitTime = 1;
    newSessionAfter(1801);
    EXPECT_EQ(kindOf(outcomes(4)[3]), TesseraSessionsError::Kind::SessionInstallationsTimeOutError);
    auto events = transport_->events();
    ASSERT_EQ(events.size(), 2u);
    DecodedSessionEvent event;
    pb_istream_t stream = pb_istream_from_buffer(events[1].data(), events[1].size());
    ASSERT_TRUE(pb_decode(&stream, tessera_apphealth_sessions_SessionEvent_fields, &event.message));
    EXPECT_EQ(TSRSESDecodeString(event.message.session_data.tessera_installation_id), "");
    EXPECT_EQ(event.message.session_data.session_index, 3);
}

TEST_F(SessionsComponentTest, ASessionSampledOutIsNeverSent) {
    // The decision itself: a draw k from 0 to 2^53 is in when k / 2^53 is at most the rate.
    EXPECT_TRUE(TSRSessions::shouldCollectEvents(0.0, 0));
    EXPECT_FALSE(TSRSessions::shouldCollectEvents(0.0, 1));
    EXPECT_TRUE(TSRSessions::shouldCollectEvents(1.0, uint64_t{1} << 53));
    EXPECT_FALSE(TSRSessions::shouldCollectEvents(0.5, (uint64_t{1} << 52) + 1));

    // A rate of 0 from the Info values: the draw (of 2^53 + 1 values, only 0 gets in) is out.
    SessionsSettings zero(
        appInfo_, installations_, std::make_shared<SDKDefaultSettings>(),
        std::make_shared<LocalOverrideSettings>([] {
            return std::optional<plat::Object::Dict>(plat::Object::Dict{{"TesseraSessionsSampleRate", 0.0}});
        }),
        nullptr);
    ASSERT_EQ(zero.samplingRate(), 0.0);
    const bool collect = TSRSessions::shouldCollectEvents(zero);
    EXPECT_FALSE(collect);

    TSRSessionsDependencies::addDependencyWithName(SessionsSubscriberName::Crashwatch);
    start(collect);
    sessions_->registerWithSubscriber(
        std::make_shared<TestSubscriber>(SessionsSubscriberName::Crashwatch, true));
    EXPECT_EQ(kindOf(outcomes(1)[0]), TesseraSessionsError::Kind::SessionSamplingError);
    newSessionAfter(1801);
    EXPECT_EQ(kindOf(outcomes(2)[1]), TesseraSessionsError::Kind::SessionSamplingError);
    EXPECT_TRUE(transport_->events().empty());
}

} // namespace
