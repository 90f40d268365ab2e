#include "crash/record/CRWContext.h"
#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWEncoding.h"
#include "crash/record/CRWExecutionIdentifierModel.h"
#include "crash/record/CRWHex.h"
#include "crash/record/CRWHost.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKInfo.h"
#include "crash/record/CRWUtilities.h"
#include "tests/crash/record/RecordTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/mman.h>
#include <sys/utsname.h>

namespace {

// A readable page followed by an unmapped one.
struct PageEdge {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    char* base = static_cast<char*>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    PageEdge() { munmap(base + page, page); }
    ~PageEdge() { munmap(base, page); }
    char* unmapped() const { return base + page; }
};

TEST(CRWMemory, ReadsFailInsteadOfFaulting) {
    PageEdge edge;
    memcpy(edge.base, "hello", 6);
    char out[8] = {};
    EXPECT_TRUE(CRWReadMemory(reinterpret_cast<uintptr_t>(edge.base), out, 6));
    EXPECT_STREQ(out, "hello");
    EXPECT_FALSE(CRWReadMemory(reinterpret_cast<uintptr_t>(edge.unmapped()), out, 1));
    EXPECT_FALSE(CRWReadMemory(reinterpret_cast<uintptr_t>(edge.unmapped() - 2), out, 4)) << "partial read";
    EXPECT_FALSE(CRWReadMemory(100, out, 1)) << "the first page is invalid";
}

TEST(CRWMemory, ReadStringProbesUpToItsLimit) {
    PageEdge edge;
    const char* result = nullptr;
    EXPECT_FALSE(CRWReadString(reinterpret_cast<uintptr_t>(edge.unmapped()), &result, 16));
    // A string running into the unmapped page without a zero byte fails once it gets there...
    char* tail = edge.unmapped() - 4;
    memset(tail, 'a', 4);
    EXPECT_FALSE(CRWReadString(reinterpret_cast<uintptr_t>(tail), &result, 16));
    // ...but not when the limit stops the probe first, or a zero byte ends it.
    EXPECT_TRUE(CRWReadString(reinterpret_cast<uintptr_t>(tail), &result, 4));
    EXPECT_EQ(result, tail) << "the source itself is handed back";
    tail[2] = '\0';
    EXPECT_TRUE(CRWReadString(reinterpret_cast<uintptr_t>(tail), &result, 16));
    EXPECT_TRUE(CRWReadString(reinterpret_cast<uintptr_t>(edge.unmapped()), &result, 0)) << "empty range";
    EXPECT_TRUE(CRWReadString(UINTPTR_MAX - 1, &result, 8)) << "a wrapping range is not probed";
    EXPECT_FALSE(CRWReadString(reinterpret_cast<uintptr_t>(edge.base), nullptr, 4));
    EXPECT_FALSE(CRWReadString(16, &result, 4));
}

TEST(CRWMemory, DupStringCopiesIntoTheReadOnlyRegion) {
    crashtest::ScopedLogContext context;
    EXPECT_EQ(CRWDupString(nullptr), nullptr);
    char* copy = CRWDupString("path/sdk.log");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "path/sdk.log");
    const CRWAllocatorRegion& region = _crwContext.allocator->readOnlyRegion;
    EXPECT_GE(reinterpret_cast<uint64_t>(copy), region.start);
    EXPECT_LT(reinterpret_cast<uint64_t>(copy), region.start + region.size);
}

TEST(CRWCrashUtilities, RedactUUID) {
    char text[] =
        "lock (0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0) taken (short) (0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F1)";
    CRWRedactUUID(text);
    EXPECT_STREQ(
        text,
        "lock (********-****-****-****-************) taken (short) (0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F1)");
    char skipped[] = "(x) (0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0)";
    CRWRedactUUID(skipped);
    EXPECT_STREQ(skipped, "(x) (********-****-****-****-************)");
    char none[] = "no pair (here";
    CRWRedactUUID(none);
    EXPECT_STREQ(none, "no pair (here");
    CRWRedactUUID(nullptr);
}

