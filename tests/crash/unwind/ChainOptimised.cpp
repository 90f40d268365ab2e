// Built with -O2 -fomit-frame-pointer: rbp is an ordinary register here.
#include "tests/crash/unwind/HostCallChains.h"

namespace crashtest {

namespace {

int chainOdd(int depth, ChainLeaf leaf, void* context);

__attribute__((noinline)) int chainEven(int depth, ChainLeaf leaf, void* context) {
    volatile int scratch[6];
    scratch[depth % 6] = depth;
    if (depth == 0) {
        leaf(context);
        return scratch[0];
    }
    const int result = chainOdd(depth - 1, leaf, context);
    __asm__ volatile("" ::: "memory");
    return result + scratch[depth % 6];
}

__attribute__((noinline)) int chainOdd(int depth, ChainLeaf leaf, void* context) {
    volatile long scratch[3];
    scratch[depth % 3] = depth;
    if (depth == 0) {
        leaf(context);
        return 1;
    }
    const int result = chainEven(depth - 1, leaf, context);
    __asm__ volatile("" ::: "memory");
    return result + static_cast<int>(scratch[depth % 3]);
}

} // namespace

int optimisedChain(int depth, ChainLeaf leaf, void* context) {
    return chainEven(depth, leaf, context) + 1;
}

} // namespace crashtest
