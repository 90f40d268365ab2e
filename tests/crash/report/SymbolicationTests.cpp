// Symbolication in this process of a report whose image list names this test program at another
// base: frames are moved into this process, named from the linker's and the file's symbol tables,
// demangled and written as the ".symbolicated" copy.
#include "crash/image/CRWBinaryImage.h"
#include "crash/report/CRWFileManager.h"
#include "crash/report/CRWProcessReportOperation.h"
#include "crash/report/CRWSymbolResolver.h"
#include "crash/report/CRWThreadArrayOperation.h"
#include "platform/dyld/SymbolLookup.h"
#include "tests/crash/report/ReportTestSupport.h"
#include "tests/crash/support/ReportExercises.h"
#include "tests/support/RootInUserNamespace.h"

#include <cstring>
#include <filesystem>
#include <unistd.h>

extern "C" __attribute__((noinline)) int reportTestExternC(int value) {
    return value * 3 + 1;
}

namespace reporttest_symbols {
__attribute__((noinline)) int mangledFunction(int value) {
    return value * 5 + reportTestExternC(value);
}
} // namespace reporttest_symbols

namespace {

namespace fs = std::filesystem;

__attribute__((noinline)) int hiddenFunction(int value) {
    return reporttest_symbols::mangledFunction(value) - 2;
}

// Where the crashed run had this program, and a library that is not loaded now.
constexpr uint64_t kRecordedBase = 0x10000000000;
constexpr uint64_t kGoneBase = 0x20000000;

class SymbolicationTest : public reporttest::ReportTest {
protected:
    void SetUp() override {
        ReportTest::SetUp();
        const CRWBinaryImageDetails details =
            crashtest::loadedImageDetails(reinterpret_cast<const void*>(&reportTestExternC));
        base_ = details.slot.baseAddress;
        uuid_ = details.uuidString;
        size_ = details.slot.size;
        ASSERT_FALSE(uuid_.empty()) << "the test program has no build-id";
    }
    // The address `function` + `offset` as the crashed run saw it.
    uint64_t recorded(const void* function, uint64_t offset = 0) const {
        return reinterpret_cast<uint64_t>(function) - base_ + kRecordedBase + offset;
    }
    // An image list with an unload, an image that is gone, and this program listed after it.
    std::string imageList() const {
        return "{\"unload\":{\"path\":\"/old/lib.so\",\"uuid\":\"00\",\"base\":1,\"size\":1}}\n"
               "{\"load\":{\"path\":\"/elsewhere/crashed-app\",\"uuid\":\"" +
               uuid_ + "\",\"base\":" + std::to_string(kRecordedBase) + ",\"size\":" + std::to_string(size_) +
               "}}\n"
               "{\"load\":{\"path\":\"/old/"
               "libgone.so\",\"uuid\":\"0123456789abcdef0123456789abcdef01234567\","
               "\"base\":" +
               std::to_string(kGoneBase) +
               ",\"size\":65536}}\n"
               "{\"load\":{\"path\":\"/no/base.so\",\"uuid\":\"" +
               uuid_ + "\",\"base\":null,\"size\":4}}\n";
    }

