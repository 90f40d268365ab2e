#include "json/JSON.h"

#include <gtest/gtest.h>

using plat::Number;
using plat::Object;
using T = JSON::Type;

namespace {

plat::Data bytes(std::string_view text) {
    return plat::Data(text.begin(), text.end());
}

} // namespace

TEST(JSONError, CodesMessagesAndPlatformError) {
    struct Case {
        JSONError error;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {JSONError::unsupportedType, 999, "It is an unsupported type."},
        {JSONError::indexOutOfBounds, 900, "Array Index is out of bounds."},
        {JSONError::elementTooDeep, 902,
         "Element too deep. Increase maxObjectDepth and make sure there is no reference loop."},
        {JSONError::wrongType, 901, "Couldn't merge, because the JSONs differ in type on top level."},
        {JSONError::notExist, 500, "Dictionary key does not exist."},
        {JSONError::invalidJSON, 490, "JSON is invalid."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JSONErrorCode(c.error), c.code);
        EXPECT_EQ(JSONErrorFromRawValue(c.code), c.error);
        plat::Error e = toError(c.error);
        EXPECT_EQ(e.domain, "io.velmora.json");
        EXPECT_EQ(e.code, c.code);
        EXPECT_EQ(e.localizedDescription(), c.message);
        EXPECT_EQ(e.userInfo.size(), 1u);
        EXPECT_EQ(JSONException(c.error).jsonError(), c.error);
    }
    for (int64_t code : {0, 489, 491, 501, 903, 998, 1000, -1})
        EXPECT_FALSE(JSONErrorFromRawValue(code)) << code;
}

TEST(JSONType, RawValuesRoundTrip) {
    for (int i = 0; i <= 6; ++i)
        EXPECT_EQ(static_cast<int>(*JSON::typeFromRawValue(i)), i);
    EXPECT_EQ(JSON::typeFromRawValue(2), T::bool_);
    EXPECT_FALSE(JSON::typeFromRawValue(7));
    EXPECT_FALSE(JSON::typeFromRawValue(-1));
}

TEST(JSONConstruction, FromBytes) {
    JSON object(bytes(R"({"a":1})"), plat::JSONSerialization::ReadingNone);
    EXPECT_EQ(object.type(), T::dictionary);
    EXPECT_TRUE(object.exists());

    try {
        JSON bad(bytes("{nope"), plat::JSONSerialization::ReadingNone);
        FAIL() << "parsed invalid bytes";
    } catch (const JSONException& e) {
        // The parser's own error, not one of ours.
        EXPECT_EQ(e.error().domain, plat::JSONSerialization::kErrorDomain);
        EXPECT_EQ(e.error().code, plat::JSONSerialization::kParseErrorCode);
        EXPECT_FALSE(e.jsonError());
    }
    // The general constructor drops the parser's error.
    JSON lenient(bytes("{nope"));
    EXPECT_EQ(lenient.type(), T::null);
    EXPECT_FALSE(lenient.error());
    EXPECT_TRUE(lenient.exists());
    JSON viaObject(Object(bytes("[1]")));
    EXPECT_EQ(viaObject.type(), T::array);
}

TEST(JSONConstruction, ParseJSONText) {
    EXPECT_EQ(JSON::parseJSON("true").type(), T::bool_);
    JSON one = JSON::parseJSON("1");
    EXPECT_EQ(one.type(), T::number);
    EXPECT_FALSE(one.rawValue().number().isBool());
    JSON list = JSON::parseJSON(R"([1, "x", null])");
    ASSERT_EQ(list.type(), T::array);
    const plat::Array& raw = list.rawValue().array();
    ASSERT_EQ(raw.size(), 3u);
    EXPECT_TRUE(raw[0].isNumber());
    EXPECT_TRUE(raw[1].isString());
    EXPECT_TRUE(raw[2].isNull());
    JSON garbage = JSON::parseJSON("not json");
    EXPECT_EQ(garbage.type(), T::null);
    EXPECT_TRUE(garbage.exists());
    EXPECT_EQ(JSON::parseJSON("\xff\xfe").type(), T::null);
}

TEST(JSONClassification, BooleansNumbersAndTheRest) {
    struct Case {
        const char* name;
        Object object;
        T type;
        bool hasError;
    };
    const Case cases[] = {
        {"bool true", Object(true), T::bool_, false},
        {"bool false", Object(false), T::bool_, false},
        {"int 1", Object(int64_t(1)), T::number, false},
        {"int32 0", Object(int32_t(0)), T::number, false},
        {"int8 1", Object(int8_t(1)), T::number, false},
        {"double 1.0", Object(1.0), T::number, false},
        {"uint8 1", Object(uint8_t(1)), T::number, false},
        {"decimal 1", Object(Number::decimal(1.0)), T::number, false},
        {"string", Object("s"), T::string, false},
        {"null", Object::null(), T::null, false},
        {"absent", Object(), T::null, false},
        {"array", Object(plat::Array{}), T::array, false},
        {"dict", Object(plat::Dict{}), T::dictionary, false},
        {"date", Object(plat::Date{5}), T::unknown, true},
        {"opaque", Object(plat::Opaque::make(std::make_shared<const int>(3), "int")), T::unknown, true},
    };
    for (const Case& c : cases) {
        JSON value(c.object);
        EXPECT_EQ(value.type(), c.type) << c.name;
        EXPECT_EQ(value.error().has_value(), c.hasError) << c.name;
        if (c.hasError) {
            EXPECT_EQ(*value.error(), JSONError::unsupportedType);
            EXPECT_TRUE(value.object().isNull()) << c.name;
        }
    }
    // Bytes given to the setter directly are not parsed.
    JSON direct;
    direct.setObject(Object(bytes("[1]")));
    EXPECT_EQ(direct.type(), T::unknown);
    EXPECT_EQ(direct.error(), JSONError::unsupportedType);
}

