#include "platform/foundation/ProcessInfo.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/utsname.h>
#include <unistd.h>

using plat::OperatingSystemVersion;
using plat::ProcessInfo;

TEST(ProcessInfo, ParseVersion) {
    struct Case {
        const char* text;
        std::optional<OperatingSystemVersion> expected;
    };
    const Case cases[] = {
        {"12", OperatingSystemVersion{12, 0, 0}},
        {"12.5", OperatingSystemVersion{12, 5, 0}},
        {"12.5.1", OperatingSystemVersion{12, 5, 1}},
        {"6.1.0-13-amd64", OperatingSystemVersion{6, 1, 0}},
        {"22.04", OperatingSystemVersion{22, 4, 0}},
        {"1.2.3.4", OperatingSystemVersion{1, 2, 3}},
        {"7.", OperatingSystemVersion{7, 0, 0}},
        {"99999999999999999999", OperatingSystemVersion{INT32_MAX, 0, 0}},
        {"", std::nullopt},
        {"v12", std::nullopt},
        {".5", std::nullopt},
        {"bookworm", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProcessInfo::parseVersion(c.text), c.expected) << c.text;
}

TEST(ProcessInfo, VersionOverrideAndComparison) {
    auto& info = ProcessInfo::processInfo();
    const OperatingSystemVersion real = info.operatingSystemVersion();
    EXPECT_GT(real.majorVersion, 0); // os-release or uname always gives a leading number here

    info.overrideOperatingSystemVersion(OperatingSystemVersion{11, 2, 0});
    EXPECT_EQ(info.operatingSystemVersion(), (OperatingSystemVersion{11, 2, 0}));
    EXPECT_TRUE(info.isOperatingSystemAtLeastVersion({11, 1, 9}));
    EXPECT_TRUE(info.isOperatingSystemAtLeastVersion({11, 2, 0}));
    EXPECT_FALSE(info.isOperatingSystemAtLeastVersion({11, 2, 1}));
    EXPECT_FALSE(info.isOperatingSystemAtLeastVersion({12, 0, 0}));
    EXPECT_NE(info.operatingSystemVersionString().find("Version 11.2"), std::string::npos);

    info.overrideOperatingSystemVersion(std::nullopt);
    EXPECT_EQ(info.operatingSystemVersion(), real);
}

// The system's name and version come from the os-release file a test points at; without a pretty
// name the name and version stand in, without either the kernel.
TEST(ProcessInfo, TheSystemIsNamedFromItsOSRelease) {
    testsupport::TempHome home;
    auto& info = ProcessInfo::processInfo();
    const std::string real = info.operatingSystemPrettyName();
    const auto osRelease = [&](const std::string& text) {
        testsupport::writeFile(home.path() / "os-release", text);
        info.setOSReleasePathForTesting(home.path() / "os-release");
    };
    struct utsname u {};
    ASSERT_EQ(::uname(&u), 0);
    const std::string kernel = std::string("Linux ") + u.release;

    osRelease("NAME=\"Testix\"\nPRETTY_NAME=\"Testix 7 (quiet)\"\nVERSION_ID=\"7.2\"\n");
    EXPECT_EQ(info.operatingSystemPrettyName(), "Testix 7 (quiet)");
    EXPECT_EQ(info.operatingSystemVersion(), (OperatingSystemVersion{7, 2, 0}));
    osRelease("NAME='Testix'\nVERSION_ID=24.04\nPRETTY_NAME=\"\"\n");
    EXPECT_EQ(info.operatingSystemPrettyName(), "Testix 24.04");
    EXPECT_EQ(info.operatingSystemVersion(), (OperatingSystemVersion{24, 4, 0}));
    osRelease("NAME=Rolling\nID=rolling\n");
    EXPECT_EQ(info.operatingSystemPrettyName(), "Rolling");
    osRelease("ID=bare\n");
    EXPECT_EQ(info.operatingSystemPrettyName(), kernel);
    info.setOSReleasePathForTesting(home.path() / "missing");
    EXPECT_EQ(info.operatingSystemPrettyName(), kernel) << "no os-release at all";

    info.setOSReleasePathForTesting(std::nullopt);
    EXPECT_EQ(info.operatingSystemPrettyName(), real);
}

TEST(ProcessInfo, ProcessFacts) {
    auto& info = ProcessInfo::processInfo();
    EXPECT_EQ(info.processIdentifier(), static_cast<int>(::getpid()));
    EXPECT_FALSE(info.hostName().empty());
    EXPECT_FALSE(info.processName().empty());

    setenv("VELMORA_PI_TEST", "a=b", 1);
    EXPECT_EQ(info.environmentValue("VELMORA_PI_TEST"), "a=b");
    EXPECT_EQ(info.environment().at("VELMORA_PI_TEST"), "a=b");
    unsetenv("VELMORA_PI_TEST");
    EXPECT_FALSE(info.environmentValue("VELMORA_PI_TEST").has_value());

    // Without setArguments the kernel's command line answers; the program comes first.
    auto args = info.arguments();
    ASSERT_FALSE(args.empty());
    EXPECT_NE(args.front().find("tests_foundation"), std::string::npos);
}
