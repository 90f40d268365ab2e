// The crash reporter component in a configured app, with the sessions component: the crash reporter
// declares itself as an expected subscriber, subscribes when it is made, keeps the session id in
// this run's report metadata, and answers the sessions' data-collection question with its own
// switch. It also finds the analytics and remote-configuration components when an app has them,
// and hands the host the reports kept while collection is off. The host's own exceptions recorded
// through the component land in the running report, with the rollouts when there are any.
#include "core/TSRApp.h"
#include "core/TSRClassRegistry.h"
#include "core/TSRComponent.h"
#include "core/TSRComponentContainer.h"
#include "core/TSRLogger.h"
#include "core/TSROptions.h"
#include "crash/capture/CRWUserLogging.h"
#include "crash/manager/CRWContextManager.h"
#include "crash/manager/TSRCrashwatch.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWFileRead.h"
#include "crash/report/CRWFileManager.h"
#include "crash/report/CRWUserDefaults.h"
#include "installations/TSRInstallations.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/log/OSLog.h"
#include "sessions/SessionsDependencies.h"
#include "sessions/TSRSessions.h"
#include "standin/StandinServer.h"
#include "tests/crash/capture/CaptureTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace {

// The crash reporter starts only for an application with a bundle identifier.
::testing::Environment* const bundle = testsupport::addTestBundleEnvironment();

class CrashSessionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const int port = server_.start(0);
        setenv("VELMORA_TESSERA_BASE", ("http://127.0.0.1:" + std::to_string(port)).c_str(), 1);
        reset();
        plat::UserDefaults::resetForTesting();
        CRWUserDefaults::resetStandardUserDefaultsForTesting();
        // Seen as under a debugger, the crash context leaves the process's signal handling alone.
        CRWContextStartupHooks hooks;
        hooks.debuggerAttached = [] { return true; };
        CRWContextSetStartupHooks(hooks);
        TSRSetLoggerLevelDebug();
        plat::OSLog::setDebugEnabled(true);
        previousSink_ = plat::OSLog::setSink([this](const plat::OSLog::Entry& entry) {
            std::lock_guard guard(linesLock_);
            lines_.push_back(entry.text);
        });
    }
    void TearDown() override {
        CRWFileManager::resetPreviousCrashCheckForTesting();
        if (crashwatch_) {
            // Releases a start-up still waiting for a send or delete decision.
            crashwatch_->deleteUnsentReports();
            EXPECT_TRUE(plat::RunLoop::main().runUntil([this] { return !crashwatch_->startup().isPending(); },
                                                       testsupport::kPatience));
        }
        crashwatch_.reset();
        sessions_.reset();
        reset();
        plat::RunLoop::main().drain();
        plat::OSLog::setSink(previousSink_);
        plat::OSLog::setDebugEnabled(false);
        CRWContextSetStartupHooks({});
        server_.stop();
        setenv("VELMORA_TESSERA_BASE", "http://127.0.0.1:9", 1);
    }
    static void reset() {
        TSRApp::resetForTesting();
        TSRComponentContainer::resetRegistrantsForTesting();
        TSRClassRegistry::shared().resetForTesting();
        TSRSessionsDependencies::removeAllDependenciesForTesting();
        TSRCrashwatch::resetInstanceForTesting();
    }

    void configure() {
        TSRInstallations::registerClass();
        TSRCrashwatch::registerClass();
        TSRSessions::registerClass();
        auto options =
            TSROptions::initWithTesseraAppID("1:111122223333:ios:f00dcafe12345678", "111122223333");
        options->setAPIKey("ATestKeyForTheVelmoraCoreTests-01234567");
        options->setProjectID("velmora-test");
        TSRApp::configureWithOptions(options);
        crashwatch_ = TSRCrashwatch::crashwatch();
        sessions_ =
            TSRApp::defaultApp()->container()->instanceFor<TSRSessions>(TSRSessionsProviderProtocol());
        ASSERT_TRUE(crashwatch_);
        ASSERT_TRUE(sessions_);
    }

    bool logged(const std::string& text) {
        std::lock_guard guard(linesLock_);
        return std::any_of(lines_.begin(), lines_.end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }
    bool waitForLine(const std::string& text) {
        return plat::RunLoop::main().runUntil([&] { return logged(text); }, testsupport::kPatience);
    }
    // The app-health session id in this run's report metadata once it is `expected`; the last one
    // read when that does not happen within the suite's patience.
    std::string metadataSessionId(const std::string& expected) {
        std::string found;
        plat::RunLoop::main().runUntil(
            [&] {
                for (const auto& entry : std::filesystem::recursive_directory_iterator(home_.path())) {
                    if (entry.path().filename() != "metadata.crwrecord") continue;
                    auto sections = CRWFileReadSections(entry.path().c_str(), false);
                    for (const plat::Object& section : sections.value_or(plat::Object::Array{}))
                        if (const std::string* id = section["identity"]["app_health_session_id"].asString())
                            found = *id;
                }
                return found == expected;
            },
            testsupport::kPatience);
        return found;
    }
    std::string currentSessionId() const {
        auto session = sessions_->sessionGenerator()->currentSession();
        return session ? session->sessionId : std::string();
    }

    testsupport::TempHome home_;
    standin::StandinServer server_;
    std::shared_ptr<TSRCrashwatch> crashwatch_;
    std::shared_ptr<TSRSessions> sessions_;
    std::mutex linesLock_;
    std::vector<std::string> lines_;
    plat::OSLog::Sink previousSink_;
};