TEST(JSONClassification, NullValuesAndContainersOfJSON) {
    for (const JSON& value :
         {JSON(std::optional<int>()), JSON(Object::null()), JSON::null(), JSON::nullJSON(), JSON(),
          JSON(nullptr), JSON(static_cast<const char*>(nullptr))}) {
        EXPECT_EQ(value.type(), T::null);
        EXPECT_FALSE(value.error());
    }
    // Elements are stored as raw values; an element's error is not kept.
    JSON failed = JSON::parseJSON("{}")["missing"];
    ASSERT_EQ(failed.error(), JSONError::notExist);
    JSON list(std::vector<JSON>{JSON(1), JSON("a"), failed});
    EXPECT_EQ(list.type(), T::array);
    EXPECT_FALSE(list.error());
    EXPECT_TRUE(list.rawValue().array()[2].isNull());
    EXPECT_FALSE(JSON(failed.object()).error());
}

TEST(JSONClassification, SettingObjectReclassifiesAndClearsError) {
    JSON value("text");
    value.setObject(Object(plat::Array{Object(1)}));
    EXPECT_EQ(value.type(), T::array);
    JSON broken(Object(plat::Date{}));
    ASSERT_TRUE(broken.error());
    broken.setObject(Object("fine"));
    EXPECT_EQ(broken.type(), T::string);
    EXPECT_FALSE(broken.error());
}

TEST(JSONClassification, CPlusPlusTrapsStayClosed) {
    // A string literal is text, never a bool; every width keeps its type; a char is text.
    EXPECT_EQ(JSON("false").type(), T::string);
    EXPECT_EQ(JSON(std::string("x")).type(), T::string);
    EXPECT_EQ(JSON('c').stringValue(), "c");
    EXPECT_EQ(JSON(int8_t(1)).type(), T::number);
    EXPECT_EQ(JSON(uint16_t(0)).type(), T::number);
    EXPECT_EQ(JSON(true).type(), T::bool_);
    EXPECT_STREQ(JSON(uint32_t(7)).rawValue().number().typeCode(), "I");
    EXPECT_STREQ(JSON(int16_t(7)).rawValue().number().typeCode(), "s");
}

TEST(JSONMerge, DictionariesArraysAndScalars) {
    struct Case {
        const char* receiver;
        const char* argument;
        const char* expected;
    };
    const Case cases[] = {
        {R"({"a":1,"b":{"x":1}})", R"({"b":{"y":2},"c":3})", R"({"a":1,"b":{"x":1,"y":2},"c":3})"},
        {"[1,2]", "[3]", "[1,2,3]"},
        {R"({"a":1})", R"({"a":"s"})", R"({"a":"s"})"},
        {R"({"a":1})", R"({"a":null})", R"({"a":null})"},
        {R"({"a":[1]})", R"({"a":[1]})", R"({"a":[1,1]})"},
        {R"({"a":{"b":{"c":1}}})", R"({"a":{"b":{"d":2}}})", R"({"a":{"b":{"c":1,"d":2}}})"},
        {"null", "null", "null"},
        {"1", "2.5", "2.5"},
        {R"("a")", R"("b")", R"("b")"},
    };
    for (const Case& c : cases) {
        JSON receiver = JSON::parseJSON(c.receiver);
        JSON expected = JSON::parseJSON(c.expected);
        JSON result = receiver.merged(JSON::parseJSON(c.argument));
        EXPECT_EQ(result.rawValue(), expected.rawValue()) << c.receiver << " + " << c.argument;
        EXPECT_EQ(receiver.rawValue(), JSON::parseJSON(c.receiver).rawValue())
            << "merged changed its receiver";
        receiver.merge(JSON::parseJSON(c.argument));
        EXPECT_EQ(receiver.rawValue(), expected.rawValue()) << c.receiver << " + " << c.argument;
    }
    JSON self = JSON::parseJSON(R"({"a":[1],"b":{"c":2}})");
    self.merge(self);
    EXPECT_EQ(self.rawValue(), JSON::parseJSON(R"({"a":[1,1],"b":{"c":2}})").rawValue());
}

TEST(JSONMerge, TopLevelKindMismatchThrowsAndKeepsReceiver) {
    JSON text("s");
    try {
        text.merge(JSON(5));
        FAIL() << "merge of different kinds did not throw";
    } catch (const JSONException& e) {
        EXPECT_EQ(e.jsonError(), JSONError::wrongType);
        EXPECT_EQ(e.error().code, 901);
    }
    EXPECT_EQ(text.stringValue(), "s");
    EXPECT_THROW((void)text.merged(JSON(5)), JSONException);
    EXPECT_THROW(JSON::parseJSON("[1]").merge(JSON::parseJSON("{}")), JSONException);
    EXPECT_EQ(text.stringValue(), "s");
}
