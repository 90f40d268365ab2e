// Shared by the report tests and the report-folder fuzz harness: the image record of code loaded
// in this process (so a test's report can name an image that symbolication will find), and the
// queries the launch after a crash makes of a report folder.
#pragma once

#include "crash/image/CRWBinaryImage.h"
#include "crash/report/CRWInternalReport.h"
#include "platform/dyld/Dyld.h"

#include <cstring>
#include <dlfcn.h>

namespace crashtest {

// The details (build-id, base, size) of the loaded image that holds `address`; an empty build-id
// when no image does.
inline CRWBinaryImageDetails loadedImageDetails(const void* address) {
    CRWBinaryImageDetails details;
    std::memset(&details, 0, sizeof details);
    Dl_info info{};
    if (dladdr(address, &info) == 0) return details;
    details.header = info.dli_fbase;
    for (const plat::dyld::Image& image : plat::dyld::images())
        if (image.header == info.dli_fbase) details.slide = image.slide;
    CRWBinaryImageFillInImageDetails(&details);
    return details;
}

// Every question the report manager asks of a report before it decides what to do with it.
inline void queryReport(const CRWInternalReport& report) {
    (void)report.isCrash();
    (void)report.hasAnyEvents();
    (void)report.crashedOnDate();
    (void)report.OSVersion();
    (void)report.bundleVersion();
    (void)report.dateCreated();
}

} // namespace crashtest
