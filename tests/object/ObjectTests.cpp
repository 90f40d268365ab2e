#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using plat::Number;
using plat::Object;

TEST(Number, BooleanTypeCodeDiffersFromIntegerOneAndZero) {
    EXPECT_STRNE(Number(true).typeCode(), Number(int32_t(1)).typeCode());
    EXPECT_STRNE(Number(false).typeCode(), Number(int64_t(0)).typeCode());
    EXPECT_STRNE(Number(true).typeCode(), Number(int8_t(1)).typeCode());
    EXPECT_TRUE(Number(true).isBool());
    EXPECT_FALSE(Number(1.0).isBool());
    // Values still compare equal across types.
    EXPECT_EQ(Number(true).compare(Number(int32_t(1))), 0);
}

TEST(Number, ConversionsSaturateAndMapNaNToZero) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        Number n;
        int64_t i64;
        int8_t i8;
        uint64_t u64;
        uint8_t u8;
    };
    const Case cases[] = {
        {Number(nan), 0, 0, 0, 0},
        {Number(inf), INT64_MAX, INT8_MAX, UINT64_MAX, UINT8_MAX},
        {Number(-inf), INT64_MIN, INT8_MIN, 0, 0},
        {Number(1e30), INT64_MAX, INT8_MAX, UINT64_MAX, UINT8_MAX},
        {Number(-3.9), -3, -3, 0, 0},
        {Number(300), 300, INT8_MAX, 300, UINT8_MAX},
        {Number(UINT64_MAX), INT64_MAX, INT8_MAX, UINT64_MAX, UINT8_MAX},
        {Number(int64_t(-1)), -1, -1, 0, 0},
        {Number(true), 1, 1, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n.stringValue());
        EXPECT_EQ(c.n.int64Value(), c.i64);
        EXPECT_EQ(c.n.int8Value(), c.i8);
        EXPECT_EQ(c.n.uint64Value(), c.u64);
        EXPECT_EQ(c.n.uint8Value(), c.u8);
    }
}

TEST(Number, CompareIsExactAcrossSignednessAndFloatingPoint) {
    EXPECT_GT(Number(uint64_t(1) << 63).compare(Number(INT64_MAX)), 0);
    EXPECT_LT(Number(int64_t(-1)).compare(Number(UINT64_MAX)), 0);
    EXPECT_GT(Number(int64_t((1LL << 53) + 1)).compare(Number(9007199254740992.0)), 0);
    EXPECT_EQ(Number(int64_t(1LL << 53)).compare(Number(9007199254740992.0)), 0);
    EXPECT_LT(Number(0.5).compare(Number(1)), 0);
    EXPECT_EQ(Number(INT64_MIN).compare(Number(-9223372036854775808.0)), 0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_LT(Number(nan).compare(Number(INT64_MIN)), 0);
    EXPECT_EQ(Number(nan).compare(Number(nan)), 0);
}

TEST(Number, StringValueIsShortestRoundTrip) {
    EXPECT_EQ(Number(0.1).stringValue(), "0.1");
    EXPECT_EQ(Number(1.0).stringValue(), "1");
    EXPECT_EQ(Number(0.1f).stringValue(), "0.1");
    EXPECT_EQ(Number(true).stringValue(), "1");
    EXPECT_EQ(Number(UINT64_MAX).stringValue(), "18446744073709551615");
    EXPECT_EQ(Number(INT64_MIN).stringValue(), "-9223372036854775808");
}

TEST(Number, DecimalFromText) {
    EXPECT_EQ(Number::decimal("12.50")->doubleValue(), 12.5);
    EXPECT_EQ(Number::decimal("-3e2")->doubleValue(), -300);
    EXPECT_EQ(Number::decimal("+7")->doubleValue(), 7);
    EXPECT_EQ(Number::decimal("12.50")->type(), Number::Type::Decimal);
    EXPECT_FALSE(Number::decimal("abc"));
    EXPECT_FALSE(Number::decimal(""));
    EXPECT_FALSE(Number::decimal("-"));
    EXPECT_TRUE(std::isinf(Number::decimal("1e999")->doubleValue()));
}

TEST(Object, KindsAndWrongKindReadsAreEmpty) {
    Object s("text");
    EXPECT_TRUE(s.isString());
    EXPECT_EQ(s.string(), "text");
    EXPECT_TRUE(s.array().empty());
    EXPECT_EQ(s.asDict(), nullptr);
    EXPECT_TRUE(Object().isAbsent());
    EXPECT_TRUE(Object::null().isNull());
    EXPECT_TRUE(Object(true).number().isBool());
    EXPECT_EQ(Object(int16_t(5)).number().type(), Number::Type::Int16);
    EXPECT_EQ(Object(5u).number().type(), Number::Type::UInt32);
    // A string literal never turns into a boolean.
    EXPECT_TRUE(Object("false").isString());
    EXPECT_TRUE(Object(Object::Dict{{"a", 1}})["missing"].isAbsent());
    EXPECT_TRUE(Object(Object::Array{1}).at(3).isAbsent());
}

TEST(Object, CopiesAreIndependent) {
    Object a(Object::Dict{{"k", Object("v")}});
    Object b = a;
    b.mutableDict()["k"] = Object("changed");
    b.mutableDict()["new"] = Object(1);
    EXPECT_EQ(a["k"].string(), "v");
    EXPECT_EQ(a.dict().size(), 1u);
    EXPECT_EQ(b["k"].string(), "changed");

    Object arr(Object::Array{1, 2});
    Object arr2 = arr;
    arr2.mutableArray().push_back(3);
    EXPECT_EQ(arr.array().size(), 2u);
    EXPECT_EQ(arr2.array().size(), 3u);
}

TEST(Object, EqualityIsStructural) {
    Object a(Object::Dict{{"x", Object(Object::Array{1, "two", Object::null()})}});
    Object b(Object::Dict{{"x", Object(Object::Array{1.0, "two", Object::null()})}});
    EXPECT_EQ(a, b);
    EXPECT_NE(a, Object(Object::Dict{{"x", Object(Object::Array{1})}}));
    EXPECT_NE(Object(), Object::null());
    EXPECT_NE(Object("1"), Object(1));
    auto p = std::make_shared<const int>(3);
    EXPECT_EQ(Object(plat::Opaque::make<int>(p, "int")), Object(plat::Opaque::make<int>(p, "int")));
    EXPECT_EQ(*Object(plat::Opaque::make<int>(p, "int")).opaque().as<int>(), 3);
    EXPECT_EQ(Object(plat::Opaque::make<int>(p, "int")).opaque().as<double>(), nullptr);
}

TEST(Error, LocalizedDescriptionFallsBackToGenericSentence) {
    EXPECT_EQ(plat::Error::withMessage("d", 1, "Broken").localizedDescription(), "Broken");
    EXPECT_EQ(plat::Error("io.velmora.json", 500).localizedDescription(),
              "The operation couldn\u2019t be completed. (io.velmora.json error 500.)");
}

TEST(Date, ReferenceDateConversion) {
    EXPECT_DOUBLE_EQ(plat::Date::fromReferenceDate(0).secondsSince1970, 978307200.0);
    EXPECT_DOUBLE_EQ(plat::Date{978307260.0}.timeIntervalSinceReferenceDate(), 60.0);
}
