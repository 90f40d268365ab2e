#include "core/TSRApp.h"

#include "core/TSRAnalyticsConfiguration.h"
#include "core/TSRBundleUtil.h"
#include "core/TSRComponentContainer.h"
#include "core/TSRException.h"
#include "core/TSRHeartbeatLogger.h"
#include "core/TSRLogger.h"
#include "core/TSROptions.h"
#include "core/TSRUserAgent.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/UserDefaults.h"
#include "utilities/TULAppEnvironmentUtil.h"

#include <mutex>

namespace {

// Where the messages send the developer for a new options file and for the set-up guide.
constexpr const char* kConsoleURL = "https://console.tessera.example/";
constexpr const char* kSetupGuideURL = "https://tessera.example/docs/setup";

struct Registry {
    // Guards the app table and every configuration and deletion. Recursive: a component's creation
    // block that runs during configuration may call back into the registry on the same thread.
    std::recursive_mutex lock;
    // The default-app reference alone, so defaultApp() never waits for a configuration.
    std::mutex defaultLock;
    std::shared_ptr<TSRApp> defaultApp;
    std::optional<TSRApp::AppTable> apps;
};

Registry& registry() {
    static auto* r = new Registry;
    return *r;
}

void setDefaultApp(std::shared_ptr<TSRApp> app) {
    std::lock_guard guard(registry().defaultLock);
    registry().defaultApp = std::move(app);
}

struct InfoSwitch {
    std::mutex lock;
    bool read = false;
    plat::Object value;
};

InfoSwitch& infoSwitch() {
    static auto* s = new InfoSwitch;
    return *s;
}

[[noreturn]] void raise(const std::string& reason) {
    throw TSRException(kTSRCoreExceptionName, reason);
}

std::string format(const std::string& text, const TULFormatArguments& arguments) {
    return TULStringWithFormat(text, arguments);
}

bool isValidAppName(const std::string& name) {
    // The platform's alphanumeric set: letters, marks and digits of any script.
    return plat::text::matchesRegex(name, "[\\p{L}\\p{M}\\p{N}_\\-]*");
}

} // namespace

// Configuration

void TSRApp::configure() {
    std::shared_ptr<TSROptions> options = TSROptions::defaultOptions();
    if (!options)
        raise(format(
            "`TesseraApp.configure()` could not find a valid TesseraOptions.plist in your project. Please "
            "download one from %@.",
            {kConsoleURL}));
    configureWithOptions(options);
}

void TSRApp::configureWithOptions(const std::shared_ptr<TSROptions>& options) {
    if (!options) raise("Options is nil. Please pass a valid options.");
    configureWithName(kTSRDefaultAppName, options);
}

void TSRApp::configureWithName(const std::string& name, const std::shared_ptr<TSROptions>& options) {
    // Registrants join before the first container collects them.
    TSRClassRegistry::shared().bootstrap();
    if (!options) raise("Neither name nor options can be nil.");
    if (name.empty()) raise("Name cannot be empty.");
    const bool isDefault = name == kTSRDefaultAppName;
    if (!isDefault && !isValidAppName(name))
        raise("App name can only contain alphanumeric, hyphen (-), and underscore (_) characters");

    Registry& r = registry();
    // One lock over the "already configured" check and the creation, so two threads cannot both
    // create the same app.
    std::lock_guard guard(r.lock);
    if (isDefault) {
        if (std::shared_ptr<TSRApp> existing = currentDefaultApp()) {
            appWasConfiguredTwice(*existing, *options);
            return;
        }
        TSRLogDebug(kTSRLoggerCore, "I-COR000001", "Configuring the default app.");
    } else {
        if (r.apps) {
            if (auto found = r.apps->find(name); found != r.apps->end()) {
                appWasConfiguredTwice(*found->second, *options);
                return;
            }
        }
        TSRLogDebug(kTSRLoggerCore, "I-COR000002", "Configuring app named %@", name);
    }

    registerSwiftComponents();

    std::shared_ptr<TSRApp> app = initInstanceWithName(name, options);
    // The app becomes visible only once its checks passed: a failed configuration leaves neither
    // a default app nor a table entry behind.
    if (!app->configureCore())
        raise("Configuration fails. It may be caused by an invalid TESSERA_APP_ID in TesseraOptions.plist or "
              "set "
              "in the customized options.");
    if (app->isDefaultApp()) setDefaultApp(app);
    if (!r.apps) r.apps.emplace();
    (*r.apps)[app->name()] = app;
    app->container()->instantiateEagerComponents();
    sendNotificationsToSDKs(*app);
}

