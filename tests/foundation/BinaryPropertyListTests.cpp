// Damaged binary property lists: each case is built byte by byte, because the damage that matters
// (NUL inside a UTF-16 key, reference cycles, offsets past the end) never comes out of a writer.
#include "platform/foundation/PropertyList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace plat;

namespace {

std::string bigEndian(uint64_t value, size_t size) {
    std::string out(size, '\0');
    for (size_t i = 0; i < size; ++i)
        out[size - 1 - i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

std::string utf16(std::u16string_view text) {
    std::string out;
    for (char16_t unit : text)
        out += bigEndian(unit, 2);
    return out;
}

std::string marker(uint8_t high, size_t count) {
    if (count < 15) return std::string(1, static_cast<char>(high | count));
    return std::string(1, static_cast<char>(high | 0x0F)) + "\x13" + bigEndian(count, 8);
}

std::string ascii(std::string_view text) {
    return marker(0x50, text.size()) + std::string(text);
}

std::string dateObject(double seconds) {
    uint64_t bits = 0;
    std::memcpy(&bits, &seconds, sizeof bits);
    return "\x33" + bigEndian(bits, 8);
}

// A binary property list of `objects` (object 0 is the top) with 2-byte offsets and 1-byte
// references; `patch` may rewrite the trailer fields before they are appended.
struct Trailer {
    uint8_t offsetSize = 2;
    uint8_t refSize = 1;
    uint64_t count = 0;
    uint64_t top = 0;
    uint64_t table = 0;
};
std::string bplist(const std::vector<std::string>& objects, void (*patch)(Trailer&) = nullptr) {
    std::string out = "bplist00";
    std::vector<size_t> offsets;
    for (const auto& o : objects) {
        offsets.push_back(out.size());
        out += o;
    }
    Trailer t;
    t.count = objects.size();
    t.table = out.size();
    if (patch) patch(t);
    for (size_t offset : offsets)
        out += bigEndian(offset, 2);
    out += std::string(6, '\0') + static_cast<char>(t.offsetSize) + static_cast<char>(t.refSize) +
           bigEndian(t.count, 8) + bigEndian(t.top, 8) + bigEndian(t.table, 8);
    return out;
}

// A one-entry dictionary {key: "x"} with the key object given.
std::string dictWithKey(const std::string& key) {
    return bplist({"\xD1\x01\x02", key, ascii("x")});
}

Object read(const std::string& bytes, Error* error = nullptr) {
    return PropertyList::fromBytes(bytes, error);
}

} // namespace

TEST(BinaryPropertyList, HandBuiltListReadsWithEveryEncoding) {
    // Text in both encodings (a pair of surrogates included), a long count, a 16-byte integer,
    // a 4-byte real, a reference and a date.
    const std::string longText(20, 'z');
    Object root = read(bplist({
        "\xD6\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C",
        ascii("a"),
        ascii("b"),
        ascii("c"),
        ascii("d"),
        ascii("e"),
        ascii("f"),
        "\x63" + utf16(u"\u00e9\U0001F600"),
        ascii(longText),
        "\x14" + bigEndian(0, 8) + bigEndian(42, 8),
        std::string("\x22\x3F\xC0\x00\x00", 5),
        std::string("\x81\x01\x02", 3),
        dateObject(-0.25),
    }));
    ASSERT_TRUE(root.isDict()) << root.debugDescription();
    EXPECT_EQ(root["a"], Object("é😀"));
    EXPECT_EQ(root["b"], Object(longText));
    EXPECT_EQ(root["c"], Object(42));
    EXPECT_EQ(root["d"], Object(1.5));
    EXPECT_EQ(root["e"]["CF$UID"], Object(258));
    EXPECT_EQ(root["f"], Object(Date::fromReferenceDate(-0.25)));
    EXPECT_TRUE(PropertyList::isValid(root));
}

TEST(BinaryPropertyList, DamagedTextAndKeysAreRefused) {
    const std::pair<const char*, std::string> cases[] = {
        // This one made the library abort the whole process.
        {"NUL inside a UTF-16 key", dictWithKey("\x63" + utf16(std::u16string(u"a\0b", 3)))},
        {"NUL inside an ASCII key", dictWithKey(ascii(std::string("a\0b", 3)))},
        {"lone high surrogate", dictWithKey("\x62" + utf16(u"a") + bigEndian(0xD800, 2))},
        {"lone low surrogate", dictWithKey("\x61" + bigEndian(0xDC00, 2))},
        {"high byte in ASCII text", dictWithKey(ascii("caf\xE9"))},
        {"integer as a key", dictWithKey("\x10\x07")},
        {"array as a key", dictWithKey("\xA0")},
        {"NUL inside a value", bplist({"\xA1\x01", "\x62" + utf16(std::u16string(u"\0x", 2))})},
    };
    for (const auto& [name, bytes] : cases) {
        Error error;
        EXPECT_TRUE(read(bytes, &error).isAbsent()) << name;
        EXPECT_EQ(error.code, PropertyList::kReadCorruptError) << name;
    }
}

TEST(BinaryPropertyList, DatesThatCannotBeWrittenBackAreRefused) {
    const double refused[] = {std::nan(""), INFINITY, -INFINITY, 1e300, -1e300, 2147483648.0, -2147483649.0};
    for (double seconds : refused) {
        Error error;
        EXPECT_TRUE(read(bplist({"\xA1\x01", dateObject(seconds)}), &error).isAbsent()) << seconds;
        EXPECT_EQ(error.code, PropertyList::kReadCorruptError);
    }
    for (double seconds : {-2147483648.0, 2147483647.0, 0.5}) {
        Object back = read(bplist({"\xA1\x01", dateObject(seconds)}));
        EXPECT_EQ(back.at(0), Object(Date::fromReferenceDate(seconds))) << seconds;
    }
}

TEST(BinaryPropertyList, BrokenStructureIsRefused) {
    const std::pair<const char*, std::string> cases[] = {
        {"array holding itself", bplist({"\xA1\x00"})},
        {"two arrays holding each other", bplist({"\xA1\x01", "\xA1\x00"})},
        {"reference past the table", bplist({"\xA1\x05"})},
        {"count past the end", bplist({"\xAE"})},
        {"long count past the end", bplist({"\x4F\x13" + bigEndian(~uint64_t{0}, 8)})},
        {"bad long count marker", bplist({"\x4F\x20\x01"})},
        {"truncated integer", bplist({"\x13\x01"})},
        {"integer of 32 bytes", bplist({"\x15" + std::string(32, '\1')})},
        {"real of 2 bytes", bplist({"\x21\x01\x02"})},
        {"set", bplist({"\xC0"})},
        {"null", bplist({std::string(1, '\0')})},
        {"reference of 9 bytes", bplist({"\x88" + std::string(9, '\1')})},
        {"top past the table", bplist({"\x09"}, [](Trailer& t) { t.top = 1; })},
        {"no objects", bplist({"\x09"}, [](Trailer& t) { t.count = 0; })},
        {"count larger than the table", bplist({"\x09"}, [](Trailer& t) { t.count = 1ull << 60; })},
        {"table past the end", bplist({"\x09"}, [](Trailer& t) { t.table = ~uint64_t{0} - 3; })},
        {"table inside the header", bplist({"\x09"}, [](Trailer& t) { t.table = 2; })},
        {"zero-byte offsets", bplist({"\x09"}, [](Trailer& t) { t.offsetSize = 0; })},
        {"nine-byte references", bplist({"\x09"}, [](Trailer& t) { t.refSize = 9; })},
        {"header only", "bplist00"},
        {"unknown version", "bplist01" + bplist({"\x09"}).substr(8)},
    };
    for (const auto& [name, bytes] : cases) {
        Error error;
        EXPECT_TRUE(read(bytes, &error).isAbsent()) << name;
        EXPECT_EQ(error.code, PropertyList::kReadCorruptError) << name;
    }
}

TEST(BinaryPropertyList, NestingAndSharedReferencesAreBounded) {
    // A chain deeper than the limit.
    std::vector<std::string> chain;
    const int links = PropertyList::kMaxDepth + 2;
    for (int i = 0; i < links; ++i)
        chain.push_back(i + 1 < links ? "\xA1" + bigEndian(static_cast<uint64_t>(i + 1), 2) : "\xA0");
    std::string deep = bplist(chain, [](Trailer& t) { t.refSize = 2; });
    Error error;
    EXPECT_TRUE(read(deep, &error).isAbsent());
    EXPECT_NE(error.localizedDescription().find("nested too deeply"), std::string::npos);

    // A container shared by many parents reads once per parent...
    std::string shared = "\xAF\x10\xC8" + std::string(200, '\x01');
    Object many = read(bplist({shared, "\xD1\x02\x03", ascii("k"), ascii("v")}));
    ASSERT_TRUE(many.isArray());
    EXPECT_EQ(many.array().size(), 200u);
    EXPECT_EQ(many.at(199), Object(Object::Dict{{"k", Object("v")}}));

    // ...but not where it would end up deeper than the limit: an array holding an empty array,
    // first met just below the root, then again at the end of a chain of `links` arrays.
    auto sharedAtDepth = [](int links) {
        std::vector<std::string> objects = {"\xA2" + bigEndian(1, 2) + bigEndian(3, 2),
                                            "\xA1" + bigEndian(2, 2), "\xA0"};
        for (int i = 0; i < links; ++i)
            objects.push_back("\xA1" + bigEndian(i + 1 < links ? static_cast<uint64_t>(4 + i) : 1, 2));
        return bplist(objects, [](Trailer& t) { t.refSize = 2; });
    };
    EXPECT_TRUE(read(sharedAtDepth(PropertyList::kMaxDepth - 2)).isArray());
    EXPECT_TRUE(read(sharedAtDepth(PropertyList::kMaxDepth - 1)).isAbsent());

    // Sixty arrays, each naming the next one twice: 2^60 objects once expanded.
    std::vector<std::string> doubling;
    for (int i = 0; i < 60; ++i)
        doubling.push_back(std::string("\xA2") + static_cast<char>(i + 1) + static_cast<char>(i + 1));
    doubling.push_back("\x09");
    EXPECT_TRUE(read(bplist(doubling)).isAbsent());
}

TEST(BinaryPropertyList, EveryDamagedVariantOfARealFileIsReadSafely) {
    // Whatever a mutation of a real file reads as must be writable again, or the store that
    // loaded it could never save.
    Object sample(Object::Dict{
        {"ünïcode key", Object(Object::Array{Object("text"), Object(int64_t{-7}), Object(2.5)})},
        {"when", Object(Date::fromReferenceDate(1000.5))},
        {"blob", Object(Data{1, 2, 3})},
        {"flag", Object(true)},
        {"ref", Object(Object::Dict{{"CF$UID", Object(uint64_t{3})}})},
    });
    std::string good = *PropertyList::toBinary(sample);
    ASSERT_EQ(read(good), sample);
    size_t refused = 0;
    for (size_t at = 8; at < good.size(); ++at) {
        for (uint8_t value : {0x00, 0x01, 0x0F, 0x33, 0x5F, 0x63, 0x7F, 0x80, 0xA1, 0xD1, 0xFF}) {
            std::string bytes = good;
            bytes[at] = static_cast<char>(value);
            Object back = read(bytes);
            if (back.isAbsent())
                ++refused;
            else
                EXPECT_TRUE(PropertyList::isValid(back)) << "byte " << at << " = " << int(value);
        }
        std::string cut = good.substr(0, at);
        EXPECT_TRUE(read(cut).isAbsent()) << "cut at " << at;
    }
    EXPECT_GT(refused, 0u);
}
