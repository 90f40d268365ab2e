// The tunnel control against the stand-in and the simulator: the profile it builds, the console
// lines of each failure, disconnect and profile removal.
#include "app/classes/Preferences.h"
#include "app/classes/VPNHelper.h"
#include "platform/security/KeychainStore.h"
#include "platform/vpn/NEVPNProfileFile.h"
#include "tests/app/regions/TunnelTestSupport.h"

#include <filesystem>

using namespace plat;

namespace {

class VPNHelperTest : public regiontest::TunnelTest {
protected:
    VPNHelperTest() { token_ = signInDemo(); }
    ~VPNHelperTest() override {
        manager_.queue().sync([] {});
    }

    std::string token_;
    NEVPNManager manager_{scheduler_};
    std::shared_ptr<VPNHelper> helper_ = VPNHelper::create(manager_, Client::shared());
};

TEST_F(VPNHelperTest, ConnectBuildsTheProfileAndStartsTheTunnel) {
    const auto& best = standin::RegionFixture::best();
    helper_->connectIPSecIKEv2();
    waitForLine("Start VPN");
    EXPECT_TRUE(requested("/api/config/ipsec/0")) << "no region chosen yet asks for region 0";
    EXPECT_EQ(linesFrom("Attempting to connect to server: " + best.serverDomain),
              (std::vector<std::string>{"Attempting to connect to server: " + best.serverDomain,
                                        "CALL LOAD TO PREFERENCES AGAIN...", "Start VPN"}));
    EXPECT_EQ(Preferences::server(), best.serverDomain);
    ASSERT_TRUE(Preferences::vpnUsername() && Preferences::vpnPassword());

    auto saved = savedProfile();
    EXPECT_EQ(saved->localizedDescription(), "Velmora");
    EXPECT_TRUE(saved->isEnabled());
    EXPECT_TRUE(saved->isOnDemandEnabled()) << "kill switch on by default";
    ASSERT_EQ(saved->onDemandRules().size(), 1u);
    EXPECT_EQ(saved->onDemandRules()[0]->action(), NEOnDemandRuleAction::Connect);
    EXPECT_EQ(saved->onDemandRules()[0]->interfaceTypeMatch(), NEOnDemandRuleInterfaceType::Any);
    auto p = std::dynamic_pointer_cast<NEVPNProtocolIKEv2>(saved->protocolConfiguration());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->authenticationMethod(), NEVPNIKEAuthenticationMethod::None);
    EXPECT_TRUE(p->useExtendedAuthentication());
    EXPECT_EQ(p->serverAddress(), best.serverDomain);
    EXPECT_EQ(p->remoteIdentifier(), best.serverDomain);
    EXPECT_EQ(p->username(), Preferences::vpnUsername());
    EXPECT_FALSE(p->localIdentifier()) << "never set";
    for (const auto* sa :
         {&p->IKESecurityAssociationParameters(), &p->childSecurityAssociationParameters()}) {
        EXPECT_EQ(sa->encryptionAlgorithm(), NEVPNIKEv2EncryptionAlgorithm::AES256GCM);
        EXPECT_EQ(sa->integrityAlgorithm(), NEVPNIKEv2IntegrityAlgorithm::SHA384);
        EXPECT_EQ(sa->diffieHellmanGroup(), NEVPNIKEv2DiffieHellmanGroup::Group31);
    }
    EXPECT_TRUE(p->enablePFS());
    EXPECT_TRUE(p->includeAllNetworks());
    EXPECT_TRUE(p->excludeLocalNetworks());

    // The reference names the "vpnPassword" item, so the simulated tunnel comes up.
    settle(manager_);
    EXPECT_EQ(manager_.connection()->status(), NEVPNStatus::connecting);
    advance(manager_, NEVPNConnection::connectTime);
    EXPECT_EQ(manager_.connection()->status(), NEVPNStatus::connected);
    EXPECT_EQ(helper_->currentStatus(), NEVPNStatus::connected);
}

