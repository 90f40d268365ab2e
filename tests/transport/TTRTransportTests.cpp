// Sending through a transport: copies stamped with the send time, transformers, the registrar's
// tables and delegates, and the lifecycle fan-out.
#include "NullStorage.h"
#include "TransportTestSupport.h"

#include "transport/TTRApplication.h"
#include "transport/TTRConsoleLogger.h"
#include "transport/TTRLifecycle.h"
#include "transport/TTRPlatform.h"
#include "transport/TTRRegistrar.h"
#include "transport/TTRTransformer.h"
#include "transport/TTRTransport.h"

#include "../support/TestSupport.h"

namespace fs = std::filesystem;
using namespace transporttest;

namespace {

using Result = std::pair<bool, std::optional<plat::Error>>;

// An application whose background tasks are real identifiers, to see them ended.
class CountingApplication : public TTRApplicationProtocol {
public:
    TTRBackgroundIdentifier beginBackgroundTaskWithName(const std::string&, std::function<void()>) override {
        return ++begun;
    }
    void endBackgroundTask(TTRBackgroundIdentifier identifier) override {
        if (identifier != 0) ++ended;
    }
    bool isRunningInBackground() const override { return false; }
    std::atomic<uint64_t> begun{0}, ended{0};
};

class DroppingTransformer : public TTREventTransformer {
public:
    std::shared_ptr<TTREvent> transformTTREvent(std::shared_ptr<TTREvent>) override { return nullptr; }
};

class Transport : public ::testing::Test {
protected:
    testsupport::TempHome home;
    StorageFixture f{home.path()};
    std::shared_ptr<TTRRegistrar> registrar = TTRRegistrar::makeRegistrar();
    std::shared_ptr<CountingApplication> application = std::make_shared<CountingApplication>();
    std::shared_ptr<TTRTransformer> transformer = std::make_shared<TTRTransformer>(application, registrar);

    Transport() { registrar->registerStorage(f.storage, 1001); }

    Result send(TTRTransport& transport, const std::shared_ptr<TTREvent>& event, bool telemetry = false) {
        return await<Result>([&](std::function<void(Result)> done) {
            auto completion = [done](bool written, const std::optional<plat::Error>& error) {
                done(Result(written, error));
            };
            if (telemetry)
                transport.sendTelemetryEvent(event, completion);
            else
                transport.sendDataEvent(event, completion);
        });
    }
    std::vector<std::shared_ptr<TTREvent>> storedEvents(int64_t target) {
        std::vector<std::shared_ptr<TTREvent>> events;
        for (const std::string& name : StorageFixture::fileNames(f.targetFolder(target)))
            events.push_back(TTRDecodeArchiveAtPath<TTREvent>(f.targetFolder(target) / name, nullptr));
        return events;
    }
};

TEST_F(Transport, InvalidSettingsGiveNoTransport) {
    LogCapture log;
    EXPECT_FALSE(TTRTransport::initWithMappingID("", {}, 1001, transformer));
    EXPECT_TRUE(log.contains("[I-TTR001006]"));
    EXPECT_TRUE(log.contains("A mapping ID cannot be nil or empty"));
    EXPECT_FALSE(TTRTransport::initWithMappingID("2102", {}, 0, transformer));
    EXPECT_TRUE(log.contains("A target cannot be negative or 0"));
}

TEST_F(Transport, TheStoredEventIsASendTimeCopyUntouchedByLaterChanges) {
    auto transport = TTRTransport::initWithMappingID("2102", {}, 1001, transformer);
    auto event = transport->eventForTransport();
    event->setDataObject(std::make_shared<BytesObject>(plat::toData("first")));
    const int64_t before = TTRClock::snapshot()->timeMillis();
    Result result = send(*transport, event);
    EXPECT_TRUE(result.first);
    event->setQosTier(5);
    event->setDataObject(std::make_shared<BytesObject>(plat::toData("second")));
    auto stored = storedEvents(1001);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->qosTier(), 3);
    EXPECT_EQ(stored[0]->serializedDataObjectBytes(), plat::toData("first"));
    ASSERT_TRUE(stored[0]->clockSnapshot());
    EXPECT_GE(stored[0]->clockSnapshot()->timeMillis(), before);
    EXPECT_FALSE(event->clockSnapshot()) << "the caller's event is not stamped";
    // The transformer's background task is ended once the store finished.
    f.drain();
    EXPECT_EQ(application->begun.load(), application->ended.load());
}

TEST_F(Transport, TelemetryMarksTheCallersEventAndDataSendsOfTierOneAssertButStore) {
    auto transport = TTRTransport::initWithMappingID("2102", {}, 1001, transformer);
    auto event = makeEvent("2102", 1001);
    EXPECT_TRUE(send(*transport, event, true).first);
    EXPECT_EQ(event->qosTier(), 1);
    LogCapture log;
    auto second = makeEvent("2102", 1001);
    second->setQosTier(1);
    EXPECT_TRUE(send(*transport, second).first);
    EXPECT_TRUE(log.contains("Use -sendTelemetryEvent, please."));
    EXPECT_EQ(storedEvents(1001).size(), 2u);
}

