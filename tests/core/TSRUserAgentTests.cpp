#include "core/TSRApp.h"
#include "core/TSRUserAgent.h"
#include "tests/core/CoreTestSupport.h"
#include "utilities/TULAppEnvironmentUtil.h"

#include <sstream>

using namespace coretest;

namespace {

class TSRUserAgentTest : public CoreTest {};

std::vector<std::string> entriesOf(const std::string& agent) {
    std::vector<std::string> entries;
    std::istringstream in(agent);
    for (std::string entry; in >> entry;)
        entries.push_back(entry);
    return entries;
}

} // namespace

TEST_F(TSRUserAgentTest, LibrariesAndEnvironmentSortedIgnoringCase) {
    useBundle("app");
    for (const char* library : {"tsr-install", "tsr-ses", "tessera-crashwatch"})
        TSRApp::registerLibrary(library, "3.2.0");
    TSRApp::registerLibrary("Zeta", "1");
    TSRApp::registerLibrary("Beta_lib", "2.0");

    const std::string model = TULAppEnvironmentUtil::deviceModel();
    const std::string system = TULAppEnvironmentUtil::systemVersion();
    const std::vector<std::string> expected = {
        "apple-platform/macos",
        "apple-sdk/100A1",
        "appstore/false",
        "Beta_lib/2.0",
        "deploy/swiftpm",
        "device/" + model,
        "os-version/" + system,
        "tessera-crashwatch/3.2.0",
        "tsr-install/3.2.0",
        "tsr-ios/3.2.0",
        "tsr-ses/3.2.0",
        "xcode/200B2",
        "Zeta/1",
    };
    const std::string agent = TSRApp::tesseraUserAgent();
    // Built from the entries joined by single blanks, nothing at either end (the device model may
    // itself hold blanks, so compare the whole text).
    std::string joined;
    for (const auto& e : expected)
        joined += (joined.empty() ? "" : " ") + e;
    EXPECT_EQ(agent, joined);
}

TEST_F(TSRUserAgentTest, BuilderCachesUntilAComponentChanges) {
    useBundle("app");
    TSRUserAgent builder;
    const std::string environmentOnly = builder.tesseraUserAgent();
    EXPECT_EQ(entriesOf(environmentOnly).front(), "apple-platform/macos");
    EXPECT_EQ(environmentOnly.find("tsr-"), std::string::npos);

    builder.setValue("1.0", "lib");
    builder.setValue("2.0", "lib");
    const std::string withLibrary = builder.tesseraUserAgent();
    EXPECT_NE(withLibrary.find("lib/2.0"), std::string::npos);
    EXPECT_EQ(withLibrary.find("lib/1.0"), std::string::npos);

    // An environment key wins over a component of the same name.
    builder.setValue("spoofed", "apple-platform");
    EXPECT_NE(builder.tesseraUserAgent().find("apple-platform/macos"), std::string::npos);

    builder.setValue(std::nullopt, "lib");
    EXPECT_EQ(builder.tesseraUserAgent().find("lib/"), std::string::npos);

    // After a reset only the environment remains.
    builder.setValue("3", "other");
    builder.reset();
    EXPECT_EQ(builder.valuesByComponent(), TSRUserAgent::currentEnvironmentComponents());
    EXPECT_EQ(builder.tesseraUserAgent().find("other/"), std::string::npos);
}

TEST_F(TSRUserAgentTest, MissingInfoValuesLeaveTheirKeysOut) {
    useBundle("app-no-options-and-no-builds");
    auto components = TSRUserAgent::currentEnvironmentComponents();
    EXPECT_FALSE(components.count("xcode"));
    EXPECT_FALSE(components.count("apple-sdk"));
    EXPECT_EQ(components.size(), 5u);
}

TEST_F(TSRUserAgentTest, LibraryRegistrationRefusesBadCharacters) {
    const std::string before = TSRApp::tesseraUserAgent();
    TSRApp::registerLibrary("bad name", "1.0");
    TSRApp::registerLibrary("good", "1.0 beta");
    TSRApp::registerLibrary("also/bad", "1");
    EXPECT_EQ(linesWithCode("I-COR000027").size(), 3u);
    EXPECT_EQ(TSRApp::tesseraUserAgent(), before);
    // Registered after the string was built: part of the next one.
    TSRApp::registerLibrary("late-lib", "0.1");
    EXPECT_NE(TSRApp::tesseraUserAgent().find("late-lib/0.1"), std::string::npos);
}

TEST_F(TSRUserAgentTest, ResetAppsDropsTheLibraries) {
    TSRApp::registerLibrary("tsr-install", "3.2.0");
    TSRApp::resetApps();
    const std::string agent = TSRApp::tesseraUserAgent();
    EXPECT_EQ(agent.find("tsr-install"), std::string::npos);
    EXPECT_EQ(agent.find("tsr-ios"), std::string::npos);
    EXPECT_NE(agent.find("apple-platform/macos"), std::string::npos);
}