TEST_F(VPNHelperTest, SwitchesDriveOnDemandAndTheTrafficFlags) {
    Preferences::setKillSwitch(false);
    Preferences::setExcludeLocalNetworks(false);
    helper_->connectIPSecIKEv2();
    waitForLine("Start VPN");
    auto saved = savedProfile();
    EXPECT_FALSE(saved->isOnDemandEnabled());
    EXPECT_EQ(saved->onDemandRules().size(), 1u) << "the rule is stored anyway";
    EXPECT_FALSE(saved->protocolConfiguration()->includeAllNetworks());
    EXPECT_FALSE(saved->protocolConfiguration()->excludeLocalNetworks());

    Preferences::setExcludeLocalNetworks(true);
    helper_->connectIPSecIKEv2();
    waitForLine("Start VPN", 2);
    saved = savedProfile();
    EXPECT_FALSE(saved->protocolConfiguration()->includeAllNetworks());
    EXPECT_TRUE(saved->protocolConfiguration()->excludeLocalNetworks()) << "independent of the kill switch";
}

TEST_F(VPNHelperTest, EachFailureEndsTheChainWithItsLine) {
    Error forced = Error::withMessage("NEVPNErrorDomain", 5, "forced");
    manager_.setFaultForTesting(NEVPNManager::Operation::load, forced);
    helper_->connectIPSecIKEv2();
    waitForLine("Error loading VPN preferences: forced");
    manager_.setFaultForTesting(NEVPNManager::Operation::load, std::nullopt);
    EXPECT_FALSE(requested("/api/config/ipsec/0"));

    manager_.setFaultForTesting(NEVPNManager::Operation::save, forced);
    helper_->connectIPSecIKEv2();
    waitForLine("Save Error:  NEVPNErrorDomain error 5: forced");
    EXPECT_EQ(console_.countStartingWith("CALL LOAD"), 0u);
    manager_.setFaultForTesting(NEVPNManager::Operation::save, std::nullopt);

    manager_.setFaultForTesting(NEVPNManager::Operation::start, forced);
    helper_->connectIPSecIKEv2();
    waitForLine("Error starting VPN Tunnel: NEVPNErrorDomain error 5: forced");
    EXPECT_EQ(console_.countStartingWith("Start VPN"), 0u);
    EXPECT_TRUE(std::filesystem::exists(NEVPNProfileFile::profilePath())) << "the saved profile stays";
    manager_.setFaultForTesting(NEVPNManager::Operation::start, std::nullopt);

    // The reload alone fails: armed when the chain announces it.
    auto previous = setConsoleSink(nullptr);
    setConsoleSink([&, previous](const std::string& line) {
        if (line == "CALL LOAD TO PREFERENCES AGAIN...")
            manager_.setFaultForTesting(NEVPNManager::Operation::load, forced);
        previous(line);
    });
    helper_->connectIPSecIKEv2();
    waitForLine("VPN Preferences error: 2 - Optional(NEVPNErrorDomain error 5: forced)");
    setConsoleSink(previous);
    manager_.setFaultForTesting(NEVPNManager::Operation::load, std::nullopt);
    EXPECT_EQ(manager_.connection()->status(), NEVPNStatus::disconnected) << "saved, never started";

    server_.setFault("config/ipsec/*", standin::Fault{standin::Fault::Kind::NonJson});
    helper_->connectIPSecIKEv2();
    waitForLine("Failed to retrieve IPSec configuration: ");
    EXPECT_EQ(console_.countStartingWith("Attempting to connect"), 3u);
}

TEST_F(VPNHelperTest, FailedPasswordReferenceKeepsTheCredentialsAndSavesNothing) {
    // The reference lookup follows the read of "vpnUsername" for the user name, which comes after the
    // three credential writes: fail the call after that read.
    auto serverWritten = std::make_shared<bool>(false);
    KeychainStore::shared().setObserver([serverWritten](KeychainOperation op, const Object::Dict& query,
                                                        const Object::Dict*) {
        auto account = query.find(kSecAttrAccount);
        if (account == query.end()) return;
        if ((op == KeychainOperation::Add || op == KeychainOperation::Update) &&
            account->second == Object("server"))
            *serverWritten = true;
        if (*serverWritten && op == KeychainOperation::CopyMatching &&
            account->second == Object("vpnUsername")) {
            *serverWritten = false;
            KeychainStore::shared().failNext(errSecInteractionNotAllowed, KeychainOperation::CopyMatching);
        }
    });
    helper_->connectIPSecIKEv2();
    waitForLine("Error setting up password reference: ");
    KeychainStore::shared().setObserver(nullptr);
    EXPECT_NE(console_.lines().back().find("-25308"), std::string::npos) << console_.lines().back();
    EXPECT_TRUE(Preferences::vpnUsername() && Preferences::vpnPassword() && Preferences::server());
    EXPECT_FALSE(std::filesystem::exists(NEVPNProfileFile::profilePath()));
    EXPECT_EQ(console_.countStartingWith("Attempting to connect"), 0u);
}

