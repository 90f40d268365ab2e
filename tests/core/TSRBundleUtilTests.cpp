#include "core/TSRApp.h"
#include "core/TSRBundleUtil.h"
#include "core/TSROptions.h"
#include "platform/foundation/Bundle.h"
#include "tests/core/CoreTestSupport.h"

using namespace coretest;

namespace {

class TSRBundleUtilTest : public CoreTest {};

} // namespace

TEST_F(TSRBundleUtilTest, BundleIdentifiersMatchExactlyOutsideExtensions) {
    useBundle("app");
    const auto bundles = TSRBundleUtil::relevantBundles();
    ASSERT_EQ(bundles.size(), 2u);
    EXPECT_TRUE(TSRBundleUtil::hasBundleIdentifierPrefix("io.velmora.test", bundles));
    EXPECT_FALSE(TSRBundleUtil::hasBundleIdentifierPrefix("io.velmora", bundles));
    EXPECT_EQ(TSRBundleUtil::bundleIdentifierByRemovingLastPartFrom("io.velmora.test"), "io.velmora");
    EXPECT_EQ(TSRBundleUtil::bundleIdentifierByRemovingLastPartFrom("single"), "");

    // An options bundle id that is the application's less its last part is reported, and
    // configuration goes on.
    auto options = TSROptions::initWithTesseraAppID("1:1:ios:ab", "1");
    options->setBundleID("io.velmora");
    TSRApp::configureWithOptions(options);
    EXPECT_TRUE(TSRApp::isDefaultAppConfigured());
    ASSERT_EQ(linesWithCode("I-COR000008").size(), 1u);
    EXPECT_NE(linesWithCode("I-COR000008")[0].find("change your app's bundle identifier to 'io.velmora'"),
              std::string::npos);
}

TEST_F(TSRBundleUtilTest, ResourceLookupAndURLSchemes) {
    useBundle("app");
    const auto bundles = TSRBundleUtil::relevantBundles();
    auto found = TSRBundleUtil::optionsDictionaryPathWithResourceName("TesseraOptions", "plist", bundles);
    ASSERT_TRUE(found);
    EXPECT_EQ(std::filesystem::path(*found), fixturePath("app") / "TesseraOptions.plist");
    EXPECT_FALSE(TSRBundleUtil::optionsDictionaryPathWithResourceName("Absent", "plist", bundles));
    EXPECT_FALSE(
        TSRBundleUtil::optionsDictionaryPathWithResourceName("../app/TesseraOptions", "plist", bundles));

    useBundle("app-analytics"); // declares two URL types, one of them malformed
    EXPECT_EQ(TSRBundleUtil::relevantURLSchemes(),
              (std::vector<std::string>{"velmora", "velmora-dev", "velmora", "velmora-dev"}));
}