TEST_F(Transport, DroppedEventsAndTargetsWithoutStorageCompleteWithoutWriting) {
    auto dropping =
        TTRTransport::initWithMappingID("2102", {std::make_shared<DroppingTransformer>()}, 1001, transformer);
    Result dropped = send(*dropping, makeEvent("2102", 1001));
    EXPECT_FALSE(dropped.first);
    EXPECT_FALSE(dropped.second);

    LogCapture log;
    auto broken = TTRTransport::initWithMappingID("2102", {nullptr}, 1001, transformer);
    EXPECT_FALSE(send(*broken, makeEvent("2102", 1001)).first);
    EXPECT_TRUE(log.contains("[I-TTR001000] Transformer doesn't implement transformTTREvent:"));

    auto nowhere = TTRTransport::initWithMappingID("2102", {}, 1003, transformer);
    Result unregistered = send(*nowhere, nowhere->eventForTransport());
    EXPECT_FALSE(unregistered.first);
    ASSERT_TRUE(unregistered.second) << "a send nobody stores reports why";
    EXPECT_EQ(unregistered.second->domain, "NSInternalInconsistencyException");

    auto transport = TTRTransport::initWithMappingID("2102", {}, 1001, transformer);
    Result nil = send(*transport, nullptr);
    EXPECT_FALSE(nil.first);
    EXPECT_TRUE(log.contains("You can't send a nil event"));
    EXPECT_TRUE(log.contains("You can't write a nil event"));
    EXPECT_TRUE(storedEvents(1001).empty());
}

class RecordingMetrics : public TTRMetricsControllerProtocol {
public:
    void storage(TTRStorageProtocol&, const std::shared_ptr<TTREvent>&) override {}
    void storage(TTRStorageProtocol&, const TTREvents&) override {}
    TPRPromise::Ptr logEventsDroppedForReason(int64_t, const TTREvents&) override { return nullptr; }
    TPRPromise::Ptr getAndResetMetrics() override { return nullptr; }
    TPRPromise::Ptr offerMetrics(const std::shared_ptr<const TTRMetrics>&) override { return nullptr; }
};

class RecordingUploader : public TTRUploader {
public:
    void uploadTarget(int64_t, uint32_t) override {}
    void appWillTerminate(TTRApplicationProtocol&) override { ++terminations; }
    std::atomic<int> terminations{0};
};

class CountingStorageLifecycle : public NullStorage {
public:
    std::shared_ptr<TTRStorageDelegate> delegate() const override { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<TTRStorageDelegate>& d) override {
        delegate_ = d;
        ++delegateSets;
    }
    void appWillTerminate(TTRApplicationProtocol&) override { ++terminations; }
    std::weak_ptr<TTRStorageDelegate> delegate_;
    int delegateSets = 0;
    std::atomic<int> terminations{0};
};

TEST(TTRRegistrar, TheLoadOrderLeavesEveryTableFilledAndTheMetricsControllerAsDelegate) {
    auto registrar = TTRRegistrar::makeRegistrar();
    auto uploader = std::make_shared<RecordingUploader>();
    auto storage = std::make_shared<CountingStorageLifecycle>();
    auto metrics = std::make_shared<RecordingMetrics>();
    for (int64_t target : {1000, 1001, 1002, 1003})
        registrar->registerUploader(uploader, target);
    for (int64_t target : {999, 1000, 1001, 1002, 1003})
        registrar->registerStorage(storage, target);
    registrar->registerMetricsController(metrics, 1002);
    registrar->registerMetricsController(metrics, 1001);

    auto keys = [](const auto& table) {
        std::vector<int64_t> out;
        for (const auto& entry : table)
            out.push_back(entry.first);
        return out;
    };
    EXPECT_EQ(keys(registrar->targetToStorage()), (std::vector<int64_t>{999, 1000, 1001, 1002, 1003}));
    EXPECT_EQ(keys(registrar->targetToUploader()), (std::vector<int64_t>{1000, 1001, 1002, 1003}));
    EXPECT_EQ(keys(registrar->targetToMetricsController()), (std::vector<int64_t>{1001, 1002}));
    EXPECT_EQ(storage->delegate(), metrics);
    EXPECT_EQ(storage->delegateSets, 7);

    // Termination reaches each uploader and storage once per target it serves.
    CountingApplication application;
    plat::NotificationCenter center;
    auto coordinator = std::make_shared<RecordingCoordinator>();
    TTRLifecycle lifecycle(
        center, application, [coordinator] { return coordinator; }, registrar);
    center.post(kTTRApplicationWillTerminateNotification);
    EXPECT_EQ(uploader->terminations.load(), 4);
    EXPECT_EQ(storage->terminations.load(), 5);
    EXPECT_EQ(coordinator->lifecycle, std::vector<std::string>{"terminate"});
}

TEST(TTRApplication, RelaysThePlatformTerminationAndGrantsNoBackgroundTasks) {
    plat::NotificationCenter center;
    TTRApplication application(center);
    int relayed = 0;
    auto token = center.addObserver(kTTRApplicationWillTerminateNotification, plat::Object(),
                                    [&](const plat::Notification&) { ++relayed; });
    center.post("NSApplicationWillTerminateNotification");
    EXPECT_EQ(relayed, 1);
    bool handlerRan = false;
    EXPECT_EQ(application.beginBackgroundTaskWithName("TTRStorage", [&] { handlerRan = true; }), 0u);
    TTRConsoleLoggerLoggingLevel = TTRLoggingLevelDebug;
    LogCapture log;
    application.endBackgroundTask(0);
    TTRConsoleLoggerLoggingLevel = TTRLoggingLevelErrors;
    EXPECT_TRUE(log.lines().empty());
    EXPECT_FALSE(handlerRan);
    EXPECT_FALSE(application.isRunningInBackground());
}

} // namespace
