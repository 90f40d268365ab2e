#include "core/TSRApp.h"
#include "core/TSRException.h"
#include "core/TSRLogger.h"
#include "core/TSROptions.h"
#include "tests/core/CoreTestSupport.h"

using namespace coretest;

namespace {

class TSRAppIDTest : public CoreTest {};

struct AppIDCase {
    const char* appID;
    bool valid;
    bool unknownVersion; // accepted after the info message I-COR000010
};

const AppIDCase kCases[] = {
    // Version 1: "1:<decimal project>:ios:<hex fingerprint>".
    {"1:111122223333:ios:f00dcafe12345678", true, false},
    {"1:1:ios:a", true, false},
    {"1:1:ios:0xABCDEF", true, false},
    {"1:-5:ios:ab", true, false}, // the project number is read as a signed integer
    {"1:111122223333:android:f00dcafe", false, false},
    {"1:111122223333:IOS:f00dcafe", false, false},
    {"1:111122223333:macos:f00dcafe", false, false},
    {"1:111122223333:ios:f00dcafe:extra", false, false}, // a fifth part
    {"1:111122223333:ios:f00dcafe!", false, false},      // more after the fingerprint
    {"1:111122223333:ios:xyz", false, false},            // no hexadecimal fingerprint
    {"1:111122223333:ios:", false, false},
    {"1:abc:ios:f00d", false, false}, // no project number
    {"1::ios:f00d", false, false},
    {"1:12::f00d", false, false}, // no platform word
    {"1:12:ios", false, false},
    // The version: leading digits, then ":".
    {"", false, false},
    {"x1:1:ios:ab", false, false},
    {":1:ios:ab", false, false},
    {"1", false, false},
    {"1;1:ios:ab", false, false},
    {"2:anything at all", true, true},
    {"01:1:ios:ab", true, true},
    {"17:", true, true},
};

} // namespace

TEST_F(TSRAppIDTest, AppIDRules) {
    TSRSetLoggerLevel(TSRLoggerLevelInfo);
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.appID);
        const size_t infoBefore = linesWithCode("I-COR000010").size();
        EXPECT_EQ(TSRApp::validateAppID(std::string(c.appID)), c.valid);
        EXPECT_EQ(linesWithCode("I-COR000010").size() - infoBefore, c.unknownVersion ? 1u : 0u);
    }
    EXPECT_FALSE(TSRApp::validateAppID(std::nullopt));
    ASSERT_FALSE(linesWithCode("I-COR000010").empty());
    EXPECT_NE(linesWithCode("I-COR000010")[0].find("Unknown TESSERA_APP_ID version: 2"), std::string::npos);
}

TEST_F(TSRAppIDTest, ConfigurationFollowsTheRules) {
    for (const auto& c : kCases) {
        if (!*c.appID) continue;
        SCOPED_TRACE(c.appID);
        auto options = TSROptions::initWithTesseraAppID(c.appID, "1");
        if (c.valid) {
            EXPECT_NO_THROW(TSRApp::configureWithName("app", options));
        } else {
            try {
                TSRApp::configureWithName("app", options);
                ADD_FAILURE() << "configured";
            } catch (const TSRException& e) {
                EXPECT_EQ(e.reason().rfind("Configuration fails.", 0), 0u);
            }
        }
        EXPECT_EQ(TSRApp::appNamed("app") != nullptr, c.valid);
        TSRApp::resetApps();
    }
}

TEST_F(TSRAppIDTest, FormatAndFingerprintStepsOnTheirOwn) {
    EXPECT_FALSE(TSRApp::validateAppIDFormat("", "1"));
    EXPECT_FALSE(TSRApp::validateAppIDFormat("1:1:ios:ab", ""));
    EXPECT_FALSE(TSRApp::validateAppIDFormat("1:1:ios:ab", "2"));
    EXPECT_TRUE(TSRApp::validateAppIDFormat("2:1:ios:ab", "2"));
    // The fingerprint step also insists on the known version.
    EXPECT_TRUE(TSRApp::validateBundleIDHashWithinAppID("1:1:ios:ab", "1"));
    EXPECT_FALSE(TSRApp::validateBundleIDHashWithinAppID("2:1:ios:ab", "2"));
    EXPECT_FALSE(TSRApp::validateBundleIDHashWithinAppID("1:1:ios:ab:cd", "1"));
    EXPECT_FALSE(TSRApp::validateBundleIDHashWithinAppID("1:1:ios:zz", "1"));
}
