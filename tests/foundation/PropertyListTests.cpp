#include "platform/foundation/PropertyList.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace plat;

namespace {

Object sample() {
    return Object(Object::Dict{
        {"bool", Object(false)},
        {"int", Object(int64_t{-9000000000})},
        {"u32", Object(uint32_t{4294967295u})},
        {"float", Object(1.5f)},
        {"double", Object(-2.25e-10)},
        {"text", Object("línea\n\t\"quoted\" <tag> & \x01")},
        {"empty", Object("")},
        {"data", Object(Data{0, 0x80, 0xff})},
        {"date", Object(Date::fromReferenceDate(-123456.5))},
        {"array", Object(Object::Array{Object(Object::Dict{}), Object(Object::Array{}), Object(true)})},
    });
}

} // namespace

TEST(PropertyList, RoundTripKeepsKindsInBothFormats) {
    for (bool binary : {true, false}) {
        SCOPED_TRACE(binary ? "binary" : "xml");
        auto bytes = binary ? PropertyList::toBinary(sample()) : PropertyList::toXML(sample());
        ASSERT_TRUE(bytes);
        Error error;
        Object back = PropertyList::fromBytes(*bytes, &error);
        ASSERT_TRUE(back.isDict()) << error.localizedDescription();
        // XML dates carry whole seconds only; everything else must match exactly.
        Object::Dict expected = sample().dict();
        if (!binary) expected["date"] = Object(Date::fromReferenceDate(-123456));
        EXPECT_EQ(back, Object(expected)) << back.debugDescription();
        EXPECT_TRUE(back["bool"].number().isBool());
        EXPECT_TRUE(back["int"].number().isInteger());
        EXPECT_FALSE(back["int"].number().isBool());
        EXPECT_TRUE(back["float"].number().isFloatingPoint());
    }
}

TEST(PropertyList, KeyedArchiveReferencesSurviveAsUIDs) {
    Object archive(Object::Dict{
        {"$top", Object(Object::Dict{{"root", Object(Object::Dict{{"CF$UID", Object(uint64_t{1})}})}})}});
    auto bytes = PropertyList::toBinary(archive);
    ASSERT_TRUE(bytes);
    Object back = PropertyList::fromBytes(*bytes);
    EXPECT_EQ(back["$top"]["root"]["CF$UID"], Object(1));

    // References outside 0...INT64_MAX cannot be stored; they are refused rather than written as
    // reference 0 (negative) or read back negative (above INT64_MAX).
    for (Object ref : {Object(int64_t{-5}), Object(uint64_t{1} << 63)}) {
        Object archive(Object::Dict{{"ref", Object(Object::Dict{{"CF$UID", ref}})}});
        for (auto write : {PropertyList::toBinary, PropertyList::toXML}) {
            Error error;
            EXPECT_FALSE(write(archive, &error));
            EXPECT_EQ(error.code, PropertyList::kWriteInvalidError);
        }
        EXPECT_FALSE(PropertyList::isValid(archive));
    }
}

TEST(PropertyList, BadInputGivesReadCorruptError) {
    auto good = *PropertyList::toBinary(sample());
    std::string deep;
    for (int i = 0; i < 5000; ++i)
        deep += "<array>";
    const std::string cases[] = {
        "",
        "plain words",
        good.substr(0, good.size() - 12),
        good.substr(0, 8),
        "<?xml version=\"1.0\"?><plist><dict><key>a</key>",
        "<plist version=\"1.0\">" + deep,
    };
    for (const auto& bytes : cases) {
        Error error;
        Object result = PropertyList::fromBytes(bytes, &error);
        EXPECT_TRUE(result.isAbsent()) << bytes.substr(0, 40);
        EXPECT_EQ(error.domain, PropertyList::kErrorDomain);
        EXPECT_EQ(error.code, PropertyList::kReadCorruptError);
    }
}

TEST(PropertyList, UnencodableValuesAreRefused) {
    Object deep(Object::Array{});
    for (int i = 0; i < PropertyList::kMaxDepth + 5; ++i)
        deep = Object(Object::Array{deep});
    const Object cases[] = {
        Object(),
        Object::null(),
        Object(Object::Dict{{"k", Object(Object::Array{Object::null()})}}),
        Object(Opaque::make(std::make_shared<const int>(1), "int")),
        Object(uint64_t{9223372036854775808u}),
        Object(std::string("a\0b", 3)),
        Object(Date{NAN}),
        deep,
    };
    for (const auto& value : cases) {
        Error error;
        std::string reason;
        EXPECT_FALSE(PropertyList::isValid(value, &reason));
        EXPECT_FALSE(reason.empty());
        EXPECT_FALSE(PropertyList::toXML(value, &error).has_value());
        EXPECT_EQ(error.code, PropertyList::kWriteInvalidError);
    }
    EXPECT_TRUE(PropertyList::isValid(Object(uint64_t{9223372036854775807u})));
}
