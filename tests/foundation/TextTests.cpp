#include "platform/foundation/Text.h"

#include <gtest/gtest.h>

namespace text = plat::text;

namespace {
const std::string kPrecomposedE = "\xc3\xa9"; // U+00E9
const std::string kDecomposedE = "e\xcc\x81"; // e + U+0301 combining acute
const std::string kAngstrom = "\xe2\x84\xab"; // U+212B, canonically U+00C5
const std::string kRingA = "\xc3\x85";        // U+00C5
} // namespace

TEST(Text, NormalisationAndCanonicalEquality) {
    EXPECT_EQ(text::normalizedNFC(kDecomposedE), kPrecomposedE);
    EXPECT_EQ(text::normalizedNFC("caf" + kDecomposedE), "caf" + kPrecomposedE);
    EXPECT_EQ(text::normalizedNFC(kAngstrom), kRingA);
    // Combining marks in a non-canonical order are reordered: dot below (220) before acute (230).
    EXPECT_EQ(text::normalizedNFC("q\xcc\x81\xcc\xa3"), "q\xcc\xa3\xcc\x81");
    EXPECT_EQ(text::normalizedNFC("plain ascii"), "plain ascii");
    // Malformed input comes back well-formed.
    EXPECT_TRUE(text::isValidUTF8(text::normalizedNFC("a\xff" + kDecomposedE)));

    EXPECT_TRUE(text::canonicallyEquals(kDecomposedE, kPrecomposedE));
    EXPECT_TRUE(text::canonicallyEquals(kAngstrom, kRingA));
    EXPECT_FALSE(text::canonicallyEquals("e", kPrecomposedE));
    EXPECT_EQ(text::canonicalCompare("caf" + kDecomposedE, "caf" + kPrecomposedE), 0);
    EXPECT_EQ(text::canonicalCompare("a", "b"), -1);
    EXPECT_EQ(text::canonicalCompare(kPrecomposedE, "f"), 1); // by code point, not by locale
    EXPECT_EQ(text::canonicalCompare("ab", "a"), 1);
}

