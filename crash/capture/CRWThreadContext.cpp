// Runs at crash time. Register contexts and their accessors.
#include "crash/capture/CRWThreadContext.h"

#include "crash/record/CRWMemory.h"

#include <cstring>
#include <sys/user.h>
#include <ucontext.h>

namespace {

constexpr uint64_t kARM64PointerMask = (uint64_t{1} << 36) - 1;

bool valid(const CRWThreadContext* context) {
    return CRWIsValidPointer(context) && (context->architecture == CRWThreadContextArchitectureARM64 ||
                                          context->architecture == CRWThreadContextArchitectureX86_64);
}

// The register slot a read or write addresses; none for a register the architecture lacks.
enum class Register { PC, SP, LR, FP };

uint64_t* slot(CRWThreadContext* context, Register which) {
    if (context->architecture == CRWThreadContextArchitectureARM64) {
        auto& state = context->arm64.threadState;
        switch (which) {
        case Register::PC:
            return &state.pc;
        case Register::SP:
            return &state.sp;
        case Register::LR:
            return &state.lr;
        case Register::FP:
            return &state.fp;
        }
    }
    auto& registers = context->x86_64;
    switch (which) {
    case Register::PC:
        return &registers.rip;
    case Register::SP:
        return &registers.rsp;
    case Register::FP:
        return &registers.rbp;
    case Register::LR:
        return nullptr;
    }
    return nullptr;
}

uint64_t get(const CRWThreadContext* context, Register which) {
    if (!valid(context)) return 0;
    const uint64_t* value = slot(const_cast<CRWThreadContext*>(context), which);
    if (value == nullptr) return 0;
    return context->architecture == CRWThreadContextArchitectureARM64 ? *value & kARM64PointerMask : *value;
}

bool set(CRWThreadContext* context, Register which, uint64_t value) {
    if (!valid(context)) return false;
    uint64_t* target = slot(context, which);
    if (target == nullptr) return false;
    *target = value;
    return true;
}

} // namespace

CRWThreadContextArchitecture CRWThreadContextHostArchitecture() {
#if defined(__x86_64__)
    return CRWThreadContextArchitectureX86_64;
#elif defined(__aarch64__)
    return CRWThreadContextArchitectureARM64;
#else
    return CRWThreadContextArchitectureNone;
#endif
}

bool CRWThreadContextFromUserContext(const void* userContext, CRWThreadContext* context) {
    if (!CRWIsValidPointer(context)) return false;
    memset(context, 0, sizeof(*context));
    if (!CRWIsValidPointer(userContext)) return false;
    const auto* user = static_cast<const ucontext_t*>(userContext);
#if defined(__x86_64__)
    const greg_t* g = user->uc_mcontext.gregs;
    auto& r = context->x86_64;
    context->architecture = CRWThreadContextArchitectureX86_64;
    r.rax = static_cast<uint64_t>(g[REG_RAX]);
    r.rbx = static_cast<uint64_t>(g[REG_RBX]);
    r.rcx = static_cast<uint64_t>(g[REG_RCX]);
    r.rdx = static_cast<uint64_t>(g[REG_RDX]);
    r.rdi = static_cast<uint64_t>(g[REG_RDI]);
    r.rsi = static_cast<uint64_t>(g[REG_RSI]);
    r.rbp = static_cast<uint64_t>(g[REG_RBP]);
    r.rsp = static_cast<uint64_t>(g[REG_RSP]);
    r.r8 = static_cast<uint64_t>(g[REG_R8]);
    r.r9 = static_cast<uint64_t>(g[REG_R9]);
    r.r10 = static_cast<uint64_t>(g[REG_R10]);
    r.r11 = static_cast<uint64_t>(g[REG_R11]);
    r.r12 = static_cast<uint64_t>(g[REG_R12]);
    r.r13 = static_cast<uint64_t>(g[REG_R13]);
    r.r14 = static_cast<uint64_t>(g[REG_R14]);
    r.r15 = static_cast<uint64_t>(g[REG_R15]);
    r.rip = static_cast<uint64_t>(g[REG_RIP]);
    r.rflags = static_cast<uint64_t>(g[REG_EFL]);
    // cs, gs and fs share one word: three 16-bit selectors and padding.
    const uint64_t selectors = static_cast<uint64_t>(g[REG_CSGSFS]);
    r.cs = selectors & 0xFFFF;
    r.gs = (selectors >> 16) & 0xFFFF;
    r.fs = (selectors >> 32) & 0xFFFF;
    return true;
#elif defined(__aarch64__)
    const auto& m = user->uc_mcontext;
    auto& state = context->arm64.threadState;
    context->architecture = CRWThreadContextArchitectureARM64;
    for (int i = 0; i < 29; ++i)
        state.x[i] = m.regs[i];
    state.fp = m.regs[29];
    state.lr = m.regs[30];
    state.sp = m.sp;
    state.pc = m.pc;
    state.cpsr = static_cast<uint32_t>(m.pstate);
    context->arm64.exceptionState.faultAddress = m.fault_address;
    return true;
#else
    (void)user;
    return false;
#endif
}

bool CRWThreadContextFromTraceRegisters(const void* registers, CRWThreadContext* context) {
    if (!CRWIsValidPointer(context)) return false;
    memset(context, 0, sizeof(*context));
    if (!CRWIsValidPointer(registers)) return false;
#if defined(__x86_64__)
    const auto* g = static_cast<const struct user_regs_struct*>(registers);
    auto& r = context->x86_64;
    context->architecture = CRWThreadContextArchitectureX86_64;
    r.rax = g->rax;
    r.rbx = g->rbx;
    r.rcx = g->rcx;
    r.rdx = g->rdx;
    r.rdi = g->rdi;
    r.rsi = g->rsi;
    r.rbp = g->rbp;
    r.rsp = g->rsp;
    r.r8 = g->r8;
    r.r9 = g->r9;
    r.r10 = g->r10;
    r.r11 = g->r11;
    r.r12 = g->r12;
    r.r13 = g->r13;
    r.r14 = g->r14;
    r.r15 = g->r15;
    r.rip = g->rip;
    r.rflags = g->eflags;
    r.cs = g->cs & 0xFFFF;
    r.fs = g->fs & 0xFFFF;
    r.gs = g->gs & 0xFFFF;
    return true;
#else
    return false;
#endif
}

uint64_t CRWThreadContextGetPC(const CRWThreadContext* context) {
    return get(context, Register::PC);
}
uint64_t CRWThreadContextGetStackPointer(const CRWThreadContext* context) {
    return get(context, Register::SP);
}
uint64_t CRWThreadContextGetLinkRegister(const CRWThreadContext* context) {
    return get(context, Register::LR);
}
uint64_t CRWThreadContextGetFramePointer(const CRWThreadContext* context) {
    return get(context, Register::FP);
}
bool CRWThreadContextSetPC(CRWThreadContext* context, uint64_t value) {
    return set(context, Register::PC, value);
}
bool CRWThreadContextSetStackPointer(CRWThreadContext* context, uint64_t value) {
    return set(context, Register::SP, value);
}
bool CRWThreadContextSetLinkRegister(CRWThreadContext* context, uint64_t value) {
    return set(context, Register::LR, value);
}
bool CRWThreadContextSetFramePointer(CRWThreadContext* context, uint64_t value) {
    return set(context, Register::FP, value);
}
