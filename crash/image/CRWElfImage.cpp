#include "crash/image/CRWElfImage.h"

#include "crash/image/CRWBinaryImageTable.h"

#include <cstring>

#include <elf.h>

namespace {

void readBuildID(const uint8_t* notes, uint64_t size, CRWElfImageDetails* details) {
    uint64_t at = 0;
    while (size - at >= sizeof(Elf64_Nhdr)) {
        Elf64_Nhdr note;
        std::memcpy(&note, notes + at, sizeof note);
        const uint64_t name = (uint64_t{note.n_namesz} + 3) & ~uint64_t{3};
        const uint64_t desc = (uint64_t{note.n_descsz} + 3) & ~uint64_t{3};
        at += sizeof note;
        if (name > size - at || desc > size - at - name) return;
        if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 && std::memcmp(notes + at, "GNU", 4) == 0 &&
            note.n_descsz > 0 && note.n_descsz <= sizeof details->buildID) {
            std::memcpy(details->buildID, notes + at + name, note.n_descsz);
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
    Elf64_Ehdr elf;
    std::memcpy(&elf, header, sizeof elf);
    if (std::memcmp(elf.e_ident, ELFMAG, SELFMAG) != 0 || elf.e_ident[EI_CLASS] != ELFCLASS64 ||
        elf.e_phentsize != sizeof(Elf64_Phdr))
        return false;
    const auto* phdrs =
        reinterpret_cast<const Elf64_Phdr*>(static_cast<const uint8_t*>(header) + elf.e_phoff);
    const uint64_t bias = static_cast<uint64_t>(slide);
    details->base = reinterpret_cast<uintptr_t>(header);
    uint64_t end = details->base;
    for (int i = 0; i < elf.e_phnum; ++i) {
        const Elf64_Phdr& p = phdrs[i];
        if (p.p_type == PT_LOAD && bias + p.p_vaddr + p.p_memsz > end) end = bias + p.p_vaddr + p.p_memsz;
        if (p.p_type == PT_GNU_EH_FRAME) {
            details->ehFrameHdr = bias + p.p_vaddr;
            details->ehFrameHdrSize = p.p_memsz;
        }
    }
    details->size = end - details->base;
    for (int i = 0; i < elf.e_phnum; ++i) {
        const Elf64_Phdr& p = phdrs[i];
        const uint64_t start = bias + p.p_vaddr;
        if (p.p_type == PT_LOAD && details->ehFrameHdr >= start && details->ehFrameHdr < start + p.p_memsz) {
            details->unwindSegmentStart = start;
            details->unwindSegmentEnd = start + p.p_memsz;
        }
        if (p.p_type == PT_NOTE && details->buildIDLength == 0)
            readBuildID(reinterpret_cast<const uint8_t*>(start), p.p_memsz, details);
    }
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