TEST_F(VPNHelperTest, DisconnectStopsTheTunnelEvenWhenTheSaveFails) {
    helper_->connectIPSecIKEv2();
    waitForLine("Start VPN");
    advance(manager_, NEVPNConnection::connectTime);

    helper_->disconnectVPN();
    settle(manager_);
    EXPECT_EQ(manager_.connection()->status(), NEVPNStatus::disconnecting);
    advance(manager_, NEVPNConnection::disconnectTime);
    EXPECT_EQ(manager_.connection()->status(), NEVPNStatus::disconnected);
    auto saved = savedProfile();
    EXPECT_FALSE(saved->isOnDemandEnabled());
    EXPECT_TRUE(saved->protocolConfiguration()->includeAllNetworks()) << "only on-demand is switched off";

    helper_->connectIPSecIKEv2();
    waitForLine("Start VPN", 2);
    advance(manager_, NEVPNConnection::connectTime);
    manager_.setFaultForTesting(NEVPNManager::Operation::save, Error("forced", 1));
    size_t lines = console_.lines().size();
    helper_->disconnectVPN();
    settle(manager_);
    advance(manager_, NEVPNConnection::disconnectTime);
    EXPECT_EQ(manager_.connection()->status(), NEVPNStatus::disconnected);
    EXPECT_TRUE(savedProfile()->isOnDemandEnabled()) << "the failed save left on-demand on";
    EXPECT_EQ(console_.lines().size(), lines) << "nothing printed";
}

// A kill between Log out's save and its stop leaves the tunnel up with no stop recorded; the next
// launch, signed out, disconnects it.
TEST_F(VPNHelperTest, ALaunchSignedOutDisconnectsATunnelLeftUp) {
    helper_->connectIPSecIKEv2();
    waitForLine("Start VPN");
    advance(manager_, NEVPNConnection::connectTime);
    ASSERT_EQ(manager_.connection()->status(), NEVPNStatus::connected);

    NEVPNManager next(scheduler_, otherProcessCenter_);
    std::shared_ptr<VPNHelper> nextHelper = VPNHelper::create(next, Client::shared());
    nextHelper->disconnectLeftoverTunnel();
    settle(next);
    EXPECT_EQ(next.connection()->status(), NEVPNStatus::disconnecting);
    EXPECT_EQ(NEVPNProfileFile::tunnelState(), NEVPNProfileFile::TunnelState::stopping);
    advance(next, NEVPNConnection::disconnectTime);
    EXPECT_EQ(next.connection()->status(), NEVPNStatus::disconnected);
    EXPECT_EQ(NEVPNProfileFile::tunnelState(), NEVPNProfileFile::TunnelState::down);
    EXPECT_EQ(console_.countStartingWith("Signed out with the tunnel up"), 1u);

    // With the tunnel down a launch changes nothing.
    nextHelper->disconnectLeftoverTunnel();
    settle(next);
    EXPECT_EQ(next.connection()->status(), NEVPNStatus::disconnected);
    EXPECT_EQ(console_.countStartingWith("Signed out with the tunnel up"), 1u);
}

TEST_F(VPNHelperTest, RemoveProfileCompletesOnceOnTheManagersQueue) {
    helper_->connectIPSecIKEv2();
    waitForLine("Start VPN");
    int calls = 0;
    std::optional<Error> result = Error("pending", 0);
    bool onQueue = false;
    auto record = [&](std::optional<Error> e) {
        ++calls;
        result = e;
        onQueue = manager_.queue().isCurrent();
    };
    manager_.setFaultForTesting(NEVPNManager::Operation::load, Error("forced", 2));
    helper_->removeVPNProfile(record);
    settle(manager_);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(result, Error("forced", 2));
    EXPECT_TRUE(std::filesystem::exists(NEVPNProfileFile::profilePath()));

    manager_.setFaultForTesting(NEVPNManager::Operation::load, std::nullopt);
    helper_->removeVPNProfile(record);
    settle(manager_);
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(result);
    EXPECT_TRUE(onQueue);
    EXPECT_FALSE(std::filesystem::exists(NEVPNProfileFile::profilePath()));
}

} // namespace