TEST(Text, GraphemeClusters) {
    struct Case {
        const char* name;
        std::string text;
        size_t count;
    };
    const Case cases[] = {
        {"empty", "", 0},
        {"ascii", "abc", 3},
        {"combining", "caf" + kDecomposedE, 4},
        {"crlf", "a\r\nb", 3},
        {"emoji", "\xf0\x9f\x98\x80", 1},
        {"skin tone", "\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd", 1},
        {"family ZWJ sequence", "\xf0\x9f\x91\xa8\xe2\x80\x8d\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x91\xa7",
         1},
        {"flags", "\xf0\x9f\x87\xa9\xf0\x9f\x87\xaa\xf0\x9f\x87\xab\xf0\x9f\x87\xb7", 2},
        {"hangul jamo", "\xe1\x84\x80\xe1\x85\xa1\xe1\x86\xa8", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(text::graphemeCount(c.text), c.count);
    }
}

TEST(Text, RegularExpressions) {
    EXPECT_TRUE(text::matchesRegex("abc123", "[a-z]+[0-9]+"));
    EXPECT_FALSE(text::matchesRegex("abc123!", "[a-z]+[0-9]+")); // whole text only
    EXPECT_FALSE(text::matchesRegex("xabc123", "[a-z]{3}[0-9]+"));
    EXPECT_TRUE(text::matchesRegex(kPrecomposedE, ".")); // one code point, not one byte
    EXPECT_TRUE(text::matchesRegex("user@example.org", "[^@\\s]+@[^@\\s]+\\.[a-z]{2,}"));
    EXPECT_FALSE(text::matchesRegex("abc", "(unclosed"));
    EXPECT_FALSE(text::matchesRegex("abc", "[z-a]"));

    EXPECT_TRUE(text::containsRegexMatch("a%2Fb", "%[0-9A-Fa-f]{2}"));
    EXPECT_FALSE(text::containsRegexMatch("a%zzb%", "%[0-9A-Fa-f]{2}"));
    EXPECT_FALSE(text::containsRegexMatch("abc", "*"));
}

TEST(Text, CaseInsensitiveComparison) {
    struct Case {
        std::string a, b;
        int expected;
    };
    const Case cases[] = {
        {"TRUE", "true", 0},
        {"Yes", "yES", 0},
        {" true", "true", -1},
        {"apple", "Banana", -1},
        {"b", "A", 1},
        {"\xc3\x89T\xc3\x89", "\xc3\xa9t\xc3\xa9", 0}, // ÉTÉ / été
        {"STRASSE",
         "stra\xc3\x9f"
         "e",
         0}, // full folding: ß is ss
        {"", "", 0},
        {"", "a", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a + " / " + c.b);
        EXPECT_EQ(text::caseInsensitiveCompare(c.a, c.b), c.expected);
        EXPECT_EQ(text::caseInsensitiveCompare(c.b, c.a), -c.expected);
    }

    EXPECT_TRUE(text::caseInsensitiveContains("Velmora VPN Client", "vpn"));
    EXPECT_TRUE(text::caseInsensitiveContains("GRO\xc3\x9f", "gross"));
    EXPECT_TRUE(text::caseInsensitiveContains("\xc3\x89T\xc3\x89", "\xc3\xa9t"));
    EXPECT_FALSE(text::caseInsensitiveContains("Velmora", "vpn"));
    EXPECT_FALSE(text::caseInsensitiveContains("Velmora", ""));
}

TEST(Text, CaseMappingAndUTF8Validity) {
    EXPECT_EQ(text::lowercased("Hello \xc3\x89T\xc3\x89 \xce\xa3"), "hello \xc3\xa9t\xc3\xa9 \xcf\x83");
    EXPECT_EQ(text::uppercased("stra\xc3\x9f"
                               "e"),
              "STRASSE");
    EXPECT_EQ(text::uppercased("istanbul"), "ISTANBUL"); // language-neutral: no dotted capital I

    struct Case {
        std::string bytes;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"ascii", true},
        {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf", true},
        {std::string("a\0b", 3), true},
        {"\xc3", false},
        {"\xc0\xaf", false},
        {"\xe0\x9f\xbf", false},
        {"\xed\xa0\x80", false},
        {"\xf4\x90\x80\x80", false},
        {"\xf5\x80\x80\x80", false},
        {"\x80", false},
        {"\xe2\x82"
         "a",
         false},
        {"\xfe\xff", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(text::isValidUTF8(c.bytes), c.valid);
    }
}

TEST(Text, AsciiLowercasingAndEncodingOneCodePoint) {
    // Only A to Z change; the bytes of other letters stay as they are.
    EXPECT_EQ(text::asciiLowercased("HTTPS Web-Chrome \xc3\x89Z[@"), "https web-chrome \xc3\x89z[@");

    // Each length of the encoding at its lower and upper ends, and what lies beyond Unicode.
    const std::pair<char32_t, std::string> cases[] = {
        {0, std::string(1, '\0')},
        {0x7F, "\x7f"},
        {0x80, "\xc2\x80"},
        {0x7FF, "\xdf\xbf"},
        {0x800, "\xe0\xa0\x80"},
        {0xFFFF, "\xef\xbf\xbf"},
        {0x10000, "\xf0\x90\x80\x80"},
        {0x1F600, "\xf0\x9f\x98\x80"},
        {0x10FFFF, "\xf4\x8f\xbf\xbf"},
        {0x110000, ""},
    };
    for (const auto& [codePoint, bytes] : cases) {
        SCOPED_TRACE(static_cast<uint32_t>(codePoint));
        EXPECT_EQ(text::utf8Encoded(codePoint), bytes);
        if (!bytes.empty()) {
            EXPECT_TRUE(text::isValidUTF8(bytes));
        }
    }
}
