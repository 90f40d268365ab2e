#include "core/TSRApp.h"
#include "core/TSRException.h"
#include "core/TSROptions.h"
#include "tests/core/CoreTestSupport.h"

using namespace coretest;

namespace {

class TSROptionsTest : public CoreTest {};

} // namespace

TEST_F(TSROptionsTest, DefaultOptionsComeFromTheBundleOnce) {
    useBundle("app");
    auto options = TSROptions::defaultOptions();
    ASSERT_TRUE(options);
    EXPECT_EQ(options, TSROptions::defaultOptions());
    EXPECT_TRUE(options->usingOptionsFromDefaultPlist());
    EXPECT_EQ(options->senderID(), "111122223333");
    EXPECT_EQ(options->projectID(), "velmora-test");
    EXPECT_EQ(options->bundleID(), "io.velmora.test");
    EXPECT_EQ(options->clientID(), std::nullopt);
    // Read once: another bundle changes nothing until the reset.
    useBundle("app-no-options");
    EXPECT_EQ(TSROptions::defaultOptions(), options);
    TSROptions::resetDefaultOptions();
    EXPECT_EQ(TSROptions::defaultOptions(), nullptr);
}

TEST_F(TSROptionsTest, ReadingFromAFile) {
    EXPECT_EQ(TSROptions::initWithContentsOfFile(std::nullopt), nullptr);
    EXPECT_EQ(linesWithCode("I-COR000013").size(), 1u);
    for (const char* file :
         {"app-not-dictionary/TesseraOptions.plist", "app-not-dictionary/Broken.plist", "app/Missing.plist"})
        EXPECT_EQ(TSROptions::initWithContentsOfFile(fixturePath(file).string()), nullptr) << file;
    EXPECT_EQ(linesWithCode("I-COR000014").size(), 3u);

    auto options = TSROptions::initWithContentsOfFile(fixturePath("app/TesseraOptions.plist").string());
    ASSERT_TRUE(options);
    EXPECT_FALSE(options->usingOptionsFromDefaultPlist());
    EXPECT_EQ(options->tesseraAppID(), "1:111122223333:ios:f00dcafe12345678");
}

TEST_F(TSROptionsTest, NonStringEntriesReadAsNone) {
    auto options =
        TSROptions::initInternalWithOptionsDictionary({{"TESSERA_APP_ID", int64_t{42}}, {"API_KEY", "k"}});
    EXPECT_EQ(options->tesseraAppID(), std::nullopt);
    EXPECT_EQ(options->APIKey(), "k");
    // An app whose id is not text fails validation instead of misreading it.
    EXPECT_THROW(TSRApp::configureWithOptions(options), TSRException);
}

TEST_F(TSROptionsTest, LockedRecordsRefuseEveryEditAndCopiesKeepTheLock) {
    auto options = TSROptions::initWithTesseraAppID("1:1:ios:ab", "1");
    options->setDeepLinkURLScheme("velmora");
    options->setAppGroupID("group.velmora");
    options->setEditingLocked(true);

    auto copy = options->copy();
    EXPECT_NE(copy, options);
    EXPECT_EQ(*copy, *options);
    EXPECT_EQ(copy->hash(), options->hash());
    EXPECT_TRUE(copy->editingLocked());
    EXPECT_EQ(copy->deepLinkURLScheme(), "velmora");

    const std::function<void(TSROptions&)> edits[] = {
        [](TSROptions& o) { o.setAPIKey("x"); },
        [](TSROptions& o) { o.setTesseraAppID("x"); },
        [](TSROptions& o) { o.setBundleID(std::nullopt); },
        [](TSROptions& o) { o.setDeepLinkURLScheme("x"); },
        [](TSROptions& o) { o.setAppGroupID("x"); },
        [](TSROptions& o) { o.setStorageArea("x"); },
    };
    for (const auto& edit : edits) {
        try {
            edit(*copy);
            ADD_FAILURE() << "edited a locked record";
        } catch (const TSRException& e) {
            EXPECT_EQ(e.name(), "com.tessera.core");
        }
    }
    EXPECT_EQ(*copy, *options);

    auto unlocked = options->copy();
    unlocked->setEditingLocked(false);
    unlocked->setAppGroupID("other");
    EXPECT_FALSE(*unlocked == *options);
}

TEST_F(TSROptionsTest, LibraryVersionIDHasNineDigits) {
    EXPECT_EQ(TSROptions::libraryVersionID(), "030200000");
}

TEST_F(TSROptionsTest, AnalyticsSwitchesPreferInfoValues) {
    // Info: deactivated true, measurement false; options: measurement true, collection true.
    useBundle("app-analytics");
    auto options = TSROptions::defaultOptions();
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->isAnalyticsCollectionDeactivated());
    // Deactivation wins over every other switch and the data-collection default.
    EXPECT_FALSE(options->isMeasurementEnabled(true));
    EXPECT_FALSE(options->isAnalyticsCollectionEnabled(true));
    EXPECT_TRUE(options->isAnalyticsCollectionExplicitlySet());
    auto analytics = options->analyticsOptionsDictionary();
    EXPECT_EQ(analytics.at("IS_MEASUREMENT_ENABLED"), plat::Object(false));
    EXPECT_EQ(analytics.at("TESSERA_ANALYTICS_COLLECTION_ENABLED"), plat::Object(true));
}

TEST_F(TSROptionsTest, MeasurementFallsBackToTheDataCollectionDefault) {
    useBundle("app");
    auto options = TSROptions::initWithTesseraAppID("1:1:ios:ab", "1");
    EXPECT_FALSE(options->isAnalyticsCollectionExplicitlySet());
    EXPECT_FALSE(options->isMeasurementEnabled(false));
    EXPECT_TRUE(options->isMeasurementEnabled(true));
    EXPECT_TRUE(options->isAnalyticsCollectionEnabled(true));
    EXPECT_FALSE(options->isAnalyticsCollectionEnabled(false));

    auto explicitOptions = TSROptions::initInternalWithOptionsDictionary({{"IS_MEASUREMENT_ENABLED", "YES"}});
    EXPECT_TRUE(explicitOptions->isMeasurementEnabled(false));
    EXPECT_FALSE(explicitOptions->isAnalyticsCollectionExplicitlySet()); // text is no number
}
