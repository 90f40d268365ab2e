#include "platform/foundation/JSONSerialization.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using plat::Error;
using plat::JSONSerialization;
using plat::Number;
using plat::Object;

namespace {

Object parse(std::string_view bytes, Error* error = nullptr) {
    return JSONSerialization::jsonObject(bytes, 0, error);
}

std::string write(const Object& object, unsigned options = 0) {
    auto bytes = JSONSerialization::data(object, options);
    EXPECT_TRUE(bytes.has_value()) << object.debugDescription();
    return bytes.value_or("<failed>");
}

std::string debugText(const Error& error) {
    return error.userInfo.at(JSONSerialization::kDebugDescriptionKey).string();
}

} // namespace

TEST(JSONSerializationRead, MalformedInputGivesParseError3840) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* debugStart;
    };
    const Case cases[] = {
        {"empty", "", "Unexpected end of file"},
        {"only whitespace", "  \n ", "Unexpected end of file"},
        {"truncated array", "[1, 2", "Unexpected end of file"},
        {"truncated dict", "{\"a\":", "Unexpected end of file"},
        {"truncated string", "[\"abc", "Unexpected end of file"},
        {"truncated literal", "tru", "Unexpected end of file"},
        {"trailing garbage", "{\"a\":1} x", "Garbage at end"},
        {"two values", "1 2", "Garbage at end"},
        {"trailing comma", "[1,]", "Unexpected character ']'"},
        {"single quotes", "{'a':1}", "Unexpected character '''"},
        {"unquoted key", "{a:1}", "Unexpected character 'a'"},
        {"missing colon", "{\"a\" 1}", "Unexpected character '1'"},
        {"leading zero", "[01]", "Unexpected character '1'"},
        {"bare minus", "-", "Unexpected end of file"},
        {"plus sign", "+1", "Unexpected character '+'"},
        {"NaN literal", "NaN", "Unexpected character 'N'"},
        {"raw newline in string", "[\"a\nb\"]", "Unescaped control character in string"},
        {"bad escape", "[\"\\x\"]", "Invalid escape sequence in string"},
        {"lone surrogate escape", "[\"\\ud800\"]", "Invalid unicode escape sequence in string"},
        {"comment", "[1] // c", "Garbage at end"},
        {"comment inside", "[1, // c\n 2]", "Unexpected character '/'"},
        {"nul byte", std::string("[1,\0 2]", 7), "Invalid value"},
        {"nul byte after value", std::string("[1]\0garbage", 11), "Garbage at end"},
        {"nul byte alone", std::string("\0", 1), "Invalid value"},
        {"number too large for double", "[1e400]", "Number 1e400 is not representable"},
        {"negative number too large", "[-1e400]", "Number -1e400 is not representable"},
        {"huge integer with exponent", "123456789e999", "Number 123456789e999 is not representable"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Error error;
        Object result = parse(c.bytes, &error);
        EXPECT_TRUE(result.isAbsent());
        EXPECT_EQ(error.domain, "NSCocoaErrorDomain");
        EXPECT_EQ(error.code, 3840);
        EXPECT_EQ(error.localizedDescription(),
                  "The data couldn\u2019t be read because it isn\u2019t in the correct format.");
        EXPECT_EQ(debugText(error).rfind(c.debugStart, 0), 0u) << debugText(error);
    }
}

TEST(JSONSerializationRead, ErrorNamesLineColumnAndOffset) {
    Error error;
    EXPECT_TRUE(parse("{\n  \"a\": 1,\n  \"b\": x\n}", &error).isAbsent());
    EXPECT_EQ(debugText(error), "Unexpected character 'x' around line 3, column 8.");
    EXPECT_EQ(error.userInfo.at(JSONSerialization::kErrorIndexKey).number().int64Value(), 19);
}

