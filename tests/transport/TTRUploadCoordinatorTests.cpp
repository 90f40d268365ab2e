// The upload coordinator's timer on a manual scheduler: when passes happen, under which conditions,
// forced uploads, and termination.
#include "TransportTestSupport.h"

#include "transport/TTRUploadCoordinator.h"

#include "../support/TestSupport.h"

#include <atomic>

using namespace transporttest;
using namespace std::chrono_literals;

namespace {

class RecordingUploader : public TTRUploader {
public:
    void uploadTarget(int64_t target, uint32_t conditions) override {
        std::lock_guard guard(lock);
        calls.emplace_back(target, conditions);
    }
    std::vector<std::pair<int64_t, uint32_t>> taken() {
        std::lock_guard guard(lock);
        return std::exchange(calls, {});
    }
    std::mutex lock;
    std::vector<std::pair<int64_t, uint32_t>> calls;
};

class ForegroundApplication : public TTRApplicationProtocol {
public:
    TTRBackgroundIdentifier beginBackgroundTaskWithName(const std::string&, std::function<void()>) override {
        return TTRBackgroundIdentifierInvalid;
    }
    void endBackgroundTask(TTRBackgroundIdentifier) override {}
    bool isRunningInBackground() const override { return background; }
    std::atomic<bool> background{false};
};

class Coordinator : public ::testing::Test {
protected:
    Coordinator() {
        registrar->registerUploader(uploader, 1001);
        registrar->registerUploader(uploader, 1002);
        TTRUploadCoordinator::Configuration configuration;
        configuration.registrar = registrar;
        configuration.scheduler = &scheduler;
        configuration.reachabilityFlags = [this] { return flags.load(); };
        configuration.application = &application;
        coordinator = TTRUploadCoordinator::makeCoordinator(std::move(configuration));
    }

    // Moves the manual clock and lets the coordinator's queue run what fell due.
    void advance(std::chrono::nanoseconds by) {
        scheduler.advance(by);
        drain();
    }
    void drain() {
        // Two turns: the timer's pass enqueues the uploads behind itself.
        coordinator->coordinationQueue().sync([] {});
        coordinator->coordinationQueue().sync([] {});
    }

    plat::ManualScheduler scheduler;
    std::atomic<uint32_t> flags{0x2};
    ForegroundApplication application;
    std::shared_ptr<TTRRegistrar> registrar = TTRRegistrar::makeRegistrar();
    std::shared_ptr<RecordingUploader> uploader = std::make_shared<RecordingUploader>();
    std::shared_ptr<TTRUploadCoordinator> coordinator;
};

using Calls = std::vector<std::pair<int64_t, uint32_t>>;

} // namespace

TEST_F(Coordinator, TheFirstPassComesHalfASecondAfterStartThenEveryThirtySeconds) {
    coordinator->startTimer();
    coordinator->startTimer();
    drain();
    advance(499ms);
    EXPECT_TRUE(uploader->taken().empty());
    advance(1ms);
    EXPECT_EQ(uploader->taken(), (Calls{{1001, 4}, {1002, 4}})) << "one timer, every registered target";
    advance(29s);
    EXPECT_TRUE(uploader->taken().empty());
    advance(1s);
    EXPECT_EQ(uploader->taken().size(), 2u);

    // A background tick does nothing.
    application.background = true;
    advance(30s);
    EXPECT_TRUE(uploader->taken().empty());
    application.background = false;

    coordinator->appWillTerminate(application);
    drain();
    EXPECT_FALSE(coordinator->hasTimer());
    advance(120s);
    EXPECT_TRUE(uploader->taken().empty()) << "no pass after termination";
}

TEST_F(Coordinator, WithoutANetworkNothingIsAskedEvenWhenForced) {
    flags = 0x6; // reachable, but a connection is still required
    EXPECT_EQ(coordinator->uploadConditions(), 1u);
    coordinator->startTimer();
    advance(500ms);
    coordinator->forceUploadForTarget(1002);
    drain();
    EXPECT_TRUE(uploader->taken().empty());

    flags = 0x2;
    coordinator->forceUploadForTarget(1002);
    drain();
    EXPECT_EQ(uploader->taken(), (Calls{{1002, 20}}));
    coordinator->uploadTargets({1003, 1001}, 4);
    drain();
    EXPECT_EQ(uploader->taken(), (Calls{{1001, 4}})) << "a target without an uploader is skipped";
}

TEST_F(Coordinator, ForegroundRestartsTheTimerAndSweepsEachStorageOnce) {
    testsupport::TempHome home;
    StorageFixture storage(home.path());
    for (int64_t target : {1001, 1002, 1003})
        registrar->registerStorage(storage.storage, target);
    std::shared_ptr<TTREvent> expired = makeEvent("2102", 1001);
    expired->setExpirationDate(plat::Date{storage.clock.wallNow().secondsSince1970 - 1});
    ASSERT_TRUE(storage.store(expired).first);
    EXPECT_EQ(StorageFixture::fileNames(storage.targetFolder(1001)).size(), 1u);

    coordinator->appWillForeground(application);
    storage.drain();
    EXPECT_TRUE(StorageFixture::fileNames(storage.targetFolder(1001)).empty());
    drain();
    EXPECT_TRUE(coordinator->hasTimer());
    EXPECT_EQ(coordinator->storageForTarget(1002), storage.storage);
    LogCapture log;
    EXPECT_FALSE(coordinator->storageForTarget(999));
    EXPECT_TRUE(log.contains("A storage must be registered for target 999"));
}
