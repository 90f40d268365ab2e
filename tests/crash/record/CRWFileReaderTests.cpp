#include "crash/record/CRWFile.h"
#include "crash/record/CRWFileRead.h"
#include "tests/crash/record/RecordTestSupport.h"
#include "tests/support/RootInUserNamespace.h"

#include <gtest/gtest.h>

#include <random>

namespace {

class CRWFileReader : public ::testing::Test {
protected:
    testsupport::TempHome home;
    std::filesystem::path path = home.path() / "r.crwrecord";
};

TEST_F(CRWFileReader, ATornLastLineIsSkipped) {
    testsupport::writeFile(path, "{\"a\":{\"n\":1}}\n{\"b\":{\"n\":2}}\n{\"c\":{\"n\":");
    auto sections = CRWFileReadSections(path.c_str(), false);
    ASSERT_TRUE(sections);
    ASSERT_EQ(sections->size(), 2u);
    EXPECT_EQ((*sections)[0]["a"]["n"].number().int64Value(), 1);
    EXPECT_EQ((*sections)[1]["b"]["n"].number().int64Value(), 2);
}

// The file used to be read as one UTF-8 text, so a single invalid byte lost every section.
TEST_F(CRWFileReader, OneBadByteLosesOneLine) {
    testsupport::writeFile(path, "{\"a\":1}\n{\"b\":\"\xff\xfe\"}\n{\"c\":3}\n[1,2]\n7\n\n{\"d\":4}");
    auto sections = CRWFileReadSections(path.c_str(), false);
    ASSERT_TRUE(sections);
    ASSERT_EQ(sections->size(), 3u) << "only objects count as sections";
    EXPECT_TRUE((*sections)[0]["a"].isNumber());
    EXPECT_TRUE((*sections)[1]["c"].isNumber());
    EXPECT_TRUE((*sections)[2]["d"].isNumber()) << "a last line without line feed still counts";
}

TEST_F(CRWFileReader, TheMapBlockShapesAndFiltersTheResult) {
    testsupport::writeFile(path, "{\"keep\":1}\n{\"drop\":2}\n{\"keep\":3}\n");
    auto kept = CRWFileReadSections(path.c_str(), false, [](const plat::Object& section) {
        const plat::Object& value = section["keep"];
        return value.isAbsent() ? plat::Object() : value;
    });
    ASSERT_TRUE(kept);
    ASSERT_EQ(kept->size(), 2u);
    EXPECT_EQ((*kept)[1].number().int64Value(), 3);
}

TEST_F(CRWFileReader, UnreadableFilesGiveNoneAndMayBeDeleted) {
    EXPECT_FALSE(CRWFileReadSections(nullptr, true));
    EXPECT_FALSE(CRWFileReadSections((home.path() / "missing").c_str(), true));
    // A folder opens but cannot be read; deleting on failure never removes folders.
    std::filesystem::create_directory(path);
    EXPECT_FALSE(CRWFileReadSections(path.c_str(), true));
    EXPECT_TRUE(std::filesystem::exists(path));
    testsupport::writeFile(home.path() / "empty.crwrecord", "");
    auto empty = CRWFileReadSections((home.path() / "empty.crwrecord").c_str(), true);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

// What another user left in a report folder while it was open is not read, and a failed read does
// not remove it: their socket (which no one can open) and their file that others may write.
TEST_F(CRWFileReader, WhatAnotherUserLeftIsNeitherReadNorDeleted) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants files of another user
    const std::filesystem::path folder = home.path() / "cache" / "report";
    std::filesystem::create_directories(folder);
    testsupport::plantSocketAsAnotherUser(folder / "socket.crwrecord");
    testsupport::plantAsAnotherUser(folder / "open.crwrecord", "{\"a\":1}\n", 0666);
    std::filesystem::permissions(home.path() / "cache", std::filesystem::perms(0700));
    const std::string before = testsupport::treeSnapshot(folder);
    EXPECT_FALSE(CRWFileReadSections((folder / "socket.crwrecord").c_str(), true));
    EXPECT_FALSE(CRWFileReadSections((folder / "open.crwrecord").c_str(), true));
    EXPECT_EQ(testsupport::treeSnapshot(folder), before);
}

TEST(CRWFileHex, EncodeAndDecode) {
    EXPECT_EQ(CRWFileHexEncodeString(""), "");
    EXPECT_EQ(CRWFileHexEncodeString(std::string("\x00\x0a\xff", 3)), "000aff");
    EXPECT_EQ(CRWFileHexDecodeString("48656C6c6f"), "Hello");
    EXPECT_EQ(CRWFileHexDecodeString(""), "");
    EXPECT_EQ(CRWFileHexDecodeString("41424"), "AB") << "a trailing single digit is ignored";
    EXPECT_EQ(CRWFileHexDecodeString("4142zz43"), "AB") << "decoding ends at the first bad pair";
    EXPECT_EQ(CRWFileHexDecodeString("41g142"), "A");
    EXPECT_EQ(CRWFileHexDecodeString("41004243"), "A") << "the text ends at a zero byte";
    EXPECT_EQ(CRWFileHexDecodeString("c3a9"), "\xc3\xa9");
    EXPECT_FALSE(CRWFileHexDecodeString("41ff")) << "not UTF-8";
    const std::string all = [] {
        std::string s;
        for (int c = 1; c < 128; ++c)
            s += char(c);
        return s;
    }();
    EXPECT_EQ(CRWFileHexDecodeString(CRWFileHexEncodeString(all)), all);
}

// Record files come back from runs that died mid-write and from damaged disks: no mutation of a
// well-formed file may crash the reader or make it return something that is not a section.
TEST(CRWFileReaderMutation, HundredThousandMutatedFilesNeverCrash) {
    testsupport::TempHome home;
    const auto path = home.path() / "seed.crwrecord";
    CRWFile file;
    ASSERT_TRUE(CRWFileInitWithPathMode(&file, path.c_str(), false, false));
    CRWFileWriteSectionStart(&file, "identity");
    CRWFileWriteHashStart(&file);
    CRWFileWriteHashEntryString(&file, "generator", "g/1.0 \"q\" \\");
    CRWFileWriteHashEntryUint64(&file, "started_at", 1700000000);
    CRWFileWriteHashEntryInt64(&file, "delta", -12);
    CRWFileWriteHashEntryBoolean(&file, "flag", true);
    CRWFileWriteHashEntryHexEncodedString(&file, "name", "NSInvalidArgumentException");
    CRWFileWriteHashEnd(&file);
    CRWFileWriteSectionEnd(&file);
    CRWFileWriteSectionStart(&file, "threads");
    CRWFileWriteArrayStart(&file);
    for (uint64_t i = 0; i < 3; ++i) {
        CRWFileWriteHashStart(&file);
        CRWFileWriteHashKey(&file, "stacktrace");
        CRWFileWriteArrayStart(&file);
        CRWFileWriteArrayEntryUint64(&file, 0x100000000 + i);
        CRWFileWriteArrayEntryUint64(&file, UINT64_MAX - i);
        CRWFileWriteArrayEnd(&file);
        CRWFileWriteHashEntryString(&file, "name", nullptr);
        CRWFileWriteHashEnd(&file);
    }
    CRWFileWriteArrayEnd(&file);
    CRWFileWriteSectionEnd(&file);
    ASSERT_TRUE(CRWFileClose(&file));
    const std::string seed = testsupport::readFile(path);
    ASSERT_EQ(CRWFileParseSections(seed).size(), 2u);

    std::mt19937 random(20240229);
    const std::string interesting = "{}[]\":,\\\n0-9eE.tfn\x00\xff\xc3 ";
    size_t sectionsSeen = 0;
    for (int round = 0; round < 100000; ++round) {
        std::string bytes = seed;
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            const size_t at = random() % bytes.size();
            switch (random() % 5) {
            case 0:
                bytes[at] = static_cast<char>(random());
                break;
            case 1:
                bytes[at] = interesting[random() % interesting.size()];
                break;
            case 2:
                bytes.erase(at, 1 + random() % 16);
                break;
            case 3:
                bytes.insert(at, std::string(1 + random() % 4, interesting[random() % interesting.size()]));
                break;
            case 4:
                bytes.resize(at);
                break; // torn
            }
        }
        const plat::Object::Array sections = CRWFileParseSections(bytes);
        ASSERT_LE(sections.size(), 1u + static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')));
        for (const plat::Object& section : sections)
            ASSERT_TRUE(section.isDict());
        sectionsSeen += sections.size();
    }
    // Many mutations leave a line intact, so sections keep being recovered.
    EXPECT_GT(sectionsSeen, 25000u);
}

} // namespace