std::shared_ptr<TSRApp> TSRApp::currentDefaultApp() {
    std::lock_guard guard(registry().defaultLock);
    return registry().defaultApp;
}

void TSRApp::appWasConfiguredTwice(const TSRApp& app, const TSROptions& options) {
    if (!TULAppEnvironmentUtil::isAppExtension()) {
        if (app.isDefaultApp()) raise("Default app has already been configured.");
        raise(format("App named %@ has already been configured.", {app.name()}));
    }
    if (app.options_->isEqualToOptions(options)) {
        TSRLogDebug(kTSRLoggerCore, "I-COR000035", "Ignoring second `configure` call in an extension.");
        return;
    }
    raise(format("App named %@ has already been configured.", {app.name()}));
}

void TSRApp::sendNotificationsToSDKs(const TSRApp& app) {
    plat::Object::Dict userInfo{
        {kTSRAppNameKey, app.name()},
        {kTSRAppIsDefaultAppKey, plat::Object(app.isDefaultApp())},
    };
    if (auto appID = app.options_->tesseraAppID()) userInfo[kTSRAppIDKey] = *appID;
    plat::NotificationCenter::defaultCenter().post(kTSRAppReadyToConfigureSDKNotification, classObject(),
                                                   std::move(userInfo));
}

plat::Object TSRApp::classObject() {
    return plat::Object("TSRApp");
}

// The registry

std::shared_ptr<TSRApp> TSRApp::defaultApp() {
    std::shared_ptr<TSRApp> app = currentDefaultApp();
    if (!app)
        TSRLogError(
            kTSRLoggerCore, "I-COR000003",
            "The default Tessera app has not yet been configured. Add `TesseraApp.configure()` to your "
            "application initialization. This can be done in in the App Delegate's "
            "application(_:didFinishLaunchingWithOptions:)` (or the `@main` struct's initializer in "
            "SwiftUI). "
            "Read more: %@",
            kSetupGuideURL);
    return app;
}

bool TSRApp::isDefaultAppConfigured() {
    return currentDefaultApp() != nullptr;
}

std::shared_ptr<TSRApp> TSRApp::appNamed(const std::string& name) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    if (r.apps) {
        if (auto found = r.apps->find(name); found != r.apps->end()) return found->second;
    }
    TSRLogError(kTSRLoggerCore, "I-COR000004", "App with name %@ does not exist.", name);
    return nullptr;
}

std::optional<TSRApp::AppTable> TSRApp::allApps() {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    if (!r.apps) TSRLogError(kTSRLoggerCore, "I-COR000005", "No app has been configured yet.");
    return r.apps;
}

void TSRApp::resetApps() {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    setDefaultApp(nullptr);
    r.apps.reset();
    userAgent().reset();
}

