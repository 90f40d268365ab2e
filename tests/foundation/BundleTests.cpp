#include "platform/foundation/Bundle.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace fs = std::filesystem;
using namespace plat;

TEST(Bundle, ApplicationInfoPlist) {
    // The source tree's resources folder is the bundle the application ships.
    const char* source = std::getenv("VELMORA_SOURCE_DIR");
    fs::path resources = source ? fs::path(source) / "resources"
                                : fs::path(__FILE__).parent_path().parent_path().parent_path() / "resources";
    Bundle bundle(resources);
    EXPECT_EQ(bundle.bundleIdentifier(), "io.velmora.mac");
    EXPECT_EQ(bundle.objectForInfoDictionaryKey("CFBundleName"), Object("Velmora"));
    EXPECT_EQ(bundle.objectForInfoDictionaryKey("CFBundleShortVersionString"), Object("1.0.0"));
    EXPECT_EQ(bundle.objectForInfoDictionaryKey("CFBundleVersion"), Object("1"));
    EXPECT_TRUE(bundle.objectForInfoDictionaryKey("NoSuchKey").isAbsent());
}

TEST(Bundle, MissingOrDamagedInfoGivesEmptyDictionary) {
    testsupport::TempHome home;
    struct Case {
        const char* name;
        std::optional<std::string> info;
    };
    const Case cases[] = {
        {"missing", std::nullopt},
        {"garbage", "not a plist"},
        {"truncated", "<?xml version=\"1.0\"?><plist><dict><key>CFBundleIdentifier</key><str"},
        {"array", "<plist version=\"1.0\"><array><string>x</string></array></plist>"},
    };
    for (const auto& c : cases) {
        fs::path dir = home.path() / c.name;
        fs::create_directories(dir);
        if (c.info) testsupport::writeFile(dir / "Info.plist", *c.info);
        Bundle bundle(dir);
        EXPECT_TRUE(bundle.infoDictionary().empty()) << c.name;
        EXPECT_FALSE(bundle.bundleIdentifier().has_value()) << c.name;
    }
}

TEST(Bundle, ResourceLookup) {
    testsupport::TempHome home;
    const fs::path root = home.path() / "bundle";
    testsupport::writeFile(root / "TesseraOptions.plist", "top");
    testsupport::writeFile(root / "flags" / "de.png", "flag");
    testsupport::writeFile(root / "b" / "shared.txt", "b");
    testsupport::writeFile(root / "a" / "shared.txt", "a");
    testsupport::writeFile(root / "a" / "deeper" / "hidden.txt", "two levels down");
    testsupport::writeFile(home.path() / "outside.txt", "outside");
    fs::create_directories(root / "folder.res");
    Bundle bundle(root);

    struct Case {
        std::string name, type;
        std::optional<fs::path> expected;
    };
    const Case cases[] = {
        {"TesseraOptions", "plist", root / "TesseraOptions.plist"},
        {"TesseraOptions.plist", "", root / "TesseraOptions.plist"},
        {"de", "png", root / "flags" / "de.png"},
        {"shared", "txt", root / "a" / "shared.txt"}, // sub-folders in name order
        {"hidden", "txt", std::nullopt},
        {"folder", "res", std::nullopt}, // folders are not resources
        {"TesseraOptions", "json", std::nullopt},
        {"../outside", "txt", std::nullopt},
        {"..", "", std::nullopt},
        {"", "plist", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(bundle.pathForResource(c.name, c.type), c.expected) << c.name << "." << c.type;
    EXPECT_EQ(bundle.resourcePath(), root);
    EXPECT_EQ(bundle.bundlePath(), root);
}

TEST(Bundle, MainBundleFollowsVelmoraBundle) {
    // ctest points $VELMORA_BUNDLE at the source tree's resources; run directly, it may be unset.
    const char* configured = std::getenv("VELMORA_BUNDLE");
    if (!configured) GTEST_SKIP() << "VELMORA_BUNDLE is not set";
    EXPECT_EQ(Bundle::main().bundlePath(), fs::path(configured));
    EXPECT_EQ(Bundle::main().bundleIdentifier(), "io.velmora.mac");
}
