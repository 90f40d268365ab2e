#include "utilities/TULReachabilityChecker.h"

#include "tests/utilities/UtilitiesLogCapture.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/net/NetworkPathMonitor.h"

#include <gtest/gtest.h>

namespace {

using namespace plat;

constexpr uint32_t kReachable = kSCNetworkReachabilityFlagsReachable;
constexpr uint32_t kRequired = kSCNetworkReachabilityFlagsConnectionRequired;
constexpr uint32_t kOnTraffic = kSCNetworkReachabilityFlagsConnectionOnTraffic;
constexpr uint32_t kOnDemand = kSCNetworkReachabilityFlagsConnectionOnDemand;
constexpr uint32_t kIntervention = kSCNetworkReachabilityFlagsInterventionRequired;

class Recorder : public TULReachabilityDelegate {
public:
    void reachability(TULReachabilityChecker& checker, TULReachabilityStatus status) override {
        // The status is stored before the delegate hears of it.
        EXPECT_EQ(checker.reachabilityStatus(), status);
        EXPECT_TRUE(isMainThread());
        statuses.push_back(status);
    }
    std::vector<TULReachabilityStatus> statuses;
};

// Counts the service calls and can make one of them fail; otherwise the platform's functions.
struct CountingApi {
    static inline int creates = 0, releases = 0;
    static inline bool failCreate = false, failCallback = false;
    static void reset() {
        creates = releases = 0;
        failCreate = failCallback = false;
    }
    static SCNetworkReachabilityRef create(const void* allocator, const char* host) {
        if (failCreate) return nullptr;
        ++creates;
        return SCNetworkReachabilityCreateWithName(allocator, host);
    }
    static bool setCallback(SCNetworkReachabilityRef ref, SCNetworkReachabilityCallBack callback,
                            const SCNetworkReachabilityContext* context) {
        return !failCallback && SCNetworkReachabilitySetCallback(ref, callback, context);
    }
    static void release(const void* ref) {
        ++releases;
        SCNetworkReachabilityRelease(ref);
    }
    static constexpr TULReachabilityApi api = {create, setCallback, SCNetworkReachabilityScheduleWithRunLoop,
                                               SCNetworkReachabilityUnscheduleFromRunLoop, release};
};

class TULReachabilityCheckerTest : public ::testing::Test {
protected:
    void SetUp() override {
        CountingApi::reset();
        SCNetworkReachabilitySetPathMonitorForTesting(routes);
    }
    void TearDown() override {
        RunLoop::main().drain();
        SCNetworkReachabilitySetPathMonitorForTesting(nullptr);
    }
    std::shared_ptr<TULReachabilityChecker> started(const std::shared_ptr<Recorder>& recorder) {
        auto checker =
            TULReachabilityChecker::initWithReachabilityDelegate(recorder, "tessera.velmora.example");
        checker->setReachabilityApi(&CountingApi::api);
        EXPECT_TRUE(checker->start());
        return checker;
    }

    std::shared_ptr<ManualNetworkPathMonitor> routes = std::make_shared<ManualNetworkPathMonitor>(0u);
    utiltest::LogCapture log;
};

TEST_F(TULReachabilityCheckerTest, StatusFromFlags) {
    auto checker = TULReachabilityChecker::initWithReachabilityDelegate(nullptr, "h");
    ASSERT_TRUE(checker);
    EXPECT_EQ(checker->statusForFlags(kReachable), kTULReachabilityViaWifi);
    EXPECT_EQ(checker->statusForFlags(0), kTULReachabilityNotReachable);
    EXPECT_EQ(checker->statusForFlags(kRequired), kTULReachabilityNotReachable);
    EXPECT_EQ(checker->statusForFlags(kReachable | kRequired), kTULReachabilityNotReachable);
    EXPECT_EQ(checker->statusForFlags(kReachable | kRequired | kOnTraffic), kTULReachabilityViaWifi);
    EXPECT_EQ(checker->statusForFlags(kReachable | kRequired | kOnDemand), kTULReachabilityViaWifi);
    EXPECT_EQ(checker->statusForFlags(kReachable | kRequired | kOnDemand | kIntervention),
              kTULReachabilityNotReachable);
    // Intervention matters only when a connection has to be set up.
    EXPECT_EQ(checker->statusForFlags(kReachable | kIntervention), kTULReachabilityViaWifi);

    EXPECT_EQ(TULReachabilityStatusString(0), "Reachability Unknown");
    EXPECT_EQ(TULReachabilityStatusString(1), "Not reachable");
    EXPECT_EQ(TULReachabilityStatusString(2), "Reachable via Wifi");
    EXPECT_EQ(TULReachabilityStatusString(3), "Reachable via Cellular Data");
    EXPECT_EQ(TULReachabilityStatusString(7), "Invalid reachability status 7");
    EXPECT_EQ(TULReachabilityStatusString(-1), "Invalid reachability status -1");
}

TEST_F(TULReachabilityCheckerTest, EmptyHostIsRefused) {
    EXPECT_EQ(TULReachabilityChecker::initWithReachabilityDelegate(nullptr, ""), nullptr);
    auto lines = log.withCode("I-REA902001");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("[TULReachability]"), std::string::npos);
    EXPECT_NE(lines[0].find("Invalid host specified"), std::string::npos);
}

