#include "crash/image/CRWBinaryImage.h"
#include "crash/image/CRWBinaryImageTable.h"
#include "crash/image/CRWElfImage.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWExecutionIdentifierModel.h"
#include "crash/record/CRWFileRead.h"
#include "platform/dyld/Dyld.h"
#include "tests/crash/support/CountingAllocator.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ThreadState.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct Event {
    std::string kind;
    plat::Object fields;
};

class CRWBinaryImageTracking : public ::testing::Test {
protected:
    void SetUp() override {
        CRWContextSetStartupHooks({});
        CRWBinaryImageInstallStartupHooks();
        CRWContextStartupHooks hooks = CRWContextCurrentStartupHooks();
        hooks.debuggerAttached = [] { return false; };
        CRWContextSetStartupHooks(hooks);
        report = CRWContextReportsRootPath() / CRWExecutionIdentifierModel().executionID();
        fs::create_directories(report);
        data.setRootPath(report.string() + "/");
        data.setSessionId("0123456789abcdef0123456789abcdef");
        ASSERT_TRUE(CRWContextInitialize(&data));
        testsupport::waitUntil([] { return CRWContextIsInitialized(); });
        ASSERT_TRUE(CRWContextIsInitialized());
        drain();
    }
    void TearDown() override {
        for (void* handle : handles)
            plat::dyld::close(handle);
        drain();
        CRWContextSetStartupHooks({});
    }
    static void drain() {
        CRWBinaryImageQueue().sync([] {});
    }

    std::vector<Event> events() const {
        std::vector<Event> out;
        auto sections = CRWFileReadSections((report / "binary_images.crwrecord").c_str(), false);
        if (!sections) return out;
        for (const plat::Object& section : *sections)
            for (const auto& [name, value] : section.dict())
                out.push_back({name, value});
        return out;
    }
    // Loads a copy of the test library from a path of its own and returns its handle.
    void* openCopy(const fs::path& path) {
        fs::create_directories(path.parent_path());
        fs::copy_file(VELMORA_TEST_IMAGE, path, fs::copy_options::overwrite_existing);
        void* handle = plat::dyld::open(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(handle, nullptr) << dlerror();
        if (handle) handles.push_back(handle);
        drain();
        return handle;
    }
    void close(void* handle) {
        handles.erase(std::remove(handles.begin(), handles.end(), handle), handles.end());
        plat::dyld::close(handle);
        drain();
    }
    static uint64_t symbolOf(void* handle) {
        return reinterpret_cast<uintptr_t>(dlsym(handle, "velmora_test_image_value"));
    }
    static int slotIndexOf(uint64_t base) {
        const CRWBinaryImageTable& table = _crwContext.writable->binaryImages.table;
        for (uint32_t i = 0; i < CRWBinaryImageSlotCount; ++i)
            if (table.slots[i].baseAddress == base) return static_cast<int>(i);
        return -1;
    }

    testsupport::TempHome home;
    fs::path report;
    CRWContextInitData data;
    std::vector<void*> handles;
};

__attribute__((noinline)) int ownFunction(int x) {
    return x + 11;
}

} // namespace

