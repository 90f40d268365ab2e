// The transport's start-up through the app core's class registry: the storage registers for its
// five targets and one expiration sweep runs, without any foreground notification.
#include "TransportTestSupport.h"

#include "transport/TTRFlatFileStorage.h"
#include "transport/TTRPlatform.h"
#include "transport/TTRRegistrar.h"
#include "transport/TTRTransportClasses.h"

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
}

} // namespace
