#include "platform/dyld/Dyld.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Event {
    bool added;
    const void* header;
    intptr_t slide;
};

std::mutex eventsMutex;
std::vector<Event> events;

void onAdd(const void* header, intptr_t slide) {
    std::lock_guard lock(eventsMutex);
    events.push_back({true, header, slide});
}

void onRemove(const void* header, intptr_t slide) {
    std::lock_guard lock(eventsMutex);
    events.push_back({false, header, slide});
}

class DyldTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::dyld::resetForTesting();
        events.clear();
    }
    void TearDown() override { plat::dyld::resetForTesting(); }
};

} // namespace

TEST_F(DyldTest, AddCallbackSeesLoadedImagesAtOnceWithTheExecutableFirst) {
    plat::dyld::registerFuncForAddImage(onAdd);
    const std::vector<plat::dyld::Image> images = plat::dyld::images();
    ASSERT_EQ(events.size(), images.size());
    ASSERT_GT(images.size(), 2u);
    for (size_t i = 0; i < images.size(); ++i) {
        EXPECT_TRUE(events[i].added);
        EXPECT_EQ(events[i].header, images[i].header);
    }
    // The executable's header is its ELF magic, and its path is this test binary.
    EXPECT_EQ(std::memcmp(images[0].header,
                          "\x7f"
                          "ELF",
                          4),
              0);
    EXPECT_NE(images[0].path.find("tests_dyld"), std::string::npos);
}

TEST_F(DyldTest, OpenAndCloseReportTheLibrary) {
    plat::dyld::registerFuncForAddImage(onAdd);
    plat::dyld::registerFuncForRemoveImage(onRemove);
    events.clear();
    void* handle = plat::dyld::open(VELMORA_TEST_IMAGE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].added);
    const void* header = events[0].header;
    EXPECT_EQ(plat::dyld::imagePath(header), VELMORA_TEST_IMAGE);
    // The library's code lies after its header.
    void* symbol = dlsym(handle, "velmora_test_image_value");
    ASSERT_NE(symbol, nullptr);
    EXPECT_GT(reinterpret_cast<uintptr_t>(symbol), reinterpret_cast<uintptr_t>(header));

    events.clear();
    EXPECT_EQ(plat::dyld::close(handle), 0);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(events[0].added);
    EXPECT_EQ(events[0].header, header);
    EXPECT_EQ(plat::dyld::imagePath(header), "");
}