TEST_F(CRWBinaryImageTracking, StartupRecordsEveryLoadedImageAndTheExecutable) {
    const std::vector<plat::dyld::Image> images = plat::dyld::images();
    const std::vector<Event> loads = events();
    ASSERT_EQ(loads.size(), images.size());
    EXPECT_EQ(CRWBinaryImageTableCount(&_crwContext.writable->binaryImages.table), images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        EXPECT_EQ(loads[i].kind, "load");
        EXPECT_EQ(loads[i].fields["path"].string(), images[i].path);
        EXPECT_EQ(uint64_t(loads[i].fields["base"].number().int64Value()),
                  reinterpret_cast<uintptr_t>(images[i].header));
    }

    // The executable: its load line and the metadata's executable section agree.
    auto metadata = CRWFileReadSections((report / "metadata.crwrecord").c_str(), false);
    ASSERT_TRUE(metadata);
    const plat::Object& executable = metadata->back()["executable"];
    ASSERT_TRUE(executable.isDict());
    EXPECT_EQ(executable["architecture"].string(), "x86_64");
    EXPECT_EQ(executable["uuid"].string(), loads[0].fields["uuid"].string());
    EXPECT_EQ(executable["uuid"].string().size(), 40u); // a SHA-1 build-id
    EXPECT_EQ(executable["base"].number().int64Value(), loads[0].fields["base"].number().int64Value());
    EXPECT_EQ(executable["minimum_sdk_version"].string(), "0.0.0");
    EXPECT_FALSE(executable["encrypted"].number().boolValue());

    CRWBinaryImageSlot slot;
    ASSERT_TRUE(CRWBinaryImageSafeFindImageForAddress(reinterpret_cast<uintptr_t>(&ownFunction), &slot));
    EXPECT_EQ(slot.baseAddress, reinterpret_cast<uintptr_t>(images[0].header));
    EXPECT_TRUE(CRWBinaryImageSafeHasUnwindInfo(&slot));
    EXPECT_FALSE(CRWBinaryImageSafeFindImageForAddress(0x10, &slot));
    EXPECT_FALSE(CRWBinaryImageSafeFindImageForAddress(0, &slot));
    EXPECT_FALSE(CRWBinaryImageSafeFindImageForAddress(reinterpret_cast<uintptr_t>(&ownFunction), nullptr));
    EXPECT_EQ(ownFunction(1), 12);
}

TEST_F(CRWBinaryImageTracking, UnloadFreesTheSlotForTheNextLoad) {
    void* first = openCopy(home.path() / "one" / "libimage.so");
    ASSERT_NE(first, nullptr);
    CRWBinaryImageSlot slot;
    ASSERT_TRUE(CRWBinaryImageSafeFindImageForAddress(symbolOf(first), &slot));
    const uint64_t base = slot.baseAddress;
    const int index = slotIndexOf(base);
    ASSERT_GE(index, 0);
    const uint64_t symbol = symbolOf(first);

    close(first);
    EXPECT_FALSE(CRWBinaryImageSafeFindImageForAddress(symbol, &slot));
    const std::vector<Event> all = events();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all.back().kind, "unload");
    EXPECT_EQ(all.back().fields["path"].string(), (home.path() / "one" / "libimage.so").string());
    EXPECT_EQ(uint64_t(all.back().fields["base"].number().int64Value()), base);

    void* second = openCopy(home.path() / "two" / "libimage.so");
    ASSERT_TRUE(CRWBinaryImageSafeFindImageForAddress(symbolOf(second), &slot));
    EXPECT_EQ(slotIndexOf(slot.baseAddress), index);
}

// Real libraries fill every slot: the table holds 1,024 images, the next load is still written
// to the file, and an unload makes room again.
TEST_F(CRWBinaryImageTracking, HoldsOneThousandTwentyFourImagesAndReusesSlots) {
    const CRWBinaryImageTable* table = &_crwContext.writable->binaryImages.table;
    std::vector<void*> opened;
    for (int i = 0; CRWBinaryImageTableCount(table) < CRWBinaryImageSlotCount; ++i) {
        ASSERT_LT(i, 1100);
        opened.push_back(openCopy(home.path() / "many" / ("libimage" + std::to_string(i) + ".so")));
        ASSERT_NE(opened.back(), nullptr);
    }
    EXPECT_EQ(CRWBinaryImageTableCount(table), 1024u);
    CRWBinaryImageSlot slot;
    for (void* handle : opened)
        ASSERT_TRUE(CRWBinaryImageSafeFindImageForAddress(symbolOf(handle), &slot));

    void* extra = openCopy(home.path() / "many" / "libextra.so");
    EXPECT_FALSE(CRWBinaryImageSafeFindImageForAddress(symbolOf(extra), &slot));
    EXPECT_EQ(events().back().kind, "load");
    EXPECT_EQ(events().back().fields["path"].string(), (home.path() / "many" / "libextra.so").string());
    const std::string log = testsupport::readFile(report / "sdk.log");
    EXPECT_NE(log.find("Unable to track a loaded node 0x"), std::string::npos);

    ASSERT_TRUE(CRWBinaryImageSafeFindImageForAddress(symbolOf(opened[500]), &slot));
    const int freed = slotIndexOf(slot.baseAddress);
    close(opened[500]);
    void* again = openCopy(home.path() / "many" / "libagain.so");
    ASSERT_TRUE(CRWBinaryImageSafeFindImageForAddress(symbolOf(again), &slot));
    EXPECT_EQ(slotIndexOf(slot.baseAddress), freed);
}

