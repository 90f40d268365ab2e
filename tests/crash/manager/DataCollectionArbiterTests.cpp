// Whether crash data is collected: the stored switch, then the Info value, then the app's own
// data-collection default, asked afresh each time; and the promise that holds a start-up back while
// collection is off and releases it when collection is turned on.
#include "core/TSRApp.h"
#include "core/TSROptions.h"
#include "crash/manager/CRWDataCollectionArbiter.h"
#include "crash/report/CRWUserDefaults.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

namespace {

class DataCollectionArbiterTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::UserDefaults::resetForTesting();
        CRWUserDefaults::resetStandardUserDefaultsForTesting();
        auto options =
            TSROptions::initWithTesseraAppID("1:111122223333:ios:f00dcafe12345678", "111122223333");
        app = TSRApp::initInstanceWithName("arbiter-test", options);
    }
    void TearDown() override {
        CRWUserDefaults::resetStandardUserDefaultsForTesting();
        plat::UserDefaults::resetForTesting();
    }
    static void setStored(int64_t value) {
        CRWUserDefaults::standardUserDefaults().setInteger(value, CRWDataCollectionKey);
    }
    // The decision with the app's default set to `appDefault`.
    bool decided(const plat::Object::Dict& info, bool appDefault) {
        app->setDataCollectionDefaultEnabled(appDefault);
        return CRWDataCollectionArbiter::isCrashwatchCollectionEnabledWithApp(app.get(), info);
    }
    static plat::Object::Dict info(plat::Object value) {
        return {{"TesseraCrashwatchCollectionEnabled", std::move(value)}};
    }

    testsupport::TempHome home;
    std::shared_ptr<TSRApp> app;
};

TEST_F(DataCollectionArbiterTest, TheStoredSwitchWinsOverTheInfoValueAndTheAppDefault) {
    setStored(2);
    EXPECT_EQ(CRWDataCollectionArbiter::stickySetting(), 2);
    EXPECT_FALSE(decided(info(plat::Object(true)), true));
    setStored(1);
    EXPECT_TRUE(decided(info(plat::Object("NO")), false));
    // 0 is "not set": the Info value decides again.
    setStored(0);
    EXPECT_FALSE(decided(info(plat::Object("NO")), true));
    EXPECT_TRUE(decided(info(plat::Object(plat::Number(1))), false));
}

TEST_F(DataCollectionArbiterTest, TheInfoValueIsReadAsABooleanStringOrNumber) {
    const std::vector<std::pair<plat::Object, bool>> cases = {
        {plat::Object("NO"), false},
        {plat::Object("no"), false},
        {plat::Object("false"), false},
        {plat::Object("0"), false},
        {plat::Object(""), false},
        {plat::Object("   "), false},
        {plat::Object("YES"), true},
        {plat::Object("  yes"), true},
        {plat::Object("true"), true},
        {plat::Object("T"), true},
        {plat::Object("7up"), true},
        {plat::Object(false), false},
        {plat::Object(plat::Number(0)), false},
        {plat::Object(true), true},
        {plat::Object(plat::Number(2)), true},
    };
    for (const auto& [value, expected] : cases) {
        // The value decides whatever the app's default says.
        EXPECT_EQ(decided(info(value), true), expected) << value.debugDescription();
        EXPECT_EQ(decided(info(value), false), expected) << value.debugDescription();
    }
}

TEST_F(DataCollectionArbiterTest, WithoutAStoredSwitchOrUsableInfoValueTheAppDefaultDecides) {
    for (const plat::Object::Dict& unusable :
         {plat::Object::Dict{}, info(plat::Object(plat::Date{1.7e9})), info(plat::Object::null())}) {
        EXPECT_TRUE(decided(unusable, true));
        EXPECT_FALSE(decided(unusable, false));
    }
    // Asked afresh on each call: the arbiter follows the app's default as it changes.
    CRWDataCollectionArbiter arbiter(app, {});
    app->setDataCollectionDefaultEnabled(false);
    EXPECT_FALSE(arbiter.isCrashwatchCollectionEnabled());
    app->setDataCollectionDefaultEnabled(true);
    EXPECT_TRUE(arbiter.isCrashwatchCollectionEnabled());
    // No app at all counts as collecting.
    EXPECT_TRUE(CRWDataCollectionArbiter::isCrashwatchCollectionEnabledWithApp(nullptr, {}));
}

TEST_F(DataCollectionArbiterTest, TheLegacyInfoKeyIsRecognised) {
    EXPECT_TRUE(CRWDataCollectionArbiter(app, {{"tessera_crashwatch_collection_enabled", plat::Object(true)}})
                    .isLegacyDataCollectionKeyInPlist());
    EXPECT_FALSE(CRWDataCollectionArbiter(app, info(plat::Object(true))).isLegacyDataCollectionKeyInPlist());
}

TEST_F(DataCollectionArbiterTest, EnablingReleasesWaitersOnceAndDisablingMakesThemWaitAgain) {
    setStored(2);
    CRWDataCollectionArbiter arbiter(app, {});
    promises::Promise<promises::Void> first = arbiter.waitForCrashwatchCollectionEnabled();
    EXPECT_TRUE(first.isPending());
    int released = 0;
    first.then(plat::DispatchQueue::main(), [&] { ++released; });

    arbiter.setCrashwatchCollectionEnabled(true);
    arbiter.setCrashwatchCollectionEnabled(true);
    EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return released > 0; }, testsupport::kPatience));
    plat::RunLoop::main().drain();
    EXPECT_EQ(released, 1);
    EXPECT_EQ(arbiter.waitForCrashwatchCollectionEnabled().asObjCPromise(), first.asObjCPromise())
        << "a second enable keeps the fulfilled promise";
    // The switch is on disk at once, for the next launch.
    EXPECT_EQ(CRWUserDefaults(CRWUserDefaults::defaultDirectory()).integerForKey(CRWDataCollectionKey), 1);

    arbiter.setCrashwatchCollectionEnabled(false);
    EXPECT_EQ(CRWUserDefaults(CRWUserDefaults::defaultDirectory()).integerForKey(CRWDataCollectionKey), 2);
    promises::Promise<promises::Void> second = arbiter.waitForCrashwatchCollectionEnabled();
    EXPECT_TRUE(second.isPending());
    bool waiterReleased = false;
    second.then(plat::DispatchQueue::main(), [&] { waiterReleased = true; });
    plat::RunLoop::main().drain();
    EXPECT_FALSE(waiterReleased);
    arbiter.setCrashwatchCollectionEnabled(true);
    EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return waiterReleased; }, testsupport::kPatience));

    // Made while collection is on, the promise starts out fulfilled.
    EXPECT_TRUE(CRWDataCollectionArbiter(app, {}).waitForCrashwatchCollectionEnabled().isFulfilled());
}

} // namespace
