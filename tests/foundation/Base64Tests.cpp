#include "platform/foundation/Base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using plat::base64Decode;
using plat::base64Encode;
using plat::base64URLDecode;
using plat::base64URLEncode;

namespace {

std::vector<uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

struct Vector {
    std::string plain, standard, url;
};

// RFC 4648 section 10, plus bytes that use the two alphabet-specific characters.
const std::vector<Vector> kVectors = {
    {"", "", ""},
    {"f", "Zg==", "Zg"},
    {"fo", "Zm8=", "Zm8"},
    {"foo", "Zm9v", "Zm9v"},
    {"foob", "Zm9vYg==", "Zm9vYg"},
    {"fooba", "Zm9vYmE=", "Zm9vYmE"},
    {"foobar", "Zm9vYmFy", "Zm9vYmFy"},
    {"\xfb\xff", "+/8=", "-_8"},
    {"\xff\xff\xfe", "///+", "___-"},
    {std::string("\0\0\0\0", 4), "AAAAAA==", "AAAAAA"},
};

TEST(Base64Text, KnownVectorsBothAlphabets) {
    for (const auto& v : kVectors) {
        SCOPED_TRACE(v.standard);
        EXPECT_EQ(base64Encode(v.plain), v.standard);
        EXPECT_EQ(base64URLEncode(v.plain), v.url);
        EXPECT_EQ(base64Encode(bytes(v.plain)), v.standard);
        EXPECT_EQ(base64Decode(v.standard), bytes(v.plain));
        EXPECT_EQ(base64URLDecode(v.url), bytes(v.plain));
        // Padded URL-safe text is unambiguous and accepted too.
        std::string paddedURL = v.url;
        while (paddedURL.size() % 4)
            paddedURL += '=';
        EXPECT_EQ(base64URLDecode(paddedURL), bytes(v.plain));
    }
}

TEST(Base64Text, RoundTripsEveryLengthAndByte) {
    std::vector<uint8_t> data;
    for (int n = 0; n < 300; ++n) {
        EXPECT_EQ(base64Decode(base64Encode(data)), data) << n;
        EXPECT_EQ(base64URLDecode(base64URLEncode(data)), data) << n;
        data.push_back(uint8_t(n * 37 + 11));
    }
}

TEST(Base64Text, RejectsInvalidStandardText) {
    for (std::string_view text : {
             "Zg",           // padding missing
             "Zg=",          // padding short
             "Zg===",        // padding long
             "Zm9v=",        // padding after a full group
             "Z===",         // one character is less than a byte
             "====",         // padding only
             "Zm=v",         // padding inside
             "Zm9v Zg==",    // white space
             "Zm9v\n",       // line break
             "Zh==",         // unused bits not zero
             "Zm9=",         // unused bits not zero
             "-_8=",         // URL-safe alphabet
             "Zm9v\xc3\xa9", // non-ASCII
         }) {
        EXPECT_EQ(base64Decode(text), std::nullopt) << text;
    }
    EXPECT_EQ(base64Decode(std::string_view("Zm9v\0AAA", 8)), std::nullopt);
}

TEST(Base64Text, RejectsInvalidURLText) {
    for (std::string_view text : {
             "Z",       // one character is less than a byte
             "Zm9vY",   // the same after a full group
             "+/8",     // standard alphabet
             "Zg=",     // partial padding
             "Zg===",   // too much padding
             "Zm=v",    // padding inside
             "Zh",      // unused bits not zero
             "Zm9v Zg", // white space
         }) {
        EXPECT_EQ(base64URLDecode(text), std::nullopt) << text;
    }
}

} // namespace