    uint64_t base_ = 0;
    uint64_t size_ = 0;
    std::string uuid_;
};

TEST_F(SymbolicationTest, FramesAreNamedInTheImageLoadedNowAndWrittenBesideTheCrashFile) {
    const uint64_t a = recorded(reinterpret_cast<const void*>(&reportTestExternC), 1);
    const uint64_t b = recorded(reinterpret_cast<const void*>(&reporttest_symbols::mangledFunction), 1);
    const uint64_t c = recorded(reinterpret_cast<const void*>(&hiddenFunction), 1);
    const std::string signal = "{\"signal\":{\"number\":11}}\n{\"threads\":[{\"stacktrace\":[" +
                               std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + "," +
                               std::to_string(kGoneBase + 16) +
                               ",0,\"text\"]},{\"crashed\":true}]}\n"
                               "{\"storage\":{}}\n";
    const fs::path folder = makeFolder(
        "report", {{"metadata.crwrecord", metadata("s", 1)},
                   {"binary_images.crwrecord", imageList()},
                   {"signal.crwrecord", signal},
                   {"exception.crwrecord", "{\"exception\":{\"name\":\"6e\"}}\n{\"storage\":{}}\n"}});
    auto report = CRWInternalReport::reportWithPath(folder.string());
    ASSERT_TRUE(report);
    CRWProcessReportOperation operation(report, std::make_shared<CRWSymbolResolver>());
    operation.start();

    // Only the crash file with threads gets a copy; nothing was unreadable.
    EXPECT_EQ(operation.symbolicatedFiles(), std::vector<std::string>{"signal.crwrecord"});
    EXPECT_FALSE(fs::exists(folder / "exception.crwrecord.symbolicated"));
    EXPECT_TRUE(operation.unreadableRecords().empty());
    EXPECT_FALSE(fs::exists(folder / CRWUnreadableRecordsFile));
    // The unload and the entry without a base are not images.
    EXPECT_EQ(operation.symbolResolver()->binaryImages().size(), 2u);

    const std::string expected =
        "{\"threads\":[["
        "{\"symbol\":\"reportTestExternC\",\"offset\":1,\"library\":\"crashed-app\"},"
        "{\"symbol\":\"reporttest_symbols::mangledFunction(int)\",\"raw_symbol\":\"_ZN18reporttest_"
        "symbols15mangledFunctionEi\","
        "\"offset\":1,\"library\":\"crashed-app\"},"
        "{\"symbol\":\"(anonymous "
        "namespace)::hiddenFunction(int)\",\"raw_symbol\":\"_ZN12_GLOBAL__N_114hiddenFunctionEi\","
        "\"offset\":1,\"library\":\"crashed-app\"},"
        "{\"symbol\":null,\"raw_symbol\":null,\"offset\":0,\"library\":null},"
        "{\"symbol\":null,\"raw_symbol\":null,\"offset\":0,\"library\":null},"
        "{\"symbol\":null,\"raw_symbol\":null,\"offset\":0,\"library\":null}"
        "],[]]}\n";
    EXPECT_EQ(testsupport::readFile(folder / "signal.crwrecord.symbolicated"), expected);
}

TEST_F(SymbolicationTest, ExceptionTypeNamesLeftMangledAtCrashTimeAreDemangledInTheCopy) {
    auto hexOf = [](const std::string& text) {
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string hex;
        for (unsigned char c : text)
            hex += {kDigits[c >> 4], kDigits[c & 0xF]};
        return hex;
    };
    // A template with a value argument, as the crash-time demangler leaves it, then a name it did
    // demangle, which must stay untouched however it reads.
    const std::string mangled = "N7velmora6TaggedINSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEELi3EEE";
    const std::string record = "{\"exception\":{\"type\":\"c++\",\"name\":\"" + hexOf(mangled) +
                               "\",\"name_mangled\":true,\"reason\":\"\",\"time\":1}}\n"
                               "{\"threads\":[{\"stacktrace\":[0]}]}\n"
                               "{\"exception\":{\"type\":\"c++\",\"name\":\"" +
                               hexOf("Pi") + "\",\"reason\":\"\",\"time\":1}}\n";
    const fs::path folder = makeFolder("report", {{"metadata.crwrecord", metadata("s", 1)},
                                                  {"binary_images.crwrecord", imageList()},
                                                  {"exception.crwrecord", record}});
    auto report = CRWInternalReport::reportWithPath(folder.string());
    ASSERT_TRUE(report);
    CRWProcessReportOperation operation(report, std::make_shared<CRWSymbolResolver>());
    operation.start();

    EXPECT_EQ(operation.symbolicatedFiles(), std::vector<std::string>{"exception.crwrecord"});
    EXPECT_EQ(testsupport::readFile(folder / "exception.crwrecord"), record) << "the record is not rewritten";
    const std::string copy = testsupport::readFile(folder / "exception.crwrecord.symbolicated");
    const std::string demangled = "velmora::Tagged<std::__cxx11::basic_string<char, std::char_traits<char>, "
                                  "std::allocator<char> >, 3>";
    EXPECT_EQ(copy, "{\"threads\":[[{\"symbol\":null,\"raw_symbol\":null,\"offset\":0,\"library\":null}]]}\n"
                    "{\"exception\":{\"name\":\"" +
                        hexOf(demangled) + "\",\"mangled_name\":\"" + hexOf(mangled) + "\"}}\n");

    // Without an image list nothing is symbolicated, and the name is still demangled.
    fs::remove(folder / "binary_images.crwrecord");
    fs::remove(folder / "exception.crwrecord.symbolicated");
    CRWProcessReportOperation again(report, std::make_shared<CRWSymbolResolver>());
    again.start();
    EXPECT_EQ(testsupport::readFile(folder / "exception.crwrecord.symbolicated"),
              "{\"exception\":{\"name\":\"" + hexOf(demangled) + "\",\"mangled_name\":\"" + hexOf(mangled) +
                  "\"}}\n");

    // Names demangled at crash time leave no copy behind.
    const fs::path plain =
        makeFolder("plain", {{"metadata.crwrecord", metadata("t", 1)},
                             {"exception.crwrecord", record.substr(record.rfind("{\"exception"))}});
    auto plainReport = CRWInternalReport::reportWithPath(plain.string());
    ASSERT_TRUE(plainReport);
    EXPECT_FALSE(CRWProcessReportOperation(plainReport, nullptr).demangleExceptionNames());
    EXPECT_FALSE(fs::exists(plain / "exception.crwrecord.symbolicated"));
}

// A report folder of an earlier run that another user could write into, private again now: their
// marks file that anyone may write, their record that no one else may read, and their link in the
// place of the demangled copy. Processing the report, as a user without capabilities, reads,
// writes, empties and removes none of them.
TEST_F(SymbolicationTest, WhatAnotherUserLeftInAReportFolderIsLeftAsItWas) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants files of another user
    const fs::path folder = home_->path() / "cache" / "com.crashwatch.data" / "run1";
    const fs::path mine = home_->path() / "cache" / "mine.txt";
    fs::create_directories(folder);
    testsupport::writeFile(mine, "mine");
    testsupport::writeFile(folder / "metadata.crwrecord", metadata("s", 1));
    testsupport::writeFile(folder / "exception.crwrecord",
                           "{\"exception\":{\"type\":\"c++\",\"name\":\"4e33666f6f3342617245\","
                           "\"name_mangled\":true,\"reason\":\"\",\"time\":1}}\n{\"storage\":{}}\n");
    testsupport::plantAsAnotherUser(folder / CRWUnreadableRecordsFile, "{\"theirs\":{}}\n", 0666);
    testsupport::plantAsAnotherUser(folder / "signal.crwrecord", "{\"signal\":{\"number\":11}}\n", 0600);
    fs::create_symlink(mine, folder / "exception.crwrecord.symbolicated");
    ASSERT_EQ(::lchown((folder / "exception.crwrecord.symbolicated").c_str(), testsupport::kAnotherUser,
                       testsupport::kAnotherUser),
              0);
    const std::string said = testsupport::asOrdinaryUser(home_->path(), [&] {
        const auto state = [&] {
            std::string facts = testsupport::treeSnapshot(folder) + testsupport::fileFacts(mine);
            for (const char* name : {CRWUnreadableRecordsFile, "signal.crwrecord", "exception.crwrecord.symbolicated"})
                facts += testsupport::fileFacts(folder / name);
            return facts;
        };
        const std::string before = state();
        auto report = CRWInternalReport::reportWithPath(folder.string());
        if (!report) return std::string("no report");
        CRWProcessReportOperation operation(report, std::make_shared<CRWSymbolResolver>());
        operation.start();
        const std::string after = state();
        return std::to_string(operation.unreadableRecords().size()) + " unreadable; " +
               (after == before ? "unchanged" : "changed from\n" + before + "\nto\n" + after);
    });
    EXPECT_EQ(said, "2 unreadable; unchanged");
}

