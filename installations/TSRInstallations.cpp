#include "installations/TSRInstallations.h"

#include "core/TSRApp.h"
#include "core/TSRComponentContainer.h"
#include "core/TSRException.h"
#include "core/TSROptions.h"
#include "installations/TSRInstallationsErrorUtil.h"
#include "installations/TSRInstallationsIDController.h"
#include "installations/TSRInstallationsLogger.h"
#include "utilities/TULStringFormat.h"

#include <mutex>

using Item = TSRInstallationsItem;

namespace {

constexpr size_t kAPIKeyLength = 39;
constexpr const char* kLegacyIdentityClassName = "TSRLegacyIdentity";

[[noreturn]] void raise(const std::string& reason) {
    throw TSRException(kTesseraInstallationsErrorDomain, reason);
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts)
        text += (text.empty() ? "" : ", ") + part;
    return text;
}

bool isURLSafeBase64Character(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

std::string invalidOptionsReason(const std::string& format, const std::string& problems) {
    return TULStringWithFormat(format, TULMakeFormatArguments(std::string(kTSRLoggerInstallations),
                                                              std::string("I-INS008000"), problems));
}

} // namespace

TSRProtocol TSRInstallationsInstanceProviderProtocol() {
    return TSRProtocol::of<TSRInstallationsInstanceProvider>("TSRInstallationsInstanceProvider");
}

// Registration with the app core

void TSRInstallations::registerClass() {
    TSRClass cls;
    cls.name = kTSRInstallationsClassName;
    cls.protocols = {kTSRLibraryProtocol};
    cls.componentsToRegister = [] { return componentsToRegister(); };
    cls.load = [] {
        TSRApp::registerInternalLibrary(TSRClassRegistry::shared().classNamed(kTSRInstallationsClassName),
                                        kTSRInstallationsLibraryName);
    };
    // A name already taken keeps its first class, so a second call changes nothing.
    TSRClassRegistry::shared().registerClass(std::move(cls));
}

std::vector<std::shared_ptr<TSRComponent>> TSRInstallations::componentsToRegister() {
    return {TSRComponent::componentWithProtocol(
        TSRInstallationsInstanceProviderProtocol(), TSRInstantiationTimingAlwaysEager,
        [](TSRComponentContainer& container, bool* isCacheable) -> std::shared_ptr<TSRComponentInstance> {
            *isCacheable = true;
            std::shared_ptr<TSRApp> app = container.app();
            if (!app) return nullptr;
            return initWithApp(app);
        })};
}

std::shared_ptr<TSRInstallations> TSRInstallations::installations() {
    if (!TSRApp::isDefaultAppConfigured())
        raise(
            "The default TesseraApp instance must be configured before the defaultTesseraApp instance can be "
            "initialized. One way to ensure this is to call `TesseraApp.configure()` in the App  Delegate's "
            "`application(_:didFinishLaunchingWithOptions:)` (or the `@main` struct's initializer in "
            "SwiftUI).");
    return installationsWithApp(*TSRApp::defaultApp());
}

std::shared_ptr<TSRInstallations> TSRInstallations::installationsWithApp(const TSRApp& app) {
    std::shared_ptr<TSRComponentContainer> container = app.container();
    if (!container) return nullptr;
    return container->instanceFor<TSRInstallations>(TSRInstallationsInstanceProviderProtocol());
}

// Construction

std::shared_ptr<TSRInstallations> TSRInstallations::initWithApp(const std::shared_ptr<TSRApp>& app) {
    const std::shared_ptr<TSROptions> options = app->options();
    // The options are checked before the controller is built from them.
    validateAppOptions(*options, app->name());
    return std::make_shared<TSRInstallations>(*options, app->name(),
                                              TSRInstallationsIDController::initWithApp(*app), false);
}

TSRInstallations::TSRInstallations(const TSROptions& appOptions, std::string appName,
                                   std::shared_ptr<TSRInstallationsIDController> installationsIDController,
                                   bool prefetchAuthToken)
    : appOptions_(appOptions.copy()), appName_(std::move(appName)),
      installationsIDController_(std::move(installationsIDController)) {
    validateAppOptions(*appOptions_, appName_);
    assertCompatibleIIDVersion();
    if (prefetchAuthToken) authTokenWithCompletion([](auto, auto) {});
}