// A library that another library loads with plain dlopen tells nobody; the crash path's sync reads
// the linker's list and gives it its slot (with its unwind tables) and its "load" line without an
// allocation. Once the library is unloaded the same way, the next sync clears the slot with an
// "unload" line; a sync with nothing new writes nothing. A library loaded into a namespace of its own
// is found the same way.
TEST_F(CRWBinaryImageTracking, TheCrashPathFindsWhatOtherLibrariesLoadedAndUnloaded) {
    void* loader = dlopen(CRASH_DEMO_LOADER_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(loader, nullptr) << dlerror();
    handles.push_back(loader);
    auto load = reinterpret_cast<void* (*)(const char*)>(dlsym(loader, "crashDemoLoaderOpen"));
    auto unload = reinterpret_cast<int (*)(void*)>(dlsym(loader, "crashDemoLoaderClose"));
    ASSERT_TRUE(load && unload);
    void* frameless = load(CRASH_DEMO_FRAMELESS_PATH);
    ASSERT_NE(frameless, nullptr) << dlerror();
    const uint64_t enter = reinterpret_cast<uintptr_t>(dlsym(frameless, "crashDemoFramelessEnter"));

    auto syncAsTheCrashPath = [] {
        crashtest::AllocationCountScope counting;
        CRWBinaryImageSafeSyncWithLinker(true);
        EXPECT_EQ(counting.counts().total(), 0u) << counting.counts();
    };
    syncAsTheCrashPath();
    CRWBinaryImageSlot slot;
    ASSERT_TRUE(CRWBinaryImageSafeFindImageForAddress(enter, &slot));
    EXPECT_TRUE(CRWBinaryImageSafeHasUnwindInfo(&slot));
    std::vector<Event> all = events();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[all.size() - 2].kind, "load");
    EXPECT_EQ(all[all.size() - 2].fields["path"].string(), CRASH_DEMO_LOADER_PATH);
    EXPECT_EQ(all.back().kind, "load");
    EXPECT_EQ(all.back().fields["path"].string(), CRASH_DEMO_FRAMELESS_PATH);
    EXPECT_EQ(uint64_t(all.back().fields["base"].number().int64Value()), slot.baseAddress);
    EXPECT_EQ(uint64_t(all.back().fields["size"].number().int64Value()), slot.size);
    EXPECT_EQ(all.back().fields["uuid"].string().size(), 40u);
    syncAsTheCrashPath();
    EXPECT_EQ(events().size(), all.size());

    ASSERT_EQ(unload(frameless), 0);
    // A crash path that could not stop every other thread only adds.
    CRWBinaryImageSafeSyncWithLinker(false);
    EXPECT_TRUE(CRWBinaryImageSafeFindImageForAddress(enter, &slot));
    EXPECT_EQ(events().size(), all.size());
    syncAsTheCrashPath();
    EXPECT_FALSE(CRWBinaryImageSafeFindImageForAddress(enter, &slot));
    all = events();
    EXPECT_EQ(all.back().kind, "unload");
    EXPECT_EQ(uint64_t(all.back().fields["base"].number().int64Value()), slot.baseAddress);
    // The next scan of the tracker's own finds the table as it should be: no second slot.
    plat::dyld::sync();
    EXPECT_EQ(CRWBinaryImageTableCount(&_crwContext.writable->binaryImages.table),
              plat::dyld::images().size());

    // Objects of another namespace are on the linker's lists as well (the tracker's own scan sees
    // only this namespace).
    void* apart = dlmopen(LM_ID_NEWLM, VELMORA_TEST_IMAGE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(apart, nullptr) << dlerror();
    handles.push_back(apart);
    syncAsTheCrashPath();
    EXPECT_TRUE(CRWBinaryImageSafeFindImageForAddress(symbolOf(apart), &slot));
    EXPECT_EQ(events().back().fields["path"].string(), VELMORA_TEST_IMAGE);
}

// A library linked at a raised address has its ELF header above its load bias, where its first
// segment lies. Loaded with plain dlopen, the crash path's sync finds it there, as the start-up
// scan would, and removes nothing.
TEST_F(CRWBinaryImageTracking, TheCrashPathFindsALibraryLinkedAtARaisedAddress) {
    const size_t before = events().size();
    void* raised = dlopen(CRASH_DEMO_RAISED_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(raised, nullptr) << dlerror();
    handles.push_back(raised);
    const void* function = dlsym(raised, "crashDemoLibraryCrash");
    Dl_info info{};
    ASSERT_NE(dladdr(function, &info), 0);
    link_map* map = nullptr;
    ASSERT_EQ(dlinfo(raised, RTLD_DI_LINKMAP, &map), 0);
    ASSERT_NE(reinterpret_cast<uintptr_t>(info.dli_fbase), map->l_addr) << "the header is not at the bias";
    {
        crashtest::AllocationCountScope counting;
        CRWBinaryImageSafeSyncWithLinker(true);
        EXPECT_EQ(counting.counts().total(), 0u) << counting.counts();
    }
    CRWBinaryImageSlot slot;
    ASSERT_TRUE(CRWBinaryImageSafeFindImageForAddress(reinterpret_cast<uintptr_t>(function), &slot));
    EXPECT_EQ(slot.baseAddress, reinterpret_cast<uintptr_t>(info.dli_fbase));
    EXPECT_TRUE(CRWBinaryImageSafeHasUnwindInfo(&slot));
    const std::vector<Event> all = events();
    ASSERT_EQ(all.size(), before + 1);
    EXPECT_EQ(all.back().kind, "load");
    EXPECT_EQ(all.back().fields["path"].string(), CRASH_DEMO_RAISED_PATH);
    EXPECT_EQ(uint64_t(all.back().fields["base"].number().int64Value()), slot.baseAddress);
}

// At crash time a thread that runs on may unmap an image under the reader: a header whose program
// headers or notes lie in unmapped memory, or that is itself gone, is read without a fault.
TEST(CRWElfImage, TablesInUnmappedMemoryAreReadWithoutAFault) {
    const size_t page = 4096;
    auto* image = static_cast<uint8_t*>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(image, MAP_FAILED);
    ASSERT_EQ(munmap(image + page, page), 0);
    const auto base = reinterpret_cast<uintptr_t>(image);
    Elf64_Ehdr elf{};
    std::memcpy(elf.e_ident, ELFMAG, SELFMAG);
    elf.e_ident[EI_CLASS] = ELFCLASS64;
    elf.e_phentsize = sizeof(Elf64_Phdr);
    elf.e_phnum = 2;
    elf.e_phoff = page;
    std::memcpy(image, &elf, sizeof elf);
    CRWElfImageDetails details;
    EXPECT_FALSE(CRWElfImageReadDetails(image, static_cast<intptr_t>(base), &details)) << "program headers";

    elf.e_phoff = sizeof elf;
    std::memcpy(image, &elf, sizeof elf);
    Elf64_Phdr headers[2]{};
    headers[0].p_type = PT_LOAD;
    headers[0].p_memsz = page;
    headers[1].p_type = PT_NOTE;
    headers[1].p_vaddr = page;
    headers[1].p_memsz = 64;
    std::memcpy(image + sizeof elf, headers, sizeof headers);
    ASSERT_TRUE(CRWElfImageReadDetails(image, static_cast<intptr_t>(base), &details)) << "notes";
    EXPECT_EQ(details.base, base);
    EXPECT_EQ(details.buildIDLength, 0u);

    ASSERT_EQ(munmap(image, page), 0);
    EXPECT_FALSE(CRWElfImageReadDetails(image, static_cast<intptr_t>(base), &details)) << "the header";
}

TEST_F(CRWBinaryImageTracking, FindsImagesByIdentifier) {
    void* handle = openCopy(home.path() / "uuid" / "libimage.so");
    CRWBinaryImageSlot slot;
    ASSERT_TRUE(CRWBinaryImageSafeFindImageForAddress(symbolOf(handle), &slot));
    const std::string uuid = events().back().fields["uuid"].string();
    ASSERT_EQ(uuid.size(), 40u);
    CRWBinaryImageDetails details;
    ASSERT_TRUE(CRWBinaryImageFindImageForUUID(uuid.c_str(), &details));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(details.header), slot.baseAddress);
    EXPECT_EQ(details.slot.size, slot.size);
    EXPECT_FALSE(CRWBinaryImageFindImageForUUID("0000000000000000000000000000000000000000", &details));
    EXPECT_FALSE(CRWBinaryImageFindImageForUUID(nullptr, &details));
}

TEST_F(CRWBinaryImageTracking, FrameworksNameTheirBundle) {
    const fs::path framework = home.path() / "Velmora Tools.framework";
    testsupport::writeFile(framework / "Info.plist",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                           "<key>CFBundleIdentifier</key><string>io.velmora.tools</string>"
                           "<key>CFBundleVersion</key><string>77</string>"
                           "<key>CFBundleShortVersionString</key><string>2.1</string></dict></plist>\n");
    openCopy(framework / "Versions" / "A" / "Velmora Tools");
    const plat::Object fields = events().back().fields;
    EXPECT_EQ(fields["bundle_id"].string(), "io.velmora.tools");
    EXPECT_EQ(fields["build_version"].string(), "77");
    EXPECT_EQ(fields["display_version"].string(), "2.1");

    // An ordinary library names none.
    openCopy(home.path() / "plain" / "libimage.so");
    EXPECT_FALSE(events().back().fields["bundle_id"].isString());
}

TEST(CRWBinaryImageTable, SlotsAreClaimedInOrderAndFoundByRange) {
    auto table = std::make_unique<CRWBinaryImageTable>();
    CRWBinaryImageSlot slot{};
    slot.baseAddress = 0x400000;
    slot.size = 0x1000;
    ASSERT_TRUE(CRWBinaryImageTableStore(table.get(), &slot));
    slot.baseAddress = 0x500000;
    slot.size = 0; // a slot whose size is not yet written matches nothing
    ASSERT_TRUE(CRWBinaryImageTableStore(table.get(), &slot));
    CRWBinaryImageSlot found;
    EXPECT_TRUE(CRWBinaryImageTableFind(table.get(), 0x400FFF, &found));
    EXPECT_FALSE(CRWBinaryImageTableFind(table.get(), 0x401000, &found));
    EXPECT_FALSE(CRWBinaryImageTableFind(table.get(), 0x500000, &found));
    EXPECT_FALSE(CRWBinaryImageTableRemove(table.get(), 0x600000));
    EXPECT_FALSE(CRWBinaryImageTableStore(table.get(), &(const CRWBinaryImageSlot&)CRWBinaryImageSlot{}));
    ASSERT_TRUE(CRWBinaryImageTableRemove(table.get(), 0x400000));
    EXPECT_FALSE(CRWBinaryImageTableFind(table.get(), 0x400800, &found));
    slot.baseAddress = 0x700000;
    slot.size = 0x100;
    ASSERT_TRUE(CRWBinaryImageTableStore(table.get(), &slot));
    EXPECT_EQ(table->slots[0].baseAddress, 0x700000u);
    EXPECT_EQ(table->slotsInUse, 2u);

    // A base already claimed is refilled in place; the table holds an image only as described, or
    // while its slot is still being filled.
    uint32_t index = 99;
    EXPECT_TRUE(CRWBinaryImageTableHolds(table.get(), &slot, &index));
    EXPECT_EQ(index, 0u);
    slot.size = 0x200;
    EXPECT_FALSE(CRWBinaryImageTableHolds(table.get(), &slot, &index));
    ASSERT_TRUE(CRWBinaryImageTableStore(table.get(), &slot));
    EXPECT_EQ(CRWBinaryImageTableCount(table.get()), 2u);
    EXPECT_TRUE(CRWBinaryImageTableFind(table.get(), 0x7001FF, &found));
    slot.baseAddress = 0x500000;
    EXPECT_TRUE(CRWBinaryImageTableHolds(table.get(), &slot, &index));
    EXPECT_EQ(index, 1u);
}
