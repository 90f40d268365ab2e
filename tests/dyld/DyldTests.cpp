#include "platform/dyld/Dyld.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
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

// The process's own dlopen and dlclose, whoever calls them, report before they return, and a
// library's dependencies come and go with it.
TEST_F(DyldTest, PlainDlopenAndDlcloseReportEveryImageTheyAddOrRemove) {
    plat::dyld::registerFuncForAddImage(onAdd);
    plat::dyld::registerFuncForRemoveImage(onRemove);
    events.clear();
    void* handle = dlopen(VELMORA_TEST_IMAGE_USER, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    std::vector<std::string> added;
    for (const Event& event : events) {
        EXPECT_TRUE(event.added);
        added.push_back(plat::dyld::imagePath(event.header));
    }
    std::sort(added.begin(), added.end());
    EXPECT_EQ(added, (std::vector<std::string>{VELMORA_TEST_IMAGE, VELMORA_TEST_IMAGE_USER}));

    // Loading it again only counts a reference: nothing to report.
    events.clear();
    void* again = dlmopen(LM_ID_BASE, VELMORA_TEST_IMAGE_USER, RTLD_NOW | RTLD_LOCAL);
    ASSERT_EQ(again, handle);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(dlclose(again), 0);
    EXPECT_TRUE(events.empty());

    EXPECT_EQ(dlclose(handle), 0);
    ASSERT_EQ(events.size(), 2u);
    for (const Event& event : events) {
        EXPECT_FALSE(event.added);
        EXPECT_EQ(plat::dyld::imagePath(event.header), "");
    }

    // A failed load reports nothing and leaves the linker's error for dlerror.
    events.clear();
    dlerror();
    EXPECT_EQ(dlopen("/nonexistent/libnothing.so", RTLD_NOW), nullptr);
    const char* error = dlerror();
    ASSERT_NE(error, nullptr);
    EXPECT_NE(std::string(error).find("libnothing.so"), std::string::npos) << error;
    EXPECT_TRUE(events.empty());
}

// The linker sees the program as the caller of every forwarded dlopen; a library asking by bare
// name for a plugin that only its own run path reaches still gets it.
TEST_F(DyldTest, ALibraryFindsByBareNameWhatItsOwnRunPathReaches) {
    void* host = dlopen(VELMORA_TEST_PLUGIN_HOST, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(host, nullptr) << dlerror();
    auto load = reinterpret_cast<void* (*)(const char*)>(dlsym(host, "velmora_test_plugin_host_open"));
    ASSERT_NE(load, nullptr);
    EXPECT_EQ(dlopen("libvelmora_test_plugin.so", RTLD_NOW | RTLD_LOCAL), nullptr)
        << "the program's own search reaches the plugin, so this test shows nothing";
    void* plugin = load("libvelmora_test_plugin.so");
    ASSERT_NE(plugin, nullptr) << dlerror();
    Dl_info info{};
    ASSERT_NE(dladdr(dlsym(plugin, "velmora_test_image_value"), &info), 0);
    EXPECT_EQ(std::filesystem::canonical(info.dli_fname), std::filesystem::canonical(VELMORA_TEST_PLUGIN));
    // A name the host's folders do not hold goes to the linker's search unchanged.
    EXPECT_EQ(load("libnothing-here.so"), nullptr);
    EXPECT_EQ(dlclose(plugin), 0);
    EXPECT_EQ(dlclose(host), 0);
}