// The process's dlopen and dlclose are the C library's and tell nobody: the next scan reports every
// image they added or removed, a library's dependencies with it, and nothing for a call that only
// counted a reference.
TEST_F(DyldTest, TheNextScanReportsEveryImageAPlainDlopenOrDlcloseAddedOrRemoved) {
    plat::dyld::registerFuncForAddImage(onAdd);
    plat::dyld::registerFuncForRemoveImage(onRemove);
    events.clear();
    void* handle = dlopen(VELMORA_TEST_IMAGE_USER, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    plat::dyld::sync();
    std::vector<std::string> added;
    for (const Event& event : events) {
        EXPECT_TRUE(event.added);
        added.push_back(plat::dyld::imagePath(event.header));
    }
    std::sort(added.begin(), added.end());
    EXPECT_EQ(added, (std::vector<std::string>{VELMORA_TEST_IMAGE, VELMORA_TEST_IMAGE_USER}));

    events.clear();
    void* again = dlmopen(LM_ID_BASE, VELMORA_TEST_IMAGE_USER, RTLD_NOW | RTLD_LOCAL);
    ASSERT_EQ(again, handle);
    EXPECT_EQ(dlclose(again), 0);
    plat::dyld::sync();
    EXPECT_TRUE(events.empty());

    EXPECT_EQ(dlclose(handle), 0);
    plat::dyld::sync();
    ASSERT_EQ(events.size(), 2u);
    for (const Event& event : events) {
        EXPECT_FALSE(event.added);
        EXPECT_EQ(plat::dyld::imagePath(event.header), "");
    }
}

// A library's dlopen, with the image callbacks registered, gives for every name form, flag and
// failure what it gives in a program without any of our code (the probe's lines: handles by first
// appearance, paths, dlerror texts, and the object that defines the dlopen called); in the
// optimised build that is also what the C library's own dlopen gives the same library. (In a
// sanitized build every program's dlopen is the sanitizer's, which calls the C library from inside
// the sanitizer, so names relative to the caller resolve from there, here as in the reference.)
// What the library loaded reaches the callbacks at the next scan.
TEST_F(DyldTest, ALibrarysDlopenGivesWhatTheCLibraryGivesAndItsLoadsReachTheNextScan) {
    plat::dyld::registerFuncForAddImage(onAdd);
    void* probe = dlopen(VELMORA_DLOPEN_PROBE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(probe, nullptr) << dlerror();
    auto run = reinterpret_cast<int (*)(int, char*, size_t)>(dlsym(probe, "velmora_dlopen_probe"));
    ASSERT_NE(run, nullptr);
    std::string lines(16384, '\0');
    lines.resize(static_cast<size_t>(run(0, lines.data(), lines.size())));
    auto reference = [](const char* mode) {
        return testsupport::runCommand("'" VELMORA_DLOPEN_REFERENCE "' '" VELMORA_DLOPEN_PROBE "' " +
                                       std::string(mode));
    };
    EXPECT_EQ(lines, reference("bound"));
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(lines, reference("own"));
    // The cases show what they are there for: both sides failing alike would prove nothing.
    auto result = [&](const std::string& call) {
        const size_t at = lines.find("\n" + call + ": ");
        if (at == std::string::npos) return std::string("<no call>");
        const size_t start = at + call.size() + 3;
        return lines.substr(start, lines.find('\n', start) - start);
    };
    const std::string folder = std::filesystem::path(VELMORA_DLOPEN_PROBE).parent_path().string();
    EXPECT_EQ(result("$ORIGIN/libvelmora_dlopen_sibling.so 0x2"),
              "#2 " + folder + "/libvelmora_dlopen_sibling.so | -");
    EXPECT_EQ(result("libvelmora_dlopen_plugin.so 0x1"),
              "#3 " + folder + "/runpath/libvelmora_dlopen_plugin.so | -");
    EXPECT_EQ(result("libvelmora_dlopen_twin.so 0x2"), result("first/libvelmora_dlopen_twin.so 0x2"))
        << "the soname already loaded is the one given";
    EXPECT_EQ(result("libvelmora_dlopen_undefined.so 0x2"),
              "fails | " + folder +
                  "/runpath/libvelmora_dlopen_undefined.so: undefined symbol: velmora_dlopen_nowhere");
    EXPECT_EQ(
        result("libvelmora_dlopen_missing.so 0x2"),
        "fails | libvelmora_dlopen_missing.so: cannot open shared object file: No such file or directory");
#endif
    // Every object a call gave, the callbacks have heard of by the next scan.
    plat::dyld::sync();
    std::vector<std::string> added;
    for (const Event& event : events)
        added.push_back(plat::dyld::imagePath(event.header));
    std::istringstream calls(lines);
    int loaded = 0;
    for (std::string call; std::getline(calls, call);) {
        const size_t number = call.find(": #"), path = call.find(" /", number), end = call.rfind(" | ");
        if (number == std::string::npos || path == std::string::npos || end < path) continue;
        const std::string object = call.substr(path + 1, end - path - 1);
        EXPECT_NE(std::find(added.begin(), added.end(), object), added.end())
            << object << " was not reported";
        ++loaded;
    }
    EXPECT_GT(loaded, 0) << lines;
}

// The sanitizer's leak check at exit reads each thread's block of every library loaded later (the
// GL driver's shader compiler keeps one for the main thread). One that starts 16 bytes into a page
// must not be read as a range near address zero, which crashed the check and failed the process.
// With the smallest red zones the allocator puts a large block there every time. Only the address
// sanitizer's leak check reads those blocks, so only its build has this test.
#if defined(__SANITIZE_ADDRESS__)
TEST(DynamicTlsTest, AProcessWithALoadedLibrarysBlockOnItsMainThreadExitsCleanly) {
    int status = -1;
    const std::string output =
        testsupport::runCommand("ASAN_OPTIONS=\"$ASAN_OPTIONS:max_redzone=16\" '" VELMORA_DYNAMIC_TLS_EXIT
                                "' '" VELMORA_DYNAMIC_TLS "' 2>&1",
                                &status);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output.find("LeakSanitizer"), std::string::npos) << output;
    // The block was where the case needs it.
    const size_t at = output.find("block at 0x");
    ASSERT_NE(at, std::string::npos) << output;
    EXPECT_EQ(std::stoull(output.substr(at + 9), nullptr, 16) % 4096, 16u) << output;
}
#endif
