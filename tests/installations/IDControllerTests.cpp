// The installation's life against the stand-in: creation and registration, tokens and their
// refresh, the backoff after failures, starting over after 401 and 404, deletion, and joined
// concurrent requests.
#include "tests/installations/InstallationsTestSupport.h"

#include "installations/TSRInstallationsErrorUtil.h"
#include "platform/foundation/NotificationCenter.h"

namespace {

using instest::InstallationsTest;
using standin::InstallationFault;
using Operation = standin::InstallationRegistry::Operation;

class IDControllerTest : public InstallationsTest {
protected:
    void SetUp() override {
        InstallationsTest::SetUp();
        changes_ = plat::NotificationCenter::defaultCenter().addObserver(
            kTSRInstallationIDDidChangeNotification, plat::Object(), [this](const plat::Notification& n) {
                changedApps_.push_back(
                    n.userInfo.at(kTSRInstallationIDDidChangeNotificationAppNameKey).string());
            });
        controller_ = makeController();
    }
    void TearDown() override {
        changes_.reset();
        InstallationsTest::TearDown();
    }
    void fault(Operation operation, const std::string& kind) {
        server_.installations().setFault(operation, *InstallationFault::named(kind));
    }
    TSRInstallationsItem token(bool force = false) {
        return valueOf(controller_->getAuthTokenForcingRefresh(force)).value_or(TSRInstallationsItem("", ""));
    }
    double secondsLeft(const TSRInstallationsItem& item) {
        return item.authToken()->expirationDate()->secondsSince1970 - plat::Date::now().secondsSince1970;
    }

