// Helpers of the crash reporter's queue-side code (not for crash time): symbol lookup of a code
// address and deferred dispatch.
#pragma once

#include "platform/dispatch/DispatchQueue.h"

#include <functional>

// Asks the dynamic linker for the symbol and image holding `address` and calls `block` with their
// names ("unknown" for a part it does not know), or with (none, none) when the lookup fails.
void CRWLookupFunctionPointer(
    const void* address, const std::function<void(const char* symbolName, const char* imageName)>& block);
// Runs `block` on `queue` `seconds` from now.
void CRWDispatchAfter(const plat::DispatchQueue& queue, plat::Block block, float seconds);
