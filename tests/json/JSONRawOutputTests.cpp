#include "json/JSON.h"

#include <gtest/gtest.h>

using plat::JSONSerialization;
using plat::Object;
using W = writingOptionsKeys;

namespace {

const JSONWritingOptions kOwnWriter{{W::castNilToNSNull, true}};

JSON nestedLists(int depth) {
    JSON value(1);
    for (int i = 0; i < depth; ++i)
        value = JSON(plat::Array{value.object()});
    return value;
}

} // namespace

TEST(JSONRawOutput, ScalarsAndUnknown) {
    JSON text("abc");
    EXPECT_EQ(text.rawString(), "abc");
    EXPECT_EQ(text.description(), "abc");
    EXPECT_EQ(JSON::null().rawString(), "null");
    EXPECT_EQ(JSON(true).rawString(), "true");
    EXPECT_EQ(JSON(-3).rawString(), "-3");

    JSON unknown(Object(plat::Date{}));
    EXPECT_FALSE(unknown.rawString());
    EXPECT_EQ(unknown.description(), "unknown");
    EXPECT_TRUE(unknown.rawValue().isNull());
    EXPECT_FALSE(JSON::fromRawValue(Object(plat::Date{})));
    EXPECT_EQ(JSON::fromRawValue(Object(1))->intValue(), 1);

    for (const JSON& value : {text, unknown, JSON(1), JSON(true), JSON::null()}) {
        try {
            (void)value.rawData();
            FAIL() << "rawData of a scalar did not throw";
        } catch (const JSONException& e) {
            EXPECT_EQ(e.jsonError(), JSONError::invalidJSON);
        }
    }
    EXPECT_TRUE(JSON(true).rawValue().number().isBool());
}

TEST(JSONRawOutput, RawDataOfContainers) {
    EXPECT_EQ(plat::toString(JSON::parseJSON(R"({"b":[1,"x"],"a":null})").rawData()),
              R"({"a":null,"b":[1,"x"]})");
    // Things the serialiser cannot carry are refused as invalid JSON.
    for (const Object& raw : {Object(plat::Array{Object()}), Object(plat::Array{Object(plat::Date{})}),
                              Object(plat::Array{Object(std::numeric_limits<double>::quiet_NaN())})}) {
        EXPECT_THROW((void)JSON(raw).rawData(), JSONException);
    }
}

TEST(JSONRawOutput, OwnWriter) {
    JSON list(plat::Array{Object(1), Object("a")});
    EXPECT_EQ(list.rawString(kOwnWriter), R"([1,"a"])");
    JSON absent(plat::Dict{{"k", Object()}});
    EXPECT_EQ(absent.rawString(kOwnWriter), R"({"k": null})");
    JSON escapes(plat::Array{Object("back\\slash \"quote\"\nline")});
    EXPECT_EQ(escapes.rawString(kOwnWriter), "[\"back\\\\slash \\\"quote\\\"\nline\"]");
    JSON nested = JSON::parseJSON(R"({"a":[true,null,{"b":2.5}],"c":"d"})");
    EXPECT_EQ(nested.rawString(kOwnWriter), R"({"a": [true,null,{"b": 2.5}],"c": "d"})");
    // Keys are escaped like texts, so the output stays well formed.
    JSON oddKey(plat::Dict{{"a\"b", Object(1)}});
    std::optional<std::string> written = oddKey.rawString(kOwnWriter);
    ASSERT_TRUE(written);
    EXPECT_EQ(JSON::parseJSON(*written)["a\"b"].intValue(), 1);
    // Any element that cannot be written fails its whole container.
    EXPECT_FALSE(JSON(plat::Array{Object(1), Object(plat::Date{})}).rawString(kOwnWriter));
}

TEST(JSONRawOutput, DepthBudget) {
    EXPECT_FALSE(nestedLists(10).rawString(kOwnWriter));
    EXPECT_EQ(nestedLists(9).rawString(kOwnWriter), "[[[[[[[[[1]]]]]]]]]");
    // The serialiser path does not look at the depth.
    EXPECT_EQ(nestedLists(10).rawString(StringEncoding::utf8, JSONSerialization::WritingNone),
              "[[[[[[[[[[1]]]]]]]]]]");
    JSONWritingOptions deeper = kOwnWriter;
    deeper[W::maxObjextDepth] = 12;
    EXPECT_TRUE(nestedLists(11).rawString(deeper));
    deeper[W::maxObjextDepth] = std::string("not a number");
    EXPECT_FALSE(nestedLists(10).rawString(deeper));

    testing::internal::CaptureStdout();
    std::optional<std::string> none = JSON(1).rawString({{W::maxObjextDepth, 0}});
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(none);
    EXPECT_EQ(printed, "Could not serialize object to JSON because: JSON is invalid.\n");
    // A budget exhausted below the top level is silent.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(nestedLists(10).rawString(kOwnWriter));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(JSONRawOutput, SerialiserOptionsAndEncodings) {
    JSON dict = JSON::parseJSON(R"({"a":[1,2]})");
    std::string pretty = dict.description();
    EXPECT_NE(pretty.find('\n'), std::string::npos);
    EXPECT_EQ(JSON::parseJSON(pretty).rawValue(), dict.rawValue());
    EXPECT_EQ(dict.rawString({{W::jsonSerialization, 0u}}), R"({"a":[1,2]})");
    EXPECT_EQ(dict.rawString({{W::jsonSerialization, 0}}), R"({"a":[1,2]})");
    EXPECT_EQ(dict.rawString({{W::jsonSerialization, std::string("bad")}}), pretty);
    JSON accented(plat::Array{Object("\xc3\xa9")});
    EXPECT_FALSE(accented.rawString(StringEncoding::ascii, 0));
    EXPECT_EQ(accented.rawString(StringEncoding::utf8, 0), "[\"\xc3\xa9\"]");
    EXPECT_EQ(accented.rawString(StringEncoding::isoLatin1, 0), "[\"\xc3\x83\xc2\xa9\"]");
    // Without castNilToNSNull an absent element makes the serialiser refuse.
    EXPECT_FALSE(JSON(plat::Array{Object()}).rawString());
}

TEST(JSONRawOutput, RawDataParsesBackToAnEqualValue) {
    for (const char* text : {R"({"a":[1,-2.5,"x",true,null,{"b":{}}],"c":18446744073709551615})", "[]", "{}",
                             R"([[[["deep"]]]])", R"({"u":"\u00e9\ud83d\ude00","e":"\"\\/\n"})"}) {
        JSON value = JSON::parseJSON(text);
        ASSERT_TRUE(value.type() == JSON::Type::array || value.type() == JSON::Type::dictionary) << text;
        plat::Data data = value.rawData();
        JSON back(data, JSONSerialization::ReadingNone);
        EXPECT_EQ(back, value) << text;
        EXPECT_EQ(back.rawValue(), value.rawValue()) << text;
    }
}
