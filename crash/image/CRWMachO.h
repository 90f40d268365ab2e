// Mach-O headers, fat headers and load commands, read from bytes that may be damaged or hostile:
// every slice carries the number of bytes readable from its start, and every command, offset and
// count is checked against it before it is used. Runs at crash time: no allocation, no locks, no
// exceptions.
#pragma once

#include <cstdint>

// Header magics and the load commands this layer reads.
enum : uint32_t {
    CRWMachOMagic32 = 0xFEEDFACE,
    CRWMachOCigam32 = 0xCEFAEDFE,
    CRWMachOMagic64 = 0xFEEDFACF,
    CRWMachOCigam64 = 0xCFFAEDFE,
    CRWMachOFatMagic = 0xCAFEBABE,
    CRWMachOFatCigam = 0xBEBAFECA,

    CRWMachOLoadCommandSegment = 0x1,
    CRWMachOLoadCommandLoadDylib = 0xC,
    CRWMachOLoadCommandSegment64 = 0x19,
    CRWMachOLoadCommandUUID = 0x1B,
    CRWMachOLoadCommandEncryptionInfo = 0x21,
    CRWMachOLoadCommandVersionMinMacOSX = 0x24,
    CRWMachOLoadCommandVersionMinIPhoneOS = 0x25,
    CRWMachOLoadCommandVersionMinTVOS = 0x2F,
    CRWMachOLoadCommandVersionMinWatchOS = 0x30,
};

// CPU types that name architectures.
enum : int32_t {
    CRWMachOCPUTypeX86 = 7,
    CRWMachOCPUTypeARM = 12,
    CRWMachOCPUTypePowerPC = 18,
    CRWMachOCPUArch64 = 0x01000000,
    CRWMachOCPUArch64_32 = 0x02000000,
    CRWMachOCPUTypeX86_64 = CRWMachOCPUTypeX86 | CRWMachOCPUArch64,
    CRWMachOCPUTypeARM64 = CRWMachOCPUTypeARM | CRWMachOCPUArch64,
    CRWMachOCPUTypeARM64_32 = CRWMachOCPUTypeARM | CRWMachOCPUArch64_32,
};

// One architecture's Mach-O image: its header, the bytes readable from it, CPU type and subtype.
struct CRWMachOSliceRecord {
    uint64_t startAddress;
    uint64_t size;
    int32_t cpuType;
    int32_t cpuSubType;
};

struct CRWMachOSection {
    uint64_t address;
    uint64_t size;
    uint32_t offset;
};

// A packed version word: major = word >> 16, minor = (word >> 8) & 0xFF, bugfix = word & 0xFF.
struct CRWMachOVersion {
    uint32_t major;
    uint32_t minor;
    uint32_t bugfix;
};

struct CRWMachOSegment {
    char segname[16];
    uint64_t vmaddr;
    uint64_t vmsize;
};

// Why a walk or a slice enumeration stopped early.
enum CRWMachOStatus : uint32_t {
    CRWMachOStatusOK = 0,
    CRWMachOStatusTruncated,      // a header, table or command runs past the readable bytes
    CRWMachOStatusBadMagic,       // not one of the Mach-O or fat magics
    CRWMachOStatusBadCommandSize, // a command size below 8, not a multiple of 4, or past sizeofcmds
    CRWMachOStatusBadFatEntry,    // a fat entry that lies outside the file
};

// Text for a status, for logs and test messages.
const char* CRWMachOStatusName(CRWMachOStatus status);

// A 64-bit slice has the 0x01000000 bit in its CPU type.
bool CRWMachOSliceIs64Bit(const CRWMachOSliceRecord* slice);

// The record for a Mach-O header with size readable bytes; CPU type and subtype are read from the
// header (0 when the magic is not a Mach-O magic or the header is cut short).
CRWMachOSliceRecord CRWMachOSliceWithHeader(const void* header, uint64_t size);

// Calls visit once per slice: per architecture entry of a fat header (in order; each slice is
// bounded by its entry's size), or once for any other header. Stops at the first fat entry that
// lies outside the bytes and returns its status; the slices before it were visited.
using CRWMachOSliceVisitor = void (*)(const CRWMachOSliceRecord* slice, void* context);
CRWMachOStatus CRWMachOEnumerateSlicesAtAddress(const void* address, uint64_t size, void* context,
                                                CRWMachOSliceVisitor visit);

// The first load command's address and the command count, for the four Mach-O magics; both 0
// otherwise (and for a header cut short).
void CRWMachOHeaderValues(const CRWMachOSliceRecord* slice, uint64_t* firstCommand, uint32_t* commandCount);

// Checks every load command against the slice (sizes, sizeofcmds, readable bytes) and only then
// visits them in order with their type, size and address. A slice without a start or commands
// visits nothing and is OK; any damage visits nothing and returns why.
using CRWMachOLoadCommandVisitor = void (*)(uint32_t type, uint32_t size, const uint8_t* command,
                                            void* context);
CRWMachOStatus CRWMachOSliceEnumerateLoadCommands_f(const CRWMachOSliceRecord* slice, void* context,
                                                    CRWMachOLoadCommandVisitor visit);

// Per-command readers; each checks that the command is large enough for what it reads.
const uint8_t* CRWMachOGetUUID(const uint8_t* command, uint32_t size);   // the 16 bytes, or null
const char* CRWMachOGetDylibPath(const uint8_t* command, uint32_t size); // NUL-terminated, or null
bool CRWMachOGetEncrypted(const uint8_t* command, uint32_t size);        // cryptid != 0
CRWMachOVersion CRWMachOGetMinimumOSVersion(const uint8_t* command, uint32_t size);
CRWMachOVersion CRWMachOGetLinkedSDKVersion(const uint8_t* command, uint32_t size);
CRWMachOSegment CRWMachOGetSegmentCommand(uint32_t type, const uint8_t* command, uint32_t size);
CRWMachOVersion CRWMachOVersionFromWord(uint32_t word);

// True for the four version-minimum commands.
bool CRWMachOIsVersionMinCommand(uint32_t type);

// The named section of a slice's segments (64-bit or 32-bit commands by the slice's width).
bool CRWMachOSliceInitSectionByName(const CRWMachOSliceRecord* slice, const char* segmentName,
                                    const char* sectionName, CRWMachOSection* section);
// The section's bytes in the slice: its file offset + the slice start; false when they do not lie
// within the slice.
bool CRWMachOSliceGetSectionByName(const CRWMachOSliceRecord* slice, const char* segmentName,
                                   const char* sectionName, uint64_t* address);

// The architecture name for a CPU type and subtype, or "unknown". Never null.
const char* CRWMachOSliceGetArchitectureName(const CRWMachOSliceRecord* slice);

// Writes the 16 UUID bytes as 32 lower-case hex digits and a NUL into out.
void CRWMachOUUIDToString(const uint8_t* uuid, char out[33]);
