#include "core/TSRApp.h"
#include "core/TSRBundleUtil.h"
#include "core/TSRComponentContainer.h"
#include "core/TSRException.h"
#include "core/TSRHeartbeatLogger.h"
#include "core/TSROptions.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "tests/core/CoreTestComponents.h"
#include "tests/core/CoreTestSupport.h"

#include <atomic>
#include <thread>

using namespace coretest;

namespace {

// The reason of the TSRException that `action` raises; fails the test when it raises none or
// another kind.
template <typename F> std::string reasonOf(F&& action, const std::string& name = kTSRCoreExceptionName) {
    try {
        action();
    } catch (const TSRException& e) {
        EXPECT_EQ(e.name(), name);
        return e.reason();
    }
    ADD_FAILURE() << "no exception";
    return {};
}

std::shared_ptr<TSROptions> optionsWithAppID(const std::string& appID) {
    return TSROptions::initWithTesseraAppID(appID, "111122223333");
}

class TSRAppConfigureTest : public CoreTest {};

} // namespace

TEST_F(TSRAppConfigureTest, ConfigureFromBundleGivesDefaultAppWithOptionsContainerAndLogger) {
    useBundle("app");
    EXPECT_FALSE(TSRApp::isDefaultAppConfigured());
    TSRApp::configure();

    std::shared_ptr<TSRApp> app = TSRApp::defaultApp();
    ASSERT_TRUE(app);
    EXPECT_TRUE(app->isDefaultApp());
    EXPECT_EQ(app->name(), "__TSRAPP_DEFAULT");
    EXPECT_EQ(app->options()->tesseraAppID(), "1:111122223333:ios:f00dcafe12345678");
    EXPECT_EQ(app->options()->APIKey(), "ATestKeyForTheVelmoraCoreTests-01234567");
    EXPECT_TRUE(app->options()->usingOptionsFromDefaultPlist());
    ASSERT_TRUE(app->container());
    EXPECT_EQ(app->container()->app(), app);
    EXPECT_TRUE(app->heartbeatLogger());
    EXPECT_EQ(TSRApp::appNamed("__TSRAPP_DEFAULT"), app);
    // The bundle id in the options is the bundle's own, so no inconsistency is reported.
    EXPECT_TRUE(linesWithCode("I-COR000008").empty());
}

TEST_F(TSRAppConfigureTest, ShippedOptionsFileConfiguresTheApplication) {
    const auto shipped = sourceRoot() / "resources";
    ASSERT_TRUE(std::filesystem::exists(shipped / "TesseraOptions.plist"));
    TSRBundleUtil::setMainBundleForTesting(std::make_shared<plat::Bundle>(shipped));
    TSRApp::configure();
    ASSERT_TRUE(TSRApp::defaultApp());
    EXPECT_TRUE(TSRApp::validateAppID(TSRApp::defaultApp()->options()->tesseraAppID()));
    EXPECT_TRUE(linesWithCode("I-COR000008").empty());
}

TEST_F(TSRAppConfigureTest, SecondConfigureRaisesAndKeepsTheFirstApp) {
    useBundle("app");
    TSRApp::configure();
    std::shared_ptr<TSRApp> first = TSRApp::defaultApp();
    EXPECT_EQ(reasonOf([] { TSRApp::configure(); }), "Default app has already been configured.");
    EXPECT_EQ(TSRApp::defaultApp(), first);

    TSRApp::configureWithName("second-app_1", optionsWithAppID("1:1:ios:ab"));
    EXPECT_EQ(reasonOf([] { TSRApp::configureWithName("second-app_1", optionsWithAppID("1:2:ios:cd")); }),
              "App named second-app_1 has already been configured.");
    EXPECT_EQ(TSRApp::appNamed("second-app_1")->options()->tesseraAppID(), "1:1:ios:ab");
}