TEST(JSONSerializationRead, DeepNestingIsRefusedWithoutCrashing) {
    for (char open : {'[', '{'}) {
        std::string deep;
        for (int i = 0; i < 100000; ++i)
            deep += open == '[' ? "[" : "{\"k\":";
        Error error;
        EXPECT_TRUE(parse(deep, &error).isAbsent());
        EXPECT_EQ(error.code, 3840);
        EXPECT_EQ(debugText(error).rfind("Too many nested arrays or dictionaries", 0), 0u)
            << debugText(error);
        // The offending bracket is the one past the limit.
        size_t expected = open == '[' ? JSONSerialization::kMaxDepth : JSONSerialization::kMaxDepth * 5;
        EXPECT_EQ(error.userInfo.at(JSONSerialization::kErrorIndexKey).number().uint64Value(), expected);
    }
}

TEST(JSONSerializationRead, NestingUpToTheLimitIsAccepted) {
    const size_t limit = JSONSerialization::kMaxDepth;
    std::string atLimit = std::string(limit, '[') + std::string(limit, ']');
    Object value = parse(atLimit);
    ASSERT_TRUE(value.isArray());
    size_t depth = 0;
    for (const Object* v = &value; v->isArray(); v = &v->at(0))
        ++depth;
    EXPECT_EQ(depth, limit);
    // Writing the same value back is within the limit too.
    EXPECT_EQ(write(value), atLimit);

    std::string beyond = "[" + atLimit + "]";
    EXPECT_TRUE(parse(beyond).isAbsent());
}

