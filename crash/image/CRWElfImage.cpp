// Runs at crash time as well: no allocation, no locks, no exceptions. Every read of the image goes
// through the kernel (CRWReadMemory): at crash time a thread that was not stopped may unmap it.
#include "crash/image/CRWElfImage.h"

#include "crash/image/CRWBinaryImageTable.h"
#include "crash/record/CRWMemory.h"

#include <cstring>

#include <elf.h>

namespace {

// Program headers are read a few at a time into the caller's stack.
constexpr uint32_t kHeaderBatch = 8;

// Calls `visit` for each program header of the image whose header is `elf` (at `base`); false when
// one cannot be read.
template <typename Visit> bool forEachProgramHeader(uint64_t base, const Elf64_Ehdr& elf, Visit visit) {
    Elf64_Phdr batch[kHeaderBatch];
    for (uint32_t at = 0; at < elf.e_phnum; at += kHeaderBatch) {
        const uint32_t count = elf.e_phnum - at < kHeaderBatch ? elf.e_phnum - at : kHeaderBatch;
        if (!CRWReadMemory(base + elf.e_phoff + uint64_t{at} * sizeof(Elf64_Phdr), batch,
                           count * sizeof(Elf64_Phdr)))
            return false;
        for (uint32_t i = 0; i < count; ++i)
            visit(batch[i]);
    }
    return true;
}

void readBuildID(uint64_t notes, uint64_t size, CRWElfImageDetails* details) {
    uint64_t at = 0;
    while (size - at >= sizeof(Elf64_Nhdr)) {
        Elf64_Nhdr note;
        if (!CRWReadMemory(notes + at, &note, sizeof note)) return;
        const uint64_t name = (uint64_t{note.n_namesz} + 3) & ~uint64_t{3};
        const uint64_t desc = (uint64_t{note.n_descsz} + 3) & ~uint64_t{3};
        at += sizeof note;
        if (name > size - at || desc > size - at - name) return;
        char owner[4];
        if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 && note.n_descsz > 0 &&
            note.n_descsz <= sizeof details->buildID && CRWReadMemory(notes + at, owner, sizeof owner) &&
            std::memcmp(owner, "GNU", 4) == 0) {
            if (CRWReadMemory(notes + at + name, details->buildID, note.n_descsz))
                details->buildIDLength = note.n_descsz;
            return;
        }
        at += name + desc;
    }
}

} // namespace

bool CRWElfImageReadDetails(const void* header, intptr_t slide, CRWElfImageDetails* details) {
    if (header == nullptr || details == nullptr) return false;
    std::memset(details, 0, sizeof *details);
    const uint64_t base = reinterpret_cast<uintptr_t>(header);
    Elf64_Ehdr elf;
    if (!CRWReadMemory(base, &elf, sizeof elf) || std::memcmp(elf.e_ident, ELFMAG, SELFMAG) != 0 ||
        elf.e_ident[EI_CLASS] != ELFCLASS64 || elf.e_phentsize != sizeof(Elf64_Phdr))
        return false;
    const uint64_t bias = static_cast<uint64_t>(slide);
    // The header is where the segment that maps the file's start lies.
    bool headerMapped = false;
    uint64_t end = base;
    const bool read = forEachProgramHeader(base, elf, [&](const Elf64_Phdr& p) {
        if (p.p_type == PT_LOAD && p.p_offset == 0 && !headerMapped) headerMapped = bias + p.p_vaddr == base;
        if (p.p_type == PT_LOAD && bias + p.p_vaddr + p.p_memsz > end) end = bias + p.p_vaddr + p.p_memsz;
        if (p.p_type == PT_DYNAMIC) details->dynamic = bias + p.p_vaddr;
        if (p.p_type == PT_GNU_EH_FRAME) {
            details->ehFrameHdr = bias + p.p_vaddr;
            details->ehFrameHdrSize = p.p_memsz;
        }
    });
    if (!read || !headerMapped) {
        std::memset(details, 0, sizeof *details);
        return false;
    }
    details->base = base;
    details->size = end - base;
    forEachProgramHeader(base, elf, [&](const Elf64_Phdr& p) {
        const uint64_t start = bias + p.p_vaddr;
        if (p.p_type == PT_LOAD && details->ehFrameHdr >= start && details->ehFrameHdr < start + p.p_memsz) {
            details->unwindSegmentStart = start;
            details->unwindSegmentEnd = start + p.p_memsz;
        }
        if (p.p_type == PT_NOTE && details->buildIDLength == 0) readBuildID(start, p.p_memsz, details);
    });
    return true;
}

void CRWElfImageBuildIDString(const CRWElfImageDetails* details, char* out, uint32_t outSize) {
    static const char kDigits[] = "0123456789abcdef";
    uint32_t at = 0;
    for (uint32_t i = 0; i < details->buildIDLength && at + 2 < outSize; ++i) {
        out[at++] = kDigits[details->buildID[i] >> 4];
        out[at++] = kDigits[details->buildID[i] & 0xF];
    }
    if (outSize > 0) out[at < outSize ? at : outSize - 1] = '\0';
}

void CRWElfImageFillSlot(const CRWElfImageDetails* details, CRWBinaryImageSlot* slot) {
    std::memset(slot, 0, sizeof *slot);
    slot->baseAddress = details->base;
    slot->size = details->size;
    slot->ehFrameHdr = details->ehFrameHdr;
    slot->ehFrameHdrSize = details->ehFrameHdrSize;
    slot->unwindSegmentStart = details->unwindSegmentStart;
    slot->unwindSegmentEnd = details->unwindSegmentEnd;
}
