#include "crash/record/CRWAllocator.h"
#include "crash/record/CRWHost.h"
#include "tests/crash/record/RecordTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

namespace {

bool inRegion(const CRWAllocatorRegion& region, const void* p) {
    const auto a = reinterpret_cast<uint64_t>(p);
    return a >= region.start && a < region.start + region.size;
}

TEST(CRWAllocator, RegionSizesAreWholePagesWithOneToSpare) {
    EXPECT_EQ(CRWAllocatorWritableRegionSize(0, 4096), 0u);
    EXPECT_EQ(CRWAllocatorWritableRegionSize(1, 4096), 4096u);
    EXPECT_EQ(CRWAllocatorWritableRegionSize(4096, 4096), 8192u)
        << "a multiple of the page still gets one more";
    EXPECT_EQ(CRWAllocatorReadOnlyRegionSize(0, 4096), 4096u);
    EXPECT_EQ(CRWAllocatorReadOnlyRegionSize(4096 - 64, 4096), 8192u) << "the record's 64 bytes count";
    EXPECT_EQ(CRWAllocatorReadOnlyRegionSize(17056, 16384), 32768u);
    const uint64_t page = CRWHostGetPageSize();
    EXPECT_GE(page, 4096u);
    EXPECT_LE(page, 16384u);
}

TEST(CRWAllocator, LayoutGuardsAndAlignment) {
    crashtest::ScopedLogContext context;
    const uint64_t page = CRWHostGetPageSize();
    CRWAllocator* allocator = CRWAllocatorCreate(1000, 100);
    ASSERT_NE(allocator, nullptr);
    EXPECT_EQ(allocator->writableRegion.start, allocator->mappingStart + page);
    EXPECT_EQ(allocator->readOnlyRegion.start,
              allocator->mappingStart + 2 * page + allocator->writableRegion.size);
    EXPECT_EQ(reinterpret_cast<uint64_t>(allocator), allocator->readOnlyRegion.start)
        << "the record heads its read-only region";
    EXPECT_NE(context.logText().find("INFO  [CRWAllocatorCreate:"), std::string::npos);
    EXPECT_NE(context.logText().find("DEBUG [CRWAllocatorCreate:"), std::string::npos);

    // Odd sizes from both regions still give 16-byte aligned, disjoint blocks.
    std::vector<char*> blocks;
    for (size_t size : {1, 3, 17, 5, 32, 7}) {
        for (int type : {CRWAllocationTypeReadOnly, CRWAllocationTypeWritable}) {
            auto* p = static_cast<char*>(CRWAllocatorSafeAllocate(allocator, size, type));
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << size;
            EXPECT_TRUE(inRegion(type == CRWAllocationTypeWritable ? allocator->writableRegion
                                                                   : allocator->readOnlyRegion,
                                 p));
            memset(p, 0xab, size);
            blocks.push_back(p);
        }
    }
    EXPECT_EQ(std::set<char*>(blocks.begin(), blocks.end()).size(), blocks.size());
    EXPECT_EQ(CRWAllocatorSafeAllocate(allocator, 8, 2), nullptr) << "unknown types give nothing";
}

TEST(CRWAllocator, AnExactFitSucceedsAndTheNextFallsBackToTheHeap) {
    crashtest::ScopedLogContext context;
    CRWAllocator* allocator = CRWAllocatorCreate(100, 0);
    ASSERT_NE(allocator, nullptr);
    CRWAllocatorRegion& region = allocator->writableRegion;
    void* all = CRWAllocatorSafeAllocate(allocator, region.size, CRWAllocationTypeWritable);
    EXPECT_EQ(reinterpret_cast<uint64_t>(all), region.start);
    EXPECT_EQ(context.logText().find("falling back"), std::string::npos);
    void* spill = CRWAllocatorSafeAllocate(allocator, 1, CRWAllocationTypeWritable);
    ASSERT_NE(spill, nullptr);
    EXPECT_FALSE(inRegion(region, spill));
    EXPECT_NE(context.logText().find("WARN  [CRWAllocatorSafeAllocateFromRegion:"), std::string::npos);
    EXPECT_NE(context.logText().find("Unable to allocate sufficient memory, falling back to malloc\n"),
              std::string::npos);
    free(spill);
}

TEST(CRWAllocator, ConcurrentAllocationsNeverOverlap) {
    crashtest::ScopedLogContext context;
    CRWAllocator* allocator = CRWAllocatorCreate(64 * 1024, 0);
    ASSERT_NE(allocator, nullptr);
    std::vector<std::vector<uint64_t>> got(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < got.size(); ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i)
                got[t].push_back(reinterpret_cast<uint64_t>(
                    CRWAllocatorSafeAllocate(allocator, 48, CRWAllocationTypeWritable)));
        });
    for (auto& thread : threads)
        thread.join();
    std::set<uint64_t> all;
    for (auto& list : got)
        for (uint64_t a : list) {
            EXPECT_TRUE(inRegion(allocator->writableRegion, reinterpret_cast<void*>(a)));
            all.insert(a);
        }
    EXPECT_EQ(all.size(), 800u);
    EXPECT_EQ(allocator->writableRegion.next.load() - allocator->writableRegion.start, 800u * 48);
}