TEST_F(TSRAppConfigureTest, ConcurrentDefaultConfigurationsCreateExactlyOneApp) {
    useBundle("app");
    std::atomic<int> succeeded{0}, refused{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i)
        threads.emplace_back([&] {
            try {
                TSRApp::configure();
                ++succeeded;
            } catch (const TSRException& e) {
                if (e.reason() == "Default app has already been configured.") ++refused;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(succeeded.load(), 1);
    EXPECT_EQ(refused.load(), 5);
    EXPECT_EQ(TSRApp::allApps()->size(), 1u);
}

TEST_F(TSRAppConfigureTest, MissingOrMalformedOptionsFileRaises) {
    const std::string missing =
        "`TesseraApp.configure()` could not find a valid TesseraOptions.plist in your project. "
        "Please download one from https://console.tessera.example/.";
    useBundle("app-no-options");
    EXPECT_EQ(reasonOf([] { TSRApp::configure(); }), missing);
    EXPECT_EQ(reasonOf([] { TSRApp::configure(); }), missing);
    // The file is looked for once per process.
    ASSERT_EQ(linesWithCode("I-COR000012").size(), 1u);
    EXPECT_NE(
        linesWithCode("I-COR000012")[0].find("Could not locate configuration file: 'TesseraOptions.plist'."),
        std::string::npos);

    TSROptions::resetDefaultOptions();
    useBundle("app-not-dictionary");
    EXPECT_EQ(reasonOf([] { TSRApp::configure(); }), missing);
    EXPECT_EQ(linesWithCode("I-COR000011").size(), 1u);
    EXPECT_FALSE(TSRApp::isDefaultAppConfigured());

    EXPECT_EQ(reasonOf([] { TSRApp::configureWithOptions(nullptr); }),
              "Options is nil. Please pass a valid options.");
    EXPECT_EQ(reasonOf([] { TSRApp::configureWithName("x", nullptr); }),
              "Neither name nor options can be nil.");
    EXPECT_EQ(reasonOf([] { TSRApp::configureWithName("", optionsWithAppID("1:1:ios:ab")); }),
              "Name cannot be empty.");
}

TEST_F(TSRAppConfigureTest, InvalidAppIDLeavesNoAppBehind) {
    useBundle("app-bad-app-id");
    EXPECT_EQ(reasonOf([] { TSRApp::configure(); }), "Configuration fails. It may be caused by an invalid "
                                                     "TESSERA_APP_ID in TesseraOptions.plist or set in "
                                                     "the customized options.");
    EXPECT_EQ(linesWithCode("I-COR000009").size(), 1u);
    EXPECT_FALSE(TSRApp::isDefaultAppConfigured());
    EXPECT_EQ(TSRApp::defaultApp(), nullptr);
    EXPECT_FALSE(TSRApp::allApps().has_value());

    // Nothing half-made stands in the way of a good configuration.
    TSROptions::resetDefaultOptions();
    useBundle("app");
    TSRApp::configure();
    EXPECT_TRUE(TSRApp::isDefaultAppConfigured());
}

TEST_F(TSRAppConfigureTest, AppNamesAllowLettersDigitsHyphenAndUnderscoreOnly) {
    const std::string nameError =
        "App name can only contain alphanumeric, hyphen (-), and underscore (_) characters";
    struct Case {
        const char* name;
        bool valid;
    } cases[] = {
        {"second-app_1", true}, {"Caf\xC3\xA9", true}, {"with.dot", false},
        {"with blank", false},  {"a/b", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.valid) {
            EXPECT_NO_THROW(TSRApp::configureWithName(c.name, optionsWithAppID("1:1:ios:ab")));
            EXPECT_TRUE(TSRApp::appNamed(c.name));
        } else {
            EXPECT_EQ(reasonOf([&] { TSRApp::configureWithName(c.name, optionsWithAppID("1:1:ios:ab")); }),
                      nameError);
            EXPECT_FALSE(TSRApp::appNamed(c.name));
        }
    }
}

TEST_F(TSRAppConfigureTest, EagerComponentsAreCreatedAtConfigurationByTiming) {
    auto eager = std::make_shared<std::atomic<int>>(0);
    auto defaultEager = std::make_shared<std::atomic<int>>(0);
    auto lazy = std::make_shared<std::atomic<int>>(0);
    TSRClass cls = libraryClass(
        "TestLibrary",
        {
            countingComponent(eagerProtocol(), TSRInstantiationTimingAlwaysEager, eager, "eager"),
            countingComponent(defaultEagerProtocol(), TSRInstantiationTimingEagerInDefaultApp, defaultEager,
                              "default"),
            countingComponent(lazyProtocol(), TSRInstantiationTimingLazy, lazy, "lazy"),
        });
    // The class joins the registrants from its load hook, which the bootstrap runs.
    cls.load = [] {
        TSRApp::registerInternalLibrary(TSRClassRegistry::shared().classNamed("TestLibrary"), "tsr-test");
    };
    TSRClassRegistry::shared().registerClass(std::move(cls));

    useBundle("app");
    TSRApp::configure();
    EXPECT_TRUE(TSRClassRegistry::shared().hasBootstrapped());
    EXPECT_EQ(eager->load(), 1);
    EXPECT_EQ(defaultEager->load(), 1);
    EXPECT_EQ(lazy->load(), 0);
    EXPECT_NE(TSRApp::tesseraUserAgent().find("tsr-test/3.2.0"), std::string::npos);

    // Another app: only the always-eager one is made at configuration.
    TSRApp::configureWithName("other", optionsWithAppID("1:1:ios:ab"));
    EXPECT_EQ(eager->load(), 2);
    EXPECT_EQ(defaultEager->load(), 1);
    auto container = TSRApp::appNamed("other")->container();
    EXPECT_TRUE(container->instanceFor<DefaultEagerProvider>(defaultEagerProtocol()));
    EXPECT_EQ(defaultEager->load(), 2);
    // Cached: the next request makes nothing.
    container->instanceForProtocol(defaultEagerProtocol());
    EXPECT_EQ(defaultEager->load(), 2);
}

TEST_F(TSRAppConfigureTest, KnownLibraryClassesAreFoundByName) {
    auto sessions = std::make_shared<std::atomic<int>>(0);
    TSRClassRegistry::shared().registerClass(libraryClass(
        "TSRSessions",
        {countingComponent(otherProtocol(), TSRInstantiationTimingAlwaysEager, sessions, "sessions")}));
    TSRClass versioned;
    versioned.name = "TSRModuleF";
    versioned.sdkVersion = [] { return std::optional<std::string>("9.1.4"); };
    TSRClassRegistry::shared().registerClass(versioned);
    TSRClass plain;
    plain.name = "TSRModuleG";
    TSRClassRegistry::shared().registerClass(plain);

    useBundle("app");
    TSRApp::configure();
    EXPECT_EQ(sessions->load(), 1);
    const std::string agent = TSRApp::tesseraUserAgent();
    EXPECT_NE(agent.find("tsr-ses/3.2.0"), std::string::npos);
    EXPECT_NE(agent.find("tsr-mod-f/9.1.4"), std::string::npos);
    EXPECT_NE(agent.find("tsr-mod-g/3.2.0"), std::string::npos);
    EXPECT_EQ(agent.find("tsr-mod-a"), std::string::npos);
}

TEST_F(TSRAppConfigureTest, RegistrantThatIsNoLibraryIsRefused) {
    TSRClass cls;
    cls.name = "NotALibrary";
    cls.componentsToRegister = [] { return std::vector<std::shared_ptr<TSRComponent>>{}; };
    TSRClassRef ref = TSRClassRegistry::shared().registerClass(cls);
    EXPECT_EQ(
        reasonOf([&] { TSRApp::registerInternalLibrary(ref, "tsr-bad"); }, kTSRInvalidArgumentException),
        "Class NotALibrary attempted to register components, but it does not conform to `TSRLibrary or "
        "provide "
        "a `componentsToRegister:` method.");
    EXPECT_TRUE(TSRComponentContainer::registrants().empty());
    EXPECT_EQ(TSRApp::tesseraUserAgent().find("tsr-bad"), std::string::npos);
}

TEST_F(TSRAppConfigureTest, ReadyNotificationAnnouncesTheApp) {
    std::vector<plat::Notification> seen;
    auto token = plat::NotificationCenter::defaultCenter().addObserver(
        kTSRAppReadyToConfigureSDKNotification, plat::Object(),
        [&](const plat::Notification& n) { seen.push_back(n); });
    useBundle("app");
    TSRApp::configure();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].object, TSRApp::classObject());
    EXPECT_EQ(seen[0].userInfo.at("TSRAppNameKey"), plat::Object("__TSRAPP_DEFAULT"));
    EXPECT_TRUE(seen[0].userInfo.at("TSRAppIsDefaultAppKey").number().isBool());
    EXPECT_TRUE(seen[0].userInfo.at("TSRAppIsDefaultAppKey").number().boolValue());
    EXPECT_EQ(seen[0].userInfo.at("TSRAppIDKey"), plat::Object("1:111122223333:ios:f00dcafe12345678"));
}

TEST_F(TSRAppConfigureTest, LookupsBeforeAndAfterConfiguration) {
    EXPECT_FALSE(TSRApp::allApps().has_value());
    EXPECT_EQ(linesWithCode("I-COR000005").size(), 1u);
    EXPECT_EQ(TSRApp::defaultApp(), nullptr);
    EXPECT_EQ(linesWithCode("I-COR000003").size(), 1u);
    EXPECT_EQ(TSRApp::appNamed("nobody"), nullptr);
    EXPECT_EQ(linesWithCode("I-COR000004").size(), 1u);

    TSRApp::configureWithName("first", optionsWithAppID("1:1:ios:ab"));
    auto snapshot = TSRApp::allApps();
    ASSERT_TRUE(snapshot);
    TSRApp::configureWithName("second", optionsWithAppID("1:1:ios:ab"));
    EXPECT_EQ(snapshot->size(), 1u);
    EXPECT_EQ(TSRApp::allApps()->size(), 2u);
}

TEST_F(TSRAppConfigureTest, OptionsAreAFreshLockedCopyEachTime) {
    TSRApp::configureWithName("app", optionsWithAppID("1:1:ios:ab"));
    auto app = TSRApp::appNamed("app");
    auto a = app->options();
    auto b = app->options();
    EXPECT_NE(a, b);
    EXPECT_EQ(*a, *b);
    EXPECT_TRUE(a->editingLocked());
    EXPECT_EQ(reasonOf([&] { a->setAPIKey("changed"); }),
              "Attempted to modify options after it's set on TSRApp. Please modify all properties before "
              "initializing TSRApp.");
    EXPECT_EQ(app->options()->APIKey(), std::nullopt);
}

TEST_F(TSRAppConfigureTest, DeleteAppTellsComponentsAndForgetsTheApp) {
    auto made = std::make_shared<std::atomic<int>>(0);
    TSRComponentContainer::registerAsComponentRegistrant(TSRClassRegistry::shared().registerClass(
        libraryClass("TestLibrary",
                     {countingComponent(eagerProtocol(), TSRInstantiationTimingAlwaysEager, made, "x")})));
    std::vector<plat::Notification> deleted;
    auto token = plat::NotificationCenter::defaultCenter().addObserver(
        kTSRAppDeleteNotification, plat::Object(),
        [&](const plat::Notification& n) { deleted.push_back(n); });

    TSRApp::configureWithName("doomed", optionsWithAppID("1:1:ios:ab"));
    auto app = TSRApp::appNamed("doomed");
    auto provider = app->container()->instanceFor<Provider>(eagerProtocol());
    ASSERT_TRUE(provider);
    app->setDataCollectionDefaultEnabled(false);

    bool result = false;
    app->deleteApp([&](bool success) { result = success; });
    EXPECT_TRUE(result);
    EXPECT_EQ(provider->deletions, 1);
    EXPECT_TRUE(provider->deletedAppWasAlive);
    EXPECT_EQ(TSRApp::appNamed("doomed"), nullptr);
    EXPECT_TRUE(app->isDataCollectionDefaultEnabled()); // the stored switch went with the app
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0].userInfo.at("TSRAppNameKey"), plat::Object("doomed"));
    // The components went too: nothing answers any more.
    EXPECT_EQ(app->container()->instanceForProtocol(eagerProtocol()), nullptr);

    app->deleteApp([&](bool success) { result = success; });
    EXPECT_FALSE(result);
    EXPECT_EQ(linesWithCode("I-COR000007").size(), 1u);
}
