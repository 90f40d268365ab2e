#include "crash/unwind/CRWDwarfCFI.h"
#include "crash/unwind/CRWEhFrameHdr.h"
#include "tests/crash/support/UnwindTestSupport.h"

#include <gtest/gtest.h>

#include <link.h>

using namespace crashtest;

namespace {

// version 1, eh_frame pcrel sdata4, count udata4, table datarel sdata4.
ByteBuilder tableOf(const std::vector<std::pair<int32_t, int32_t>>& rows, uint8_t version = 1) {
    ByteBuilder b;
    b.u8(version).u8(0x1B).u8(0x03).u8(0x3B).u32(0x100).u32(static_cast<uint32_t>(rows.size()));
    for (auto [start, fde] : rows)
        b.u32(static_cast<uint32_t>(start)).u32(static_cast<uint32_t>(fde));
    return b;
}

bool initOver(CRWEhFrameHdr* header, const ByteBuilder& b) {
    const uint64_t start = reinterpret_cast<uintptr_t>(b.data.data());
    return CRWEhFrameHdrInit(header, start, start + b.size(), nullptr);
}

} // namespace

TEST(CRWEhFrameHdr, BinarySearchFindsTheGreatestStartNotAbovePC) {
    const ByteBuilder b = tableOf({{0x1000, 0x40}, {0x1100, 0x80}, {0x1200, 0xC0}, {0x1F00, 0x100}});
    CRWEhFrameHdr header;
    ASSERT_TRUE(initOver(&header, b));
    const uint64_t base = reinterpret_cast<uintptr_t>(b.data.data());
    EXPECT_EQ(header.ehFrame, base + 4 + 0x100);
    EXPECT_EQ(header.fdeCount, 4u);
    uint64_t fde = 0, start = 0;
    const std::vector<std::pair<uint64_t, uint64_t>> cases = {
        {0x1000, 0x40}, {0x10FF, 0x40}, {0x1100, 0x80}, {0x1250, 0xC0}, {0x1F00, 0x100}, {0x9999, 0x100}};
    for (auto [pc, expected] : cases) {
        ASSERT_TRUE(CRWEhFrameHdrFindFDE(&header, base + pc, &fde, &start)) << std::hex << pc;
        EXPECT_EQ(fde, base + expected) << std::hex << pc;
    }
    EXPECT_FALSE(CRWEhFrameHdrFindFDE(&header, base + 0xFFF, &fde, &start));
}

TEST(CRWEhFrameHdr, DamagedHeadersFail) {
    CRWEhFrameHdr header;
    EXPECT_FALSE(initOver(&header, tableOf({{0x1000, 0x40}}, 2)));
    ByteBuilder longTable = tableOf({{0x1000, 0x40}});
    longTable.patch32(8, 1000); // more entries than bytes
    EXPECT_FALSE(initOver(&header, longTable));
    ByteBuilder variable = tableOf({{0x1000, 0x40}});
    variable.data[3] = 0x31; // uleb table values cannot be searched
    EXPECT_FALSE(initOver(&header, variable));
    ByteBuilder cut = tableOf({});
    cut.data.resize(6);
    EXPECT_FALSE(initOver(&header, cut));
    ByteBuilder empty = tableOf({});
    ASSERT_TRUE(initOver(&header, empty));
    uint64_t fde = 0;
    EXPECT_FALSE(CRWEhFrameHdrFindFDE(&header, 0x1000, &fde, nullptr));
}

namespace {

struct OwnTables {
    uint64_t hdr = 0, hdrSize = 0, segmentStart = 0, segmentEnd = 0;
};

__attribute__((noinline)) int marker(int x) {
    return x * 7 + 1;
}

} // namespace

// This test binary's own table finds the FDE of one of its functions.
TEST(CRWEhFrameHdr, HostTableFindsOwnFunction) {
    const uint64_t function = reinterpret_cast<uintptr_t>(&marker);
    OwnTables tables;
    struct Query {
        uint64_t function;
        OwnTables* out;
    } query{function, &tables};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* q = static_cast<Query*>(data);
            bool contains = false;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& p = info->dlpi_phdr[i];
                if (p.p_type == PT_LOAD && q->function >= info->dlpi_addr + p.p_vaddr &&
                    q->function < info->dlpi_addr + p.p_vaddr + p.p_memsz)
                    contains = true;
            }
            if (!contains) return 0;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& p = info->dlpi_phdr[i];
                if (p.p_type == PT_GNU_EH_FRAME) {
                    q->out->hdr = info->dlpi_addr + p.p_vaddr;
                    q->out->hdrSize = p.p_memsz;
                }
            }
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& p = info->dlpi_phdr[i];
                const uint64_t start = info->dlpi_addr + p.p_vaddr;
                if (p.p_type == PT_LOAD && q->out->hdr >= start && q->out->hdr < start + p.p_memsz) {
                    q->out->segmentStart = start;
                    q->out->segmentEnd = start + p.p_memsz;
                }
            }
            return 1;
        },
        &query);
    ASSERT_NE(tables.hdr, 0u);
    CRWEhFrameHdr header;
    ASSERT_TRUE(CRWEhFrameHdrInit(&header, tables.hdr, tables.hdr + tables.hdrSize, nullptr));
    EXPECT_GT(header.fdeCount, 10u);
    uint64_t fde = 0, start = 0;
    ASSERT_TRUE(CRWEhFrameHdrFindFDE(&header, function + 1, &fde, &start));
    EXPECT_EQ(start, function);
    const CRWDwarfSection section{header.ehFrame, tables.segmentEnd, nullptr};
    CRWDwarfCFIRecord record;
    ASSERT_TRUE(CRWDwarfParseCFIFromFDERecord(&record, &section, fde));
    EXPECT_EQ(record.fde.pcStart, function);
    EXPECT_GT(record.fde.pcStart + record.fde.pcRange, function + 1);
    EXPECT_EQ(record.cie.returnAddressRegister, 16u);
    EXPECT_EQ(marker(1), 8);
}
