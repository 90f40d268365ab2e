// Call chains of known depth on the host, each compiled its own way (see CMakeLists.txt): one
// optimised without frame pointers (only the DWARF tables describe its frames), one with frame
// pointers and tables, and one with frame pointers and no tables at all. Each ends by calling
// leaf(context) from its deepest frame.
#pragma once

#include <cstdint>

namespace crashtest {

using ChainLeaf = void (*)(void* context);

int optimisedChain(int depth, ChainLeaf leaf, void* context);
int framePointerChain(int depth, ChainLeaf leaf, void* context);
// Stores each level's return address: returnAddresses[0] is the deepest level's.
int bareFramePointerChain(int depth, ChainLeaf leaf, void* context, uint64_t* returnAddresses);

} // namespace crashtest
