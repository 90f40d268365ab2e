// Built with frame pointers and without unwind tables: only the frame-pointer chain leads out.
#include "tests/crash/unwind/HostCallChains.h"

namespace crashtest {

__attribute__((noinline)) int bareFramePointerChain(int depth, ChainLeaf leaf, void* context,
                                                    uint64_t* returnAddresses) {
    returnAddresses[depth] = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    if (depth == 0) {
        leaf(context);
        return 0;
    }
    const int result = bareFramePointerChain(depth - 1, leaf, context, returnAddresses);
    __asm__ volatile("" ::: "memory");
    return result + 1;
}

} // namespace crashtest