TEST_F(CrashSessionsTest, TheSessionIdReachesTheReportMetadataAndSessionsSeeCrashCollection) {
    ASSERT_NO_FATAL_FAILURE(configure());
    EXPECT_EQ(TSRSessionsDependencies::dependencies(),
              std::set<SessionsSubscriberName>{SessionsSubscriberName::Crashwatch});

    // The launch session came before the crash context was up; the context starts with it.
    const std::string launchId = currentSessionId();
    ASSERT_EQ(launchId.size(), 32u);
    EXPECT_EQ(crashwatch_->managerData()->contextManager()->appHealthSessionId(), launchId);
    EXPECT_EQ(metadataSessionId(launchId), launchId);

    // A later session rewrites the metadata of the running report.
    const std::string nextId = "0123456789abcdef0123456789abcdef";
    crashwatch_->onSessionChanged(TSRSessionDetails(nextId));
    EXPECT_EQ(metadataSessionId(nextId), nextId);

    // The launch event waited for the crash subscriber, which collects.
    EXPECT_TRUE(waitForLine("Registering Sessions SDK subscriber with name: Crashwatch, data collection "
                            "enabled: true"));
    EXPECT_TRUE(waitForLine("Data Collection is enabled for at least one Subscriber"));
    EXPECT_FALSE(logged("Data Collection is disabled for all subscribers"));
    EXPECT_FALSE(logged("did not have any dependent SDKs"));

    // No analytics or remote-configuration component exists here.
    EXPECT_TRUE(waitForLine("[Crashwatch:Crash:Reports:Event] Tessera Analytics SDK not detected. Crash-free "
                            "statistics and breadcrumbs will not be reported"));
    EXPECT_FALSE(crashwatch_->analyticsManager()->registeredAnalyticsEventListener());
    EXPECT_EQ(crashwatch_->remoteFlagsManager(), nullptr);
}

TEST_F(CrashSessionsTest, WithCrashCollectionOffSessionsSkipTheEvent) {
    CRWUserDefaults::standardUserDefaults().setInteger(2, CRWDataCollectionKey);
    CRWUserDefaults::standardUserDefaults().synchronize();
    ASSERT_NO_FATAL_FAILURE(configure());
    EXPECT_FALSE(crashwatch_->isDataCollectionEnabled());

    EXPECT_TRUE(waitForLine("Registering Sessions SDK subscriber with name: Crashwatch, data collection "
                            "enabled: false"));
    EXPECT_TRUE(waitForLine("Data Collection is disabled for all subscribers. Skipping this Session Event"));
    EXPECT_FALSE(logged("Data Collection is enabled for at least one Subscriber"));
    // The id still reaches the crash reporter: its report exists whether or not it is sent.
    EXPECT_EQ(crashwatch_->managerData()->contextManager()->appHealthSessionId(), currentSessionId());
}

