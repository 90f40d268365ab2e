#include "json/JSON.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using plat::Number;
using plat::Object;
using T = JSON::Type;

TEST(JSONAccessors, TextHoldingANumber) {
    JSON text("42");
    EXPECT_FALSE(text.int_());
    EXPECT_FALSE(text.number());
    EXPECT_EQ(text.intValue(), 42);
    EXPECT_EQ(text.doubleValue(), 42.0);
    EXPECT_EQ(text.stringValue(), "42");
    EXPECT_FALSE(text.boolValue());

    struct Case {
        const char* text;
        int64_t intValue;
        double doubleValue;
    };
    const Case cases[] = {{"abc", 0, 0.0}, {"12.5", 12, 12.5},  {"3.9", 3, 3.9},           {"-7", -7, -7.0},
                          {"", 0, 0.0},    {"1e3", 1000, 1000}, {"9e99", INT64_MAX, 9e99}, {"-", 0, 0.0}};
    for (const Case& c : cases) {
        JSON value(c.text);
        EXPECT_EQ(value.intValue(), c.intValue) << c.text;
        EXPECT_DOUBLE_EQ(value.doubleValue(), c.doubleValue) << c.text;
    }
}

TEST(JSONAccessors, BooleanWords) {
    for (const char* word : {"true", "TRUE", "TrUe", "y", "Y", "t", "T", "yes", "YeS", "1"}) {
        EXPECT_TRUE(JSON(word).boolValue()) << word;
    }
    for (const char* word : {"0", "no", "on", "", " true", "true ", "yes!", "2", "truetruetruetruetrue"}) {
        EXPECT_FALSE(JSON(word).boolValue()) << word;
    }
}

TEST(JSONAccessors, BoolReadsAsIntegerNumber) {
    JSON yes(true);
    EXPECT_EQ(yes.int_(), 1);
    EXPECT_EQ(yes.double_(), 1.0);
    ASSERT_TRUE(yes.number());
    EXPECT_FALSE(yes.number()->isBool());
    EXPECT_EQ(JSON(*yes.number()).type(), T::number);
    EXPECT_EQ(yes.stringValue(), "true");
    EXPECT_FALSE(yes.string());
    EXPECT_EQ(yes.bool_(), true);
    EXPECT_EQ(JSON(false).intValue(), 0);
    EXPECT_EQ(JSON(false).stringValue(), "false");
}

TEST(JSONAccessors, NumbersConvertAndSaturate) {
    EXPECT_FALSE(JSON(0).boolValue());
    EXPECT_TRUE(JSON(2).boolValue());
    EXPECT_EQ(JSON(3.7).int_(), 3);
    EXPECT_EQ(JSON(3.7).intValue(), 3);
    EXPECT_FALSE(JSON(1).bool_());
    EXPECT_EQ(JSON(-5).stringValue(), "-5");
    EXPECT_EQ(JSON(int64_t(-5)).uInt64Value(), 0u);
    EXPECT_EQ(JSON(300).int8Value(), INT8_MAX);
    EXPECT_EQ(JSON(300).uInt8(), UINT8_MAX);
    EXPECT_EQ(JSON(std::numeric_limits<double>::quiet_NaN()).intValue(), 0);
    EXPECT_EQ(JSON(std::numeric_limits<double>::infinity()).int32Value(), INT32_MAX);
    EXPECT_EQ(JSON(-1e300).int16Value(), INT16_MIN);
    EXPECT_EQ(JSON(UINT64_MAX).uIntValue(), UINT64_MAX);
    EXPECT_EQ(JSON(UINT64_MAX).intValue(), INT64_MAX);
    EXPECT_EQ(JSON(1.5f).float_(), 1.5f);
}