TEST_F(SymbolicationTest, AReturnAddressAtAFunctionStartBelongsToTheFunctionBefore) {
    const fs::path images =
        makeFolder("images", {{"binary_images.crwrecord", imageList()}}) / "binary_images.crwrecord";
    CRWSymbolResolver resolver;
    ASSERT_TRUE(resolver.loadBinaryImagesFromFile(images.string()));
    const void* start = reinterpret_cast<const void*>(&hiddenFunction);
    const auto before = plat::dyld::lookupSymbol(reinterpret_cast<uintptr_t>(start) - 2);
    ASSERT_TRUE(before && before->name);
    const auto frame = resolver.frameForAddress(recorded(start));
    ASSERT_TRUE(frame);
    EXPECT_NE(frame->rawSymbol(), "_ZN12_GLOBAL__N_114hiddenFunctionEi");
    EXPECT_EQ(frame->rawSymbol(), before->name);
    EXPECT_EQ(frame->offset(), reinterpret_cast<uintptr_t>(start) - 2 - before->symbolAddress);

    // An image that has changed since the crash (another build-id) is not symbolicated.
    const fs::path changed =
        makeFolder("changed", {{"binary_images.crwrecord",
                                "{\"load\":{\"path\":\"/a\",\"uuid\":\"" + std::string(uuid_.size(), 'f') +
                                    "\",\"base\":" + std::to_string(kRecordedBase) +
                                    ",\"size\":" + std::to_string(size_) + "}}\n"}});
    CRWSymbolResolver stale;
    ASSERT_TRUE(stale.loadBinaryImagesFromFile((changed / "binary_images.crwrecord").string()));
    EXPECT_FALSE(stale.frameForAddress(recorded(start, 1)));
    // No sections at all, or no path: nothing to symbolicate with.
    EXPECT_FALSE(stale.loadBinaryImagesFromFile((changed / "missing.crwrecord").string()));
    EXPECT_TRUE(logged("Failed to read binary image file"));
    EXPECT_FALSE(stale.loadBinaryImagesFromFile(""));
}

