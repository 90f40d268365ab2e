#include "crash/record/CRWFile.h"
#include "crash/record/CRWFileRead.h"
#include "tests/crash/record/RecordTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <vector>

using crashtest::recordText;

namespace {

class CRWFileWriter : public ::testing::Test {
protected:
    testsupport::TempHome home;
    std::filesystem::path path = home.path() / "test.crwrecord";
};

TEST_F(CRWFileWriter, SeparatorsMakeOneWellFormedLinePerSection) {
    std::string text = recordText(path, [](CRWFile* f) {
        CRWFileWriteSectionStart(f, "empty");
        CRWFileWriteHashStart(f);
        CRWFileWriteHashEnd(f);
        CRWFileWriteSectionEnd(f);
        CRWFileWriteSectionStart(f, "list");
        CRWFileWriteArrayStart(f);
        CRWFileWriteArrayEnd(f);
        CRWFileWriteSectionEnd(f);
        CRWFileWriteSectionStart(f, "nested");
        CRWFileWriteHashStart(f);
        CRWFileWriteHashEntryUint64(f, "a", 1);
        CRWFileWriteHashKey(f, "inner");
        CRWFileWriteArrayStart(f);
        CRWFileWriteArrayEntryUint64(f, 2);
        CRWFileWriteArrayEntryString(f, "x");
        CRWFileWriteArrayStart(f);
        CRWFileWriteArrayEnd(f);
        CRWFileWriteArrayEntryHexEncodedString(f, "A");
        CRWFileWriteArrayEnd(f);
        CRWFileWriteHashEntryBoolean(f, "t", true);
        CRWFileWriteHashEntryBoolean(f, "f", false);
        CRWFileWriteHashEnd(f);
        CRWFileWriteSectionEnd(f);
    });
    EXPECT_EQ(text, "{\"empty\":{}}\n"
                    "{\"list\":[]}\n"
                    "{\"nested\":{\"a\":1,\"inner\":[2,\"x\",[],\"41\"],\"t\":true,\"f\":false}}\n");
    auto sections = CRWFileReadSections(path.c_str(), false);
    ASSERT_TRUE(sections);
    ASSERT_EQ(sections->size(), 3u);
    EXPECT_EQ((*sections)[2]["nested"]["inner"].at(3).string(), "41");
}

TEST_F(CRWFileWriter, NumberExtremes) {
    std::string text = recordText(path, [](CRWFile* f) {
        CRWFileWriteSectionStart(f, "n");
        CRWFileWriteHashStart(f);
        CRWFileWriteHashEntryUint64(f, "zero", 0);
        CRWFileWriteHashEntryUint64(f, "max", UINT64_MAX);
        CRWFileWriteHashEntryInt64(f, "min", INT64_MIN);
        CRWFileWriteHashEntryInt64(f, "minus", -1);
        CRWFileWriteHashEntryInt64(f, "imax", INT64_MAX);
        CRWFileWriteHashEnd(f);
        CRWFileWriteSectionEnd(f);
    });
    EXPECT_EQ(text,
              "{\"n\":{\"zero\":0,\"max\":18446744073709551615,\"min\":-9223372036854775808,\"minus\":-1,"
              "\"imax\":9223372036854775807}}\n");

    char buffer[CRWFileNumberBufferSize];
    size_t first = CRWFilePrepareUInt64(buffer, UINT64_MAX, false);
    EXPECT_EQ(first, 0u); // 20 digits fill indexes 0..19
    EXPECT_STREQ(buffer + first, "18446744073709551615");
    first = CRWFilePrepareUInt64(buffer, 0xdeadbeef, true);
    EXPECT_STREQ(buffer + first, "deadbeef");
    first = CRWFilePrepareUInt64(buffer, 0, true);
    EXPECT_EQ(first, 19u);
    EXPECT_STREQ(buffer + first, "0");
}

TEST_F(CRWFileWriter, StringsNullsAndHex) {
    std::string text = recordText(path, [](CRWFile* f) {
        CRWFileWriteSectionStart(f, "s");
        CRWFileWriteHashStart(f);
        CRWFileWriteHashEntryString(f, "plain", "abc");
        CRWFileWriteHashEntryString(f, "none", nullptr);
        CRWFileWriteHashEntryHexEncodedString(f, "hexnone", nullptr);
        CRWFileWriteHashEntryHexEncodedString(f, "hexempty", "");
        CRWFileWriteHashEntryHexEncodedString(f, "hex", "\x0a\xff");
        CRWFileWriteHashEntryNSString(f, "ns", std::string_view("a\0b", 3));
        CRWFileWriteHashEntryNSString(f, "nsnone", std::nullopt);
        CRWFileWriteHashEntryNSStringUnlessNilOrEmpty(f, "skipped", "");
        CRWFileWriteHashEntryNSStringUnlessNilOrEmpty(f, "skipped2", std::nullopt);
        CRWFileWriteHashEntryNSStringUnlessNilOrEmpty(f, "kept", "k");
        CRWFileWriteHashEnd(f);
        CRWFileWriteSectionEnd(f);
    });
    EXPECT_EQ(text,
              "{\"s\":{\"plain\":\"abc\",\"none\":null,\"hexnone\":null,\"hexempty\":\"\",\"hex\":\"0aff\","
              "\"ns\":\"a\\u0000b\",\"nsnone\":null,\"kept\":\"k\"}}\n");

    // Hex text is written in pieces of 32 digits; the pieces join seamlessly.
    std::string longText(37, 'z');
    std::string hex =
        recordText(path, [&](CRWFile* f) { CRWFileWriteHexEncodedString(f, longText.c_str()); });
    EXPECT_EQ(hex, "\"" + CRWFileHexEncodeString(longText) + "\"");
}

// Plain strings used to go out byte for byte, so a quote or a line feed in a value broke the line.
TEST_F(CRWFileWriter, PlainStringsAreEscapedAndReadBackIntact) {
    const std::string nasty = "quote\" back\\slash\nline\ttab\x01\x1f end, \"}{";
    std::string text = recordText(path, [&](CRWFile* f) {
        CRWFileWriteSectionStart(f, "k\"ey");
        CRWFileWriteHashStart(f);
        CRWFileWriteHashEntryString(f, "v", nasty.c_str());
        CRWFileWriteHashEntryString(f, std::string(100, 'k').c_str(), std::string(200, 'v').c_str());
        CRWFileWriteHashEnd(f);
        CRWFileWriteSectionEnd(f);
    });
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    EXPECT_NE(text.find("quote\\\" back\\\\slash\\u000aline\\u0009tab\\u0001"), std::string::npos)
        << "control bytes become \\u escapes: " << text;
    auto sections = CRWFileReadSections(path.c_str(), false);
    ASSERT_TRUE(sections);
    ASSERT_EQ(sections->size(), 1u);
    EXPECT_EQ((*sections)[0]["k\"ey"]["v"].string(), nasty);
    EXPECT_EQ((*sections)[0]["k\"ey"][std::string(100, 'k')].string(), std::string(200, 'v'));
}

TEST_F(CRWFileWriter, BufferedWritesSplitAcrossTheBuffer) {
    CRWFile file;
    ASSERT_TRUE(CRWFileInitWithPathMode(&file, path.c_str(), false, true));
    ASSERT_TRUE(file.buffered);
    const std::string big(2500, 'x');
    CRWFileWriteToFileDescriptorOrBuffer(&file, big.data(), big.size());
    // Two full buffers of 999 bytes went out; 502 wait for the next flush.
    EXPECT_EQ(std::filesystem::file_size(path), 1998u);
    EXPECT_EQ(file.bufferLength, 502u);
    EXPECT_EQ(file.buffer[502], '\0');
    CRWFileWriteToFileDescriptorOrBuffer(&file, "y", 1); // fits: nothing written yet
    EXPECT_EQ(std::filesystem::file_size(path), 1998u);
    CRWFileWriteToFileDescriptorOrBuffer(&file, big.data(), 496); // 503 + 496 = 999: still fits
    EXPECT_EQ(file.bufferLength, 999u);
    EXPECT_EQ(std::filesystem::file_size(path), 1998u);
    size_t written = 0;
    ASSERT_TRUE(CRWFileCloseWithOffset(&file, &written));
    EXPECT_EQ(written, 2997u);
    EXPECT_EQ(file.descriptor, -1);
    EXPECT_EQ(testsupport::readFile(path), big + "y" + std::string(496, 'x'));
}

TEST_F(CRWFileWriter, AppendModeCountsTheExistingSizeAndTruncateModeStartsOver) {
    testsupport::writeFile(path, "0123456789");
    CRWFile file;
    ASSERT_TRUE(CRWFileInitWithPath(&file, path.c_str(), false));
    EXPECT_EQ(file.bytesWritten, 10u);
    CRWFileWriteStringUnquoted(&file, "ab");
    size_t written = 0;
    ASSERT_TRUE(CRWFileCloseWithOffset(&file, &written));
    EXPECT_EQ(written, 12u);
    EXPECT_EQ(testsupport::readFile(path), "0123456789ab");
    EXPECT_FALSE(CRWFileIsOpen(&file));
    EXPECT_FALSE(CRWFileClose(&file)) << "a closed record cannot be closed again";

    ASSERT_TRUE(CRWFileInitWithPathMode(&file, path.c_str(), false, false));
    EXPECT_EQ(file.bytesWritten, 0u);
    ASSERT_TRUE(CRWFileClose(&file));
    EXPECT_EQ(testsupport::readFile(path), "");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
}

TEST_F(CRWFileWriter, OpenFailuresLeaveTheRecordClosed) {
    CRWFile file;
    memset(&file, 0x5a, sizeof(file)); // garbage, as in an uninitialised local
    EXPECT_FALSE(CRWFileInitWithPathMode(nullptr, path.c_str(), true, false));
    EXPECT_FALSE(CRWFileInitWithPathMode(&file, nullptr, true, false));
    EXPECT_FALSE(CRWFileInitWithPathMode(&file, (home.path() / "missing" / "x").c_str(), true, false));
    EXPECT_FALSE(CRWFileIsOpen(&file)) << "a failed open leaves the record closed";
    EXPECT_FALSE(file.buffered);
    // Writes on invalid records do nothing instead of faulting.
    CRWFileWriteHashEntryUint64(nullptr, "k", 1);
    CRWFileWriteHexEncodedString(nullptr, "x");
    EXPECT_FALSE(CRWFileWriteToFileDescriptor(&file, "x", 1));
}

TEST(CRWFileWriteLoop, PartialWriteLimits) {
    const std::string data(60, 'd');
    int calls = 0;
    auto oneByte = [&](const void*, size_t) -> ssize_t {
        ++calls;
        return 1;
    };
    EXPECT_TRUE(CRWFileLoopWithWriteBlock(data.data(), 50, oneByte));
    EXPECT_EQ(calls, 50);
    calls = 0;
    EXPECT_FALSE(CRWFileLoopWithWriteBlock(data.data(), 51, oneByte));
    EXPECT_EQ(calls, 50);

    calls = 0;
    EXPECT_FALSE(CRWFileLoopWithWriteBlock(data.data(), 0, oneByte));
    EXPECT_EQ(calls, 0) << "a zero length writes nothing";

    // The bytes handed over advance with each short write.
    std::string sink;
    auto halves = [&](const void* bytes, size_t length) -> ssize_t {
        size_t take = (length + 1) / 2;
        sink.append(static_cast<const char*>(bytes), take);
        return static_cast<ssize_t>(take);
    };
    EXPECT_TRUE(CRWFileLoopWithWriteBlock(data.data(), data.size(), halves));
    EXPECT_EQ(sink, data);

    for (ssize_t bad : {ssize_t(0), ssize_t(-1), ssize_t(61)}) {
        calls = 0;
        EXPECT_FALSE(CRWFileLoopWithWriteBlock(data.data(), 60, [&](const void*, size_t) {
            ++calls;
            return bad;
        })) << bad;
        EXPECT_EQ(calls, 1) << "failing writes are not retried";
    }
}

TEST(CRWFileWriteLoop, BareDescriptorWrites) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    EXPECT_TRUE(CRWFileWriteWithRetries(fds[1], "abc", 3));
    EXPECT_TRUE(CRWFileFDWriteInt64(fds[1], -42));
    EXPECT_TRUE(CRWFileFDWriteUInt64(fds[1], 255, true));
    EXPECT_FALSE(CRWFileWriteWithRetries(-1, "abc", 3));
    close(fds[1]);
    char buffer[32] = {};
    EXPECT_EQ(read(fds[0], buffer, sizeof(buffer)), 8);
    EXPECT_STREQ(buffer, "abc-42ff");
    close(fds[0]);
}

} // namespace
