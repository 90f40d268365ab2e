// The transport's start-up through the app core's class registry: the uploader, the storage and the
// metrics controller register for their targets, the storage gets the upload coordinator and the
// metrics controller as its delegate, and one expiration sweep runs, without any foreground
// notification.
#include "TransportTestSupport.h"

#include "transport/TTRApplication.h"
#include "transport/TTRFlatFileStorage.h"
#include "transport/TTRMetricsController.h"
#include "transport/TTRPlatform.h"
#include "transport/TTRRegistrar.h"
#include "transport/TTRTransportClasses.h"
#include "transport/TTRUploadCoordinator.h"
#include "transport/TTWUploader.h"

#include "core/TSRClassRegistry.h"

#include "../support/TestSupport.h"

namespace fs = std::filesystem;
using namespace transporttest;

namespace {

TEST(TTRTransportClasses, TheLoadHooksRegisterTheStorageAndSweepOnce) {
    testsupport::TempHome home;
    // An event that expired while the application was not running, left by an earlier launch.
    const fs::path root = TTRRootDirectory();
    auto stale = makeEvent("2102", 1001);
    stale->setExpirationDate(plat::Date{plat::Date::now().secondsSince1970 - 60});
    const fs::path staleFile = root / "TTRFlatFileStorage" / "ttr_event_data" / "1001" /
                               TTREventFileName(stale->eventID(), 3, stale->expirationDate(), "2102");
    ASSERT_TRUE(TTREncodeArchive(*stale, staleFile, nullptr));
    ASSERT_TRUE(fs::exists(staleFile));

    TTRRegisterTransportClasses();
    TTRRegisterTransportClasses();
    ASSERT_TRUE(TSRClassRegistry::shared().classNamed("TTRFlatFileStorage"));
    TSRClassRegistry::shared().bootstrap();

    auto table = TTRRegistrar::sharedInstance()->targetToStorage();
    std::vector<int64_t> targets;
    for (const auto& entry : table) {
        targets.push_back(entry.first);
        EXPECT_EQ(entry.second, TTRFlatFileStorage::sharedInstance());
    }
    EXPECT_EQ(targets, (std::vector<int64_t>{999, 1000, 1001, 1002, 1003}));
    TTRFlatFileStorage::sharedInstance()->storageQueue().sync([] {});
    EXPECT_FALSE(fs::exists(staleFile));

    std::vector<int64_t> uploaderTargets, metricsTargets;
    for (const auto& entry : TTRRegistrar::sharedInstance()->targetToUploader()) {
        uploaderTargets.push_back(entry.first);
        EXPECT_EQ(entry.second, TTWUploader::sharedInstance());
    }
    for (const auto& entry : TTRRegistrar::sharedInstance()->targetToMetricsController()) {
        metricsTargets.push_back(entry.first);
        EXPECT_EQ(entry.second, TTRMetricsController::sharedInstance());
    }
    EXPECT_EQ(uploaderTargets, (std::vector<int64_t>{1000, 1001, 1002, 1003}));
    EXPECT_EQ(metricsTargets, (std::vector<int64_t>{1001, 1002}));
    EXPECT_EQ(TTRFlatFileStorage::sharedInstance()->delegate(), TTRMetricsController::sharedInstance());
    std::shared_ptr<TTRUploadCoordinator> coordinator = TTRUploadCoordinator::sharedInstance();
    EXPECT_EQ(TTRFlatFileStorage::sharedInstance()->uploadCoordinator(), coordinator);
    EXPECT_TRUE(coordinator->hasTimer());
    // The rest of this binary runs without the timer's passes over this test's temporary folder.
    coordinator->appWillTerminate(TTRApplication::sharedApplication());
    EXPECT_FALSE(coordinator->hasTimer());
}

} // namespace
