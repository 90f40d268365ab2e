// The host process as the unwinder sees it in tests: an image table filled from the loaded
// images and a reader of this process's memory that fails instead of faulting.
#pragma once

#include "crash/image/CRWBinaryImageTable.h"
#include "crash/image/CRWElfImage.h"
#include "crash/unwind/CRWMemoryReader.h"
#include "platform/dyld/Dyld.h"

#include <memory>

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
    return CRWMemoryReaderSafe();
}

} // namespace crashtest
