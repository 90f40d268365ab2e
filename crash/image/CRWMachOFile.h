// A whole file mapped read-only for Mach-O parsing, its slices, and the text forms of versions
// and UUIDs. Not for crash time: these allocate strings and call the file system.
#pragma once

#include "crash/image/CRWMachO.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

struct CRWMachOFile {
    int fd = -1;
    uint64_t size = 0;
    const void* mappedAddress = nullptr;
};

// Opens and maps the path. False (nothing left open) for a missing path, anything but a regular
// file, a file under 16 bytes or a failed mapping.
bool CRWMachOFileInitWithPath(CRWMachOFile* file, const char* path);
// The same for the running executable.
bool CRWMachOFileInitWithCurrent(CRWMachOFile* file);
// Unmaps and closes; the record is reset, so destroying twice is harmless.
void CRWMachOFileDestroy(CRWMachOFile* file);

// Visits the file's slices (see CRWMachOEnumerateSlicesAtAddress).
CRWMachOStatus CRWMachOFileEnumerateSlices(const CRWMachOFile* file,
                                           const std::function<void(const CRWMachOSliceRecord&)>& visit);
// The slice whose architecture name equals name (the last one when several do); start 0 if none.
CRWMachOSliceRecord CRWMachOFileSliceWithArchitectureName(const CRWMachOFile* file, const char* name);

// "major.minor.bugfix", or none for no version.
std::optional<std::string> CRWMachOFormatVersion(const CRWMachOVersion* version);
// The UUID as 32 lower-case hex digits, without dashes.
std::string CRWMachONormalizeUUID(const uint8_t* uuid);
