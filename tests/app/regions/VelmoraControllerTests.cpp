// The session controller with given replies and a recording tunnel helper: creation, the region
// load with its default selection, the connect toggle, the status handler, log-out and plan text.
#include "app/controllers/VelmoraController.h"
#include "platform/appkit/Application.h"
#include "platform/vpn/NEVPNManager.h"
#include "platform/vpn/NEVPNProfileFile.h"
#include "tests/app/regions/ControllerTestSupport.h"
#include "tests/app/regions/RegionTestSupport.h"
#include "tests/app/service/ServiceTestSupport.h"

#include <gtest/gtest.h>

using plat::NEVPNStatus;
using plat::RunLoop;
using regiontest::CannedClient;
using regiontest::Sample;

namespace {

const std::string kThree = regiontest::listText(
    {{1, "Spain", false, 10, 0}, {2, "Austria", true, 900, 40}, {3, "Poland", true, 800, 10}});

class VelmoraControllerTest : public ::testing::Test {
protected:
    void SetUp() override { plat::Application::shared().resetForTesting(); }
    void TearDown() override {
        controller_.reset();
        RunLoop::main().drain();
        plat::Application::shared().resetForTesting();
    }
    std::shared_ptr<VelmoraController> make() {
        controller_ = VelmoraController::create(client_, *helper_);
        manager_.queue().sync([] {});
        return controller_;
    }
    // Answers one region load and runs the queued default selection too.
    void load(const std::string& reply) {
        client_.regionReplies.push_back(CannedClient::json(reply));
        controller_->loadRegions();
        RunLoop::main().drain();
    }
    size_t lines(const std::string& prefix) const { return console_.countStartingWith(prefix); }