// Stands in for the analytics and remote-configuration components another program would register.
class InteropComponents final : public TSRAnalyticsInterop, public TSRRemoteFlagsInterop {
public:
    void registerAnalyticsListener(std::weak_ptr<TSRAnalyticsInteropListener> listener,
                                   const std::string& origin) override {
        analyticsOrigins.push_back(origin);
        analyticsListener = std::move(listener);
    }
    void logEventWithOrigin(const std::string&, const std::string&, const plat::Object::Dict&) override {}
    void registerRolloutsStateSubscriber(std::weak_ptr<TSRRolloutsStateSubscriber> subscriber,
                                         const std::string& nameSpace) override {
        rolloutsNamespaces.push_back(nameSpace);
        rolloutsSubscriber = subscriber;
    }
    // Registers a library whose container components hand out `components`.
    static void registerWith(std::shared_ptr<InteropComponents> components) {
        TSRClass cls;
        cls.name = "InteropComponents";
        cls.protocols = {kTSRLibraryProtocol};
        cls.componentsToRegister = [components] {
            auto block = [components](TSRComponentContainer&, bool* isCacheable) {
                *isCacheable = true;
                return std::static_pointer_cast<TSRComponentInstance>(
                    std::static_pointer_cast<TSRAnalyticsInterop>(components));
            };
            return std::vector<std::shared_ptr<TSRComponent>>{
                TSRComponent::componentWithProtocol(TSRAnalyticsInteropProtocol(), TSRInstantiationTimingLazy,
                                                    block),
                TSRComponent::componentWithProtocol(TSRRemoteFlagsInteropProtocol(),
                                                    TSRInstantiationTimingLazy, block)};
        };
        cls.load = [] {
            TSRApp::registerInternalLibrary(TSRClassRegistry::shared().classNamed("InteropComponents"),
                                            "interop-components");
        };
        TSRClassRegistry::shared().registerClass(std::move(cls));
    }

    std::vector<std::string> analyticsOrigins;
    std::vector<std::string> rolloutsNamespaces;
    std::weak_ptr<TSRAnalyticsInteropListener> analyticsListener;
    std::weak_ptr<TSRRolloutsStateSubscriber> rolloutsSubscriber;
};

TEST_F(CrashSessionsTest, AnalyticsAndRemoteConfigurationComponentsAreFoundWhenTheAppHasThem) {
    auto components = std::make_shared<InteropComponents>();
    InteropComponents::registerWith(components);
    ASSERT_NO_FATAL_FAILURE(configure());
    EXPECT_EQ(components->analyticsOrigins, std::vector<std::string>{"crw"});
    EXPECT_EQ(components->analyticsListener.lock(), crashwatch_->analyticsManager());
    EXPECT_TRUE(crashwatch_->analyticsManager()->registeredAnalyticsEventListener());
    EXPECT_TRUE(waitForLine("Registered Tessera Analytics event listener to receive breadcrumb logs"));
    EXPECT_EQ(crashwatch_->managerData()->analytics().get(),
              static_cast<TSRAnalyticsInterop*>(components.get()));

    EXPECT_EQ(components->rolloutsNamespaces, std::vector<std::string>{"tessera"});
    EXPECT_EQ(components->rolloutsSubscriber.lock(), crashwatch_);
    ASSERT_NE(crashwatch_->remoteFlagsManager(), nullptr);
    EXPECT_TRUE(waitForLine("Registering RemoteFlags SDK subscription for rollouts data"));
    // A change of rollouts lands in this run's report.
    components->rolloutsSubscriber.lock()->rolloutsStateDidChange(
        RolloutsState({std::make_shared<RolloutAssignment>("r", "v", 3, "k", "on")}));
    const std::filesystem::path rollouts =
        std::filesystem::path(crashwatch_->managerData()->fileManager()->activePath()) /
        crashwatch_->managerData()->executionIDModel()->executionID() / "rollouts.crwrecord";
    EXPECT_TRUE(plat::RunLoop::main().runUntil(
        [&] { return testsupport::readFile(rollouts).find("\"72\"") != std::string::npos; },
        testsupport::kPatience))
        << testsupport::readFile(rollouts);
}

