// The safe lookups and the crash path's sync at the end of this file run at crash time; the rest
// runs on the linker stand-in's callbacks, on the thread that made or found the change.
#include "crash/image/CRWBinaryImage.h"

#include "crash/image/CRWBinaryImageTable.h"
#include "crash/image/CRWElfImage.h"
#include "crash/image/CRWLinkMap.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKFileLog.h"
#include "platform/dyld/Dyld.h"
#include "platform/foundation/Bundle.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

namespace {

// One change: the details and the path, taken while the linker still lists the image.
struct Change {
    bool added;
    CRWBinaryImageDetails details;
    std::string path;
};

// The details of every image reported as loaded, by header: a removed image may be unmapped by
// the time it is reported, so its unload record is written from what its load saw. The mutex also
// keeps the table's writes and the file's lines in the order of the changes.
struct LoadedImages {
    std::mutex mutex;
    std::map<const void*, CRWBinaryImageDetails> byHeader;
};

LoadedImages& loadedImages() {
    static LoadedImages* images = new LoadedImages;
    return *images;
}

void storeNode(const Change& change) {
    CRWWritableContext* writable = _crwContext.writable;
    if (writable == nullptr) {
        CRWSDKLogWarnIn("CRWBinaryImageStoreNode", "Error: Writable context is NULL\n");
        return;
    }
    CRWBinaryImageTable* table = &writable->binaryImages.table;
    const bool stored = change.added ? CRWBinaryImageTableStore(table, &change.details.slot)
                                     : CRWBinaryImageTableRemove(table, change.details.slot.baseAddress);
    if (!stored && !change.added && change.details.slot.baseAddress != 0)
        CRWSDKLogWarnIn("CRWBinaryImageStoreNode", "Error: Failed to swap during image unload\n");
    if (!stored)
        CRWSDKLogWarnIn("CRWBinaryImageStoreNode", "Error: Unable to track a %s node %p\n",
                        change.added ? "loaded" : "unloaded",
                        (void*)(uintptr_t)change.details.slot.baseAddress);
}

// A framework outside the system folders names its bundle three folders above the binary.
void recordBundle(CRWFile* file, const std::string& path) {
    if (path.rfind("/System", 0) == 0 || path.find(".framework") == std::string::npos) return;
    const std::filesystem::path bundlePath =
        std::filesystem::path(path).parent_path().parent_path().parent_path();
    std::error_code error;
    if (!std::filesystem::exists(bundlePath / "Info.plist", error)) return;
    const plat::Bundle bundle(bundlePath);
    auto entry = [&](const char* key, const plat::Object& value) {
        if (value.isString() && !value.string().empty())
            CRWFileWriteHashEntryNSStringUnlessNilOrEmpty(file, key, value.string());
    };
    if (auto identifier = bundle.bundleIdentifier(); identifier && !identifier->empty())
        CRWFileWriteHashEntryNSStringUnlessNilOrEmpty(file, "bundle_id", *identifier);
    entry("build_version", bundle.objectForInfoDictionaryKey("CFBundleVersion"));
    entry("display_version", bundle.objectForInfoDictionaryKey("CFBundleShortVersionString"));
}

void recordSlice(const Change& change) {
    const CRWReadOnlyContext* readonly = _crwContext.readonly;
    CRWWritableContext* writable = _crwContext.writable;
    if (readonly == nullptr || writable == nullptr) return;
    CRWFile* file = &writable->binaryImages.file;
    CRWFile own{};
    const bool borrowed = CRWFileIsOpen(file);
    if (!borrowed) {
        if (!CRWFileInitWithPath(&own, readonly->binaryImagePath, false)) {
            CRWSDKLogWarnIn("CRWBinaryImageRecordSlice", "Error: unable to open binary image log file\n");
            return;
        }
        file = &own;
    }
    CRWFileWriteSectionStart(file, change.added ? "load" : "unload");
    CRWFileWriteHashStart(file);
    CRWFileWriteHashEntryNSString(file, "path", change.path);
    if (change.added) recordBundle(file, change.path);
    CRWBinaryImageRecordDetails(file, &change.details);
    CRWFileWriteHashEnd(file);
    CRWFileWriteSectionEnd(file);
    if (!borrowed) CRWFileClose(&own);
}

} // namespace

