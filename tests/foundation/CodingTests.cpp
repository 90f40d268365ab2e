#include "platform/foundation/Coding.h"
#include "platform/foundation/JSONSerialization.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using plat::DecodingError;
using plat::Object;

namespace {

struct Location {
    float latitude = 0;
    float longitude = 0;

    static Location decode(plat::Decoder& decoder) {
        plat::KeyedDecodingContainer c = decoder.container();
        return Location{c.decode<float>("latitude"), c.decode<float>("longitude")};
    }
    void encode(plat::Encoder& encoder) const {
        plat::KeyedEncodingContainer c = encoder.container();
        c.encode(latitude, "latitude");
        c.encode(longitude, "longitude");
    }
    bool operator==(const Location&) const = default;
};

struct Region {
    int64_t id = 0;
    bool is_nearest = false;
    std::string country_name;
    std::optional<int64_t> distance;
    Location location;

    static Region decode(plat::Decoder& decoder) {
        plat::KeyedDecodingContainer c = decoder.container();
        Region r;
        r.id = c.decode<int64_t>("id");
        r.is_nearest = c.decode<bool>("is_nearest");
        r.country_name = c.decode<std::string>("country_name");
        r.distance = c.decodeIfPresent<int64_t>("distance");
        r.location = c.decode<Location>("location");
        return r;
    }
    void encode(plat::Encoder& encoder) const {
        plat::KeyedEncodingContainer c = encoder.container();
        c.encode(id, "id");
        c.encode(is_nearest, "is_nearest");
        c.encode(country_name, "country_name");
        c.encodeIfPresent(distance, "distance");
        c.encode(location, "location");
    }
    bool operator==(const Region&) const = default;
};

template <typename T> T fromJSON(std::string_view text) {
    return plat::JSONDecoder().decode<T>(text);
}

// Runs `decode` and returns the error it throws.
template <typename F> DecodingError decodingError(F&& decode) {
    try {
        decode();
    } catch (const DecodingError& e) {
        return e;
    }
    ADD_FAILURE() << "no DecodingError";
    return DecodingError::dataCorrupted({});
}

} // namespace

TEST(Coding, RecordsRoundTripThroughJSON) {
    const char* text = R"([{"id":7,"is_nearest":true,"country_name":"Norway","distance":120,
                           "location":{"latitude":59.9,"longitude":10.75},"extra":"ignored"},
                          {"id":8,"is_nearest":false,"country_name":"Chile","distance":null,
                           "location":{"latitude":-33.4,"longitude":-70.6}}])";
    std::vector<Region> regions = fromJSON<std::vector<Region>>(text);
    ASSERT_EQ(regions.size(), 2u);
    EXPECT_EQ(regions[0].id, 7);
    EXPECT_TRUE(regions[0].is_nearest);
    EXPECT_EQ(regions[0].distance, 120);
    EXPECT_FLOAT_EQ(regions[0].location.latitude, 59.9f);
    EXPECT_FALSE(regions[1].distance);
    EXPECT_EQ(regions[1].country_name, "Chile");

    plat::Data bytes = plat::JSONEncoder().encode(regions);
    EXPECT_EQ(plat::toString(bytes).find("distance\":null"), std::string::npos)
        << "absent optional was written";
    EXPECT_EQ(plat::JSONDecoder().decode<std::vector<Region>>(bytes), regions);
    EXPECT_EQ(plat::ObjectDecoder().decode<std::vector<Region>>(plat::ObjectEncoder().encode(regions)),
              regions);
}

TEST(Coding, DecodingErrorsNameTheCaseAndPath) {
    const char* valid =
        R"({"id":1,"is_nearest":false,"country_name":"x","location":{"latitude":1,"longitude":2}})";
    (void)fromJSON<Region>(valid);
    struct Case {
        const char* name;
        const char* text;
        DecodingError::Case kind;
        std::string path;
    };
    const Case cases[] = {
        {"missing key", R"({"id":1})", DecodingError::Case::keyNotFound, ""},
        {"null id", R"({"id":null})", DecodingError::Case::valueNotFound, "id"},
        {"string id", R"({"id":"1"})", DecodingError::Case::typeMismatch, "id"},
        {"bool as int", R"({"id":true})", DecodingError::Case::typeMismatch, "id"},
        {"fraction as int", R"({"id":1.5})", DecodingError::Case::dataCorrupted, "id"},
        {"int as bool", R"({"id":1,"is_nearest":1})", DecodingError::Case::typeMismatch, "is_nearest"},
        {"nested missing", R"({"id":1,"is_nearest":true,"country_name":"x","location":{"latitude":1}})",
         DecodingError::Case::keyNotFound, "location"},
        {"nested wrong kind", R"({"id":1,"is_nearest":true,"country_name":"x","location":[1]})",
         DecodingError::Case::typeMismatch, "location"},
        {"top-level array", "[]", DecodingError::Case::typeMismatch, ""},
        {"top-level null", "null", DecodingError::Case::valueNotFound, ""},
        {"not json", "{\"id\":", DecodingError::Case::dataCorrupted, ""},
        {"invalid utf-8", "\"\xff\"", DecodingError::Case::dataCorrupted, ""},
    };
    for (const Case& c : cases) {
        DecodingError e = decodingError([&] { (void)fromJSON<Region>(c.text); });
        EXPECT_EQ(e.kind(), c.kind) << c.name << ": " << e.what();
        EXPECT_EQ(plat::describeCodingPath(e.context().codingPath), c.path) << c.name;
        EXPECT_FALSE(e.context().debugDescription.empty()) << c.name;
    }
    DecodingError missing = decodingError([] { (void)fromJSON<Region>(R"({"id":1})"); });
    ASSERT_TRUE(missing.key());
    EXPECT_EQ(missing.key()->stringValue, "is_nearest");
    DecodingError corrupt = decodingError([] { (void)fromJSON<int>("{"); });
    ASSERT_TRUE(corrupt.context().underlyingError);
    EXPECT_EQ(corrupt.context().underlyingError->code, plat::JSONSerialization::kParseErrorCode);
    DecodingError inArray = decodingError([] { (void)fromJSON<std::vector<int64_t>>("[1,2,\"x\"]"); });
    EXPECT_EQ(plat::describeCodingPath(inArray.context().codingPath), "Index 2");
}

