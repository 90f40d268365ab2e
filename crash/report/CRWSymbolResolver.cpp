#include "crash/report/CRWSymbolResolver.h"

#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSharedLog.h"
#include "crash/report/CRWFileManager.h"
#include "platform/dyld/SymbolLookup.h"

#include <algorithm>
#include <cstring>

namespace {

std::optional<uint64_t> unsignedValue(const plat::Object& value) {
    const plat::Number* number = value.asNumber();
    if (!number || number->isBool()) return std::nullopt;
    return number->uint64Value();
}

// The C library's signal return: the code a handler returns into, which asks the kernel to
// resume the interrupted code.
#if defined(__x86_64__)
constexpr unsigned char kSignalReturnCode[] = {0x48, 0xc7, 0xc0, 0x0f, 0x00, 0x00, 0x00, // mov $15, %rax
                                               0x0f, 0x05};                              // syscall
#elif defined(__aarch64__)
constexpr unsigned char kSignalReturnCode[] = {0x68, 0x11, 0x80, 0xd2,  // mov x8, #139
                                               0x01, 0x00, 0x00, 0xd4}; // svc #0
#endif

bool isSignalTrampolineCode(uintptr_t address) {
#if defined(__x86_64__) || defined(__aarch64__)
    // Read through the kernel: the address comes from a record.
    unsigned char code[sizeof kSignalReturnCode];
    return CRWReadMemory(address, code, sizeof code) &&
           std::memcmp(code, kSignalReturnCode, sizeof code) == 0;
#else
    (void)address;
    return false;
#endif
}

} // namespace

bool CRWSymbolResolver::loadBinaryImagesFromFile(const std::string& path) {
    binaryImages_.clear();
    if (path.empty()) return false;
    contents_ = CRWReadRecordFile(path);
    if (contents_.sections.empty()) {
        CRWErrorLog("Failed to read binary image file %@", path);
        return false;
    }
    for (const plat::Object& section : contents_.sections) {
        const plat::Object& load = section["load"];
        const std::optional<uint64_t> base = unsignedValue(load["base"]);
        const std::optional<uint64_t> size = unsignedValue(load["size"]);
        if (!base || !size) continue;
        BinaryImage image;
        image.base = *base;
        image.size = *size;
        if (load["uuid"].isString()) image.uuid = load["uuid"].string();
        if (load["path"].isString()) image.path = load["path"].string();
        binaryImages_.push_back(std::move(image));
    }
    std::stable_sort(binaryImages_.begin(), binaryImages_.end(),
                     [](const BinaryImage& a, const BinaryImage& b) { return a.base < b.base; });
    return true;
}

const CRWSymbolResolver::BinaryImage* CRWSymbolResolver::loadedBinaryImageForPC(uint64_t address) const {
    for (const BinaryImage& image : binaryImages_)
        if (address >= image.base && address - image.base < image.size) return &image;
    return nullptr;
}

bool CRWSymbolResolver::fillInImageDetails(CRWBinaryImageDetails* details, const std::string& uuid) {
    if (details == nullptr || uuid.empty() || uuid.size() >= sizeof details->uuidString) return false;
    return CRWBinaryImageFindImageForUUID(uuid.c_str(), details);
}

const std::optional<CRWBinaryImageDetails>& CRWSymbolResolver::currentImage(const std::string& uuid) {
    auto found = currentImages_.find(uuid);
    if (found != currentImages_.end()) return found->second;
    CRWBinaryImageDetails details;
    std::memset(&details, 0, sizeof details);
    std::optional<CRWBinaryImageDetails> image;
    if (fillInImageDetails(&details, uuid)) image = details;
    return currentImages_.emplace(uuid, image).first->second;
}

bool CRWSymbolResolver::updateStackFrame(TSRStackFrame& frame, CRWFramePC kind) {
    if (frame.address() == 0) return false;
    const BinaryImage* image = loadedBinaryImageForPC(frame.address());
    if (!image) return false;
    const std::optional<CRWBinaryImageDetails>& current = currentImage(image->uuid);
    if (!current) return false;

    const uint64_t currentBase = current->slot.baseAddress;
    uintptr_t address = static_cast<uintptr_t>(frame.address() - image->base + currentBase);
    // The same file is loaded now, so the address must land in it; anything else is a damaged list.
    if (current->slot.size != 0 && address - currentBase >= current->slot.size) return false;

    std::optional<plat::dyld::SymbolInfo> info = plat::dyld::lookupSymbol(address);
    if (!info || info->imageBase != currentBase) return false;
    if (isSignalTrampolineCode(address)) {
        frame.setSymbol(kSignalTrampolineName);
        frame.setRawSymbol(kSignalTrampolineName);
        frame.setLibrary(CRWLastPathComponent(image->path));
        return true;
    }
    // A return address at the very start of a function belongs to the call that ends the function
    // before it; an exact pc is named where it is.
    const bool returnAddress = kind == CRWFramePC::ReturnAddress;
    if (returnAddress && info->name && address == info->symbolAddress) {
        address -= 2;
        info = plat::dyld::lookupSymbol(address);
        if (!info) return false;
    } else if (returnAddress && !info->name) {
        // An image known only by its exported symbols: the linker matches within a symbol's size,
        // so it names nothing just past the end of a function whose last instruction was a call
        // that never returns. The byte before is that function's last; the address keeps its
        // offset, the function's size.
        std::optional<plat::dyld::SymbolInfo> before = plat::dyld::lookupSymbol(address - 1);
        if (before && before->name && before->imageBase == info->imageBase) info = std::move(before);
    }
    if (info->name) {
        frame.setSymbol(info->name);
        frame.setRawSymbol(info->name);
        if (address > info->symbolAddress) frame.setOffset(address - info->symbolAddress);
    }
    frame.setLibrary(CRWLastPathComponent(image->path));
    return true;
}

std::optional<TSRStackFrame> CRWSymbolResolver::frameForAddress(uint64_t address) {
    TSRStackFrame frame = TSRStackFrame::stackFrameWithAddress(address);
    if (!updateStackFrame(frame)) return std::nullopt;
    return frame;
}
