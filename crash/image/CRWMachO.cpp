// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/image/CRWMachO.h"

#include <cstring>

namespace {

const uint8_t* bytesOf(const CRWMachOSliceRecord* slice) {
    return reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(slice->startAddress));
}

uint32_t readU32(const uint8_t* at) {
    uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

uint64_t readU64(const uint8_t* at) {
    uint64_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

uint32_t readBigU32(const uint8_t* at) {
    return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | uint32_t{at[3]};
}

// Header size for a Mach-O magic, 0 for anything else.
uint32_t headerSize(uint32_t magic) {
    switch (magic) {
    case CRWMachOMagic32:
    case CRWMachOCigam32:
        return 28;
    case CRWMachOMagic64:
    case CRWMachOCigam64:
        return 32;
    default:
        return 0;
    }
}

// Checks every command and says how the walk went; *count is the number of commands.
CRWMachOStatus validateCommands(const CRWMachOSliceRecord* slice, uint64_t* first, uint32_t* count) {
    CRWMachOHeaderValues(slice, first, count);
    if (*first == 0 || *count == 0) return CRWMachOStatusOK;
    const uint8_t* base = bytesOf(slice);
    const uint32_t sizeOfCommands = readU32(base + 20);
    const uint64_t commandsStart = *first - slice->startAddress;
    if (sizeOfCommands > slice->size - commandsStart) return CRWMachOStatusTruncated;
    uint64_t offset = 0;
    for (uint32_t i = 0; i < *count; ++i) {
        if (sizeOfCommands - offset < 8) return CRWMachOStatusTruncated;
        const uint32_t size = readU32(base + commandsStart + offset + 4);
        if (size < 8 || size % 4 != 0) return CRWMachOStatusBadCommandSize;
        if (size > sizeOfCommands - offset) return CRWMachOStatusBadCommandSize;
        offset += size;
    }
    return CRWMachOStatusOK;
}

struct SectionQuery {
    const char* segment;
    const char* section;
    bool is64;
    bool found;
    CRWMachOSection* out;
};

bool nameEquals(const uint8_t* field, const char* name) {
    char copy[17];
    std::memcpy(copy, field, 16);
    copy[16] = '\0';
    return std::strcmp(copy, name) == 0;
}

void findSection(uint32_t type, uint32_t size, const uint8_t* command, void* context) {
    auto* query = static_cast<SectionQuery*>(context);
    if (query->found) return;
    const bool is64 = type == CRWMachOLoadCommandSegment64;
    if ((type != CRWMachOLoadCommandSegment && !is64) || is64 != query->is64) return;
    const uint32_t commandSize = is64 ? 72 : 56;
    const uint32_t sectionSize = is64 ? 80 : 68;
    if (size < commandSize || !nameEquals(command + 8, query->segment)) return;
    const uint32_t count = readU32(command + (is64 ? 64 : 48));
    if (count > (size - commandSize) / sectionSize) return;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* section = command + commandSize + uint64_t{i} * sectionSize;
        if (!nameEquals(section, query->section) || !nameEquals(section + 16, query->segment)) continue;
        if (is64) {
            query->out->address = readU64(section + 32);
            query->out->size = readU64(section + 40);
            query->out->offset = readU32(section + 48);
        } else {
            query->out->address = readU32(section + 32);
            query->out->size = readU32(section + 36);
            query->out->offset = readU32(section + 40);
        }
        query->found = true;
        return;
    }
}

struct ArchitectureName {
    int32_t type;
    int32_t subtype; // -1: any subtype of the type
    const char* name;
};

const ArchitectureName kArchitectures[] = {
    {CRWMachOCPUTypeARM, 11, "armv7s"},    {CRWMachOCPUTypeARM, 12, "armv7k"},
    {CRWMachOCPUTypeARM64, 2, "arm64e"},   {CRWMachOCPUTypeARM64, 0, "arm64"},
    {CRWMachOCPUTypeARM64, 1, "arm64v8"},  {CRWMachOCPUTypeARM64_32, 1, "arm64_32"},
    {CRWMachOCPUTypeX86_64, 3, "x86_64"},  {CRWMachOCPUTypeX86_64, 8, "x86_64h"},
    {CRWMachOCPUTypeX86, 3, "i386"},       {CRWMachOCPUTypeARM, 9, "armv7"},
    {CRWMachOCPUTypeARM, 6, "armv6"},      {CRWMachOCPUTypeARM, 7, "armv5"},
    {CRWMachOCPUTypeARM, 10, "armv7f"},    {CRWMachOCPUTypeARM, 14, "armv6m"},
    {CRWMachOCPUTypeARM, 15, "armv7m"},    {CRWMachOCPUTypeARM, 16, "armv7em"},
    {CRWMachOCPUTypePowerPC, -1, "ppc"},   {CRWMachOCPUTypePowerPC | CRWMachOCPUArch64, -1, "ppc64"},
    {CRWMachOCPUTypeX86_64, -1, "x86_64"}, {CRWMachOCPUTypeX86, -1, "i386"},
    {CRWMachOCPUTypeARM, -1, "arm"},       {CRWMachOCPUTypeARM64, -1, "arm64"},
};

} // namespace