void CRWBinaryImageInit() {
    CRWWritableContext* writable = _crwContext.writable;
    const CRWReadOnlyContext* readonly = _crwContext.readonly;
    if (writable == nullptr || readonly == nullptr) return;
    LoadedImages& loaded = loadedImages();
    {
        std::lock_guard lock(loaded.mutex);
        std::memset(&writable->binaryImages, 0, sizeof writable->binaryImages);
        writable->binaryImages.file.descriptor = -1;
        if (!CRWUnlinkIfExists(readonly->binaryImagePath))
            CRWSDKLogWarnIn("CRWBinaryImageInit_block_invoke",
                            "Unable to reset the binary image log file %s\n", CRWErrnoName(errno));
        if (!CRWFileInitWithPath(&writable->binaryImages.file, readonly->binaryImagePath, false))
            CRWSDKLogWarnIn("CRWBinaryImageInit_block_invoke",
                            "Error: Unable to open the binary image log file during init\n");
    }
    CRWLinkMapSetRendezvous(plat::dyld::debugRendezvous());
    // The linker reports every loaded image to a new callback at once. The callbacks stay
    // registered for the process; a later start-up (a new context) asks for the list again.
    static std::atomic<bool> registered{false};
    if (!registered.exchange(true)) {
        plat::dyld::registerFuncForAddImage(CRWBinaryImageAddedCallback);
        plat::dyld::registerFuncForRemoveImage(CRWBinaryImageRemovedCallback);
    } else {
        for (const plat::dyld::Image& image : plat::dyld::images())
            CRWBinaryImageAddedCallback(image.header, image.slide);
    }
    std::lock_guard lock(loaded.mutex);
    CRWFileClose(&writable->binaryImages.file);
}

void CRWBinaryImageAddedCallback(const void* header, intptr_t slide) {
    CRWBinaryImageChanged(true, header, slide);
}

void CRWBinaryImageRemovedCallback(const void* header, intptr_t slide) {
    CRWBinaryImageChanged(false, header, slide);
}

void CRWBinaryImageChanged(bool added, const void* header, intptr_t slide) {
    Change change;
    change.added = added;
    std::memset(&change.details, 0, sizeof change.details);
    change.details.header = header;
    change.details.slide = slide;
    change.path = plat::dyld::imagePath(header);
    // Both the slot and the record are written before the linker's call returns: code of a
    // library just loaded may run, and crash, at once; the unwinder needs the slot then, and the
    // next launch the record.
    LoadedImages& loaded = loadedImages();
    std::lock_guard lock(loaded.mutex);
    if (added) {
        CRWBinaryImageFillInImageDetails(&change.details);
        loaded.byHeader[header] = change.details;
    } else if (auto known = loaded.byHeader.find(header); known != loaded.byHeader.end()) {
        change.details = known->second;
        loaded.byHeader.erase(known);
    } else {
        change.details.slot.baseAddress = reinterpret_cast<uintptr_t>(header);
    }
    storeNode(change);
    recordSlice(change);
}

void CRWBinaryImageFillInImageDetails(CRWBinaryImageDetails* details) {
    CRWElfImageDetails elf;
    if (details == nullptr || !CRWElfImageReadDetails(details->header, details->slide, &elf)) return;
    CRWElfImageFillSlot(&elf, &details->slot);
    CRWElfImageBuildIDString(&elf, details->uuidString, sizeof details->uuidString);
}

bool CRWBinaryImageFindImageForUUID(const char* uuid, CRWBinaryImageDetails* details) {
    if (uuid == nullptr || details == nullptr) {
        CRWSDKLogWarn("null input\n");
        return false;
    }
    for (const plat::dyld::Image& image : plat::dyld::images()) {
        CRWBinaryImageDetails candidate;
        std::memset(&candidate, 0, sizeof candidate);
        candidate.header = image.header;
        candidate.slide = image.slide;
        CRWBinaryImageFillInImageDetails(&candidate);
        const size_t length = std::strlen(candidate.uuidString);
        if (length > 0 && std::strncmp(candidate.uuidString, uuid, length + 1) == 0) {
            *details = candidate;
            return true;
        }
    }
    return false;
}