    std::shared_ptr<TSRInstallationsIDController> controller_;
    plat::NotificationCenter::Token changes_;
    std::vector<std::string> changedApps_;
};

TEST_F(IDControllerTest, FirstRequestCreatesRegistersAndKeepsTheInstallation) {
    std::optional<TSRInstallationsItem> created = valueOf(controller_->getInstallationItem());
    ASSERT_TRUE(created);
    EXPECT_EQ(created->registrationStatus(), TSRInstallationsRegistrationStatusUnregistered);
    EXPECT_EQ(changedApps_, std::vector<std::string>{instest::kAppName});
    drain(); // the background token request registers it

    auto registrations = requests("POST", "/installations/");
    ASSERT_EQ(registrations.size(), 1u);
    for (const auto& name : registrations[0].headerNames()) {
        EXPECT_NE(name, "Authorization") << "registration carries no refresh token";
        EXPECT_NE(name, "X-tessera-client") << "no heartbeats were stored";
    }
    const TSRInstallationsItem registered = token();
    EXPECT_EQ(registered.tesseraInstallationID(), created->tesseraInstallationID());
    EXPECT_EQ(registered.registrationStatus(), TSRInstallationsRegistrationStatusRegistered);
    EXPECT_NEAR(secondsLeft(registered), 604800, 60);
    EXPECT_TRUE(server_.installations().find(instest::kProjectID, registered.tesseraInstallationID()));
    EXPECT_TRUE(requests("POST", "/tokens").empty()) << "a week-long token is handed out as it is";

    // A controller made afresh (as after a restart) reads the same record and sends nothing.
    server_.clearRequests();
    controller_ = makeController();
    const TSRInstallationsItem again = token();
    EXPECT_EQ(again.tesseraInstallationID(), registered.tesseraInstallationID());
    EXPECT_EQ(again.refreshToken(), registered.refreshToken());
    EXPECT_EQ(again.authToken()->token(), registered.authToken()->token());
    EXPECT_TRUE(server_.requests().empty());
    EXPECT_EQ(changedApps_.size(), 1u);
}

TEST_F(IDControllerTest, TokensCloseToExpiryAreRefreshedWithTheRefreshToken) {
    server_.installations().setTokenLifetime(59 * 60);
    const TSRInstallationsItem refreshed = token();
    auto refreshes = requests("POST", "/tokens");
    ASSERT_EQ(refreshes.size(), 1u) << "a token expiring within the hour is refreshed at once";
    const auto installation =
        server_.installations().find(instest::kProjectID, refreshed.tesseraInstallationID());
    ASSERT_TRUE(installation);
    std::string authorization;
    for (const auto& [name, value] : refreshes[0].headers)
        if (name == "Authorization") authorization = value;
    EXPECT_EQ(authorization, "INS_v2 " + installation->refreshToken);
    EXPECT_EQ(refreshed.authToken()->token(), installation->authTokens.back());

    server_.installations().setTokenLifetime(61 * 60);
    server_.clearRequests();
    const TSRInstallationsItem renewed = token();
    EXPECT_EQ(requests("POST", "/tokens").size(), 1u);
    server_.clearRequests();
    EXPECT_EQ(token().authToken()->token(), renewed.authToken()->token()) << "61 minutes left: kept";
    EXPECT_TRUE(server_.requests().empty());
    server_.clearRequests();
    EXPECT_NE(token(true).authToken()->token(), renewed.authToken()->token());
    EXPECT_EQ(requests("POST", "/tokens").size(), 1u) << "a forced refresh always asks";
}

TEST_F(IDControllerTest, RecoverableFailureHoldsRequestsBackForTwoSecondsAndSuccessResets) {
    fault(Operation::Register, "500");
    plat::Error first = errorOf(controller_->getAuthTokenForcingRefresh(false));
    EXPECT_TRUE(TSRInstallationsErrorUtil::isAPIError(first, 500));
    EXPECT_EQ(requests("POST", "/installations/").size(), 2u) << "a 500 is tried once more";

    server_.clearRequests();
    scheduler_.advanceSeconds(1.5);
    plat::Error held = errorOf(controller_->getAuthTokenForcingRefresh(false));
    EXPECT_EQ(held.domain, kTesseraInstallationsErrorDomain);
    EXPECT_EQ(held.code, TSRInstallationsErrorCodeServerUnreachable);
    EXPECT_EQ(reasonOf(held), "Too many server requests.");
    EXPECT_TRUE(server_.requests().empty()) << "nothing is sent while backing off";

    server_.installations().clearFaults();
    scheduler_.advanceSeconds(1.0);
    EXPECT_EQ(token().registrationStatus(), TSRInstallationsRegistrationStatusRegistered);
    EXPECT_EQ(controller_->backoffController()->lastEventData()->eventType,
              TSRInstallationsBackoffEventSuccess);
    EXPECT_TRUE(controller_->backoffController()->isNextRequestAllowed());
}

TEST_F(IDControllerTest, UnrecoverableFailureHoldsRequestsBackForADay) {
    fault(Operation::Register, "400");
    EXPECT_TRUE(
        TSRInstallationsErrorUtil::isAPIError(errorOf(controller_->getAuthTokenForcingRefresh(false)), 400));
    EXPECT_EQ(requests("POST", "/installations/").size(), 1u) << "only 500 is tried again";
    bool logged = false;
    for (const auto& line : logLines())
        logged = logged || line.find("[I-INS002003]") != std::string::npos;
    EXPECT_TRUE(logged);

    server_.installations().clearFaults();
    scheduler_.advanceSeconds(86399);
    EXPECT_EQ(reasonOf(errorOf(controller_->getAuthTokenForcingRefresh(false))), "Too many server requests.");
    // Reading the identifier still works while backing off.
    EXPECT_TRUE(valueOf(controller_->getInstallationItem()));
    drain();
    scheduler_.advanceSeconds(1);
    EXPECT_EQ(token().registrationStatus(), TSRInstallationsRegistrationStatusRegistered);
    EXPECT_EQ(requests("POST", "/installations/").size(), 2u);
}

TEST_F(IDControllerTest, RefreshAnswered401StartsOverWithANewIdentifierAndOneNotification) {
    server_.installations().setTokenLifetime(60);
    const std::string oldTID = valueOf(controller_->getInstallationItem())->tesseraInstallationID();
    drain();
    server_.installations().setTokenLifetime(604800);
    changedApps_.clear();
    server_.clearRequests();
    fault(Operation::Token, "401-once");

    const TSRInstallationsItem replaced = token();
    EXPECT_NE(replaced.tesseraInstallationID(), oldTID);
    EXPECT_EQ(replaced.registrationStatus(), TSRInstallationsRegistrationStatusRegistered);
    EXPECT_EQ(changedApps_.size(), 1u) << "one change: the old identifier replaced by the new one";
    ASSERT_EQ(requests("POST", "/installations/").size(), 1u);
    EXPECT_NE(requests("POST", "/installations/")[0].body.find(replaced.tesseraInstallationID()),
              std::string::npos);
    // The backoff ignores 401: the next request goes out at once.
    EXPECT_TRUE(controller_->backoffController()->isNextRequestAllowed());
}

TEST_F(IDControllerTest, AServiceThatRefusesEveryRegistrationEndsAfterOneRestart) {
    fault(Operation::Register, "404");
    plat::Error error = errorOf(controller_->getAuthTokenForcingRefresh(false));
    EXPECT_TRUE(TSRInstallationsErrorUtil::isAPIError(error, 404)) << reasonOf(error);
    EXPECT_EQ(requests("POST", "/installations/").size(), 2u) << "the first try and one restart";
    drain();
}

TEST_F(IDControllerTest, MalformedRepliesFailWithTheirErrorsAndLeaveTheRecordUnregistered) {
    fault(Operation::Register, "malformed-json");
    EXPECT_EQ(reasonOf(errorOf(controller_->getAuthTokenForcingRefresh(false))),
              "Failed to serialize JSON data.");
    server_.installations().setFault(Operation::Register,
                                     {InstallationFault::Kind::BadExpiry, 200, "-5s", false});
    EXPECT_EQ(reasonOf(errorOf(controller_->getAuthTokenForcingRefresh(false))),
              "A required response field with name authToken.expiresIn is missing");
    // Parse failures are no verdict of the service: no backoff.
    EXPECT_TRUE(controller_->backoffController()->isNextRequestAllowed());
    EXPECT_EQ(valueOf(controller_->getInstallationItem())->registrationStatus(),
              TSRInstallationsRegistrationStatusUnregistered);
}

TEST_F(IDControllerTest, DeletionRemovesTheRecordAndTheServersInstallation) {
    const std::string tid = token().tesseraInstallationID();
    changedApps_.clear();
    ASSERT_TRUE(valueOf(controller_->deleteInstallation()));
    auto deletions = requests("DELETE");
    ASSERT_EQ(deletions.size(), 1u);
    EXPECT_NE(deletions[0].path.find(tid), std::string::npos);
    EXPECT_FALSE(server_.installations().find(instest::kProjectID, tid));
    EXPECT_EQ(changedApps_.size(), 1u);
    EXPECT_NE(valueOf(controller_->getInstallationItem())->tesseraInstallationID(), tid);
    drain();

    // A 404 counts as deleted; an unregistered record is deleted without asking the service.
    fault(Operation::Delete, "404");
    EXPECT_TRUE(valueOf(controller_->deleteInstallation()));
    server_.installations().clearFaults();
    fault(Operation::Register, "400");
    valueOf(controller_->getInstallationItem());
    drain();
    server_.clearRequests();
    EXPECT_TRUE(valueOf(controller_->deleteInstallation()));
    EXPECT_TRUE(requests("DELETE").empty());
    EXPECT_EQ(reasonOf(errorOf(controller_->deleteInstallation())), std::string("Installation for appID ") +
                                                                        instest::kAppID + " appName " +
                                                                        instest::kAppName + " not found");
}

TEST_F(IDControllerTest, ConcurrentRequestsJoinOneRegistration) {
    // The registration is slowed down so that the requests below arrive while it runs.
    server_.setFault(std::string("/v1/tenants/") + instest::kProjectID + "/installations/",
                     standin::Fault{standin::Fault::Kind::Delay, std::chrono::milliseconds(300)});
    const std::string tid = valueOf(controller_->getInstallationItem())->tesseraInstallationID();
    ASSERT_TRUE(plat::RunLoop::main().runUntil([&] { return !server_.requests().empty(); }));
    std::vector<promises::Promise<TSRInstallationsItem>> joined;
    for (int i = 0; i < 10; ++i)
        joined.push_back(controller_->getInstallationItem());
    joined.push_back(controller_->getAuthTokenForcingRefresh(false));
    for (const auto& promise : joined)
        EXPECT_EQ(valueOf(promise)->tesseraInstallationID(), tid);
    drain();
    EXPECT_EQ(requests("POST", "/installations/").size(), 1u);
    EXPECT_EQ(changedApps_.size(), 1u);
    EXPECT_EQ(valueOf(joined.back())->registrationStatus(), TSRInstallationsRegistrationStatusRegistered);
}

} // namespace