void TSRInstallations::validateAppOptions(const TSROptions& appOptions, const std::string& appName) {
    std::vector<std::string> missing;
    if (appName.empty()) missing.emplace_back("`TesseraApp.name`");
    if (appOptions.APIKey().value_or("").empty()) missing.emplace_back("`TesseraOptions.APIKey`");
    if (appOptions.tesseraAppID().value_or("").empty()) missing.emplace_back("`TesseraOptions.tesseraAppID`");
    if (appOptions.projectID().value_or("").empty()) missing.emplace_back("`TesseraOptions.projectID`");
    if (!missing.empty())
        raise(invalidOptionsReason("%@[%@] Could not configure Tessera Installations due to invalid "
                                   "TesseraApp options. The following "
                                   "parameters are nil or empty: %@. If you use TesseraServices-Info.plist "
                                   "please download the most recent "
                                   "version from the Tessera Console. If you configure Tessera in code, "
                                   "please make sure you specify all "
                                   "required parameters.",
                                   joined(missing)));

    const std::string key = *appOptions.APIKey();
    std::vector<std::string> problems;
    if (key.size() != kAPIKeyLength)
        problems.push_back(TULStringWithFormat("API Key length must be %lu characters",
                                               TULMakeFormatArguments(static_cast<uint64_t>(kAPIKeyLength))));
    if (key.front() != 'A') problems.emplace_back("API Key must start with `A`");
    for (char c : key) {
        if (!isURLSafeBase64Character(c)) {
            problems.emplace_back("API Key must contain only base64 url-safe characters characters");
            break;
        }
    }
    if (!problems.empty())
        raise(invalidOptionsReason(
            "%@[%@] Could not configure Tessera Installations due to invalid TesseraApp options. "
            "`TesseraOptions.APIKey` doesn't match the expected format: %@. If you use "
            "TesseraServices-Info.plist "
            "please download the most recent version from the Tessera Console. If you configure Tessera in "
            "code, "
            "please make sure you specify all required parameters.",
            joined(problems)));
}

void TSRInstallations::assertCompatibleIIDVersion() {
    TSRClassRef legacy = TSRClassRegistry::shared().classNamed(kLegacyIdentityClassName);
    if (legacy && !legacy->respondsToSelector("usesTSRInstallations"))
        raise(
            "Tessera legacy identity is not compatible with this Tessera version. Please remove the "
            "dependency "
            "from the app. See the documentation at https://tessera.example/docs/installations for details.");
}

// The operations

void TSRInstallations::installationIDWithCompletion(IDCompletion completion) const {
    installationsIDController_->getInstallationItem()
        .then(promises::promisesQueue(),
              [completion](const Item& installation) {
                  completion(installation.tesseraInstallationID(), std::nullopt);
              })
        .catch_(promises::promisesQueue(), [completion](const plat::Error& error) {
            completion(std::nullopt, TSRInstallationsErrorUtil::publicDomainErrorWithError(error));
        });
}

void TSRInstallations::authTokenWithCompletion(AuthTokenCompletion completion) const {
    authTokenForcingRefresh(false, std::move(completion));
}

void TSRInstallations::authTokenForcingRefresh(bool forceRefresh, AuthTokenCompletion completion) const {
    installationsIDController_->getAuthTokenForcingRefresh(forceRefresh)
        .then(promises::promisesQueue(),
              [completion](const Item& installation) {
                  const auto& token = installation.authToken();
                  if (!token || !token->expirationDate()) {
                      // Only a record that passed validation gets here; a gap would be our fault.
                      completion(std::nullopt,
                                 TSRInstallationsErrorUtil::installationsErrorWithCode(
                                     TSRInstallationsErrorCodeUnknown,
                                     std::string("The installation has no auth token."), std::nullopt));
                      return;
                  }
                  completion(TSRInstallationsAuthTokenResult(token->token(), *token->expirationDate()),
                             std::nullopt);
              })
        .catch_(promises::promisesQueue(), [completion](const plat::Error& error) {
            completion(std::nullopt, TSRInstallationsErrorUtil::publicDomainErrorWithError(error));
        });
}

void TSRInstallations::deleteWithCompletion(DeleteCompletion completion) const {
    installationsIDController_->deleteInstallation()
        .then(promises::promisesQueue(), [completion](const Item&) { completion(std::nullopt); })
        .catch_(promises::promisesQueue(), [completion](const plat::Error& error) {
            completion(TSRInstallationsErrorUtil::publicDomainErrorWithError(error));
        });
}
