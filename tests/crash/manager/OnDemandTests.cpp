// On-demand exceptions: the quota, the back-off step and delay, and the reports kept while
// collection is disabled.
#include "crash/capture/CRWUserLogging.h"
#include "crash/manager/CRWNotificationManager.h"
#include "crash/manager/CRWOnDemandModel.h"
#include "crash/record/CRWContext.h"
#include "tests/crash/capture/CaptureTestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>

namespace fs = std::filesystem;

namespace {

// Holds every post-upload sleep until the test lets go, and records how long each asked for.
class Sleeper {
public:
    void operator()(int seconds) {
        std::unique_lock guard(mutex_);
        asked_.push_back(seconds);
        released_.wait(guard, [this] { return open_; });
    }
    void release() {
        std::lock_guard guard(mutex_);
        open_ = true;
        released_.notify_all();
    }
    std::vector<int> asked() {
        std::lock_guard guard(mutex_);
        return asked_;
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool open_ = false;
    std::vector<int> asked_;
};

class RecordingUploader : public CRWOnDemandReportUploader {
public:
    void handleOnDemandReportUpload(const std::string& path,
                                    const std::shared_ptr<CRWDataCollectionToken>& token,
                                    bool asUrgent) override {
        std::lock_guard guard(mutex);
        paths.push_back(path);
        EXPECT_TRUE(CRWDataCollectionToken::isValid(token));
        EXPECT_TRUE(asUrgent);
    }
    std::mutex mutex;
    std::vector<std::string> paths;
};

class OnDemandTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(context.started());
        fs::create_directories(active);
        model->setClockForTesting([this] { return clock; });
        model->setSleeperForTesting([this](int seconds) { (*sleeper)(seconds); });
    }
    void TearDown() override {
        sleeper->release();
        model.reset();
    }
    CRWOnDemandException exception(const std::string& name) {
        return CRWOnDemandException{name, "why", {}, false};
    }

    capturetest::CaptureContext context;
    fs::path active = context.report().parent_path() / "active";
    std::shared_ptr<CRWSettings> settings =
        std::make_shared<CRWSettings>((context.report().parent_path() / "settings").string(), nullptr);
    std::unique_ptr<CRWOnDemandModel> model = std::make_unique<CRWOnDemandModel>(settings, active.string());
    std::shared_ptr<Sleeper> sleeper = std::make_shared<Sleeper>();
    double clock = 1000.0;
};

TEST_F(OnDemandTest, TheEleventhRecordingInQuickSuccessionIsDropped) {
    auto uploader = std::make_shared<RecordingUploader>();
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(
            model->recordOnDemandExceptionIfQuota(exception("E" + std::to_string(i)), true, uploader));
    EXPECT_TRUE(model->isQueueFull());
    EXPECT_FALSE(model->recordOnDemandExceptionIfQuota(exception("E10"), true, uploader));
    EXPECT_EQ(model->recordedOnDemandExceptionCount(), 11u);
    EXPECT_EQ(model->droppedOnDemandExceptionCount(), 1u);
    EXPECT_EQ(model->getQueuedOperationsCount(), 10u);

    sleeper->release();
    model->waitUntilIdleForTesting();
    EXPECT_EQ(model->getQueuedOperationsCount(), 0u);
    EXPECT_EQ(uploader->paths.size(), 10u);
    // The first upload of the run starts the step at 0: 1.5^0 x 60 / 10 seconds.
    ASSERT_FALSE(sleeper->asked().empty());
    EXPECT_EQ(sleeper->asked()[0], 6);
    // The next recording passes the dropped count on and resets it.
    EXPECT_TRUE(model->recordOnDemandExceptionIfQuota(exception("After"), true, uploader));
    EXPECT_EQ(model->droppedOnDemandExceptionCount(), 0u);
}

TEST_F(OnDemandTest, TheStepRisesWhileTheQueueIsFullAndDecaysOtherwise) {
    EXPECT_DOUBLE_EQ(model->calculateStepDuration(), 0.0);
    for (int i = 0; i < 10; ++i)
        model->incrementQueuedOperationCount();
    clock += 60;
    EXPECT_DOUBLE_EQ(model->calculateStepDuration(), 10.0);
    clock += 6000;
    EXPECT_DOUBLE_EQ(model->calculateStepDuration(), 100.0);
    EXPECT_DOUBLE_EQ(model->calculateUploadDelay(), 3600.0);
    for (int i = 0; i < 10; ++i)
        model->decrementQueuedOperationCount();
    clock += 30;
    EXPECT_DOUBLE_EQ(model->calculateStepDuration(), 95.0);
    clock += 6000;
    EXPECT_DOUBLE_EQ(model->calculateStepDuration(), 0.0);
    EXPECT_DOUBLE_EQ(model->calculateUploadDelay(), 6.0);
}

TEST_F(OnDemandTest, HostileRatesNeitherStallNorSpinTheQueue) {
    ASSERT_TRUE(settings->loadSettingsData(R"({"on_demand_upload_rate_per_minute":-1})"));
    EXPECT_DOUBLE_EQ(model->calculateUploadDelay(), 3600.0);
    ASSERT_TRUE(settings->loadSettingsData(R"({"on_demand_backoff_step_duration_seconds":0})"));
    model->calculateStepDuration();
    clock += 10;
    EXPECT_DOUBLE_EQ(model->calculateStepDuration(), 0.0);
}

TEST_F(OnDemandTest, WithCollectionDisabledTheNewestFourReportsAreKept) {
    sleeper->release();
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(
            model->recordOnDemandExceptionIfQuota(exception("Kept" + std::to_string(i)), false, nullptr));
        model->waitUntilIdleForTesting();
    }
    std::vector<std::string> stored = model->storedActiveReportPaths();
    ASSERT_EQ(stored.size(), 4u);
    size_t folders = 0;
    for (const auto& entry : fs::directory_iterator(active)) {
        (void)entry;
        ++folders;
    }
    EXPECT_EQ(folders, 4u) << "the oldest report folder is removed";
    for (const auto& path : stored)
        EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(model->recordedOnDemandExceptionCount(), 4u);
    EXPECT_EQ(model->droppedOnDemandExceptionCount(), 1u);
    EXPECT_EQ(model->takeStoredActiveReportPaths().size(), 4u);
    EXPECT_TRUE(model->storedActiveReportPaths().empty());
}

} // namespace

namespace {

std::string internalValue(const std::string& key) {
    auto entries =
        CRWUserLoggingGetCompactedKVEntries(&_crwContext.readonly->logging.internalKVStorage, true);
    if (!entries || !entries->count(key)) return "<absent>";
    return entries->at(key).string();
}

TEST(NotificationManagerTest, TheBackgroundStateFollowsTheApplicationsActivity) {
    capturetest::CaptureContext context;
    ASSERT_TRUE(context.started());
    plat::NotificationCenter center;
    CRWNotificationManager manager;
    manager.registerNotificationListener(center);
    context.drainLoggingQueue();
    EXPECT_EQ(internalValue("com.crashwatch.in-background"), "0");
    center.post("NSApplicationDidResignActiveNotification");
    context.drainLoggingQueue();
    EXPECT_EQ(internalValue("com.crashwatch.in-background"), "1");
    center.post("NSApplicationWillBecomeActiveNotification");
    context.drainLoggingQueue();
    EXPECT_EQ(internalValue("com.crashwatch.in-background"), "0");
}

} // namespace
