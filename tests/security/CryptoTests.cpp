#include "platform/security/Digest.h"
#include "platform/security/SecureRandom.h"
#include "platform/security/UUID.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <unordered_set>
#include <vector>

using namespace plat;

namespace {

struct DigestVector {
    std::string input, sha1, sha256;
};

// FIPS 180 examples.
const std::vector<DigestVector> kDigests = {
    {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709",
     "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d",
     "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f",
     "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Digest, KnownVectorsForTextAndData) {
    for (const auto& v : kDigests) {
        SCOPED_TRACE(v.input.substr(0, 10));
        EXPECT_EQ(hexString(sha1(v.input)), v.sha1);
        EXPECT_EQ(hexString(sha256(v.input)), v.sha256);
        const std::vector<uint8_t> data(v.input.begin(), v.input.end());
        EXPECT_EQ(hexString(sha1(data)), v.sha1);
        EXPECT_EQ(hexString(sha256(data)), v.sha256);
    }
}

TEST(Digest, HexStringCaseAndEdges) {
    const std::vector<uint8_t> bytes = {0x00, 0x0f, 0xa0, 0xff};
    EXPECT_EQ(hexString(bytes), "000fa0ff");
    EXPECT_EQ(hexString(bytes, true), "000FA0FF");
    EXPECT_EQ(hexString(std::vector<uint8_t>{}), "");
}

bool isUpperHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

TEST(UUID, NewIdentifiersAreVersion4TextAndUnique) {
    std::unordered_set<UUID> seen;
    std::set<std::string> texts;
    for (int i = 0; i < 10000; ++i) {
        UUID id;
        const std::string text = id.uuidString();
        ASSERT_EQ(text.size(), 36u) << text;
        for (size_t p = 0; p < text.size(); ++p) {
            if (p == 8 || p == 13 || p == 18 || p == 23) {
                ASSERT_EQ(text[p], '-') << text;
            } else {
                ASSERT_TRUE(isUpperHex(text[p])) << text;
            }
        }
        EXPECT_EQ(text[14], '4') << text;
        EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
        EXPECT_EQ(id.bytes()[6] >> 4, 4);
        EXPECT_EQ(id.bytes()[8] >> 6, 2);
        seen.insert(id);
        texts.insert(text);
    }
    EXPECT_EQ(seen.size(), 10000u);
    EXPECT_EQ(texts.size(), 10000u);
}

TEST(UUID, ParsesInAnyCaseAndRoundTrips) {
    const auto parsed = UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(parsed->bytes()[0], 0xe6);
    EXPECT_EQ(parsed->bytes()[15], 0x5f);
    EXPECT_EQ(UUID::fromString("E621E1F8-c36c-495A-93fc-0C247A3E6E5F"), parsed);
    // Parsing does not insist on a version: identifiers made elsewhere are accepted as they are.
    EXPECT_EQ(UUID::fromString("00000000-0000-0000-0000-000000000000")->uuidString(),
              "00000000-0000-0000-0000-000000000000");

    for (int i = 0; i < 100; ++i) {
        UUID id;
        EXPECT_EQ(UUID::fromString(id.uuidString()), id);
        EXPECT_EQ(UUID(id.bytes()), id);
    }
    EXPECT_NE(UUID(), UUID());
}

TEST(UUID, RejectsInvalidText) {
    for (std::string_view text : {
             "",
             "E621E1F8-C36C-495A-93FC-0C247A3E6E5",   // short
             "E621E1F8-C36C-495A-93FC-0C247A3E6E5F0", // long
             "E621E1F8C36C495A93FC0C247A3E6E5F",      // no dashes
             "E621E1F8-C36C-495A-93FC0-C247A3E6E5F",  // dash misplaced
             "{621E1F8-C36C-495A-93FC-0C247A3E6E5}",  // braces
             "E621E1F8-C36C-495A-93FC-0C247A3E6E5G",  // not hex
             "E621E1F8-C36C-495A-93FC-0C247A3E6E-F",  // extra dash
             " 621E1F8-C36C-495A-93FC-0C247A3E6E5F",  // space
             "E621E1F8_C36C_495A_93FC_0C247A3E6E5F",  // wrong separator
             "+621E1F8-C36C-495A-93FC-0C247A3E6E5F",  // sign
         }) {
        EXPECT_EQ(UUID::fromString(text), std::nullopt) << text;
    }
    EXPECT_EQ(UUID::fromString(std::string_view("E621E1F8-C36C-495A-93FC-0C247A3E6E5\0", 36)), std::nullopt);
}

TEST(SecureRandom, BytesHaveTheAskedLengthAndDiffer) {
    EXPECT_TRUE(randomBytes(0).empty());
    const auto a = randomBytes(64), b = randomBytes(64);
    ASSERT_EQ(a.size(), 64u);
    EXPECT_NE(a, b);
    EXPECT_NE(a, std::vector<uint8_t>(64, 0));
}

TEST(SecureRandom, UniformStaysInRangeAndReachesEveryValue) {
    EXPECT_EQ(randomUniform(0), 0u);
    EXPECT_EQ(randomUniform(1), 0u);
    for (uint32_t bound : {2u, 3u, 7u, 10u}) {
        std::vector<int> hits(bound, 0);
        for (int i = 0; i < 2000; ++i) {
            const uint32_t r = randomUniform(bound);
            ASSERT_LT(r, bound);
            ++hits[r];
        }
        for (uint32_t v = 0; v < bound; ++v)
            EXPECT_GT(hits[v], 0) << bound << " " << v;
    }
    // With a bound of two thirds of the range, a plain modulo would return the lower half of the
    // results two times in three; without bias it is one time in two.
    const uint32_t bound = 0xAAAAAAABu;
    int low = 0;
    for (int i = 0; i < 4000; ++i)
        low += randomUniform(bound) < bound / 2;
    EXPECT_GT(low, 1800);
    EXPECT_LT(low, 2200);
    std::set<uint32_t> words;
    for (int i = 0; i < 100; ++i)
        words.insert(randomUInt32());
    EXPECT_GT(words.size(), 95u);
}

} // namespace
