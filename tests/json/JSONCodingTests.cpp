#include "json/JSON.h"

#include "platform/foundation/Coding.h"

#include <gtest/gtest.h>

using plat::Object;
using T = JSON::Type;

namespace {

JSON decodeText(std::string_view text) {
    return plat::JSONDecoder().decode<JSON>(text);
}
std::string encodeText(const JSON& value) {
    return plat::toString(plat::JSONEncoder().encode(value));
}

// A decoder that cannot give any container.
class BrokenDecoder : public plat::Decoder {
public:
    const plat::CodingPath& codingPath() const override { return path_; }
    plat::KeyedDecodingContainer container() override { throw fail(); }
    plat::UnkeyedDecodingContainer unkeyedContainer() override { throw fail(); }
    plat::SingleValueDecodingContainer singleValueContainer() override { throw fail(); }

private:
    plat::DecodingError fail() const { return plat::DecodingError::dataCorrupted({path_, "broken", {}}); }
    plat::CodingPath path_;
};

} // namespace

TEST(JSONCoding, DecodingKeepsKindsAndNeverFails) {
    EXPECT_EQ(decodeText("true").type(), T::bool_);
    EXPECT_EQ(decodeText("null").type(), T::null);
    EXPECT_FALSE(decodeText("null").error());
    JSON big = decodeText("18446744073709551615");
    EXPECT_EQ(big.type(), T::number);
    EXPECT_EQ(big.uInt64(), UINT64_MAX);
    EXPECT_EQ(decodeText("-5").intValue(), -5);
    EXPECT_EQ(decodeText("2.5").doubleValue(), 2.5);
    JSON doc = decodeText(R"({"a":[1,"x",false,null,{"b":2}]})");
    EXPECT_EQ((doc[{"a", 2}].type()), T::bool_);
    EXPECT_EQ((doc[{"a", 3}].type()), T::null);
    EXPECT_EQ((doc[{"a", 4, "b"}].intValue()), 2);
    EXPECT_EQ(doc, JSON::parseJSON(R"({"a":[1,"x",false,null,{"b":2}]})"));

    BrokenDecoder broken;
    JSON none = JSON::decode(broken);
    EXPECT_EQ(none.type(), T::null);
    EXPECT_FALSE(none.error());
    // A value no attempt accepts becomes null as well.
    EXPECT_EQ(plat::ObjectDecoder().decode<JSON>(Object(plat::Date{})).type(), T::null);
}

TEST(JSONCoding, EncodingPicksTheExactType) {
    struct Case {
        JSON value;
        const char* text;
    };
    const Case cases[] = {
        {JSON(2.0), "2"},
        {JSON(2.5), "2.5"},
        {JSON(-3), "-3"},
        {JSON(UINT64_MAX), "18446744073709551615"},
        {JSON(1e19), "10000000000000000000"},
        {JSON(1e20), "1e+20"},
        {JSON(true), "true"},
        {JSON("s"), "\"s\""},
        {JSON::null(), "null"},
        {JSON(Object(plat::Date{})), "null"},
        {JSON(plat::Array{Object(1), Object(plat::Date{})}), "[1,null]"},
        {JSON::parseJSON(R"({"a":{"b":[true]}})"), R"({"a":{"b":[true]}})"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(encodeText(c.value), c.text) << c.text;
    Object encoded = plat::ObjectEncoder().encode(JSON(2.0));
    ASSERT_TRUE(encoded.isNumber());
    EXPECT_TRUE(encoded.number().isInteger());
}

TEST(JSONCoding, EncoderErrorsPassThrough) {
    EXPECT_THROW(encodeText(JSON(std::numeric_limits<double>::quiet_NaN())), plat::EncodingError);
    EXPECT_THROW(encodeText(JSON(plat::Array{Object(std::numeric_limits<double>::infinity())})),
                 plat::EncodingError);
}

TEST(JSONCoding, RoundTripKeepsKindsExceptUnknown) {
    JSON original(plat::Dict{{"n", Object(3.0)},
                             {"b", Object(false)},
                             {"s", Object("t")},
                             {"u", Object(plat::Date{})},
                             {"l", Object(plat::Array{Object(1), Object::null()})}});
    JSON back = decodeText(encodeText(original));
    EXPECT_EQ(back["b"].type(), T::bool_);
    EXPECT_EQ(back["s"].type(), T::string);
    EXPECT_EQ(back["u"].type(), T::null);
    EXPECT_EQ(back["n"].type(), T::number);
    EXPECT_TRUE(back["n"].rawValue().number().isInteger());
    EXPECT_EQ(back["l"], original["l"]);
    // Containers of JSON code themselves element by element.
    std::vector<JSON> list =
        plat::JSONDecoder().decode<std::vector<JSON>>(std::string_view(R"([1,"a",null])"));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2].type(), T::null);
    EXPECT_EQ(plat::toString(plat::JSONEncoder().encode(list)), R"([1,"a",null])");
}

TEST(JSONCoding, DeepDocumentsDecodeAndEncode) {
    std::string deep = std::string(500, '[') + "true" + std::string(500, ']');
    JSON value = decodeText(deep);
    EXPECT_EQ(value, JSON::parseJSON(deep));
    EXPECT_EQ(encodeText(value), deep);
}
