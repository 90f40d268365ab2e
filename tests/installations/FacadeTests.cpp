// The installations component as the app core makes it: registration at configuration, the option
// checks, and the public operations with their completions and errors.
#include "tests/installations/InstallationsTestSupport.h"

#include "core/TSRApp.h"
#include "core/TSRClassRegistry.h"
#include "core/TSRComponentContainer.h"
#include "core/TSRException.h"
#include "core/TSROptions.h"
#include "installations/TSRInstallations.h"
#include "installations/TSRInstallationsErrorUtil.h"
#include "platform/net/URLError.h"
#include "tests/support/WaitFor.h"

namespace {

std::shared_ptr<TSROptions> options(const std::string& apiKey = instest::kAPIKey,
                                    const std::string& projectID = instest::kProjectID) {
    auto options = TSROptions::initWithTesseraAppID(instest::kAppID, "111122223333");
    options->setAPIKey(apiKey);
    options->setProjectID(projectID);
    return options;
}

std::string raisedReason(const std::function<void()>& f) {
    try {
        f();
    } catch (const TSRException& e) {
        EXPECT_EQ(e.name(), "com.tessera.installations");
        return e.reason();
    }
    ADD_FAILURE() << "nothing raised";
    return "";
}

class FacadeTest : public instest::InstallationsTest {
protected:
    void SetUp() override {
        InstallationsTest::SetUp();
        reset();
        TSRInstallations::registerClass();
    }
    void TearDown() override {
        InstallationsTest::TearDown();
        reset();
    }
    static void reset() {
        TSRApp::resetForTesting();
        TSRComponentContainer::resetRegistrantsForTesting();
        TSRClassRegistry::shared().resetForTesting();
    }
    // The TID or error a completion receives, and whether it ran on the main thread.
    struct IDReply {
        bool called = false, onMain = false;
        std::optional<std::string> tid;
        std::optional<plat::Error> error;
    };
    void requestID(IDReply& reply) {
        TSRInstallations::installations()->installationIDWithCompletion([&reply](auto tid, auto error) {
            reply.called = true;
            reply.onMain = plat::isMainThread();
            reply.tid = std::move(tid);
            reply.error = std::move(error);
        });
    }
    void waitFor(const std::function<bool()>& done) {
        ASSERT_TRUE(plat::RunLoop::main().runUntil(done, testsupport::kPatience));
    }
};

TEST_F(FacadeTest, ConfiguringTheAppMakesTheComponentAndRegistersTheLibrary) {
    EXPECT_NE(
        raisedReason([] { TSRInstallations::installations(); })
            .find("The default TesseraApp instance must be configured before the defaultTesseraApp instance "
                  "can "
                  "be initialized. One way to ensure this is to call `TesseraApp.configure()` in the App  "
                  "Delegate's"),
        std::string::npos);
    TSRApp::configureWithOptions(options());
    auto installations = TSRInstallations::installations();
    ASSERT_TRUE(installations);
    EXPECT_EQ(installations, TSRInstallations::installationsWithApp(*TSRApp::defaultApp()))
        << "one cached instance";
    EXPECT_EQ(installations->appName(), kTSRDefaultAppName);
    EXPECT_NE(TSRApp::tesseraUserAgent().find("tsr-install/3.2.0"), std::string::npos);
    EXPECT_TRUE(server_.requests().empty()) << "making the component sends nothing";

    IDReply first, second;
    requestID(first);
    requestID(second);
    waitFor([&] { return first.called && second.called; });
    ASSERT_TRUE(first.tid) << reasonOf(*first.error);
    EXPECT_EQ(first.tid, second.tid);
    EXPECT_TRUE(first.onMain);

    std::optional<plat::Error> deleteError;
    bool deleted = false;
    drain();
    installations->deleteWithCompletion([&](auto error) {
        deleteError = std::move(error);
        deleted = true;
    });
    waitFor([&] { return deleted; });
    EXPECT_FALSE(deleteError);
    IDReply after;
    requestID(after);
    waitFor([&] { return after.called; });
    ASSERT_TRUE(after.tid);
    EXPECT_NE(after.tid, first.tid);
}

TEST_F(FacadeTest, InvalidOptionsRaiseWhileTheAppIsConfigured) {
    const std::string reason =
        raisedReason([] { TSRApp::configureWithOptions(options(instest::kAPIKey, "")); });
    EXPECT_EQ(
        reason.rfind(
            "[TesseraInstallations][I-INS008000] Could not configure Tessera Installations due to invalid "
            "TesseraApp options. The following parameters are nil or empty: `TesseraOptions.projectID`.",
            0),
        0u)
        << reason;
    std::string key = instest::kAPIKey;
    key[0] = 'B';
    EXPECT_NE(raisedReason([&] {
                  TSRInstallations::validateAppOptions(*options(key), "app");
              }).find("doesn't match the expected format: API Key must start with `A`. If you use"),
              std::string::npos);
    EXPECT_NE(raisedReason([&] {
                  TSRInstallations::validateAppOptions(*options("Ashort+"), "");
              }).find("`TesseraApp.name`"),
              std::string::npos);
    EXPECT_NE(
        raisedReason([&] { TSRInstallations::validateAppOptions(*options("Ashort+"), "app"); })
            .find(
                "API Key length must be 39 characters, API Key must contain only base64 url-safe characters "
                "characters"),
        std::string::npos);
}

TEST_F(FacadeTest, AnUnreachableServiceIsATransportErrorInTheInstallationsDomain) {
    setenv("VELMORA_TESSERA_BASE", "http://127.0.0.1:9", 1);
    TSRApp::configureWithOptions(options());
    std::optional<plat::Error> error;
    bool called = false;
    TSRInstallations::installations()->authTokenWithCompletion([&](auto token, auto failure) {
        EXPECT_FALSE(token);
        error = std::move(failure);
        called = true;
    });
    waitFor([&] { return called; });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, kTesseraInstallationsErrorDomain);
    EXPECT_EQ(error->code, TSRInstallationsErrorCodeUnknown);
    auto underlying = TSRInstallationsErrorUtil::underlyingError(*error);
    ASSERT_TRUE(underlying);
    EXPECT_EQ(underlying->domain, plat::URLError::kDomain);
}

} // namespace