TEST(JSONAccessors, NeutralDefaultsForOtherKinds) {
    for (const JSON& value :
         {JSON::null(), JSON::parseJSON("[1]"), JSON::parseJSON(R"({"a":1})"), JSON(Object(plat::Date{}))}) {
        EXPECT_EQ(value.numberValue().doubleValue(), 0.0);
        EXPECT_TRUE(value.numberValue().isFloatingPoint());
        EXPECT_EQ(value.intValue(), 0);
        EXPECT_EQ(value.uInt16Value(), 0);
        EXPECT_EQ(value.stringValue(), "");
        EXPECT_FALSE(value.boolValue());
        EXPECT_FALSE(value.string());
        EXPECT_FALSE(value.number());
        EXPECT_FALSE(value.int_());
        EXPECT_FALSE(value.url());
    }
    EXPECT_TRUE(JSON::null().arrayValue().empty());
    EXPECT_TRUE(JSON::null().dictionaryValue().empty());
    EXPECT_EQ(JSON::parseJSON("[1,2]").arrayValue().size(), 2u);
    EXPECT_TRUE(JSON::parseJSON("[1,2]").dictionaryValue().empty());
    EXPECT_EQ(JSON::parseJSON(R"({"a":1})").dictionaryValue().at("a").intValue(), 1);
    EXPECT_TRUE(JSON::parseJSON(R"({"a":1})").arrayValue().empty());
    EXPECT_FALSE(JSON(1).arrayObject());
    EXPECT_TRUE(JSON::null().null_());
    EXPECT_FALSE(JSON(1).null_());
}

TEST(JSONAccessors, SettersReplaceTheValue) {
    JSON value = JSON::parseJSON(R"({"a":1})")["missing"];
    value.setInt8(1);
    EXPECT_EQ(value.type(), T::number);
    EXPECT_FALSE(value.error());
    value.setInt8Value(0);
    EXPECT_EQ(value.type(), T::number);
    value.setBool(std::nullopt);
    EXPECT_EQ(value.type(), T::null);
    value.setBool(true);
    EXPECT_EQ(value.type(), T::bool_);
    value.setString(std::nullopt);
    EXPECT_EQ(value.type(), T::null);
    value.setStringValue("x");
    EXPECT_EQ(value.type(), T::string);
    value.setNull(Object(1));
    EXPECT_EQ(value.type(), T::null);
    value.setNumber(Number(true));
    EXPECT_EQ(value.type(), T::bool_);
    value.setUInt8(uint8_t(1));
    EXPECT_EQ(value.type(), T::number);
    value.setDouble(std::nullopt);
    EXPECT_EQ(value.type(), T::null);
    value.setArrayObject(plat::Array{Object(1)});
    EXPECT_EQ(value.type(), T::array);
    value.setDictionaryObject(std::nullopt);
    EXPECT_EQ(value.type(), T::null);
    value.setUInt64Value(UINT64_MAX);
    EXPECT_EQ(value.uInt64(), UINT64_MAX);
    value.setUrl(plat::URL::string("https://example.org/a?b=c"));
    EXPECT_EQ(value.stringValue(), "https://example.org/a?b=c");
}

TEST(JSONAccessors, URLsFromText) {
    struct Case {
        const char* text;
        std::optional<std::string> url;
    };
    const Case cases[] = {
        {"https://example.org/a b", "https://example.org/a%20b"},
        {"https://example.org/a%20b", "https://example.org/a%20b"},
        {"https://example.org/a%", "https://example.org/a%25"},
        {"https://example.org/a%zz", "https://example.org/a%25zz"},
        {"https://example.org/%20 x", std::nullopt},
        {"https://example.org/\xc3\xa9", "https://example.org/%C3%A9"},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        std::optional<plat::URL> url = JSON(c.text).url();
        EXPECT_EQ(url ? std::optional<std::string>(url->absoluteString()) : std::nullopt, c.url) << c.text;
    }
}

TEST(JSONAccessors, CollectionsParseByteElements) {
    plat::Array raw{Object(plat::toData("[1]")), Object(plat::toData("not json")), Object(1)};
    JSON list(raw);
    std::vector<JSON> elements = list.arrayValue();
    ASSERT_EQ(elements.size(), 3u);
    EXPECT_EQ(elements[0].type(), T::array);
    EXPECT_EQ(elements[1].type(), T::null);
    EXPECT_EQ(elements[2].intValue(), 1);
    EXPECT_EQ(list.arrayObject()->size(), 3u);
}
