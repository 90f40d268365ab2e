// Binary image tracking: every image the dynamic linker loads or unloads goes into the fixed table
// of the writable context (for crash-time lookups) and into "binary_images.crwrecord" (for
// symbolication on a later launch). Images are ELF objects here: an image's identifier is its GNU
// build-id, its base its mapped ELF header, its unwind data its eh_frame_hdr table. The callbacks
// write the slot and the file's line as the linker stand-in reports a change; the process's
// dlopen is the C library's and tells nobody, so the crash path brings both up to date from the
// linker's own list (CRWBinaryImageSafeSyncWithLinker) before it reads the table: a library that
// crashes as soon as another library loaded it is still unwound and symbolicated.
#pragma once

#include "crash/record/CRWBinaryImageSlot.h"
#include "crash/record/CRWFile.h"

#include <cstdint>

// The working record of one image.
struct CRWBinaryImageDetails {
    char uuidString[65]; // the build-id as lower-case hex (usually 40 digits), "" without one
    bool encrypted;      // ELF images are never encrypted
    uint32_t builtSDKVersion[3];
    uint32_t minimumOSVersion[3];
    CRWBinaryImageSlot slot;
    const void* header;
    intptr_t slide;
};

// Starts tracking (the context's start-up calls it once the image file path is set): zeroes the
// table, recreates the file and registers the callbacks. The first burst of images is written
// through one open file; later events open and close it.
void CRWBinaryImageInit();

// The dynamic linker's callbacks.
void CRWBinaryImageAddedCallback(const void* header, intptr_t slide);
void CRWBinaryImageRemovedCallback(const void* header, intptr_t slide);
// Both callbacks: build the details, store or clear the slot and write the file's line.
void CRWBinaryImageChanged(bool added, const void* header, intptr_t slide);

// Runs at crash time. A copy of the slot of the image containing address; false when the context
// is not initialized, the address is 0, the out pointer is invalid, or no image contains it.
bool CRWBinaryImageSafeFindImageForAddress(uint64_t address, CRWBinaryImageSlot* slot);
// Runs at crash time, once the other threads are stopped. Brings the table and the file up to date
// with the linker's own list (CRWLinkMap.h): each image the table lacks gets its slot and a "load"
// line (without bundle entries: reading a bundle allocates), and a slot whose image the linker no
// longer lists is cleared with an "unload" line (its path and identifier are null: the table keeps
// neither). Removals need the whole list with every object on it found, and `removeUnlisted`: a
// caller that could not stop every other thread passes false, and the sync only adds.
void CRWBinaryImageSafeSyncWithLinker(bool removeUnlisted);
// Runs at crash time. True when the slot names unwind tables (an address of at least 4096).
bool CRWBinaryImageSafeHasUnwindInfo(const CRWBinaryImageSlot* slot);

// The loaded image whose identifier begins with uuid (compared over the identifier's length);
// false (logged) for missing arguments or no match.
bool CRWBinaryImageFindImageForUUID(const char* uuid, CRWBinaryImageDetails* details);

// Fills uuid, versions and slot from details->header and details->slide.
void CRWBinaryImageFillInImageDetails(CRWBinaryImageDetails* details);
// "uuid", "base" and "size" entries; logged and skipped without a file.
void CRWBinaryImageRecordDetails(CRWFile* file, const CRWBinaryImageDetails* details);
// The "executable" section of the metadata: the running executable's details; always true.
bool CRWBinaryImageRecordMainExecutable(CRWFile* file);

// Installs CRWBinaryImageInit and CRWBinaryImageRecordMainExecutable as the context's start-up
// hooks, keeping the others.
void CRWBinaryImageInstallStartupHooks();
