// When sessions start, what identity they get, and how the installation facts are waited for.
#include "tests/sessions/SessionsTestSupport.h"
#include "tests/support/WaitFor.h"

#include "sessions/SessionGenerator.h"
#include "sessions/SessionInitiator.h"

#include "platform/appkit/Application.h"

#include <future>
#include <regex>

using namespace sestest;

namespace {

// Settings whose timeout a test sets.
class TimeoutSettings : public SettingsProtocol {
public:
    double timeout = 1800;
    bool sessionsEnabled() const override { return true; }
    double samplingRate() const override { return 1.0; }
    double sessionTimeout() const override { return timeout; }
    void updateSettings() override {}
};

class InitiatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        initiator_ = std::make_shared<SessionInitiator>(settings_, [this] { return now_; });
        initiator_->beginListening([this] { sessions_.push_back(generator_.generateNewSession()); },
                                   &center_);
    }
    void resign() { center_.post(plat::NSApplicationDidResignActiveNotification); }
    void activate() { center_.post(plat::NSApplicationDidBecomeActiveNotification); }
    void advance(double seconds) { now_.secondsSince1970 += seconds; }

    plat::NotificationCenter center_;
    plat::Date now_{1'700'000'000};
    std::shared_ptr<TimeoutSettings> settings_ = std::make_shared<TimeoutSettings>();
    SessionGenerator generator_{true};
    std::vector<SessionInfo> sessions_;
    std::shared_ptr<SessionInitiator> initiator_;
};

TEST_F(InitiatorTest, LaunchStartsTheFirstSessionAndActivationWithoutAResignStartsNone) {
    ASSERT_EQ(sessions_.size(), 1u);
    EXPECT_TRUE(std::regex_match(sessions_[0].sessionId, std::regex("[0-9a-f]{32}")));
    EXPECT_EQ(sessions_[0].firstSessionId, sessions_[0].sessionId);
    EXPECT_EQ(sessions_[0].sessionIndex, 0);
    EXPECT_TRUE(sessions_[0].shouldDispatchEvents);
    EXPECT_EQ(generator_.currentSession(), sessions_[0]);

    // The first activation after launch finds no resignation: nothing starts, however late.
    advance(1e6);
    activate();
    EXPECT_EQ(sessions_.size(), 1u);
}

TEST_F(InitiatorTest, ANewSessionStartsOnlyAfterMoreThanTheTimeoutOfInactivity) {
    resign();
    advance(1800);
    activate();
    EXPECT_EQ(sessions_.size(), 1u);

    resign();
    advance(1800.5);
    activate();
    ASSERT_EQ(sessions_.size(), 2u);
    EXPECT_EQ(sessions_[1].sessionIndex, 1);
    EXPECT_EQ(sessions_[1].firstSessionId, sessions_[0].sessionId);
    EXPECT_NE(sessions_[1].sessionId, sessions_[0].sessionId);

    // A second activation without a resignation measures from the same resignation.
    advance(1);
    activate();
    ASSERT_EQ(sessions_.size(), 3u);
    EXPECT_EQ(sessions_[2].sessionIndex, 2);
    EXPECT_EQ(sessions_[2].firstSessionId, sessions_[0].sessionId);
}

TEST_F(InitiatorTest, TheTimeoutReadAtActivationApplies) {
    resign();
    advance(100);
    settings_->timeout = 99.5;
    activate();
    EXPECT_EQ(sessions_.size(), 2u);
    settings_->timeout = 1800;
    resign();
    advance(100);
    activate();
    EXPECT_EQ(sessions_.size(), 2u);

    // Once the initiator is gone its observers go with it.
    initiator_.reset();
    resign();
    advance(1e6);
    activate();
    EXPECT_EQ(sessions_.size(), 2u);
}

TEST(SessionGeneratorTest, TheSamplingDecisionHoldsForEverySession) {
    SessionGenerator generator(false);
    EXPECT_FALSE(generator.currentSession());
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(generator.generateNewSession().shouldDispatchEvents);
    EXPECT_EQ(generator.currentSession()->sessionIndex, 2);
}