const char* CRWMachOStatusName(CRWMachOStatus status) {
    switch (status) {
    case CRWMachOStatusOK:
        return "ok";
    case CRWMachOStatusTruncated:
        return "truncated";
    case CRWMachOStatusBadMagic:
        return "bad magic";
    case CRWMachOStatusBadCommandSize:
        return "bad command size";
    case CRWMachOStatusBadFatEntry:
        return "bad fat entry";
    }
    return "unknown";
}

bool CRWMachOSliceIs64Bit(const CRWMachOSliceRecord* slice) {
    return slice != nullptr && (slice->cpuType & CRWMachOCPUArch64) != 0;
}

CRWMachOSliceRecord CRWMachOSliceWithHeader(const void* header, uint64_t size) {
    CRWMachOSliceRecord slice{reinterpret_cast<uintptr_t>(header), size, 0, 0};
    if (header == nullptr || size < 28) return slice;
    const auto* bytes = static_cast<const uint8_t*>(header);
    if (headerSize(readU32(bytes)) == 0) return slice;
    slice.cpuType = static_cast<int32_t>(readU32(bytes + 4));
    slice.cpuSubType = static_cast<int32_t>(readU32(bytes + 8));
    return slice;
}

CRWMachOStatus CRWMachOEnumerateSlicesAtAddress(const void* address, uint64_t size, void* context,
                                                CRWMachOSliceVisitor visit) {
    if (address == nullptr || size < 4) return CRWMachOStatusTruncated;
    const auto* bytes = static_cast<const uint8_t*>(address);
    const uint32_t magic = readU32(bytes);
    if (magic != CRWMachOFatMagic && magic != CRWMachOFatCigam) {
        const CRWMachOSliceRecord slice = CRWMachOSliceWithHeader(address, size);
        visit(&slice, context);
        return CRWMachOStatusOK;
    }
    if (size < 8) return CRWMachOStatusTruncated;
    const uint32_t count = readBigU32(bytes + 4);
    if (count > (size - 8) / 20) return CRWMachOStatusTruncated;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = bytes + 8 + uint64_t{i} * 20;
        const uint32_t offset = readBigU32(entry + 8);
        const uint32_t length = readBigU32(entry + 12);
        if (offset >= size || length > size - offset) return CRWMachOStatusBadFatEntry;
        CRWMachOSliceRecord slice{reinterpret_cast<uintptr_t>(bytes + offset), length,
                                  static_cast<int32_t>(readBigU32(entry)),
                                  static_cast<int32_t>(readBigU32(entry + 4))};
        visit(&slice, context);
    }
    return CRWMachOStatusOK;
}

void CRWMachOHeaderValues(const CRWMachOSliceRecord* slice, uint64_t* firstCommand, uint32_t* commandCount) {
    *firstCommand = 0;
    *commandCount = 0;
    if (slice == nullptr || slice->startAddress == 0 || slice->size < 4) return;
    const uint32_t size = headerSize(readU32(bytesOf(slice)));
    if (size == 0 || slice->size < size) return;
    *firstCommand = slice->startAddress + size;
    *commandCount = readU32(bytesOf(slice) + 16);
}

CRWMachOStatus CRWMachOSliceEnumerateLoadCommands_f(const CRWMachOSliceRecord* slice, void* context,
                                                    CRWMachOLoadCommandVisitor visit) {
    uint64_t first = 0;
    uint32_t count = 0;
    const CRWMachOStatus status = validateCommands(slice, &first, &count);
    if (status != CRWMachOStatusOK || first == 0) return status;
    const auto* command = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(first));
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t size = readU32(command + 4);
        visit(readU32(command), size, command, context);
        command += size;
    }
    return CRWMachOStatusOK;
}

