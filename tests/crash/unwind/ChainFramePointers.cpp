// Built with frame pointers and unwind tables.
#include "tests/crash/unwind/HostCallChains.h"

namespace crashtest {

__attribute__((noinline)) int framePointerChain(int depth, ChainLeaf leaf, void* context) {
    if (depth == 0) {
        leaf(context);
        return 0;
    }
    const int result = framePointerChain(depth - 1, leaf, context);
    __asm__ volatile("" ::: "memory");
    return result + 1;
}

} // namespace crashtest