TEST_F(CrashSessionsTest, WithCollectionOffTheHostIsHandedTheKeptReportAndDecides) {
    CRWUserDefaults::standardUserDefaults().setInteger(2, CRWDataCollectionKey);
    CRWUserDefaults::standardUserDefaults().synchronize();
    CRWFileManager::resetPreviousCrashCheckForTesting();
    CRWFileManager files;
    ASSERT_TRUE(files.createReportDirectories());
    const std::filesystem::path kept = std::filesystem::path(files.activePath()) / "kept";
    testsupport::writeFile(kept / "metadata.crwrecord",
                           R"({"identity":{"session_id":"kept","started_at":1000}})"
                           "\n");
    testsupport::writeFile(kept / "signal.crwrecord", R"({"signal":{"number":11,"time":1005}})"
                                                      "\n");
    const std::filesystem::path marker = std::filesystem::path(files.rootPath()) / "previously-crashed";
    testsupport::writeFile(marker, "");
    ASSERT_NO_FATAL_FAILURE(configure());

    EXPECT_TRUE(crashwatch_->didCrashDuringPreviousExecution());
    EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return !std::filesystem::exists(marker); },
                                               testsupport::kPatience))
        << "the marker is removed in the background";
    // Asked for again (a crash marker of this run's own making), the marker goes the same way.
    testsupport::writeFile(marker, "");
    crashwatch_->processDidCrashDuringPreviousExecution();
    EXPECT_TRUE(crashwatch_->didCrashDuringPreviousExecution());
    EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return !std::filesystem::exists(marker); },
                                               testsupport::kPatience));

    std::shared_ptr<TSRCrashwatchReport> handed;
    bool answered = false;
    crashwatch_->checkAndUpdateUnsentReportsWithCompletion([&](std::shared_ptr<TSRCrashwatchReport> report) {
        handed = std::move(report);
        answered = true;
    });
    ASSERT_TRUE(plat::RunLoop::main().runUntil([&] { return answered; }, testsupport::kPatience));
    ASSERT_NE(handed, nullptr);
    EXPECT_EQ(handed->reportID(), "kept");
    EXPECT_TRUE(handed->hasCrash());
    // The check is once per run; the boolean form then answers false.
    std::optional<bool> available;
    crashwatch_->checkForUnsentReportsWithCompletion([&](bool value) { available = value; });
    ASSERT_TRUE(
        plat::RunLoop::main().runUntil([&] { return available.has_value(); }, testsupport::kPatience));
    EXPECT_FALSE(*available);

    EXPECT_TRUE(std::filesystem::exists(kept)) << "kept until the host decides";
    crashwatch_->deleteUnsentReports();
    ASSERT_TRUE(plat::RunLoop::main().runUntil([this] { return !crashwatch_->startup().isPending(); },
                                               testsupport::kPatience));
    EXPECT_FALSE(std::filesystem::exists(kept));
}

// Custom exceptions are recorded by a context started without a debugger, which installs the
// capture handlers; they leave with the test that starts one.
struct CaptureWithoutDebugger {
    CaptureWithoutDebugger() {
        CRWContextStartupHooks hooks;
        hooks.debuggerAttached = [] { return false; };
        CRWContextSetStartupHooks(hooks);
    }
    ~CaptureWithoutDebugger() { capturetest::removeCaptureHandlers(); }
};

// The last custom exception of the running report under `home`; absent when there is none.
plat::Object lastCustomException(const std::filesystem::path& home) {
    plat::Object exception;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home)) {
        if (entry.path().filename() != "custom_exception_a.crwrecord") continue;
        for (const plat::Object& section :
             CRWFileReadSections(entry.path().c_str(), false).value_or(plat::Object::Array{}))
            if (!section["exception"].isAbsent()) exception = section["exception"];
    }
    return exception;
}