const uint8_t* CRWMachOGetUUID(const uint8_t* command, uint32_t size) {
    return command != nullptr && size >= 24 ? command + 8 : nullptr;
}

const char* CRWMachOGetDylibPath(const uint8_t* command, uint32_t size) {
    if (command == nullptr || size < 24) return nullptr;
    const uint32_t offset = readU32(command + 8);
    if (offset < 24 || offset >= size) return nullptr;
    const char* path = reinterpret_cast<const char*>(command + offset);
    return std::memchr(path, 0, size - offset) != nullptr ? path : nullptr;
}

bool CRWMachOGetEncrypted(const uint8_t* command, uint32_t size) {
    return command != nullptr && size >= 20 && readU32(command + 16) != 0;
}

CRWMachOVersion CRWMachOVersionFromWord(uint32_t word) {
    return CRWMachOVersion{word >> 16, (word >> 8) & 0xFF, word & 0xFF};
}

CRWMachOVersion CRWMachOGetMinimumOSVersion(const uint8_t* command, uint32_t size) {
    if (command == nullptr || size < 16) return CRWMachOVersion{0, 0, 0};
    return CRWMachOVersionFromWord(readU32(command + 8));
}

CRWMachOVersion CRWMachOGetLinkedSDKVersion(const uint8_t* command, uint32_t size) {
    if (command == nullptr || size < 16) return CRWMachOVersion{0, 0, 0};
    return CRWMachOVersionFromWord(readU32(command + 12));
}

CRWMachOSegment CRWMachOGetSegmentCommand(uint32_t type, const uint8_t* command, uint32_t size) {
    CRWMachOSegment segment;
    std::memset(&segment, 0, sizeof segment);
    if (command == nullptr) return segment;
    if (type == CRWMachOLoadCommandSegment64 && size >= 72) {
        std::memcpy(segment.segname, command + 8, 16);
        segment.vmaddr = readU64(command + 24);
        segment.vmsize = readU64(command + 32);
    } else if (type == CRWMachOLoadCommandSegment && size >= 56) {
        std::memcpy(segment.segname, command + 8, 16);
        segment.vmaddr = readU32(command + 24);
        segment.vmsize = readU32(command + 28);
    }
    return segment;
}

bool CRWMachOIsVersionMinCommand(uint32_t type) {
    return type == CRWMachOLoadCommandVersionMinMacOSX || type == CRWMachOLoadCommandVersionMinIPhoneOS ||
           type == CRWMachOLoadCommandVersionMinTVOS || type == CRWMachOLoadCommandVersionMinWatchOS;
}

bool CRWMachOSliceInitSectionByName(const CRWMachOSliceRecord* slice, const char* segmentName,
                                    const char* sectionName, CRWMachOSection* section) {
    if (slice == nullptr || segmentName == nullptr || sectionName == nullptr || section == nullptr)
        return false;
    SectionQuery query{segmentName, sectionName, CRWMachOSliceIs64Bit(slice), false, section};
    if (CRWMachOSliceEnumerateLoadCommands_f(slice, &query, findSection) != CRWMachOStatusOK) return false;
    return query.found;
}

bool CRWMachOSliceGetSectionByName(const CRWMachOSliceRecord* slice, const char* segmentName,
                                   const char* sectionName, uint64_t* address) {
    CRWMachOSection section{};
    if (!CRWMachOSliceInitSectionByName(slice, segmentName, sectionName, &section)) return false;
    if (section.offset > slice->size || section.size > slice->size - section.offset) return false;
    *address = slice->startAddress + section.offset;
    return true;
}

const char* CRWMachOSliceGetArchitectureName(const CRWMachOSliceRecord* slice) {
    if (slice == nullptr) return "unknown";
    const int32_t subtype = slice->cpuSubType & 0x00FFFFFF; // the high byte holds capability bits
    for (const ArchitectureName& entry : kArchitectures)
        if (entry.type == slice->cpuType && entry.subtype == subtype) return entry.name;
    for (const ArchitectureName& entry : kArchitectures)
        if (entry.type == slice->cpuType && entry.subtype == -1) return entry.name;
    return "unknown";
}

void CRWMachOUUIDToString(const uint8_t* uuid, char out[33]) {
    static const char kDigits[] = "0123456789abcdef";
    for (int i = 0; i < 16; ++i) {
        out[2 * i] = kDigits[uuid[i] >> 4];
        out[2 * i + 1] = kDigits[uuid[i] & 0xF];
    }
    out[32] = '\0';
}