TEST(JSONSerializationRead, InvalidUTF8IsRefused) {
    const char* patterns[] = {
        "\xff",             // never valid
        "\xc3",             // truncated two-byte sequence
        "\xc0\xaf",         // overlong "/"
        "\xe0\x80\xaf",     // overlong three-byte
        "\xed\xa0\x80",     // UTF-16 surrogate encoded directly
        "\xf4\x90\x80\x80", // above U+10FFFF
        "\x80",             // stray continuation byte
        "\xe2\x82",         // truncated euro sign
    };
    for (const char* bad : patterns) {
        SCOPED_TRACE(testing::PrintToString(std::string(bad)));
        Error error;
        EXPECT_TRUE(parse(std::string("[\"a") + bad + "b\"]", &error).isAbsent());
        EXPECT_EQ(error.code, 3840);
        EXPECT_EQ(debugText(error).rfind("Invalid UTF-8 data in string", 0), 0u) << debugText(error);
        // Outside a string the same bytes are just as unacceptable.
        Error outside;
        EXPECT_TRUE(parse(std::string("[1,") + bad + "]", &outside).isAbsent());
        EXPECT_EQ(outside.code, 3840);
        EXPECT_TRUE(parse(std::string("[1]") + bad).isAbsent());
    }
    // Well-formed multi-byte text is kept byte for byte.
    EXPECT_EQ(parse("[\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\"]").at(0).string(),
              "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
}

TEST(JSONSerializationRead, NumbersKeepTheirKinds) {
    struct Case {
        const char* text;
        Number::Type type;
    };
    const Case cases[] = {
        {"0", Number::Type::Int64},
        {"-0", Number::Type::Int64},
        {"42", Number::Type::Int64},
        {"-9223372036854775808", Number::Type::Int64},
        {"9223372036854775807", Number::Type::Int64},
        {"9223372036854775808", Number::Type::UInt64},
        {"18446744073709551615", Number::Type::UInt64},
        {"18446744073709551616", Number::Type::Double},
        {"-9223372036854775809", Number::Type::Double},
        {"123456789012345678901234567890", Number::Type::Double},
        {"1.5", Number::Type::Double},
        {"1e2", Number::Type::Double},
        {"1.0", Number::Type::Double},
        {"true", Number::Type::Bool},
        {"false", Number::Type::Bool},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Object value = parse(c.text);
        ASSERT_TRUE(value.isNumber());
        EXPECT_EQ(value.number().type(), c.type);
    }
    EXPECT_EQ(parse("-9223372036854775808").number().int64Value(), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(parse("9223372036854775807").number().int64Value(), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(parse("18446744073709551615").number().uint64Value(), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(parse("18446744073709551616").number().doubleValue(), 18446744073709551616.0);
    EXPECT_EQ(parse("1e2").number().doubleValue(), 100.0);
    EXPECT_EQ(parse("-2.5E-3").number().doubleValue(), -0.0025);
}

TEST(JSONSerializationRead, BooleansStayApartFromIntegers) {
    Object value = parse("[true, 1, false, 0]");
    ASSERT_TRUE(value.isArray());
    EXPECT_TRUE(value.at(0).number().isBool());
    EXPECT_FALSE(value.at(1).number().isBool());
    EXPECT_TRUE(value.at(2).number().isBool());
    EXPECT_FALSE(value.at(3).number().isBool());
    // Numerically equal, yet written back as what they were.
    EXPECT_EQ(write(value), "[true,1,false,0]");
}

TEST(JSONSerializationRead, ScalarsStringsNullAndDicts) {
    EXPECT_TRUE(parse("null").isNull());
    EXPECT_EQ(parse(" \"top\" ").string(), "top");
    EXPECT_EQ(parse("\"\\u00e9\\ud83d\\ude00\\n\\/\"").string(), "\xc3\xa9\xf0\x9f\x98\x80\n/");
    EXPECT_EQ(parse("\"a\\u0000b\"").string(), std::string("a\0b", 3));
    EXPECT_EQ(parse("\xef\xbb\xbf{\"bom\":1}")["bom"].number().int64Value(), 1);

    Object dict = parse("{\"k\":1,\"z\":[],\"k\":{\"x\":null},\"a\":{}}");
    ASSERT_TRUE(dict.isDict());
    EXPECT_EQ(dict.dict().size(), 3u);
    EXPECT_TRUE(dict["k"]["x"].isNull()); // the last duplicate wins
    EXPECT_TRUE(dict["z"].isArray() && dict["z"].array().empty());
    EXPECT_TRUE(dict["a"].isDict() && dict["a"].dict().empty());
}

TEST(JSONSerializationWrite, CompactOutputAndRoundTrip) {
    Object::Dict inner{{"b", Object(Object::Array{true, Object::null()})}, {"a", 1}};
    EXPECT_EQ(write(Object(inner)), "{\"a\":1,\"b\":[true,null]}");

    Object value(Object::Dict{
        {"int64 min", std::numeric_limits<int64_t>::min()},
        {"int64 max", std::numeric_limits<int64_t>::max()},
        {"uint64 max", std::numeric_limits<uint64_t>::max()},
        {"double", 0.1},
        {"big double", 1e300},
        {"text", "quote \" backslash \\ slash / tab \t nl \n \x01 \x1f del \x7f \xc3\xa9"},
        {"empty", Object(Object::Dict{})},
        {"list", Object(Object::Array{Object::null(), false, "x", Object(Object::Array{})})},
    });
    std::string bytes = write(value);
    EXPECT_NE(bytes.find("\"int64 min\":-9223372036854775808"), std::string::npos);
    EXPECT_NE(bytes.find("\"uint64 max\":18446744073709551615"), std::string::npos);
    EXPECT_NE(bytes.find("\"double\":0.1,"), std::string::npos);
    EXPECT_NE(bytes.find(
                  "\"quote \\\" backslash \\\\ slash \\/ tab \\t nl \\n \\u0001 \\u001f del \x7f \xc3\xa9\""),
              std::string::npos)
        << bytes;

    Object back = parse(bytes);
    EXPECT_EQ(back, value) << bytes;
    EXPECT_EQ(back["int64 min"].number().type(), Number::Type::Int64);
    EXPECT_EQ(back["uint64 max"].number().type(), Number::Type::UInt64);
    EXPECT_EQ(back["text"].string(), value["text"].string());
    EXPECT_EQ(write(back), bytes);

    // Floats are written in their own shortest form, not the double's; zero keeps its sign.
    EXPECT_EQ(write(Object(Object::Array{0.1f, -0.0, 1e21, 5e-324})), "[0.1,-0,1e+21,5e-324]");
}

TEST(JSONSerializationWrite, PrettyPrintingAndOptions) {
    Object value(Object::Dict{{"b", Object(Object::Array{1, Object(Object::Dict{{"c", "d"}})})},
                              {"a", Object(Object::Array{})},
                              {"e", Object(Object::Dict{})}});
    EXPECT_EQ(write(value, JSONSerialization::PrettyPrinted), "{\n"
                                                              "  \"a\" : [],\n"
                                                              "  \"b\" : [\n"
                                                              "    1,\n"
                                                              "    {\n"
                                                              "      \"c\" : \"d\"\n"
                                                              "    }\n"
                                                              "  ],\n"
                                                              "  \"e\" : {}\n"
                                                              "}");
    Object url(Object::Array{"https://example.org/a"});
    EXPECT_EQ(write(url), "[\"https:\\/\\/example.org\\/a\"]");
    EXPECT_EQ(write(url, JSONSerialization::WithoutEscapingSlashes), "[\"https://example.org/a\"]");
}

TEST(JSONSerializationWrite, UnwritableValuesAreRefused) {
    struct Case {
        const char* name;
        Object value;
        unsigned options;
    };
    const Case cases[] = {
        {"top-level string", Object("x"), 0},
        {"top-level null", Object::null(), 0},
        {"absent", Object(), JSONSerialization::FragmentsAllowedWriting},
        {"NaN", Object(Object::Array{std::nan("")}), 0},
        {"infinity", Object(Object::Array{std::numeric_limits<double>::infinity()}), 0},
        {"negative infinity float", Object(Object::Dict{{"f", -std::numeric_limits<float>::infinity()}}), 0},
        {"date", Object(Object::Array{Object(plat::Date{1})}), 0},
        {"data", Object(Object::Array{Object(plat::toData("x"))}), 0},
        {"absent element", Object(Object::Array{Object()}), 0},
        {"invalid UTF-8 text", Object(Object::Array{"\xff"}), 0},
        {"invalid UTF-8 key", Object(Object::Dict{{"\xc3", 1}}), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(JSONSerialization::isValidJSONObject(c.value, c.options));
        Error error;
        EXPECT_FALSE(JSONSerialization::data(c.value, c.options, &error).has_value());
        EXPECT_EQ(error.domain, "NSCocoaErrorDomain");
        EXPECT_EQ(error.code, 3852);
        EXPECT_FALSE(debugText(error).empty());
    }
    EXPECT_TRUE(
        JSONSerialization::isValidJSONObject(Object("x"), JSONSerialization::FragmentsAllowedWriting));
    EXPECT_EQ(write(Object(2.5), JSONSerialization::FragmentsAllowedWriting), "2.5");
    EXPECT_EQ(write(Object::null(), JSONSerialization::FragmentsAllowedWriting), "null");
}

TEST(JSONSerializationWrite, DeepValuesAreRefusedNotOverflowed) {
    Object value(Object::Array{});
    for (int i = 0; i < 100000; ++i)
        value = Object(Object::Array{std::move(value)});
    EXPECT_FALSE(JSONSerialization::isValidJSONObject(value));
    Error error;
    EXPECT_FALSE(JSONSerialization::data(value, 0, &error).has_value());
    EXPECT_EQ(error.code, 3852);
    // Unwind the chain iteratively so the test's own teardown does not recurse 100,000 deep.
    while (value.isArray() && !value.array().empty()) {
        Object inner = value.at(0);
        value = std::move(inner);
    }
}
