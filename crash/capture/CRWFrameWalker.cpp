// Runs at crash time. The process-wide frame walker.
#include "crash/capture/CRWFrameWalker.h"

#include "crash/unwind/CRWUnwind.h"

#include <atomic>

namespace {

std::atomic<CRWFrameWalker> currentWalker{nullptr};

// The unwinder's register set of a recorded context: x86_64 registers by DWARF number, arm64
// registers as they stand.
bool unwinderRegisters(const CRWThreadContext* context, CRWRegisters* registers) {
    *registers = CRWRegisters{};
    if (context == nullptr) return false;
    if (context->architecture == CRWThreadContextArchitectureX86_64) {
        const CRWX86_64Registers& r = context->x86_64;
        const uint64_t dwarfOrder[16] = {r.rax, r.rdx, r.rcx, r.rbx, r.rsi, r.rdi, r.rbp, r.rsp,
                                         r.r8,  r.r9,  r.r10, r.r11, r.r12, r.r13, r.r14, r.r15};
        registers->architecture = CRWArchitectureX86_64;
        for (int i = 0; i < 16; ++i)
            registers->values[i] = dwarfOrder[i];
        registers->pc = r.rip;
        return true;
    }
    if (context->architecture == CRWThreadContextArchitectureARM64) {
        const auto& state = context->arm64.threadState;
        registers->architecture = CRWArchitectureARM64;
        for (int i = 0; i < 29; ++i)
            registers->values[i] = state.x[i];
        registers->values[CRWARM64RegisterFP] = state.fp;
        registers->values[CRWARM64RegisterLR] = state.lr;
        registers->values[CRWARM64RegisterSP] = state.sp;
        registers->pc = state.pc;
        return true;
    }
    return false;
}

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
    CRWRegisters registers;
    if (visit == nullptr || !unwinderRegisters(context, &registers)) return false;
    // The cursor keeps a few pages of stack and the last image's tables: a local of the handler,
    // on its alternate stack.
    CRWUnwindContext cursor;
    if (!CRWUnwindInit(&cursor, &registers, CRWUnwindEnvironmentDefault())) return false;
    while (CRWUnwindNextFrame(&cursor))
        if (!visit(state, CRWUnwindGetPC(&cursor), CRWUnwindGetFrameRepeatCount(&cursor))) break;
    return true;
}
