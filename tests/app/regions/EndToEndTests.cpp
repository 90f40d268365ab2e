// A whole session against the stand-in with the process's own helper and manager: sign in, load
// the regions, connect, follow the statuses, change region while connected, and an expired token
// that ends the session.
#include "app/classes/Preferences.h"
#include "app/classes/VPNHelper.h"
#include "app/controllers/LoginController.h"
#include "app/controllers/VelmoraController.h"
#include "platform/appkit/Application.h"
#include "tests/app/regions/TunnelTestSupport.h"

using namespace plat;

namespace {

class EndToEndTest : public regiontest::TunnelTest {
protected:
    EndToEndTest() {
        manager().resetForTesting(scheduler_);
        Application::shared().resetForTesting();
    }
    ~EndToEndTest() override {
        controller_.reset();
        RunLoop::main().drain();
        // The shared manager outlives this test's clock.
        manager().resetForTesting(Scheduler::system());
        Application::shared().resetForTesting();
    }
    static NEVPNManager& manager() { return NEVPNManager::shared(); }

    // The published status and the icon once the main queue has caught up.
    void expectShown(NEVPNStatus status, const char* icon) {
        settle(manager());
        RunLoop::main().drain();
        EXPECT_EQ(controller_->connectionStatus.get(), status);
        EXPECT_EQ(Application::shared().applicationIconImage().get(), icon);
    }

    std::shared_ptr<VelmoraController> controller_;
};

TEST_F(EndToEndTest, SignInLoadConnectSwitchRegionAndExpire) {
    // Sign in.
    auto login = std::make_shared<LoginController>();
    login->loginPressed(standin::StandinServer::demoEmail(), standin::StandinServer::demoPassword());
    waitFor([&] { return login->loginResult.get() == Status::logInTrue; });
    std::optional<std::string> token = Preferences::token();
    ASSERT_TRUE(token);

    // Regions: the best one first, renamed, and stored as the choice without connecting.
    controller_ = VelmoraController::create();
    controller_->loadRegions();
    controller_->showCurrentSubscription();
    waitFor([&] { return Preferences::configId() != 0 && !controller_->subscription.get().empty(); });
    const auto& best = standin::RegionFixture::best();
    auto regions = controller_->regions.get();
    ASSERT_EQ(regions.size(), standin::RegionFixture::regions().size());
    EXPECT_EQ(regions[0].id, best.id);
    EXPECT_EQ(regions[0].country_name, "Optimal region\n" + best.countryName);
    EXPECT_EQ(Preferences::configId(), best.id);
    EXPECT_EQ(controller_->currentRegion.get(), std::optional<int64_t>(best.id));
    EXPECT_FALSE(requested("/api/config/ipsec/" + std::to_string(best.id)));

    // Connect: credentials fetched, profile saved, statuses reach the controller and the icon.
    controller_->doConnect();
    waitForLine("Start VPN");
    EXPECT_TRUE(requested("/api/config/ipsec/" + std::to_string(best.id)));
    auto saved = savedProfile();
    auto protocol = std::dynamic_pointer_cast<NEVPNProtocolIKEv2>(saved->protocolConfiguration());
    ASSERT_TRUE(protocol);
    EXPECT_EQ(protocol->serverAddress(), best.serverDomain);
    EXPECT_EQ(protocol->IKESecurityAssociationParameters().encryptionAlgorithm(),
              NEVPNIKEv2EncryptionAlgorithm::AES256GCM);
    EXPECT_EQ(protocol->childSecurityAssociationParameters().integrityAlgorithm(),
              NEVPNIKEv2IntegrityAlgorithm::SHA384);
    EXPECT_EQ(protocol->childSecurityAssociationParameters().diffieHellmanGroup(),
              NEVPNIKEv2DiffieHellmanGroup::Group31);
    EXPECT_TRUE(protocol->enablePFS());
    EXPECT_TRUE(saved->isOnDemandEnabled() && protocol->includeAllNetworks() &&
                protocol->excludeLocalNetworks());
    EXPECT_EQ(saved->onDemandRules().size(), 1u);
    EXPECT_EQ(saved->localizedDescription(), "Velmora");
    expectShown(NEVPNStatus::connecting, "iconConnecting");
    advance(manager(), NEVPNConnection::connectTime);
    expectShown(NEVPNStatus::connected, "iconConnected");
    EXPECT_EQ(console_.countStartingWith("NEVPNConnection.status: connected"), 1u);

    // Another region while connected: the tunnel goes down and the new region waits for the next
    // connect.
    const VPNRegion& other = regions.back();
    ASSERT_NE(other.id, best.id);
    controller_->currentRegion = other.id;
    controller_->didSelectRegion(other.id);
    expectShown(NEVPNStatus::disconnecting, "iconDisconnecting");
    advance(manager(), NEVPNConnection::disconnectTime);
    expectShown(NEVPNStatus::disconnected, "AppIconMacOS");
    EXPECT_EQ(Preferences::configId(), other.id);
    EXPECT_EQ(Preferences::countryConnected(), other.country_name);
    EXPECT_FALSE(requested("/api/config/ipsec/" + std::to_string(other.id)));

    controller_->doConnect();
    waitForLine("Start VPN", 2);
    EXPECT_TRUE(requested("/api/config/ipsec/" + std::to_string(other.id)));
    EXPECT_EQ(Preferences::server(), other.server_domain);
    advance(manager(), NEVPNConnection::connectTime);
    expectShown(NEVPNStatus::connected, "iconConnected");

    // The token expires: the next region load ends the session.
    bool loginShown = false;
    auto observer = NotificationCenter::defaultCenter().addObserver(
        "showLoginView", {}, [&](const Notification&) { loginShown = true; });
    ASSERT_TRUE(server_.expireToken(*token));
    controller_->loadRegions();
    waitFor([&] { return loginShown; });
    EXPECT_FALSE(Preferences::email());
    EXPECT_FALSE(Preferences::token());
    EXPECT_FALSE(Preferences::password());
    EXPECT_EQ(Preferences::configId(), other.id) << "the choice stays for the next session";
    settle(manager());
    advance(manager(), NEVPNConnection::disconnectTime);
    EXPECT_EQ(manager().connection()->status(), NEVPNStatus::disconnected) << "log-out takes the tunnel down";
}

} // namespace