void CRWBinaryImageRecordDetails(CRWFile* file, const CRWBinaryImageDetails* details) {
    if (file == nullptr) {
        CRWSDKLogWarn("Error: file is invalid\n");
        return;
    }
    CRWFileWriteHashEntryString(file, "uuid", details->uuidString);
    CRWFileWriteHashEntryUint64(file, "base", details->slot.baseAddress);
    CRWFileWriteHashEntryUint64(file, "size", details->slot.size);
}

bool CRWBinaryImageRecordMainExecutable(CRWFile* file) {
    const std::vector<plat::dyld::Image> images = plat::dyld::images();
    CRWBinaryImageDetails details;
    std::memset(&details, 0, sizeof details);
    if (!images.empty()) {
        details.header = images.front().header;
        details.slide = images.front().slide;
        CRWBinaryImageFillInImageDetails(&details);
    }
#if defined(__x86_64__)
    const char* architecture = "x86_64";
#elif defined(__aarch64__)
    const char* architecture = "arm64";
#else
    const char* architecture = "unknown";
#endif
    char minimum[40], built[40];
    std::snprintf(minimum, sizeof minimum, "%d.%d.%d", static_cast<int>(details.minimumOSVersion[0]),
                  static_cast<int>(details.minimumOSVersion[1]),
                  static_cast<int>(details.minimumOSVersion[2]));
    std::snprintf(built, sizeof built, "%d.%d.%d", static_cast<int>(details.builtSDKVersion[0]),
                  static_cast<int>(details.builtSDKVersion[1]), static_cast<int>(details.builtSDKVersion[2]));
    CRWFileWriteSectionStart(file, "executable");
    CRWFileWriteHashStart(file);
    CRWFileWriteHashEntryString(file, "architecture", architecture);
    CRWBinaryImageRecordDetails(file, &details);
    CRWFileWriteHashEntryBoolean(file, "encrypted", details.encrypted);
    CRWFileWriteHashEntryString(file, "minimum_sdk_version", minimum);
    CRWFileWriteHashEntryString(file, "built_sdk_version", built);
    CRWFileWriteHashEnd(file);
    CRWFileWriteSectionEnd(file);
    return true;
}

void CRWBinaryImageInstallStartupHooks() {
    CRWContextStartupHooks hooks = CRWContextCurrentStartupHooks();
    hooks.binaryImages = CRWBinaryImageInit;
    hooks.recordMainExecutable = CRWBinaryImageRecordMainExecutable;
    CRWContextSetStartupHooks(hooks);
}

bool CRWBinaryImageSafeFindImageForAddress(uint64_t address, CRWBinaryImageSlot* slot) {
    if (!CRWContextIsInitialized() || address == 0 || !CRWIsValidPointer(slot)) return false;
    const CRWWritableContext* writable = _crwContext.writable;
    if (!CRWIsValidPointer(writable)) return false;
    return CRWBinaryImageTableFind(&writable->binaryImages.table, address, slot);
}

bool CRWBinaryImageSafeHasUnwindInfo(const CRWBinaryImageSlot* slot) {
    return slot != nullptr &&
           (slot->ehFrameHdr >= CRWMinimumValidAddress || slot->unwindInfo >= CRWMinimumValidAddress);
}

