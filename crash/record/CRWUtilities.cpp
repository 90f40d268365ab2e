#include "crash/record/CRWUtilities.h"

#include <chrono>
#include <dlfcn.h>

void CRWLookupFunctionPointer(
    const void* address, const std::function<void(const char* symbolName, const char* imageName)>& block) {
    if (!block) return;
    Dl_info info{};
    if (dladdr(address, &info) == 0) {
        block(nullptr, nullptr);
        return;
    }
    block(info.dli_sname != nullptr ? info.dli_sname : "unknown",
          info.dli_fname != nullptr ? info.dli_fname : "unknown");
}

void CRWDispatchAfter(const plat::DispatchQueue& queue, plat::Block block, float seconds) {
    const auto delay = std::chrono::nanoseconds(static_cast<int64_t>(static_cast<double>(seconds) * 1e9));
    queue.asyncAfter(std::chrono::duration_cast<plat::Duration>(delay), std::move(block));
}