TEST(Coding, NumbersMustFitExactly) {
    EXPECT_EQ(fromJSON<int8_t>("-128"), -128);
    EXPECT_EQ(fromJSON<uint64_t>("18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(fromJSON<int64_t>("2.0"), 2);
    EXPECT_EQ(fromJSON<double>("7"), 7.0);
    EXPECT_EQ(fromJSON<uint8_t>("255"), 255);
    for (auto decode : std::initializer_list<void (*)()>{
             [] { (void)fromJSON<int8_t>("128"); },
             [] { (void)fromJSON<uint8_t>("-1"); },
             [] { (void)fromJSON<int64_t>("18446744073709551615"); },
             [] { (void)fromJSON<int64_t>("9223372036854775808.0"); },
             [] { (void)fromJSON<uint64_t>("-0.5"); },
             [] { (void)fromJSON<int32_t>("1e10"); },
             [] { (void)fromJSON<float>("1e300"); },
         }) {
        EXPECT_EQ(decodingError(decode).kind(), DecodingError::Case::dataCorrupted);
    }
}

TEST(Coding, ContainersAndOptionals) {
    auto map = fromJSON<std::map<std::string, std::vector<std::optional<int>>>>(R"({"a":[1,null],"b":[]})");
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map["a"], (std::vector<std::optional<int>>{1, std::nullopt}));
    EXPECT_EQ(plat::toString(plat::JSONEncoder().encode(map)), R"({"a":[1,null],"b":[]})");

    auto c = plat::ObjectDecoder().decode<Object>(Object(plat::Array{Object(1), Object::null(), Object(2)}));
    plat::UnkeyedDecodingContainer list(c, {});
    EXPECT_EQ(list.count(), 3u);
    EXPECT_EQ(list.decode<int>(), 1);
    EXPECT_FALSE(list.decodeIfPresent<int>());
    EXPECT_EQ(list.decode<int>(), 2);
    EXPECT_TRUE(list.isAtEnd());
    EXPECT_FALSE(list.decodeIfPresent<int>());
    EXPECT_EQ(decodingError([&] { (void)list.decode<int>(); }).kind(), DecodingError::Case::valueNotFound);
}

TEST(Coding, EncodingErrors) {
    EXPECT_THROW(plat::JSONEncoder().encode(std::numeric_limits<double>::quiet_NaN()), plat::EncodingError);
    try {
        plat::JSONEncoder().encode(
            std::vector<Location>{{1, 2}, {std::numeric_limits<float>::infinity(), 0}});
        FAIL() << "infinity encoded";
    } catch (const plat::EncodingError& e) {
        EXPECT_EQ(plat::describeCodingPath(e.context().codingPath), "Index 1.latitude");
    }
    // The object encoder keeps non-finite numbers; only JSON refuses them.
    EXPECT_TRUE(std::isnan(plat::ObjectEncoder().encode(std::nan("")).number().doubleValue()));

    struct Twice {
        void encode(plat::Encoder& encoder) const {
            plat::SingleValueEncodingContainer c = encoder.singleValueContainer();
            c.encode(1);
            c.encode(2);
        }
    };
    EXPECT_THROW(plat::ObjectEncoder().encode(Twice{}), plat::EncodingError);
    struct Mixed {
        void encode(plat::Encoder& encoder) const {
            encoder.container().encode(1, "a");
            encoder.unkeyedContainer();
        }
    };
    EXPECT_THROW(plat::ObjectEncoder().encode(Mixed{}), plat::EncodingError);
    struct Nothing {
        void encode(plat::Encoder&) const {}
    };
    EXPECT_THROW(plat::ObjectEncoder().encode(Nothing{}), plat::EncodingError);
}

TEST(Coding, NestedContainersByHand) {
    struct Shape {
        void encode(plat::Encoder& encoder) const {
            plat::KeyedEncodingContainer top = encoder.container();
            plat::UnkeyedEncodingContainer list = top.nestedUnkeyedContainer("list");
            list.encode("a");
            list.encodeNil();
            list.nestedContainer().encode(true, "flag");
            top.nestedContainer("inner").encode(int8_t(-1), "n");
            top.encodeNil("none");
        }
    };
    Object encoded = plat::ObjectEncoder().encode(Shape{});
    EXPECT_EQ(plat::toString(plat::JSONEncoder().encode(encoded)),
              R"({"inner":{"n":-1},"list":["a",null,{"flag":true}],"none":null})");
    plat::KeyedDecodingContainer top(encoded, {});
    EXPECT_TRUE(top.decodeNil("none"));
    EXPECT_TRUE(top.contains("list"));
    EXPECT_FALSE(top.contains("missing"));
    plat::UnkeyedDecodingContainer list = top.nestedUnkeyedContainer("list");
    EXPECT_EQ(list.decode<std::string>(), "a");
    EXPECT_TRUE(list.decodeNil());
    EXPECT_TRUE(list.nestedContainer().decode<bool>("flag"));
    EXPECT_EQ(top.nestedContainer("inner").decode<int8_t>("n"), -1);
    EXPECT_EQ(top.allKeys(), (std::vector<std::string>{"inner", "list", "none"}));
}