namespace {

// The crash path's pass over the linker's list (CRWBinaryImageSafeSyncWithLinker).
struct SafeSync {
    CRWBinaryImageTable* table;
    const CRWHeldFolder* folder; // the report folder, where the image list is
    CRWFile file;
    bool opened;
    uint64_t listed[CRWBinaryImageSlotCount / 64]; // slots whose image the linker lists
};

void safeRecord(SafeSync* sync, bool added, const char* path, const char* uuid,
                const CRWBinaryImageSlot* slot) {
    if (!sync->opened) {
        sync->opened = CRWFileInitInFolder(&sync->file, sync->folder, CRWReportBinaryImageFile, false);
        if (!sync->opened) {
            CRWSDKLogWarnIn("CRWBinaryImageRecordSlice", "Error: unable to open binary image log file\n");
            return;
        }
    }
    CRWFileWriteSectionStart(&sync->file, added ? "load" : "unload");
    CRWFileWriteHashStart(&sync->file);
    CRWFileWriteHashEntryString(&sync->file, "path", path);
    CRWFileWriteHashEntryString(&sync->file, "uuid", uuid);
    CRWFileWriteHashEntryUint64(&sync->file, "base", slot->baseAddress);
    CRWFileWriteHashEntryUint64(&sync->file, "size", slot->size);
    CRWFileWriteHashEnd(&sync->file);
    CRWFileWriteSectionEnd(&sync->file);
}

bool markListed(const CRWLinkMapObject* object, void* state) {
    auto* sync = static_cast<SafeSync*>(state);
    CRWBinaryImageSlot slot;
    CRWElfImageFillSlot(&object->details, &slot);
    uint32_t index = 0;
    if (CRWBinaryImageTableHolds(sync->table, &slot, &index))
        sync->listed[index / 64] |= uint64_t{1} << (index % 64);
    return true;
}

bool addMissing(const CRWLinkMapObject* object, void* state) {
    auto* sync = static_cast<SafeSync*>(state);
    CRWBinaryImageSlot slot;
    CRWElfImageFillSlot(&object->details, &slot);
    if (CRWBinaryImageTableHolds(sync->table, &slot, nullptr)) return true;
    if (!CRWBinaryImageTableStore(sync->table, &slot))
        CRWSDKLogWarnIn("CRWBinaryImageStoreNode", "Error: Unable to track a %s node %p\n", "loaded",
                        (void*)(uintptr_t)slot.baseAddress);
    char path[4096];
    CRWLinkMapCopyName(object, path, sizeof path);
    char uuid[sizeof(CRWBinaryImageDetails::uuidString)];
    CRWElfImageBuildIDString(&object->details, uuid, sizeof uuid);
    safeRecord(sync, true, path, uuid, &slot);
    return true;
}

} // namespace

void CRWBinaryImageSafeSyncWithLinker(bool removeUnlisted) {
    if (!CRWContextIsInitialized()) return;
    CRWWritableContext* writable = _crwContext.writable;
    const CRWReadOnlyContext* readonly = _crwContext.readonly;
    if (!CRWIsValidPointer(writable) || !CRWIsValidPointer(readonly)) return;
    SafeSync sync;
    std::memset(&sync, 0, sizeof sync);
    sync.table = &writable->binaryImages.table;
    sync.folder = &readonly->reportFolder;
    sync.file.descriptor = -1;
    // A slot is cleared only when the whole list was read, every object on it was found, and no
    // thread that could be changing the list runs.
    if (removeUnlisted && CRWLinkMapForEach(sync.table, markListed, &sync)) {
        CRWBinaryImageTable* table = sync.table;
        const uint64_t used = std::atomic_ref<uint64_t>(table->slotsInUse).load(std::memory_order_acquire);
        for (uint64_t index = 0; index < used && index < CRWBinaryImageSlotCount; ++index) {
            if (sync.listed[index / 64] & (uint64_t{1} << (index % 64))) continue;
            const CRWBinaryImageSlot& slot = table->slots[index];
            CRWBinaryImageSlot gone = slot;
            gone.baseAddress =
                std::atomic_ref<const uint64_t>(slot.baseAddress).load(std::memory_order_acquire);
            gone.size = std::atomic_ref<const uint64_t>(slot.size).load(std::memory_order_acquire);
            // A free slot, or one another thread was filling when it stopped.
            if (gone.baseAddress == 0 || gone.size == 0) continue;
            safeRecord(&sync, false, nullptr, nullptr, &gone);
            CRWBinaryImageTableRemove(table, gone.baseAddress);
        }
    }
    CRWLinkMapForEach(sync.table, addMissing, &sync);
    if (sync.opened) CRWFileClose(&sync.file);
}
