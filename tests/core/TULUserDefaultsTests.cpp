#include "core/TULUserDefaults.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/core/CoreTestSupport.h"

#include <memory>

using namespace coretest;

namespace {

class TULUserDefaultsTest : public CoreTest {};

plat::Object opaqueValue() {
    return plat::Object(plat::Opaque::make<int>(std::make_shared<const int>(7), "URL"));
}

} // namespace

TEST_F(TULUserDefaultsTest, RefusesValuesThatAreNotPropertyListValues) {
    TULUserDefaults defaults("com.tessera.test-suite");
    struct Case {
        const char* label;
        plat::Object value;
        bool stored;
    } cases[] = {
        {"string", plat::Object("text"), true},
        {"number", plat::Object(int64_t{5}), true},
        {"date", plat::Object(plat::Date{1000}), true},
        {"data", plat::Object(plat::toData("bytes")), true},
        {"nested plist values",
         plat::Object(plat::Object::Dict{{"a", plat::Object::Array{plat::Object(1), plat::Object("x")}}}),
         true},
        {"opaque", opaqueValue(), false},
        {"null", plat::Object::null(), false},
        {"opaque inside an array", plat::Object(plat::Object::Array{plat::Object("ok"), opaqueValue()}),
         false},
        {"null deep in a dictionary",
         plat::Object(plat::Object::Dict{{"a", plat::Object::Dict{{"b", plat::Object::null()}}}}), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        defaults.setObject(plat::Object("previous"), "key");
        const size_t refusedBefore = linesWithCode("I-TUL000003").size();
        defaults.setObject(c.value, "key");
        EXPECT_EQ(defaults.objectForKey("key"), c.stored ? c.value : plat::Object("previous"));
        EXPECT_EQ(linesWithCode("I-TUL000003").size() - refusedBefore, c.stored ? 0u : 1u);
    }
    // Refused values never reach the file either: a fresh read sees only good values.
    plat::UserDefaults::resetForTesting();
    EXPECT_EQ(TULUserDefaults("com.tessera.test-suite").objectForKey("key"), plat::Object("previous"));
}

TEST_F(TULUserDefaultsTest, KeysAndRemoval) {
    TULUserDefaults& defaults = TULUserDefaults::standardUserDefaults();
    defaults.setBool(true, "flag");
    defaults.setObject(plat::Object(), "");
    defaults.setObject(plat::Object("v"), "");
    EXPECT_EQ(linesWithCode("I-TUL000002").size(), 2u);
    EXPECT_TRUE(defaults.objectForKey("").isAbsent());
    EXPECT_FALSE(defaults.boolForKey(""));
    EXPECT_EQ(linesWithCode("I-TUL000001").size(), 2u);
    EXPECT_TRUE(defaults.boolForKey("flag"));

    defaults.removeObjectForKey("flag");
    EXPECT_TRUE(defaults.objectForKey("flag").isAbsent());
    EXPECT_FALSE(defaults.boolForKey("flag"));

    const auto warning = logLines();
    ASSERT_FALSE(warning.empty());
    EXPECT_EQ(warning.front().subsystem, "com.tessera.utilities.logger");
    EXPECT_EQ(warning.front().category, "[TesseraUtilities/UserDefaults]");
}

TEST_F(TULUserDefaultsTest, TypedAccessorsAndSuites) {
    TULUserDefaults suite("com.tessera.TSRInstallations");
    suite.setInteger(42, "int");
    suite.setDouble(2.5, "double");
    suite.setObject(plat::Object("text"), "string");
    EXPECT_EQ(suite.integerForKey("int"), 42);
    EXPECT_DOUBLE_EQ(suite.doubleForKey("double"), 2.5);
    EXPECT_FLOAT_EQ(suite.floatForKey("double"), 2.5f);
    EXPECT_EQ(suite.stringForKey("string"), "text");
    EXPECT_EQ(suite.stringForKey("int"), std::nullopt);
    EXPECT_EQ(suite.arrayForKey("string"), std::nullopt);
    EXPECT_EQ(suite.integerForKey("missing"), 0);
    // Suites are separate from the standard defaults; an empty suite name is the standard ones.
    EXPECT_TRUE(TULUserDefaults().objectForKey("int").isAbsent());
    TULUserDefaults("").setInteger(1, "shared");
    EXPECT_EQ(TULUserDefaults::standardUserDefaults().integerForKey("shared"), 1);
}
