// The configured app of the library components and, at class level, the registry of all configured
// apps. The application configures the default app once at launch (TSRApp::configure): the options
// file is read, the app id checked, the app made with its component container and heartbeat logger,
// the eager components created and the app announced. Configuration faults raise
// TSRException("com.tessera.core"). Each app logs a heartbeat when the application becomes active
// while its data-collection switch is on. Every class operation is thread-safe.
#pragma once

#include "core/TSRClassRegistry.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/object/Error.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class TSRComponentContainer;
class TSRHeartbeatLogger;
class TSROptions;
class TSRUserAgent;

inline constexpr const char* kTSRDefaultAppName = "__TSRAPP_DEFAULT";
inline constexpr const char* kTSRAppReadyToConfigureSDKNotification = "TSRAppReadyToConfigureSDKNotification";
inline constexpr const char* kTSRAppDeleteNotification = "TSRAppDeleteNotification";
inline constexpr const char* kTSRAppNameKey = "TSRAppNameKey";
inline constexpr const char* kTSRAppIsDefaultAppKey = "TSRAppIsDefaultAppKey";
inline constexpr const char* kTSRAppIDKey = "TSRAppIDKey";
inline constexpr const char* kTSRGlobalAppDataCollectionEnabledDefaultsKeyFormat =
    "/tessera/global_data_collection_enabled:%@";
inline constexpr const char* kTSRGlobalAppDataCollectionEnabledPlistKey =
    "TesseraDataCollectionDefaultEnabled";
inline constexpr const char* kTSRErrorDomain = "com.tessera.core";
// Posted by the application shell each time the application becomes active.
inline constexpr const char* kTSRApplicationDidBecomeActiveNotification =
    "NSApplicationDidBecomeActiveNotification";

class TSRApp : public std::enable_shared_from_this<TSRApp> {
public:
    // ---- The app registry and configuration (TSRApp.cpp) ----

    using AppTable = std::map<std::string, std::shared_ptr<TSRApp>>;

    // Configures the default app from the bundle's options file; raises when there is none.
    static void configure();
    static void configureWithOptions(const std::shared_ptr<TSROptions>& options);
    // Configures the app `name` (letters, digits, "-" and "_"). A second configuration of a name
    // raises and leaves the first app untouched; a failed one leaves no app behind.
    static void configureWithName(const std::string& name, const std::shared_ptr<TSROptions>& options);

    static std::shared_ptr<TSRApp> defaultApp();
    static std::shared_ptr<TSRApp> appNamed(const std::string& name);
    // A copy of the app table; none before the first configuration.
    static std::optional<AppTable> allApps();
    static bool isDefaultAppConfigured();
    // Forgets every app and resets the user-agent builder.
    static void resetApps();

    // ---- Library registration and the user-agent string (TSRAppLibraries.cpp) ----

    // Adds the library to the user-agent string; names and versions hold letters, digits, "-",
    // "_" and "." only (else I-COR000027 and nothing is registered).
    static void registerLibrary(const std::string& name, const std::string& version);
    // Makes `cls` a component registrant and registers its library (with the core version when
    // none is given). Raises "NSInvalidArgumentException" when the class is no TSRLibrary.
    static void registerInternalLibrary(const TSRClassRef& cls, const std::string& name);
    static void registerInternalLibrary(const TSRClassRef& cls, const std::string& name,
                                        const std::string& version);
    static std::string tesseraUserAgent();
    static TSRUserAgent& userAgent();
    // Registers the known library classes found by name; runs once per process.
    static void registerSwiftComponents();

    // ---- Everything below is in TSRApp.cpp, except the app-id rules (TSRAppValidation.cpp) ----

    // The stored sources of the data-collection switch: a boolean number, or absent.
    static plat::Object readDataCollectionSwitchFromUserDefaultsForApp(const TSRApp& app);
    static plat::Object readDataCollectionSwitchFromPlist();

    // The app-id rules (TSRAppValidation.cpp; actualBundleID is in TSRApp.cpp):
    // "<version>:<project number>:ios:<hex fingerprint>" for version "1"; another version is
    // accepted after an info message.
    static bool validateAppID(const std::optional<std::string>& appID);
    static bool validateAppIDFormat(const std::string& appID, const std::string& version);
    static bool validateBundleIDHashWithinAppID(const std::string& appID, const std::string& version);
    static std::optional<std::string> actualBundleID();

    static plat::Error errorForMissingOptions();
    static plat::Error errorForInvalidAppID();
    // The sender of the class's notifications.
    static plat::Object classObject();

    // A new app with its container and heartbeat logger; not yet configured or registered.
    static std::shared_ptr<TSRApp> initInstanceWithName(const std::string& name,
                                                        const std::shared_ptr<TSROptions>& options);
    ~TSRApp();
    TSRApp(const TSRApp&) = delete;
    TSRApp& operator=(const TSRApp&) = delete;

    bool isDefaultApp() const { return isDefaultApp_; }
    // A fresh copy of the app's (locked) options on every call.
    std::shared_ptr<TSROptions> options() const;
    const std::string& name() const { return name_; }
    std::shared_ptr<TSRComponentContainer> container() const;
    void setContainer(std::shared_ptr<TSRComponentContainer> container);
    std::shared_ptr<TSRHeartbeatLogger> heartbeatLogger() const;

    // The stored per-app switch when it is a number, else the Info value when it is a number, else true.
    bool isDataCollectionDefaultEnabled() const;
    void setDataCollectionDefaultEnabled(bool dataCollectionDefaultEnabled);
    void clearDataCollectionSwitchFromUserDefaults();
    // Removes the app from the registry; `completion` gets false when it was not registered.
    void deleteApp(const std::function<void(bool success)>& completion);

    bool configureCore();
    void checkExpectedBundleID() const;
    bool isAppIDValid() const;
    std::optional<std::string> expectedBundleID() const;
    void subscribeForAppDidBecomeActiveNotifications();
    void appDidBecomeActive(const plat::Notification& notification);

    // Test hook: the registry, the class-name registration, the Info switch and the user-agent
    // builder back to the state of a fresh process.
    static void resetForTesting();

private:
    TSRApp(const std::string& name, const std::shared_ptr<TSROptions>& options);

    static void appWasConfiguredTwice(const TSRApp& app, const TSROptions& options);
    static void sendNotificationsToSDKs(const TSRApp& app);
    static void resetLibrariesForTesting(); // TSRAppLibraries.cpp
    // The default-app reference, without the registry lock.
    static std::shared_ptr<TSRApp> currentDefaultApp();
    std::string dataCollectionDefaultsKey() const;

    std::string name_;
    std::shared_ptr<TSROptions> options_;
    bool isDefaultApp_;
    std::shared_ptr<TSRComponentContainer> container_;
    std::shared_ptr<TSRHeartbeatLogger> heartbeatLogger_;
    mutable std::mutex lock_; // the container and heartbeat-logger references
    plat::NotificationCenter::Token activeObserver_;
};
