// Random bytes and random paths through parsing, subscripts, accessors, setters and output, with a
// fixed seed. Nothing may crash, and whatever serialises must parse back to an equal value.
#include "json/JSON.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const char* const kFragments[] = {"{",
                                  "}",
                                  "[",
                                  "]",
                                  ",",
                                  ":",
                                  "\"a\"",
                                  "\"b\"",
                                  "\"\\u00e9\"",
                                  "\"\\ud800\"",
                                  "1",
                                  "-0",
                                  "1e999",
                                  "18446744073709551616",
                                  "-9223372036854775809",
                                  "0.5",
                                  "true",
                                  "false",
                                  "null",
                                  " ",
                                  "\"",
                                  "\\",
                                  "\xff",
                                  "nan",
                                  "\"0\"",
                                  "{\"a\":"};

// Well-formed JSON text of random shape, so most documents get past the parser.
std::string randomValue(std::mt19937& rng, int depth) {
    static const char* const scalars[] = {"1",
                                          "-0",
                                          "0.5",
                                          "18446744073709551615",
                                          "-9223372036854775808",
                                          "1e300",
                                          "true",
                                          "false",
                                          "null",
                                          "\"a\"",
                                          "\"\\u00e9\"",
                                          "\"42\"",
                                          "\"yes\"",
                                          "\"https://x.org/a b\"",
                                          "\"\\\"\\\\\""};
    unsigned pick = rng() % 8;
    if (depth > 6 || pick < 4) return scalars[rng() % std::size(scalars)];
    int count = std::uniform_int_distribution<int>(0, 4)(rng);
    std::string text = pick < 6 ? "[" : "{";
    for (int i = 0; i < count; ++i) {
        if (i) text += ",";
        if (pick >= 6) text += std::string("\"") + "ab0"[rng() % 3] + "\":";
        text += randomValue(rng, depth + 1);
    }
    return text + (pick < 6 ? "]" : "}");
}

// A random document; some are broken afterwards with fragments or stray bytes.
std::string randomDocument(std::mt19937& rng) {
    std::string text = randomValue(rng, 0);
    if (rng() % 3 == 0) {
        int pieces = std::uniform_int_distribution<int>(1, 4)(rng);
        for (int i = 0; i < pieces; ++i) {
            size_t at = text.empty() ? 0 : rng() % (text.size() + 1);
            std::string piece = rng() % 4 == 0 ? std::string(1, static_cast<char>(rng() % 256))
                                               : kFragments[rng() % std::size(kFragments)];
            text.insert(at, piece);
        }
    }
    return text;
}

std::vector<JSONSubscriptType> randomPath(std::mt19937& rng) {
    static const char* const keys[] = {"a", "b", "", "0", "\xc3\xa9"};
    std::vector<JSONSubscriptType> path;
    int length = std::uniform_int_distribution<int>(0, 5)(rng);
    for (int i = 0; i < length; ++i) {
        switch (rng() % 4) {
        case 0:
            path.emplace_back(keys[rng() % std::size(keys)]);
            break;
        case 1:
            path.emplace_back(static_cast<int>(rng() % 4) - 1);
            break;
        case 2:
            path.emplace_back(static_cast<int64_t>(rng()) << 32);
            break;
        default:
            path.emplace_back(uint64_t(rng()) * 0x100000001ull);
            break;
        }
    }
    return path;
}

} // namespace

TEST(JSONRandom, ParseNavigateReadWriteAndSerialise) {
    std::mt19937 rng(20240611);
    int parsed = 0, roundTrips = 0;
    for (int iteration = 0; iteration < 20000; ++iteration) {
        std::string text = randomDocument(rng);
        JSON doc;
        try {
            doc = JSON(std::string_view(text), plat::JSONSerialization::ReadingNone);
            ++parsed;
        } catch (const JSONException& e) {
            EXPECT_FALSE(e.jsonError());
            EXPECT_EQ(JSON::parseJSON(text).type(), JSON::Type::null);
            continue;
        }
        for (int probe = 0; probe < 4; ++probe) {
            std::vector<JSONSubscriptType> path = randomPath(rng);
            JSON found = doc[path];
            EXPECT_EQ(found.exists(), !found.error());
            if (found.error()) {
                EXPECT_EQ(found.type(), JSON::Type::null);
            }
            (void)found.intValue();
            (void)found.uInt8Value();
            (void)found.doubleValue();
            (void)found.boolValue();
            (void)found.stringValue();
            (void)found.url();
            (void)found.rawString();
            (void)found.rawString({{writingOptionsKeys::castNilToNSNull, true}});
            for (const auto& element : found)
                (void)element.second.type();
            JSON copy = doc;
            copy.set(path, found);
            copy.set(path, JSON(probe));
            if (found.exists() && !path.empty()) {
                EXPECT_EQ(copy[path].intValue(), probe);
            }
        }
        if (doc.type() == JSON::Type::array || doc.type() == JSON::Type::dictionary) {
            JSON back(doc.rawData(), plat::JSONSerialization::ReadingNone);
            EXPECT_EQ(back, doc) << text;
            ++roundTrips;
        }
    }
    // The generator must reach the interesting paths, not only fail to parse.
    EXPECT_GT(parsed, 1000);
    EXPECT_GT(roundTrips, 300);
}

TEST(JSONRandom, HostileShapes) {
    // Nesting far beyond the parser's limit is refused, not followed down the stack.
    std::string deep(100000, '[');
    EXPECT_THROW(JSON(std::string_view(deep), plat::JSONSerialization::ReadingNone), JSONException);
    EXPECT_EQ(JSON::parseJSON(deep).type(), JSON::Type::null);

    // A hand-built chain deeper than any parse: the writers refuse it whatever budget is given.
    plat::Object chain(1);
    for (int i = 0; i < 2000; ++i)
        chain = plat::Object(plat::Array{chain});
    JSON value(chain);
    EXPECT_FALSE(value.rawString(
        {{writingOptionsKeys::castNilToNSNull, true}, {writingOptionsKeys::maxObjextDepth, INT64_MAX}}));
    EXPECT_THROW((void)value.rawData(), JSONException);
    EXPECT_EQ(value.description(), "unknown");

    // The deepest document the parser takes still reads, codes and prints.
    std::string limit = std::string(400, '[') + "1" + std::string(400, ']');
    JSON parsed = JSON::parseJSON(limit);
    ASSERT_EQ(parsed.type(), JSON::Type::array);
    std::vector<JSONSubscriptType> path(400, 0);
    EXPECT_EQ(parsed[path].intValue(), 1);
    EXPECT_EQ(plat::toString(parsed.rawData()), limit);
    parsed.set(path, JSON("x"));
    EXPECT_EQ(parsed[path].stringValue(), "x");
}
