// The installation identity of one configured app, as the other components use it: the
// installation identifier (TID), auth tokens for the backends, and deletion. It is a component of
// the app's container (protocol "TSRInstallationsInstanceProvider"), made while the app is
// configured; its options are checked then and faults raise TSRException("com.tessera.installations").
// The work is the ID controller's; every completion runs exactly once, on the promise library's
// default queue, with errors of the installations domain. Callable from any thread.
#pragma once

#include "core/TSRClassRegistry.h"
#include "core/TSRComponent.h"
#include "core/TSRProtocol.h"
#include "installations/TSRInstallationsAuthTokenResult.h"
#include "platform/object/Error.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TSRApp;
class TSROptions;
class TSRInstallationsIDController;

inline constexpr const char* kTSRInstallationsClassName = "TSRInstallations";
inline constexpr const char* kTSRInstallationsLibraryName = "tsr-install";

// The protocol other components find the installations by; it adds nothing to a component.
class TSRInstallationsInstanceProvider : public virtual TSRComponentInstance {};
TSRProtocol TSRInstallationsInstanceProviderProtocol();

class TSRInstallations : public TSRInstallationsInstanceProvider {
public:
    using IDCompletion =
        std::function<void(std::optional<std::string> identifier, std::optional<plat::Error> error)>;
    using AuthTokenCompletion = std::function<void(std::optional<TSRInstallationsAuthTokenResult> token,
                                                   std::optional<plat::Error> error)>;
    using DeleteCompletion = std::function<void(std::optional<plat::Error> error)>;

    // Makes the class known to the class registry, whose bootstrap then registers it with the
    // app core as "tsr-install". Call before the first app is configured; later calls do nothing.
    static void registerClass();
    // One component: the instance-provider protocol, made eagerly for every app, cached.
    static std::vector<std::shared_ptr<TSRComponent>> componentsToRegister();

    // The default app's instance; raises when no default app is configured.
    static std::shared_ptr<TSRInstallations> installations();
    static std::shared_ptr<TSRInstallations> installationsWithApp(const TSRApp& app);

    // The ID controller of the app, without a token prefetch.
    static std::shared_ptr<TSRInstallations> initWithApp(const std::shared_ptr<TSRApp>& app);
    // Checks the options and the legacy library (raising on faults), keeps copies of both names
    // and, when asked, starts a token request whose outcome nobody waits for.
    TSRInstallations(const TSROptions& appOptions, std::string appName,
                     std::shared_ptr<TSRInstallationsIDController> installationsIDController,
                     bool prefetchAuthToken);

    // The TID; it does not wait for registration.
    void installationIDWithCompletion(IDCompletion completion) const;
    void authTokenWithCompletion(AuthTokenCompletion completion) const;
    // A registered installation's valid token, refreshed when forced.
    void authTokenForcingRefresh(bool forceRefresh, AuthTokenCompletion completion) const;
    // Deletes the installation at the service and locally; the next request starts a new one.
    void deleteWithCompletion(DeleteCompletion completion) const;

    // Raises when the app name, API key, app id or project id is empty, or the API key is not 39
    // URL-safe characters starting with "A".
    static void validateAppOptions(const TSROptions& appOptions, const std::string& appName);
    // Raises when the older identity library is present and does not work with this one.
    static void assertCompatibleIIDVersion();

    const std::shared_ptr<TSROptions>& appOptions() const { return appOptions_; }
    const std::string& appName() const { return appName_; }
    const std::shared_ptr<TSRInstallationsIDController>& installationsIDController() const {
        return installationsIDController_;
    }

private:
    std::shared_ptr<TSROptions> appOptions_;
    std::string appName_;
    std::shared_ptr<TSRInstallationsIDController> installationsIDController_;
};