    servicetest::ServiceEnvironment env_;
    servicetest::ConsoleCapture console_;
    plat::ManualScheduler scheduler_;
    plat::NEVPNManager manager_{scheduler_};
    CannedClient client_;
    std::shared_ptr<regiontest::RecordingHelper> helper_ =
        std::make_shared<regiontest::RecordingHelper>(manager_, client_);
    std::shared_ptr<VelmoraController> controller_;
};

TEST_F(VelmoraControllerTest, CreationStartsFromTheStoredChoiceAndTheTunnelStatus) {
    helper_->status = NEVPNStatus::connected;
    auto c = make();
    EXPECT_EQ(c->connectionStatus.get(), NEVPNStatus::connected);
    EXPECT_EQ(c->currentRegion.get(), std::optional<int64_t>(0)) << "present even when nothing was chosen";
    EXPECT_TRUE(c->regions.get().empty());
    EXPECT_EQ(c->subscription.get(), "");
    EXPECT_FALSE(c->showSettings.get() || c->showPricing.get() || c->showManageDevices.get());
    EXPECT_EQ(console_.lines().at(0), "initializing VelmoraController");

    manager_.setFaultForTesting(plat::NEVPNManager::Operation::load,
                                plat::Error::withMessage("d", 1, "no access"));
    Preferences::setConfigId(17);
    auto second = VelmoraController::create(client_, *helper_);
    manager_.queue().sync([] {});
    EXPECT_EQ(second->currentRegion.get(), std::optional<int64_t>(17));
    EXPECT_EQ(lines("Error loading VPN preferences: no access"), 1u);
}

// The real helper, except that a profile load finishes right after the status is read: at a launch
// the load runs on the configuration queue and may end before the controller acts on what it read.
class LoadFinishingAfterTheRead : public VPNHelper {
public:
    LoadFinishingAfterTheRead(plat::NEVPNManager& manager, Client& client) : VPNHelper(manager, client) {}
    NEVPNStatus currentStatus() override {
        NEVPNStatus read = VPNHelper::currentStatus();
        if (!loaded) {
            loaded = true;
            manager().loadFromPreferences(nullptr);
            manager().queue().sync([] {});
        }
        return read;
    }
    bool loaded = false;
};

TEST_F(VelmoraControllerTest, ATunnelUpFoundByALoadThatEndsBeforeCreationReturnsIsShown) {
    ASSERT_TRUE(plat::NEVPNProfileFile::write({{"enabled", plat::Object(true)}}));
    plat::NEVPNProfileFile::setTunnelUp(true);
    LoadFinishingAfterTheRead helper(manager_, client_);
    controller_ = VelmoraController::create(client_, helper);
    manager_.queue().sync([] {});
    RunLoop::main().drain();
    ASSERT_TRUE(helper.loaded);
    EXPECT_EQ(helper.currentStatus(), NEVPNStatus::connected);
    EXPECT_EQ(controller_->connectionStatus.get(), NEVPNStatus::connected);
    EXPECT_EQ(plat::Application::shared().applicationIconImage().get(), "iconConnected");
}

TEST_F(VelmoraControllerTest, RegionLoadPublishesTheRankingAndSelectsOnALaterTurn) {
    auto c = make();
    std::vector<std::vector<std::string>> seen;
    auto sub =
        c->regions.sink([&](const std::vector<VPNRegion>& list) { seen.push_back(regiontest::names(list)); });
    client_.regionReplies.push_back(CannedClient::json(kThree));
    c->loadRegions();
    ASSERT_TRUE(RunLoop::main().runOne()); // the reply
    const std::vector<std::string> ranked{"Optimal region\nPoland", "Austria", "Spain"};
    EXPECT_EQ(regiontest::names(c->regions.get()), ranked);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), ranked) << "a subscriber ends the reply's turn on the ranked list";
    const size_t seenAfterReply = seen.size();
    EXPECT_EQ(Preferences::configId(), 0) << "the default selection waits for a later turn";
    ASSERT_TRUE(RunLoop::main().runOne());
    EXPECT_EQ(seen.size(), seenAfterReply) << "the default selection leaves the list alone";
    EXPECT_EQ(Preferences::configId(), 3);
    EXPECT_EQ(c->currentRegion.get(), std::optional<int64_t>(3));
    EXPECT_EQ(Preferences::countryConnected(), "Optimal region\nPoland");
    EXPECT_EQ(helper_->connects + helper_->disconnects, 0) << "the default selection never connects";
    EXPECT_EQ(lines("No regions with is_nearest"), 0u);
    EXPECT_EQ(c->regionById(2)->country_name, "Austria");
    EXPECT_FALSE(c->regionById(99));
}

TEST_F(VelmoraControllerTest, AnExistingChoiceStandsEvenWhenItsRegionIsGone) {
    Preferences::setConfigId(99);
    auto c = make();
    load(kThree);
    EXPECT_EQ(Preferences::configId(), 99);
    EXPECT_EQ(c->currentRegion.get(), std::optional<int64_t>(99));
    EXPECT_EQ(Preferences::countryConnected(), "VPN");
}

TEST_F(VelmoraControllerTest, FailedRepliesKeepThePreviousList) {
    auto c = make();
    load(kThree);
    auto before = regiontest::ids(c->regions.get());

    std::string bad = kThree;
    bad.replace(bad.find("\"is_free\":false"), 15, "\"is_free\":1");
    load(bad);
    EXPECT_EQ(lines("Decoding error: "), 1u);
    load("{\"message\":\"Not Found\"}");
    EXPECT_EQ(lines("Decoding error: "), 2u);
    client_.regionReplies.push_back(
        {plat::Error::withMessage("NSURLErrorDomain", -1004, "Could not connect."), {}});
    c->loadRegions();
    client_.regionReplies.push_back({});
    c->loadRegions();
    RunLoop::main().drain();
    EXPECT_EQ(lines("Error while getting regions: Could not connect."), 1u);
    EXPECT_EQ(lines("JSON is nil"), 1u);
    EXPECT_EQ(regiontest::ids(c->regions.get()), before);
}