void TSRApp::deleteApp(const std::function<void(bool)>& completion) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    if (!r.apps || !r.apps->count(name_)) {
        TSRLogError(kTSRLoggerCore, "I-COR000007", "App does not exist.");
        if (completion) completion(false);
        return;
    }
    TSRLogDebug(kTSRLoggerCore, "I-COR000006", "Deleting app named %@", name_);
    std::shared_ptr<TSRComponentContainer> appContainer = container();
    appContainer->removeAllComponents();
    appContainer->removeAllCachedInstances();
    r.apps->erase(name_);
    clearDataCollectionSwitchFromUserDefaults();
    if (name_ == kTSRDefaultAppName) setDefaultApp(nullptr);
    plat::NotificationCenter::defaultCenter().post(kTSRAppDeleteNotification, classObject(),
                                                   plat::Object::Dict{{kTSRAppNameKey, name_}});
    if (completion) completion(true);
}

void TSRApp::resetForTesting() {
    Registry& r = registry();
    {
        std::lock_guard guard(r.lock);
        setDefaultApp(nullptr);
        r.apps.reset();
    }
    {
        std::lock_guard guard(infoSwitch().lock);
        infoSwitch().read = false;
        infoSwitch().value = plat::Object();
    }
    resetLibrariesForTesting();
}

// One app

std::shared_ptr<TSRApp> TSRApp::initInstanceWithName(const std::string& name,
                                                     const std::shared_ptr<TSROptions>& options) {
    std::shared_ptr<TSRApp> app(new TSRApp(name, options));
    // The container holds the app weakly, so it is made once the app is owned.
    app->container_ = std::make_shared<TSRComponentContainer>(app);
    app->heartbeatLogger_ = std::make_shared<TSRHeartbeatLogger>(app->options_->tesseraAppID().value_or(""));
    return app;
}

TSRApp::TSRApp(const std::string& name, const std::shared_ptr<TSROptions>& options)
    : name_(name), options_(options->copy()), isDefaultApp_(name == kTSRDefaultAppName) {
    options_->setEditingLocked(true);
}

TSRApp::~TSRApp() = default; // dropping the token removes the activation observer

std::shared_ptr<TSROptions> TSRApp::options() const {
    return options_->copy();
}

std::shared_ptr<TSRComponentContainer> TSRApp::container() const {
    std::lock_guard guard(lock_);
    return container_;
}

void TSRApp::setContainer(std::shared_ptr<TSRComponentContainer> container) {
    std::lock_guard guard(lock_);
    container_ = std::move(container);
}

std::shared_ptr<TSRHeartbeatLogger> TSRApp::heartbeatLogger() const {
    std::lock_guard guard(lock_);
    return heartbeatLogger_;
}

bool TSRApp::configureCore() {
    checkExpectedBundleID();
    if (!isAppIDValid()) return false;
    // Starting an analytics component is left out: the program contains none.
    subscribeForAppDidBecomeActiveNotifications();
    return true;
}

std::optional<std::string> TSRApp::expectedBundleID() const {
    return options_->bundleID();
}

void TSRApp::checkExpectedBundleID() const {
    const std::optional<std::string> expected = expectedBundleID();
    if (!expected || TSRBundleUtil::hasBundleIdentifierPrefix(*expected, TSRBundleUtil::relevantBundles()))
        return;
    TSRLogError(
        kTSRLoggerCore, "I-COR000008",
        "The project's Bundle ID is inconsistent with either the Bundle ID in '%@.%@', or the Bundle ID in "
        "the "
        "options if you are using a customized options. To ensure that everything can be configured "
        "correctly, you may need to make the Bundle IDs consistent. To continue with this plist file, you "
        "may "
        "change your app's bundle identifier to '%@'. Or you can download a new configuration file that "
        "matches your bundle identifier from %@ and replace the current one.",
        kTSRDefaultOptionsResourceName, kTSROptionsFileType, *expected, kConsoleURL);
}

bool TSRApp::isAppIDValid() const {
    if (validateAppID(options_->tesseraAppID())) return true;
    TSRLogError(
        kTSRLoggerCore, "I-COR000009",
        "The TESSERA_APP_ID either in the plist file '%@.%@' or the one set in the customized options is "
        "invalid. If you are using the plist file, use the iOS version of bundle identifier to download the "
        "file, and do not manually edit the TESSERA_APP_ID. You may change your app's bundle identifier to "
        "'%@'. Or you can download a new configuration file that matches your bundle identifier from %@ and "
        "replace the current one.",
        kTSRDefaultOptionsResourceName, kTSROptionsFileType, expectedBundleID().value_or(""), kConsoleURL);
    return false;
}