TEST_F(TULReachabilityCheckerTest, EachRouteChangeIsReportedOncePerStatusChange) {
    auto recorder = std::make_shared<Recorder>();
    auto checker = started(recorder);
    EXPECT_TRUE(checker->isActive());
    EXPECT_EQ(checker->reachabilityStatus(), kTULReachabilityUnknown);
    ASSERT_EQ(log.withCode("I-REA902003").size(), 1u);

    // The name's first resolution counts as a change.
    RunLoop::main().drain();
    EXPECT_EQ(recorder->statuses, std::vector<TULReachabilityStatus>{kTULReachabilityNotReachable});

    routes->setFlags(kReachable);
    routes->setFlags(kReachable); // no change of flags
    RunLoop::main().drain();
    // New flags, same status: not reported again.
    routes->setFlags(kReachable | kRequired | kOnDemand);
    routes->setFlags(kReachable | kIntervention);
    RunLoop::main().drain();
    routes->setFlags(kReachable | kRequired);
    RunLoop::main().drain();
    EXPECT_EQ(recorder->statuses,
              (std::vector<TULReachabilityStatus>{kTULReachabilityNotReachable, kTULReachabilityViaWifi,
                                                  kTULReachabilityNotReachable}));
    auto changes = log.withCode("I-REA902004");
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_NE(changes[0].find("Network status has changed. Code:1, status:Disconnected"), std::string::npos);
    EXPECT_NE(changes[1].find("Network status has changed. Code:2, status:Connected"), std::string::npos);

    // Stopping goes back to unknown and silences the routes.
    checker->stop();
    EXPECT_FALSE(checker->isActive());
    EXPECT_EQ(checker->reachabilityStatus(), kTULReachabilityUnknown);
    routes->setFlags(kReachable);
    RunLoop::main().drain();
    EXPECT_EQ(recorder->statuses.size(), 3u);
    EXPECT_EQ(CountingApi::creates, 1);
    EXPECT_EQ(CountingApi::releases, 1);
}

TEST_F(TULReachabilityCheckerTest, SecondStartKeepsTheReferenceAndTheApiIsLockedWhileRunning) {
    auto recorder = std::make_shared<Recorder>();
    auto checker = started(recorder);
    SCNetworkReachabilityRef first = checker->reachability();
    EXPECT_TRUE(checker->start());
    EXPECT_EQ(checker->reachability(), first);
    EXPECT_EQ(CountingApi::creates, 1);
    EXPECT_EQ(log.withCode("I-REA902003").size(), 2u);

    checker->setReachabilityApi(&kTULDefaultReachabilityApi);
    EXPECT_EQ(checker->reachabilityApi(), &CountingApi::api);
    auto refused = log.withCode("I-REA902000");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(
        refused[0].find("Cannot change reachability API while reachability is running. Call stop first."),
        std::string::npos);
    checker->stop();
    checker->setReachabilityApi(&kTULDefaultReachabilityApi);
    EXPECT_EQ(checker->reachabilityApi(), &kTULDefaultReachabilityApi);
}

TEST_F(TULReachabilityCheckerTest, FailuresToStart) {
    auto checker = TULReachabilityChecker::initWithReachabilityDelegate(nullptr, "h");
    checker->setReachabilityApi(&CountingApi::api);
    CountingApi::failCreate = true;
    EXPECT_FALSE(checker->start());
    EXPECT_TRUE(log.withCode("I-REA902002").empty());

    CountingApi::failCreate = false;
    CountingApi::failCallback = true;
    EXPECT_FALSE(checker->start());
    EXPECT_FALSE(checker->isActive());
    EXPECT_EQ(CountingApi::releases, 1);
    auto lines = log.withCode("I-REA902002");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Failed to start reachability handle"), std::string::npos);
}

TEST_F(TULReachabilityCheckerTest, ReleasedCheckerOrDelegateHearsNothingMore) {
    auto recorder = std::make_shared<Recorder>();
    auto checker = started(recorder);
    // A change is queued for the main thread, then the checker goes away before it runs.
    routes->setFlags(kReachable);
    checker.reset();
    EXPECT_EQ(CountingApi::releases, 1);
    RunLoop::main().drain();
    EXPECT_TRUE(recorder->statuses.empty());

    // A delegate that went away is simply not told; a null delegate clears it.
    auto other = std::make_shared<Recorder>();
    auto second = started(other);
    second->setReachabilityDelegate(nullptr);
    EXPECT_EQ(second->reachabilityDelegate(), nullptr);
    RunLoop::main().drain();
    EXPECT_EQ(second->reachabilityStatus(), kTULReachabilityViaWifi);
    EXPECT_TRUE(other->statuses.empty());
}

TEST_F(TULReachabilityCheckerTest, CheckersOverOneRouteSourceEachHearEveryChange) {
    auto a = std::make_shared<Recorder>(), b = std::make_shared<Recorder>();
    auto first = started(a);
    auto second = started(b);
    RunLoop::main().drain();
    routes->setFlags(kReachable);
    RunLoop::main().drain();
    std::vector<TULReachabilityStatus> expected{kTULReachabilityNotReachable, kTULReachabilityViaWifi};
    EXPECT_EQ(a->statuses, expected);
    EXPECT_EQ(b->statuses, expected);
}

} // namespace