TEST_F(SymbolicationTest, ImagesListedOutOfOrderAreSortedAndAHostileSizeCannotLeaveTheImage) {
    const std::string list = "{\"load\":{\"path\":\"/z\",\"uuid\":\"u3\",\"base\":300,\"size\":10}}\n"
                             "{\"load\":{\"path\":\"/x\",\"uuid\":\"u1\",\"base\":100,\"size\":10}}\n"
                             "{\"load\":{\"path\":\"/all\",\"uuid\":\"" +
                             uuid_ + "\",\"base\":" + std::to_string(kRecordedBase) +
                             ",\"size\":18446744073709551615}}\n";
    const fs::path folder = makeFolder("order", {{"binary_images.crwrecord", list}});
    CRWSymbolResolver resolver;
    ASSERT_TRUE(resolver.loadBinaryImagesFromFile((folder / "binary_images.crwrecord").string()));
    ASSERT_EQ(resolver.binaryImages().size(), 3u);
    EXPECT_EQ(resolver.binaryImages()[0].path, "/x");
    EXPECT_EQ(resolver.loadedBinaryImageForPC(305)->path, "/z");
    EXPECT_EQ(resolver.loadedBinaryImageForPC(310), nullptr);
    // The size claims the whole address space; the same file loaded now is far smaller.
    EXPECT_FALSE(resolver.frameForAddress(kRecordedBase + size_ + 4096));
    EXPECT_TRUE(resolver.frameForAddress(recorded(reinterpret_cast<const void*>(&reportTestExternC), 1)));
}

TEST(Demangling, MangledAndBlockInvokeNamesAndEverythingElse) {
    EXPECT_EQ(CRWDemangleOperation::demangleSymbol("_Z3foov"), "foo()");
    EXPECT_EQ(CRWDemangleOperation::demangleSymbol("__Z3foov_block_invoke_2"), "foo()_block_invoke_2");
    EXPECT_EQ(CRWDemangleOperation::demangleSymbol("__ZN1a1bEv_block_invoke"), "a::b()_block_invoke");
    EXPECT_FALSE(CRWDemangleOperation::demangleSymbol("main"));
    EXPECT_FALSE(CRWDemangleOperation::demangleSymbol(nullptr));
    EXPECT_FALSE(CRWDemangleOperation::demangleSymbol("_Z"));
    EXPECT_FALSE(CRWDemangleOperation::demangleSymbol("__Z3foov"));
    // The suffix must come after a name of at least a few characters.
    EXPECT_FALSE(CRWDemangleOperation::demangleSymbol("__Z_block_invoke"));
    EXPECT_FALSE(CRWDemangleOperation::demangleSymbol("__Zgarbage_block_invoke"));
    // An absurdly long name is left alone rather than handed to the demangler.
    EXPECT_FALSE(CRWDemangleOperation::demangleSymbol(("_Z" + std::string(20000, 'N')).c_str()));

    // The operation leaves an unmangled name as it is, so no raw symbol is written for it.
    auto threads = std::make_shared<CRWThreadArray>();
    threads->push_back(
        {TSRStackFrame::stackFrameWithSymbol("main"), TSRStackFrame::stackFrameWithSymbol("_Z3foov")});
    CRWDemangleOperation(threads).start();
    EXPECT_EQ((*threads)[0][0].symbol(), "main");
    EXPECT_EQ((*threads)[0][1].symbol(), "foo()");
    EXPECT_EQ((*threads)[0][1].rawSymbol(), "_Z3foov");
}

TEST(FrameOperations, ACancelledOperationStopsAndAnUnwritableOutputIsSkipped) {
    auto threads = std::make_shared<CRWThreadArray>();
    threads->push_back({TSRStackFrame::stackFrameWithAddress(1), TSRStackFrame::stackFrameWithAddress(2)});
    threads->push_back({TSRStackFrame::stackFrameWithAddress(3)});
    CRWDemangleOperation operation(threads);
    int visited = 0;
    operation.enumerateFramesWithBlock([&](TSRStackFrame&) {
        if (++visited == 2) operation.cancel();
    });
    EXPECT_EQ(visited, 2);
    operation.start();

    CRWSerializeSymbolicatedFramesOperation serialize(threads, "/nonexistent-folder/out.symbolicated");
    serialize.start();
    EXPECT_FALSE(serialize.wroteFile());
}

} // namespace
