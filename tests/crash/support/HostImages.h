// The host process as the unwinder sees it in tests: an image table filled from the loaded
// images and a reader of this process's memory that fails instead of faulting.
#pragma once

#include "crash/image/CRWBinaryImageTable.h"
#include "crash/image/CRWElfImage.h"
#include "crash/unwind/CRWMemoryReader.h"
#include "platform/dyld/Dyld.h"

#include <memory>

#include <sys/uio.h>
#include <unistd.h>

namespace crashtest {

inline std::unique_ptr<CRWBinaryImageTable> hostImageTable() {
    auto table = std::make_unique<CRWBinaryImageTable>();
    for (const plat::dyld::Image& image : plat::dyld::images()) {
        CRWElfImageDetails details;
        if (!CRWElfImageReadDetails(image.header, image.slide, &details)) continue;
        CRWBinaryImageSlot slot;
        CRWElfImageFillSlot(&details, &slot);
        CRWBinaryImageTableStore(table.get(), &slot);
    }
    return table;
}

inline CRWMemoryReader hostReader() {
    return CRWMemoryReader{[](void*, uint64_t address, void* out, size_t length) {
                               static const pid_t pid = getpid();
                               iovec local{out, length};
                               iovec remote{reinterpret_cast<void*>(address), length};
                               return process_vm_readv(pid, &local, 1, &remote, 1, 0) ==
                                      static_cast<ssize_t>(length);
                           },
                           nullptr};
}

} // namespace crashtest
