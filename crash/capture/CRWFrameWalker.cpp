// Runs at crash time. The process-wide frame walker.
#include "crash/capture/CRWFrameWalker.h"

#include <atomic>

namespace {

std::atomic<CRWFrameWalker> currentWalker{nullptr};

} // namespace

CRWFrameWalker CRWCurrentFrameWalker() {
    CRWFrameWalker walker = currentWalker.load();
    return walker != nullptr ? walker : CRWFrameWalkerDefault;
}

void CRWSetFrameWalker(CRWFrameWalker walker) {
    currentWalker.store(walker);
}

bool CRWFrameWalkerPCOnly(const CRWThreadContext* context, CRWFrameVisitor visit, void* state) {
    if (visit == nullptr) return false;
    const uint64_t pc = CRWThreadContextGetPC(context);
    if (pc == 0) return false;
    visit(state, pc, 0);
    return true;
}

bool CRWFrameWalkerDefault(const CRWThreadContext* context, CRWFrameVisitor visit, void* state) {
    return CRWFrameWalkerPCOnly(context, visit, state);
}