TEST(CRWCrashUtilities, NybblesUnlinkAndErrnoNames) {
    EXPECT_EQ(CRWNybbleFromChar('0'), 0);
    EXPECT_EQ(CRWNybbleFromChar('9'), 9);
    EXPECT_EQ(CRWNybbleFromChar('a'), 10);
    EXPECT_EQ(CRWNybbleFromChar('F'), 15);
    EXPECT_EQ(CRWNybbleFromChar('g'), 255);
    EXPECT_EQ(CRWNybbleFromChar('\0'), 255);

    testsupport::TempHome home;
    const auto file = home.path() / "f";
    testsupport::writeFile(file, "x");
    EXPECT_TRUE(CRWUnlinkIfExists(file.c_str()));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(CRWUnlinkIfExists(file.c_str())) << "nothing to delete is fine";
    EXPECT_FALSE(CRWUnlinkIfExists(home.path().c_str())) << "a folder is not deleted";

    EXPECT_STREQ(CRWErrnoName(ENOENT), "ENOENT");
    EXPECT_STREQ(CRWErrnoName(99999), "unknown error");
}

TEST(CRWEncoding, HexHashesAndUUIDText) {
    char two[3] = {};
    CRWHexFromByte(0x0a, two);
    EXPECT_STREQ(two, "0a");
    char buffer[7];
    memset(buffer, 'z', sizeof(buffer));
    CRWSafeHexToString("\x01\xab\xff", 3, buffer);
    EXPECT_STREQ(buffer, "01abff");
    char empty[1] = {'z'};
    CRWSafeHexToString("", 0, empty);
    EXPECT_STREQ(empty, "");

    EXPECT_EQ(CRWNSDataPrettyDescription(plat::toData("\x0a\xff")), "0aff");
    EXPECT_EQ(CRWNSDataPrettyDescription({}), "");
    EXPECT_EQ(CRWHashNSData(plat::toData("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(CRWHashBytes("abc", 3), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(CRW256HashNSData(plat::toData("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(CRW256HashBytes("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    int calls = 0;
    CRWEnumerateByteRangesOfNSDataUsingBlock(plat::toData("abcd"),
                                             [&](std::span<const uint8_t> bytes, size_t offset, bool&) {
                                                 ++calls;
                                                 EXPECT_EQ(bytes.size(), 4u);
                                                 EXPECT_EQ(offset, 0u);
                                             });
    EXPECT_EQ(calls, 1);

    const uint8_t zeros[16] = {};
    EXPECT_EQ(CRWUUIDToNSString(zeros), std::string(32, '0'));
    EXPECT_EQ(CRWGenerateUUID().size(), 36u);
    EXPECT_NE(CRWGenerateUUID(), CRWGenerateUUID());
}

TEST(CRWEncoding, ExecutionIdentifiersAre32LowerCaseHexDigits) {
    CRWExecutionIdentifierModel a, b;
    EXPECT_NE(a.executionID(), b.executionID());
    for (const auto& id : {a.executionID(), b.executionID()}) {
        ASSERT_EQ(id.size(), 32u);
        EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
    }
}

TEST(CRWHost, FactsAndVersions) {
    EXPECT_EQ(CRWSDKVersion(), "3.2.0");
    EXPECT_EQ(CRWSDKGeneratorName(), "Crashwatch macOS SDK/3.2.0");

    plat::ProcessInfo::processInfo().overrideOperatingSystemVersion(plat::OperatingSystemVersion{12, 5, 0});
    EXPECT_EQ(CRWHostOSDisplayVersion(), "12.5.0") << "a patch level of 0 still shows";
    plat::ProcessInfo::processInfo().overrideOperatingSystemVersion(std::nullopt);

    struct utsname uts {};
    ASSERT_EQ(uname(&uts), 0);
    EXPECT_EQ(CRWHostOSBuildVersion(), std::string(uts.version));
    char small[4];
    ASSERT_TRUE(CRWHostSysctlString("hw.machine", small, sizeof(small)));
    EXPECT_EQ(std::string(small), std::string(uts.machine).substr(0, 3)) << "cut to fit";
    char buffer[128];
    EXPECT_FALSE(CRWHostSysctlString("no.such.entry", buffer, sizeof(buffer)));
    EXPECT_FALSE(CRWHostModelInfo().empty());
    // Nothing traces the test binary in the suite.
    EXPECT_FALSE(CRWProcessDebuggerAttached());
}

TEST(CRWUtilities, LookupFunctionPointer) {
    std::string symbol, image;
    bool called = false;
    CRWLookupFunctionPointer(reinterpret_cast<const void*>(&CRWHexFromByte),
                             [&](const char* s, const char* i) {
                                 called = true;
                                 symbol = s ? s : "<none>";
                                 image = i ? i : "<none>";
                             });
    EXPECT_TRUE(called);
    EXPECT_NE(image, "<none>");
    CRWLookupFunctionPointer(reinterpret_cast<const void*>(16), [&](const char* s, const char* i) {
        EXPECT_EQ(s, nullptr);
        EXPECT_EQ(i, nullptr);
    });
}

} // namespace