TEST(CRWAllocator, ProtectionSendsLaterAllocationsToTheHeap) {
    crashtest::ScopedLogContext context;
    CRWAllocator* allocator = CRWAllocatorCreate(4096, 4096);
    ASSERT_NE(allocator, nullptr);
    EXPECT_FALSE(CRWAllocatorProtect(nullptr));
    ASSERT_TRUE(CRWAllocatorProtect(allocator));
    EXPECT_TRUE(allocator->writeProtected);
    EXPECT_TRUE(CRWAllocatorProtect(allocator)) << "protecting twice is harmless";
    for (int type : {CRWAllocationTypeReadOnly, CRWAllocationTypeWritable}) {
        void* p = CRWAllocatorSafeAllocate(allocator, 32, type);
        ASSERT_NE(p, nullptr);
        EXPECT_FALSE(inRegion(allocator->writableRegion, p));
        EXPECT_FALSE(inRegion(allocator->readOnlyRegion, p));
        free(p);
    }
    EXPECT_NE(context.logText().find("Allocator already protected, falling back to malloc"),
              std::string::npos);
    EXPECT_NE(context.logText().find("Write protection already enabled"), std::string::npos);
    CRWAllocatorUnprotect(allocator);
    EXPECT_FALSE(allocator->writeProtected);
    void* p = CRWAllocatorSafeAllocate(allocator, 32, CRWAllocationTypeReadOnly);
    EXPECT_TRUE(inRegion(allocator->readOnlyRegion, p));
    void* heap = CRWAllocatorSafeAllocate(nullptr, 8, CRWAllocationTypeWritable);
    ASSERT_NE(heap, nullptr);
    CRWAllocatorFree(nullptr, heap); // freed: no allocator given
    CRWAllocatorFree(allocator, p);  // region memory is never returned
}

using CRWAllocatorDeathTest = ::testing::Test;

TEST_F(CRWAllocatorDeathTest, GuardPagesAndTheProtectedRegionFault) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CRWAllocator* allocator = CRWAllocatorCreate(100, 100);
    ASSERT_NE(allocator, nullptr);
    auto* writableEnd =
        reinterpret_cast<volatile char*>(allocator->writableRegion.start + allocator->writableRegion.size);
    auto* firstGuard = reinterpret_cast<volatile char*>(allocator->mappingStart);
    auto* lastGuard =
        reinterpret_cast<volatile char*>(allocator->readOnlyRegion.start + allocator->readOnlyRegion.size);
    EXPECT_DEATH(*writableEnd = 1, "");
    EXPECT_DEATH(*firstGuard = 1, "");
    EXPECT_DEATH(*lastGuard = 1, "");
    auto* readOnly =
        static_cast<volatile char*>(CRWAllocatorSafeAllocate(allocator, 16, CRWAllocationTypeReadOnly));
    *readOnly = 1; // writable until protected
    ASSERT_TRUE(CRWAllocatorProtect(allocator));
    EXPECT_EQ(*readOnly, 1);
    EXPECT_DEATH(*readOnly = 2, "");
}

TEST_F(CRWAllocatorDeathTest, AnEmptyWritableRegionLeavesTwoAdjacentGuardPages) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const uint64_t page = CRWHostGetPageSize();
    CRWAllocator* allocator = CRWAllocatorCreate(0, 10);
    ASSERT_NE(allocator, nullptr);
    EXPECT_EQ(allocator->writableRegion.size, 0u);
    EXPECT_EQ(allocator->readOnlyRegion.start, allocator->mappingStart + 2 * page);
    auto* secondPage = reinterpret_cast<volatile char*>(allocator->mappingStart + page);
    EXPECT_DEATH(*secondPage = 1, "");
}

} // namespace