std::string text(const plat::Object& hex) {
    return CRWFileHexDecodeString(hex.string()).value_or("?");
}

// Right after configuring, with no wait: start-up has ended by then and nothing it or the host
// writes is refused.
TEST_F(CrashSessionsTest, ARecordedExceptionModelLandsInTheRunningReportAsACustomException) {
    CaptureWithoutDebugger capture;
    ASSERT_NO_FATAL_FAILURE(configure());
    const auto internal =
        CRWUserLoggingGetCompactedKVEntries(&_crwContext.readonly->logging.internalKVStorage, true);
    ASSERT_TRUE(internal.has_value());
    EXPECT_EQ(internal->count("com.crashwatch.in-background"), 1u);
    EXPECT_EQ(internal->count("com.crashwatch.kit-start-time"), 1u);

    TSRExceptionModel model = TSRExceptionModel::exceptionModelWithName("TunnelFailure", "");
    TSRStackFrame symbolicated("VPNController::connect()", "VPNController.cpp", 42);
    symbolicated.setAddress(0x401234);
    symbolicated.setOffset(16);
    symbolicated.setLibrary("velmora");
    model.setStackTrace({symbolicated, TSRStackFrame::stackFrameWithAddress(0x405678)});
    crashwatch_->recordExceptionModel(model);

    const plat::Object exception = lastCustomException(home_.path());
    ASSERT_FALSE(exception.isAbsent()) << "no custom exception in the running report";
    EXPECT_EQ(exception["type"].string(), "custom");
    EXPECT_EQ(text(exception["name"]), "TunnelFailure");
    EXPECT_EQ(text(exception["reason"]), "");
    EXPECT_TRUE(exception["rollouts"].isAbsent()) << "no rollouts manager without a remote configuration";
    ASSERT_EQ(exception["frames"].array().size(), 2u);
    const plat::Object& first = exception["frames"].at(0);
    EXPECT_EQ(first["pc"].number().uint64Value(), 0x401234u);
    EXPECT_EQ(text(first["symbol"]), "VPNController::connect()");
    EXPECT_EQ(first["offset"].number().uint64Value(), 16u);
    EXPECT_EQ(text(first["library"]), "velmora");
    EXPECT_EQ(text(first["file"]), "VPNController.cpp");
    EXPECT_EQ(first["line"].number().uint64Value(), 42u);
    const plat::Object& second = exception["frames"].at(1);
    EXPECT_EQ(second["pc"].number().uint64Value(), 0x405678u);
    EXPECT_TRUE(second["symbol"].isAbsent());
    EXPECT_TRUE(second["file"].isAbsent());
}

TEST_F(CrashSessionsTest, ARecordedExceptionModelCarriesTheRolloutsOfTheRun) {
    auto components = std::make_shared<InteropComponents>();
    InteropComponents::registerWith(components);
    CaptureWithoutDebugger capture;
    ASSERT_NO_FATAL_FAILURE(configure());
    ASSERT_NE(crashwatch_->remoteFlagsManager(), nullptr);
    components->rolloutsSubscriber.lock()->rolloutsStateDidChange(
        RolloutsState({std::make_shared<RolloutAssignment>("r", "v", 3, "k", "on")}));

    crashwatch_->recordExceptionModel(TSRExceptionModel::exceptionModelWithName("TunnelFailure", "why"));
    const plat::Object exception = lastCustomException(home_.path());
    ASSERT_FALSE(exception.isAbsent()) << "no custom exception in the running report";
    EXPECT_EQ(text(exception["reason"]), "why");
    EXPECT_TRUE(exception["frames"].isAbsent()) << "a model without a stack trace has no frames";
    ASSERT_TRUE(exception["rollouts"].isArray());
    ASSERT_EQ(exception["rollouts"].array().size(), 1u);
    EXPECT_EQ(exception["rollouts"].at(0)["rollout_id"].string(), "72");
    EXPECT_EQ(exception["rollouts"].at(0)["parameter_value"].string(), "6f6e");
    EXPECT_EQ(exception["rollouts"].at(0)["template_version"].number().int64Value(), 3);
}

} // namespace