void TSRApp::subscribeForAppDidBecomeActiveNotifications() {
    std::weak_ptr<TSRApp> weakSelf = weak_from_this();
    activeObserver_ = plat::NotificationCenter::defaultCenter().addObserver(
        kTSRApplicationDidBecomeActiveNotification, plat::Object(),
        [weakSelf](const plat::Notification& notification) {
            if (std::shared_ptr<TSRApp> self = weakSelf.lock()) self->appDidBecomeActive(notification);
        });
}

void TSRApp::appDidBecomeActive(const plat::Notification&) {
    if (isDataCollectionDefaultEnabled()) heartbeatLogger()->log();
}

// The data-collection switch

std::string TSRApp::dataCollectionDefaultsKey() const {
    return format(kTSRGlobalAppDataCollectionEnabledDefaultsKeyFormat, {name_});
}

plat::Object TSRApp::readDataCollectionSwitchFromUserDefaultsForApp(const TSRApp& app) {
    const plat::Object value = plat::UserDefaults::standard().object(app.dataCollectionDefaultsKey());
    if (!value.isNumber()) return {};
    return plat::Object(value.number().boolValue());
}

plat::Object TSRApp::readDataCollectionSwitchFromPlist() {
    InfoSwitch& s = infoSwitch();
    std::lock_guard guard(s.lock);
    if (!s.read) {
        s.read = true;
        const plat::Object value = TSRBundleUtil::mainBundle()->objectForInfoDictionaryKey(
            kTSRGlobalAppDataCollectionEnabledPlistKey);
        if (value.isNumber()) s.value = plat::Object(value.number().boolValue());
    }
    return s.value;
}

bool TSRApp::isDataCollectionDefaultEnabled() const {
    plat::Object value = readDataCollectionSwitchFromUserDefaultsForApp(*this);
    if (value.isNumber()) return value.number().boolValue();
    value = readDataCollectionSwitchFromPlist();
    if (value.isNumber()) return value.number().boolValue();
    return true;
}

void TSRApp::setDataCollectionDefaultEnabled(bool dataCollectionDefaultEnabled) {
    plat::UserDefaults::standard().set(dataCollectionDefaultsKey(),
                                       plat::Object(dataCollectionDefaultEnabled));
    if (isDefaultApp_ && !options_->isAnalyticsCollectionExplicitlySet())
        TSRAnalyticsConfiguration::sharedInstance().setAnalyticsCollectionEnabled(
            dataCollectionDefaultEnabled, false);
}

void TSRApp::clearDataCollectionSwitchFromUserDefaults() {
    plat::UserDefaults::standard().remove(dataCollectionDefaultsKey());
}

plat::Error TSRApp::errorForMissingOptions() {
    return plat::Error(
        kTSRErrorDomain, -100,
        {{plat::kLocalizedDescriptionKey,
          "Unable to parse TesseraOptions.plist in order to configure services."},
         {"NSLocalizedRecoverySuggestion", "Check formatting and location of TesseraOptions.plist."}});
}

plat::Error TSRApp::errorForInvalidAppID() {
    return plat::Error(
        kTSRErrorDomain, -101,
        {{plat::kLocalizedDescriptionKey, "Unable to validate Tessera App ID"},
         {"NSLocalizedRecoverySuggestion", "Check formatting and location of TesseraOptions.plist or "
                                           "TesseraAppID set in the customized options."}});
}

std::optional<std::string> TSRApp::actualBundleID() {
    return TSRBundleUtil::mainBundle()->bundleIdentifier();
}
