// Drives each crash-time parser over one input of arbitrary bytes, touching every value it
// returns: shared by the fixed-seed mutation tests and the fuzz harnesses. The input must be an
// exact-size allocation so the sanitizers see any read past it.
#pragma once

#include "crash/image/CRWMachO.h"
#include "crash/unwind/CRWCompactUnwind.h"
#include "crash/unwind/CRWDwarfCFI.h"
#include "crash/unwind/CRWDwarfExpression.h"
#include "crash/unwind/CRWDwarfUnwind.h"
#include "crash/unwind/CRWEhFrameHdr.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include <sys/mman.h>

namespace crashtest {

// Reads only inside one buffer, so hostile addresses never reach real memory.
struct ExerciseReader {
    const uint8_t* data;
    size_t size;
    CRWMemoryReader reader() const {
        return CRWMemoryReader{[](void* context, uint64_t address, void* out, size_t length) {
                                   auto* self = static_cast<const ExerciseReader*>(context);
                                   const uint64_t base = reinterpret_cast<uintptr_t>(self->data);
                                   if (address < base || address - base > self->size ||
                                       self->size - (address - base) < length)
                                       return false;
                                   std::memcpy(out, self->data + (address - base), length);
                                   return true;
                               },
                               const_cast<ExerciseReader*>(this)};
    }
};

inline uint64_t exerciseSink = 0;

// arm64 register values keep 36 bits, so compact-unwind inputs are copied below 2^36, flush
// against an inaccessible page that catches any read past their end.
inline uint8_t* lowGuardedCopy(const uint8_t* data, size_t size) {
    constexpr size_t kArea = 1 << 20;
    static uint8_t* area = [] {
        for (uint64_t hint = 0x50000000; hint < 0x800000000; hint += 0x10000000) {
            void* p = mmap(reinterpret_cast<void*>(hint), kArea + 4096, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
            if (p == MAP_FAILED) continue;
            mprotect(static_cast<uint8_t*>(p) + kArea, 4096, PROT_NONE);
            return static_cast<uint8_t*>(p);
        }
        return static_cast<uint8_t*>(nullptr);
    }();
    if (area == nullptr || size > kArea) return nullptr;
    uint8_t* copy = area + kArea - size;
    std::memcpy(copy, data, size);
    return copy;
}

inline void exerciseMachOSlice(const CRWMachOSliceRecord* slice, void*) {
    exerciseSink += std::strlen(CRWMachOSliceGetArchitectureName(slice));
    CRWMachOSliceEnumerateLoadCommands_f(
        slice, nullptr, [](uint32_t type, uint32_t size, const uint8_t* command, void*) {
            if (const uint8_t* uuid = CRWMachOGetUUID(command, size)) {
                char text[33];
                CRWMachOUUIDToString(uuid, text);
                exerciseSink += text[0];
            }
            if (const char* path = CRWMachOGetDylibPath(command, size)) exerciseSink += std::strlen(path);
            exerciseSink += CRWMachOGetEncrypted(command, size);
            exerciseSink += CRWMachOGetMinimumOSVersion(command, size).major +
                            CRWMachOGetLinkedSDKVersion(command, size).minor;
            exerciseSink += CRWMachOGetSegmentCommand(type, command, size).vmsize;
        });
    CRWMachOSection section;
    if (CRWMachOSliceInitSectionByName(slice, "__TEXT", "__unwind_info", &section))
        exerciseSink += section.size;
    // An empty section may sit exactly at the slice's end: its address is valid, but it has no
    // byte to read.
    CRWMachOSection text;
    uint64_t address = 0;
    if (CRWMachOSliceInitSectionByName(slice, "__TEXT", "__text", &text) && text.size > 0 &&
        CRWMachOSliceGetSectionByName(slice, "__TEXT", "__text", &address)) {
        exerciseSink += *reinterpret_cast<const uint8_t*>(address);
    }
}

// A Mach-O or fat file.
inline void exerciseMachO(const uint8_t* data, size_t size) {
    CRWMachOEnumerateSlicesAtAddress(data, size, nullptr, exerciseMachOSlice);
}

// A compact unwind section: lookups at PCs spread over the first-level range, each applied to a
// register state whose stack is the input itself.
inline void exerciseCompactUnwind(const uint8_t* input, size_t size) {
    const uint8_t* data = lowGuardedCopy(input, size);
    if (data == nullptr) return;
    const ExerciseReader memory{data, size};
    const CRWMemoryReader reader = memory.reader();
    const uint64_t load = reinterpret_cast<uintptr_t>(data);
    CRWCompactUnwindContext context;
    if (!CRWCompactUnwindInit(&context, load, size, load, size, load, &reader)) return;
    for (uint64_t pc : {uint64_t{0}, uint64_t{0x5e8}, uint64_t{0x700}, uint64_t{0x4630}, uint64_t{0x5194},
                        uint64_t{size / 2}, uint64_t{0x1000}, uint64_t{0x1010}}) {
        CRWRegisters registers{};
        registers.architecture = CRWArchitectureARM64;
        registers.pc = load + pc;
        registers.values[29] = load + size / 2;
        registers.values[30] = load + 8;
        registers.values[31] = load + size / 4;
        exerciseSink += CRWCompactUnwindLookupAndCompute(&context, &registers);
    }
}

// An eh_frame section: every offset parsed as an FDE and, when it parses, applied at PCs across
// its range with x86_64 registers whose stack is the input.
inline void exerciseEhFrame(const uint8_t* data, size_t size) {
    const ExerciseReader memory{data, size};
    const CRWMemoryReader reader = memory.reader();
    const uint64_t start = reinterpret_cast<uintptr_t>(data);
    const CRWDwarfSection section{start, start + size, &reader};
    for (uint64_t offset = 1; offset < size; ++offset) {
        CRWDwarfCFIRecord record;
        if (!CRWDwarfParseCFIFromFDERecordOffset(&record, &section, offset)) continue;
        for (uint64_t step : {uint64_t{0}, uint64_t{3}, uint64_t{9}, record.fde.pcRange}) {
            CRWRegisters registers{};
            registers.architecture = (offset & 1) ? CRWArchitectureX86_64 : CRWArchitectureARM64;
            registers.pc = record.fde.pcStart + step;
            for (uint64_t& value : registers.values)
                value = start + size / 2;
            exerciseSink += CRWDwarfUnwindComputeRegisters(&record, &registers);
        }
    }
    CRWEhFrameHdr header;
    if (CRWEhFrameHdrInit(&header, start, start + size, &reader)) {
        uint64_t fde = 0;
        exerciseSink += CRWEhFrameHdrFindFDE(&header, start + size / 2, &fde, nullptr);
    }
}

// One DWARF expression (length first), evaluated with registers and a stack inside the input.
inline void exerciseExpression(const uint8_t* data, size_t size) {
    const ExerciseReader memory{data, size};
    const CRWMemoryReader reader = memory.reader();
    const uint64_t start = reinterpret_cast<uintptr_t>(data);
    CRWRegisters registers{};
    registers.architecture = CRWArchitectureX86_64;
    for (uint64_t& value : registers.values)
        value = start;
    registers.pc = start + 1;
    uint64_t result = 0;
    exerciseSink += CRWDwarfEvalulateExpression(start, start + size, &registers, &reader, start, &result);
}

} // namespace crashtest