// The waiting form of the installation facts.
class InstallationFactsTest : public ::testing::Test {
protected:
    InstallationFactsResult facts() {
        std::optional<InstallationFactsResult> result;
        installations_.installationID([&](InstallationFactsResult answer) { result = std::move(answer); });
        EXPECT_TRUE(result) << "the completion did not run before the wait returned";
        return result.value_or(InstallationFactsResult(InstallationFacts{}));
    }
    FakeInstallations installations_;
};

TEST_F(InstallationFactsTest, TheIdComesWithTheTokenOrAnEmptyOne) {
    installations_.delay = std::chrono::milliseconds(20);
    InstallationFactsResult result = facts();
    ASSERT_TRUE(std::holds_alternative<InstallationFacts>(result));
    EXPECT_EQ(std::get<InstallationFacts>(result).installationID, "fake-installation-id");
    EXPECT_EQ(std::get<InstallationFacts>(result).authToken, "fake-auth-token");

    // A failed token alone is no failure.
    installations_.tokenError = plat::Error("com.tessera.installations", 1);
    result = facts();
    ASSERT_TRUE(std::holds_alternative<InstallationFacts>(result));
    EXPECT_EQ(std::get<InstallationFacts>(result).authToken, "");

    // A failed id is.
    installations_.idError = plat::Error::withMessage("com.tessera.installations", 2, "no id");
    result = facts();
    ASSERT_TRUE(std::holds_alternative<TesseraSessionsError>(result));
    EXPECT_EQ(std::get<TesseraSessionsError>(result),
              TesseraSessionsError::SessionInstallationsError(plat::Error("com.tessera.installations", 2)));
    EXPECT_EQ(std::get<TesseraSessionsError>(result).description(), "SessionInstallationsError(no id)");
}

TEST_F(InstallationFactsTest, ASlowServiceTimesOutAndItsLateAnswersAreDropped) {
    // The answers come only after the wait returned: it can only have given up after its second,
    // however crowded the machine.
    std::promise<void> answer;
    installations_.waitTime = 1;
    installations_.answerWhen = answer.get_future().share();
    const auto start = std::chrono::steady_clock::now();
    InstallationFactsResult result = facts();
    const auto waited = std::chrono::steady_clock::now() - start;
    answer.set_value();
    ASSERT_TRUE(std::holds_alternative<TesseraSessionsError>(result));
    EXPECT_EQ(std::get<TesseraSessionsError>(result).kind(),
              TesseraSessionsError::Kind::SessionInstallationsTimeOutError);
    EXPECT_GE(waited, std::chrono::milliseconds(990));
    EXPECT_LT(waited, testsupport::kPatience) << "it gave up at its own second, not at another wait";
    // The late answers arrive after the wait returned and touch nothing that is gone.
    EXPECT_TRUE(testsupport::eventually([&] { return *installations_.answersGiven == 2; }));
}

TEST(ApplicationInfoTest, FactsComeFromTheEnvironmentAndTheInfoDictionary) {
    auto facts = [](std::map<std::string, std::string> environment) {
        return makeAppInfo(kAppID, "1.0", "1", std::move(environment))->environment();
    };
    EXPECT_EQ(facts({}), DevEnvironment::prod);
    EXPECT_EQ(facts({{"TesseraSessionsRunEnvironment", " Staging\t"}}), DevEnvironment::staging);
    EXPECT_EQ(facts({{"TesseraSessionsRunEnvironment", "DEV"}}), DevEnvironment::dev);
    EXPECT_EQ(facts({{"TesseraSessionsRunEnvironment", "development"}}), DevEnvironment::prod);

    ApplicationInfo numbers(kAppID, std::make_shared<NetworkInfo>(), {},
                            plat::Object::Dict{{"CFBundleShortVersionString", 2}, {"CFBundleVersion", "7"}});
    EXPECT_EQ(numbers.appDisplayVersion(), "");
    EXPECT_EQ(numbers.appBuildVersion(), "7");
    ApplicationInfo none(kAppID, std::make_shared<NetworkInfo>(), {}, std::nullopt);
    EXPECT_EQ(none.appBuildVersion(), "");
    EXPECT_EQ(none.osName(), "macos");
    EXPECT_EQ(none.networkInfo()->networkType(), -1);
    EXPECT_EQ(none.networkInfo()->mobileSubtype(), "");
}

} // namespace
