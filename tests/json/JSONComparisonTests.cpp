#include "json/JSON.h"

#include <gtest/gtest.h>

using plat::Object;

namespace {

struct Outcome {
    bool eq, lt, le, gt, ge;
    bool operator==(const Outcome&) const = default;
};

Outcome compare(const JSON& a, const JSON& b) {
    return {a == b, a<b, a <= b, a> b, a >= b};
}

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "== " << o.eq << " < " << o.lt << " <= " << o.le << " > " << o.gt << " >= " << o.ge;
}

} // namespace

TEST(JSONComparison, AllFiveOperators) {
    const Outcome none{false, false, false, false, false};
    const Outcome same{true, false, true, false, true};
    const Outcome less{false, true, true, false, false};
    const Outcome greater{false, false, false, true, true};
    const JSON unknown(Object(plat::Date{}));
    struct Case {
        const char* name;
        JSON a, b;
        Outcome expected;
    };
    const Case cases[] = {
        {"number vs bool", JSON(1), JSON(true), none},
        {"number vs text", JSON(0), JSON("0"), none},
        {"int vs double", JSON(1), JSON(1.0), same},
        {"int below double", JSON(1), JSON(1.5), less},
        {"uint above int", JSON(UINT64_MAX), JSON(INT64_MAX), greater},
        {"a vs b", JSON("a"), JSON("b"), less},
        {"text vs itself", JSON("a"), JSON("a"), same},
        {"composed vs decomposed", JSON("\xc3\xa9"), JSON("e\xcc\x81"), same},
        {"accent orders after z", JSON("\xc3\xa9"), JSON("z"), greater},
        {"true vs true", JSON(true), JSON(true), same},
        {"true vs false", JSON(true), JSON(false), none},
        {"lists in order", JSON::parseJSON("[1,2]"), JSON::parseJSON("[1,2]"), same},
        {"lists reordered", JSON::parseJSON("[1,2]"), JSON::parseJSON("[2,1]"), none},
        {"lists int vs double", JSON::parseJSON("[1]"), JSON::parseJSON("[1.0]"), same},
        {"maps equal", JSON::parseJSON(R"({"a":{"b":1}})"), JSON::parseJSON(R"({"a":{"b":1}})"), same},
        {"maps differ", JSON::parseJSON(R"({"a":1})"), JSON::parseJSON(R"({"a":2})"), none},
        {"nulls", JSON::null(), JSON(nullptr), same},
        {"unknown vs itself", unknown, unknown, none},
    };
    for (const Case& c : cases)
        EXPECT_EQ(compare(c.a, c.b), c.expected) << c.name;
}

TEST(JSONLiterals, KindsAndRepeatedKeys) {
    EXPECT_EQ(JSON(1).type(), JSON::Type::number);
    EXPECT_EQ(JSON(true).type(), JSON::Type::bool_);
    EXPECT_EQ(JSON(2.5).type(), JSON::Type::number);
    EXPECT_EQ(JSON("s").type(), JSON::Type::string);
    JSON list = JSON::arrayLiteral({1, "a", true, nullptr, JSON::arrayLiteral({2})});
    EXPECT_EQ(list.count(), 5u);
    EXPECT_EQ((list[{4, 0}].intValue()), 2);
    EXPECT_EQ(list[2].type(), JSON::Type::bool_);
    JSON map = JSON::dictionaryLiteral({{"a", 1}, {"b", "x"}, {"a", 2}});
    EXPECT_EQ(map.type(), JSON::Type::dictionary);
    EXPECT_EQ(map["a"].intValue(), 2);
    EXPECT_EQ(map.count(), 2u);
}