TEST_F(VelmoraControllerTest, EmptyListPrintsBothLinesAndSelectsNothing) {
    auto c = make();
    load("[]");
    EXPECT_EQ(lines("No regions with is_nearest == true found."), 1u);
    EXPECT_EQ(lines("Regions array is empty, cannot set Preferences.configId and currentRegion"), 1u);
    EXPECT_EQ(Preferences::configId(), 0);
}

TEST_F(VelmoraControllerTest, ReplyForAGoneControllerDoesNothing) {
    auto c = make();
    client_.regionReplies.push_back(CannedClient::json("[]"));
    c->loadRegions();
    c.reset();
    controller_.reset();
    RunLoop::main().drain();
    EXPECT_EQ(client_.regionRequests, 1);
    EXPECT_EQ(lines("No regions"), 0u);
}

TEST_F(VelmoraControllerTest, PowerButtonFollowsThePublishedStatus) {
    auto c = make();
    struct Row {
        int64_t status;
        int connects, disconnects;
    };
    for (Row row : {Row{0, 1, 0}, Row{1, 1, 0}, Row{2, 0, 1}, Row{3, 0, 1}, Row{4, 0, 1}, Row{5, 0, 0},
                    Row{6, 0, 0}, Row{7, 0, 0}}) {
        helper_->connects = helper_->disconnects = 0;
        helper_->status = NEVPNStatus::connected; // the live status is not what decides
        c->connectionStatus = static_cast<NEVPNStatus>(row.status);
        c->doConnect();
        EXPECT_EQ(helper_->connects, row.connects) << "status " << row.status;
        EXPECT_EQ(helper_->disconnects, row.disconnects) << "status " << row.status;
    }
}

TEST_F(VelmoraControllerTest, ChoosingARegionStoresItThenToggles) {
    auto c = make();
    load(kThree);
    c->connectionStatus = NEVPNStatus::connected;
    helper_->onDisconnect = [] { EXPECT_EQ(Preferences::configId(), 2) << "stored before the toggle"; };
    c->didSelectRegion(2);
    EXPECT_EQ(helper_->disconnects, 1);
    EXPECT_EQ(helper_->connects, 0);
    EXPECT_EQ(Preferences::server(), "r2.vpn.example");
    EXPECT_EQ(Preferences::countryConnected(), "Austria");

    c->didSelectRegion(12345);
    EXPECT_EQ(helper_->disconnects + helper_->connects, 1) << "an unknown id does nothing";
    EXPECT_EQ(Preferences::configId(), 2);

    c->connectionStatus = NEVPNStatus::disconnected;
    c->didSelectRegion(1);
    EXPECT_EQ(helper_->connects, 1);
    EXPECT_EQ(Preferences::configId(), 1);
}

TEST_F(VelmoraControllerTest, StatusNotificationPrintsAtOnceAndPublishesOnTheMainQueue) {
    auto c = make();
    plat::NEVPNConnection& connection = *manager_.connection();
    const char* words[] = {"invalid",     "disconnected",  "connecting", "connected",
                           "reasserting", "disconnecting", "unknown",    "unknown"};
    const char* icons[] = {"iconInvalid",    "AppIconMacOS",      "iconConnecting", "iconConnected",
                           "iconConnecting", "iconDisconnecting", "AppIconMacOS",   "AppIconMacOS"};
    for (int64_t s = 0; s < 8; ++s) {
        std::optional<std::string> iconBefore = plat::Application::shared().applicationIconImage().get();
        connection.setStatusForTesting(static_cast<NEVPNStatus>(s));
        manager_.queue().sync([] {});
        EXPECT_EQ(console_.lines().back(), std::string("NEVPNConnection.status: ") + words[s])
            << "printed on the delivering thread";
        EXPECT_NE(c->connectionStatus.get(), static_cast<NEVPNStatus>(s))
            << "published one main-queue turn later";
        EXPECT_EQ(plat::Application::shared().applicationIconImage().get(), iconBefore)
            << "the icon goes with it";
        RunLoop::main().drain();
        EXPECT_EQ(c->connectionStatus.get(), static_cast<NEVPNStatus>(s));
        EXPECT_EQ(plat::Application::shared().applicationIconImage().get(), icons[s]);
    }
}

