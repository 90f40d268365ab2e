// Flag images for region rows: codes in any case, aliases, missing flags and unsafe codes.
#include "platform/map/FlagLookup.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace plat::map;
namespace fs = std::filesystem;

namespace {

class FlagLookupTest : public ::testing::Test {
protected:
    FlagLookupTest() {
        for (const char* name : {"gb", "gr", "fr", "_scotland", "eu"})
            testsupport::writeFile(system / (std::string(name) + ".png"), "png");
        testsupport::writeFile(bundle / "fr.png", "bundle png");
        testsupport::writeFile(bundle / "gb-eng.png", "png");
    }
    testsupport::TempHome home;
    fs::path bundle = home.path() / "bundle";
    fs::path system = home.path() / "system";
    FlagLookup flags{{bundle, system}};
};

} // namespace

TEST_F(FlagLookupTest, FindsCodesInAnyCaseAndFollowsAliases) {
    EXPECT_EQ(flags.pathFor("GR"), system / "gr.png");
    EXPECT_EQ(flags.pathFor(" eu "), system / "eu.png");
    EXPECT_EQ(flags.pathFor("UK"), system / "gb.png");
    EXPECT_EQ(flags.pathFor("el"), system / "gr.png");
    // Nations: their own image where a folder has one, their own alias next, the country last.
    EXPECT_EQ(flags.pathFor("GB-ENG"), bundle / "gb-eng.png");
    EXPECT_EQ(flags.pathFor("gb_sct"), system / "_scotland.png");
    EXPECT_EQ(flags.pathFor("gb-nir"), system / "gb.png");
    EXPECT_EQ(flags.pathFor("gb-wls"), system / "gb.png");
    // Earlier folders win.
    EXPECT_EQ(flags.pathFor("fr"), bundle / "fr.png");
}

TEST_F(FlagLookupTest, MissingAndMalformedCodesGiveNothing) {
    EXPECT_FALSE(flags.pathFor("xk"));
    EXPECT_FALSE(flags.pathFor(""));
    EXPECT_FALSE(flags.pathFor("g"));
    EXPECT_FALSE(flags.pathFor("_scotland"));
    EXPECT_FALSE(flags.pathFor("../system/gb"));
    EXPECT_FALSE(flags.pathFor("gb/"));
    EXPECT_FALSE(flags.pathFor("gb-"));
    EXPECT_FALSE(flags.pathFor("gb-toolongcode"));
    EXPECT_FALSE(flags.pathFor(std::string("gb\0x", 4)));
    EXPECT_FALSE(flags.pathFor("\xc3\xa9s"));
    EXPECT_TRUE(FlagLookup::candidates("fr/..").empty());
    EXPECT_EQ(FlagLookup::candidates("UK"), (std::vector<std::string>{"uk", "gb"}));
    // A folder that does not exist is simply skipped.
    FlagLookup nowhere({home.path() / "none"});
    EXPECT_FALSE(nowhere.pathFor("fr"));
}

TEST(FlagLookupSystemTest, SharedLookupUsesTheInstalledFlagSet) {
    ASSERT_TRUE(fs::is_directory(FlagLookup::kSystemDirectory))
        << "iso-flags-png-320x240 is not installed (scripts/deps.sh installs it)";
    FlagLookup& flags = FlagLookup::shared();
    auto gb = flags.pathFor("UK");
    ASSERT_TRUE(gb);
    EXPECT_EQ(gb->filename(), "gb.png");
    EXPECT_TRUE(flags.pathFor("DE"));
    EXPECT_EQ(flags.pathFor("gb-sct")->filename(), "_scotland.png");
    // PNG signature, and the set's 320 × 240 size in the header.
    std::string bytes = testsupport::readFile(*gb);
    ASSERT_GT(bytes.size(), 24u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    auto be32 = [&](size_t at) {
        return (uint32_t(uint8_t(bytes[at])) << 24) | (uint32_t(uint8_t(bytes[at + 1])) << 16) |
               (uint32_t(uint8_t(bytes[at + 2])) << 8) | uint32_t(uint8_t(bytes[at + 3]));
    };
    EXPECT_EQ(be32(16), uint32_t(FlagLookup::kImageWidth));
    EXPECT_EQ(be32(20), uint32_t(FlagLookup::kImageHeight));
}
