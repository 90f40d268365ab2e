#include "json/JSON.h"

#include <gtest/gtest.h>

#include <vector>

using plat::Object;
using T = JSON::Type;
using Path = std::vector<JSONSubscriptType>;

TEST(JSONSubscripts, PathLookupsKeepTheFirstError) {
    const JSON doc = JSON::parseJSON(R"({"a":{"b":[10,20]},"n":null})");
    struct Case {
        const char* name;
        Path path;
        T type;
        std::optional<JSONError> error;
    };
    const Case cases[] = {
        {"a b 1", {"a", "b", 1}, T::number, std::nullopt},
        {"a b 2", {"a", "b", 2}, T::null, JSONError::indexOutOfBounds},
        {"a b -1", {"a", "b", -1}, T::null, JSONError::indexOutOfBounds},
        {"a c", {"a", "c"}, T::null, JSONError::notExist},
        {"a c 0", {"a", "c", 0}, T::null, JSONError::notExist},
        {"a b 1 x", {"a", "b", 1, "x"}, T::null, JSONError::wrongType},
        {"a b 9 x 0", {"a", "b", 9, "x", 0}, T::null, JSONError::indexOutOfBounds},
        {"empty", {}, T::dictionary, std::nullopt},
        {"n", {"n"}, T::null, std::nullopt},
        {"n 0", {"n", 0}, T::null, JSONError::wrongType},
        {"key on array", {"a", "b", "0"}, T::null, JSONError::wrongType},
        {"huge unsigned", {"a", "b", uint64_t(-1)}, T::null, JSONError::indexOutOfBounds},
        {"case differs", {"A"}, T::null, JSONError::notExist},
    };
    for (const Case& c : cases) {
        JSON found = doc[c.path];
        EXPECT_EQ(found.type(), c.type) << c.name;
        EXPECT_EQ(found.error(), c.error) << c.name;
        EXPECT_EQ(found.exists(), !c.error) << c.name;
    }
    EXPECT_EQ((doc[{"a", "b", 1}].intValue()), 20);
    EXPECT_EQ(doc["a"]["b"][1].intValue(), 20);
    EXPECT_EQ(doc["a"]["c"][0].error(), JSONError::notExist);
}

TEST(JSONSubscripts, StepsIntoScalarsAndUnknown) {
    const JSON unknown(Object(plat::Date{}));
    for (const JSON& scalar : {JSON("s"), JSON(1), JSON(true), JSON::null()}) {
        EXPECT_EQ(scalar[0].error(), JSONError::wrongType);
        EXPECT_EQ(scalar["k"].error(), JSONError::wrongType);
        EXPECT_EQ(scalar[0].type(), T::null);
    }
    EXPECT_EQ(unknown[0].error(), JSONError::unsupportedType);
    EXPECT_EQ((unknown[{"a", 1, "b"}].error()), JSONError::unsupportedType);
}

TEST(JSONSubscripts, SettersOnlyChangeWhatFits) {
    struct Case {
        const char* name;
        const char* before;
        Path path;
        JSON value;
        const char* after;
    };
    const JSON failedLookup = JSON::parseJSON("{}")["x"];
    const Case cases[] = {
        {"add key", "{}", {"x"}, JSON(1), R"({"x":1})"},
        {"replace index", "[1,2]", {1}, JSON("b"), R"([1,"b"])"},
        {"no append", "[1,2]", {5}, JSON(3), "[1,2]"},
        {"negative index", "[1,2]", {-1}, JSON(3), "[1,2]"},
        {"no intermediate dict", "{}", {"a", "b"}, JSON(1), "{}"},
        {"into nested dict", R"({"a":{}})", {"a", "b"}, JSON(1), R"({"a":{"b":1}})"},
        {"into nested array", R"({"a":[0,{"k":1}]})", {"a", 1, "k"}, JSON(2), R"({"a":[0,{"k":2}]})"},
        {"null stores null", R"({"a":1})", {"a"}, JSON::null(), R"({"a":null})"},
        {"unknown stores null", R"({"a":1})", {"a"}, JSON(Object(plat::Date{})), R"({"a":null})"},
        {"failed lookup stores null", R"({"a":1})", {"a"}, failedLookup, R"({"a":null})"},
        {"empty path", R"({"a":1})", {}, JSON(2), R"({"a":1})"},
        {"through scalar", R"({"a":1})", {"a", "b"}, JSON(2), R"({"a":1})"},
        {"number", "1", {"a"}, JSON(2), "1"},
        {"string", R"("s")", {0}, JSON(2), R"("s")"},
        {"bool", "true", {"a"}, JSON(2), "true"},
        {"null", "null", {"a"}, JSON(2), "null"},
    };
    for (const Case& c : cases) {
        JSON value = JSON::parseJSON(c.before);
        value.set(c.path, c.value);
        EXPECT_EQ(value.rawValue(), JSON::parseJSON(c.after).rawValue()) << c.name;
        EXPECT_FALSE(value.error()) << c.name;
    }
    JSON doc = JSON::parseJSON(R"({"a":1})");
    doc.set({"a"}, JSON::null());
    EXPECT_EQ(doc["a"].type(), T::null);
    EXPECT_TRUE(doc["a"].exists());
}