TEST_F(VelmoraControllerTest, StatusNotificationWithoutAConnectionIsIgnored) {
    auto c = make();
    size_t before = console_.lines().size();
    auto& center = plat::NotificationCenter::defaultCenter();
    center.post(plat::NEVPNStatusDidChangeNotification);
    center.post(plat::NEVPNStatusDidChangeNotification, plat::Object("connection"));
    center.post(plat::NEVPNStatusDidChangeNotification,
                plat::Object(plat::Opaque::make<int>(std::make_shared<const int>(3), "NEVPNConnection")));
    EXPECT_EQ(RunLoop::main().drain(), 0u);
    EXPECT_EQ(console_.lines().size(), before);
}

TEST_F(VelmoraControllerTest, LogoutRemovesCredentialsThenDisconnectsThenShowsLogin) {
    auto c = make();
    for (const char* key : {"email", "token", "password", "server"})
        Preferences::setKeychainValue("x", key);
    Preferences::setConfigId(5);
    std::vector<std::string> steps;
    helper_->status = NEVPNStatus::disconnected;
    helper_->onDisconnect = [&] {
        EXPECT_FALSE(Preferences::email() || Preferences::token() || Preferences::password());
        steps.push_back("disconnect");
    };
    auto token =
        plat::NotificationCenter::defaultCenter().addObserver("showLoginView", {}, [&](const auto& n) {
            EXPECT_TRUE(n.object.isAbsent());
            steps.push_back("showLoginView:" +
                            plat::Application::shared().applicationIconImage().get().value_or("-"));
        });
    plat::NotificationCenter::defaultCenter().post("logout");
    EXPECT_EQ(steps, (std::vector<std::string>{"disconnect", "showLoginView:AppIconMacOS"}));
    EXPECT_EQ(Preferences::server(), "x") << "the chosen server stays";
    EXPECT_EQ(Preferences::configId(), 5);

    controller_.reset();
    c.reset();
    plat::NotificationCenter::defaultCenter().post("logout");
    EXPECT_EQ(helper_->disconnects, 1) << "a destroyed controller hears nothing";
}

TEST_F(VelmoraControllerTest, PlanTextRules) {
    auto text = [](const std::string& body) {
        return VelmoraController::subscriptionText(JSON(plat::toData(body), 0));
    };
    EXPECT_EQ(text(R"({"status":"Active","is_unlimited":true})"), "Your Plan Has Expired");
    EXPECT_EQ(text(R"({"name":"Pro"})"), "Your Plan Has Expired");
    EXPECT_EQ(text(R"({"status":"active","is_unlimited":true,"name":"Pro"})"), "Current Plan: Lifetime");
    EXPECT_EQ(text(R"({"status":"active","is_unlimited":"YES"})"), "Current Plan: Lifetime");
    EXPECT_EQ(text(R"({"status":"active","is_unlimited":false,"name":"Pro"})"), "Current Plan: Pro");
    EXPECT_EQ(text(R"({"status":"active"})"), "Current Plan: ");

    auto c = make();
    client_.planReplies.push_back(CannedClient::json(R"({"status":"active","name":"Basic"})"));
    client_.planReplies.push_back({plat::Error("offline", 0), std::nullopt});
    c->showCurrentSubscription();
    RunLoop::main().drain();
    EXPECT_EQ(c->subscription.get(), "Current Plan: Basic");
    c->showCurrentSubscription();
    RunLoop::main().drain();
    EXPECT_EQ(c->subscription.get(), "Current Plan: Basic") << "no reply keeps the text";
}

} // namespace