TEST(JSONSubscripts, CopiesStayIndependentOfSetters) {
    JSON original = JSON::parseJSON(R"({"a":{"b":[1,2]}})");
    JSON copy = original;
    copy.set({"a", "b", 0}, JSON(9));
    EXPECT_EQ((original[{"a", "b", 0}].intValue()), 1);
    EXPECT_EQ((copy[{"a", "b", 0}].intValue()), 9);
}

TEST(JSONSubscripts, ModifyWritesBackEvenWhenTheChangeThrows) {
    JSON doc = JSON::parseJSON(R"({"a":{"n":1}})");
    doc.modify({"a"}, [](JSON& a) { a.set({"n"}, JSON(2)); });
    EXPECT_EQ((doc[{"a", "n"}].intValue()), 2);
    try {
        doc.modify({"a"}, [](JSON& a) {
            a.set({"n"}, JSON(3));
            throw std::runtime_error("abandoned");
        });
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ((doc[{"a", "n"}].intValue()), 3);
}

TEST(JSONCollection, IterationCountAndIndexes) {
    JSON list = JSON::parseJSON(R"([true,"x"])");
    std::vector<JSON::Element> pairs(list.begin(), list.end());
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].first, "0");
    EXPECT_EQ(pairs[0].second.type(), T::bool_);
    EXPECT_EQ(pairs[1].first, "1");
    EXPECT_EQ(pairs[1].second.stringValue(), "x");

    JSON dict = JSON::parseJSON(R"({"b":2,"a":1})");
    EXPECT_EQ(dict.count(), 2u);
    std::vector<std::string> keys;
    for (const auto& [key, value] : dict) {
        keys.push_back(key);
        EXPECT_TRUE(value.exists());
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(dict.indices().size(), 2u);
    EXPECT_EQ(dict.distance(dict.startIndex(), dict.endIndex()), 2);
    EXPECT_EQ(dict.index(dict.startIndex(), 5), dict.endIndex());
    EXPECT_FALSE(dict.index(dict.startIndex(), 2, dict.index(dict.startIndex())));
    EXPECT_EQ(list.slice(list.index(list.startIndex()), list.endIndex()).size(), 1u);

    for (const JSON& empty : {JSON(1), JSON("s"), JSON::null(), JSON(Object(plat::Date{})),
                              JSON::parseJSON("[]"), JSON::parseJSON("{}")}) {
        EXPECT_EQ(empty.count(), 0u);
        EXPECT_TRUE(empty.isEmpty());
        EXPECT_EQ(empty.startIndex(), empty.endIndex());
        EXPECT_EQ(empty.begin(), empty.end());
    }
    EXPECT_EQ(JSON(1)[JSON(1).startIndex()].first, "");
}

TEST(JSONCollection, IndexComparisonAndStaleIndexes) {
    JSON list = JSON::parseJSON("[1,2]");
    JSON dict = JSON::parseJSON(R"({"a":1})");
    JSON::Index a0 = list.startIndex(), a1 = list.index(a0), d0 = dict.startIndex(), n = JSON(1).startIndex();
    EXPECT_TRUE(a0 < a1);
    EXPECT_TRUE(a0 <= a1 && a1 > a0 && a1 >= a0);
    EXPECT_FALSE(a0 == d0 || a0 < d0 || d0 < a0);
    EXPECT_TRUE(n == JSON::null().endIndex());
    EXPECT_FALSE(n < n);
    EXPECT_TRUE(d0 < dict.endIndex());
    // A position of a value that has since changed reads as the empty pair, not freed memory.
    dict.set({"b"}, JSON(2));
    EXPECT_EQ(dict[d0].first, "");
    EXPECT_EQ(list[list.endIndex()].first, "");
    EXPECT_EQ(list[d0].first, "");
}
