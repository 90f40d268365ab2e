// Runs at crash time. One thread's registers as crash recording keeps them: the host's general
// registers (x86_64) taken from a signal's user context, or the arm64 machine-context model
// (exception, thread and vector state, 816 bytes) that fixtures of arm64 processes use. The
// accessors read the four registers the unwinder and the records need; arm64 reads keep the low
// 36 bits (pointer-authentication and tag bits stripped). No allocation, no locks.
#pragma once

#include <cstdint>

enum CRWThreadContextArchitecture : uint32_t {
    CRWThreadContextArchitectureNone = 0,
    CRWThreadContextArchitectureARM64 = 1,
    CRWThreadContextArchitectureX86_64 = 2,
};

// The arm64 machine context.
struct CRWARM64MachineContext {
    struct {
        uint64_t faultAddress;
        uint32_t syndrome;
        uint32_t exception;
    } exceptionState;
    struct {
        uint64_t x[29];
        uint64_t fp;
        uint64_t lr;
        uint64_t sp;
        uint64_t pc;
        uint32_t cpsr;
        uint32_t padding;
    } threadState;
    struct alignas(16) {
        struct alignas(16) {
            uint64_t low;
            uint64_t high;
        } v[32];
        uint32_t fpsr;
        uint32_t fpcr;
    } neonState;
};
static_assert(sizeof(CRWARM64MachineContext) == 816);

// The x86_64 general registers and flags, in the order the records list them.
struct CRWX86_64Registers {
    uint64_t rax, rbx, rcx, rdx, rdi, rsi, rbp, rsp;
    uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
    uint64_t rip, rflags;
    uint64_t cs, fs, gs;
};
// The record names of CRWX86_64Registers' fields, in field order.
inline constexpr const char* CRWX86_64RegisterNames[] = {"rax", "rbx", "rcx", "rdx",    "rdi", "rsi", "rbp",
                                                         "rsp", "r8",  "r9",  "r10",    "r11", "r12", "r13",
                                                         "r14", "r15", "rip", "rflags", "cs",  "fs",  "gs"};
static_assert(sizeof(CRWX86_64Registers) ==
              sizeof(CRWX86_64RegisterNames) / sizeof(char*) * sizeof(uint64_t));

struct CRWThreadContext {
    uint32_t architecture; // CRWThreadContextArchitecture
    union {
        CRWARM64MachineContext arm64;
        CRWX86_64Registers x86_64;
    };
};

// The architecture of the machine we run on.
CRWThreadContextArchitecture CRWThreadContextHostArchitecture();

// Fills `context` from a signal handler's user context (ucontext_t) of this machine. False for a
// missing user context or a host whose registers we do not model (the context is then zeroed).
bool CRWThreadContextFromUserContext(const void* userContext, CRWThreadContext* context);

// Fills `context` from the general registers that ptrace reads of a thread of this machine (the
// NT_PRSTATUS register set, a user_regs_struct). False for a host whose registers we do not model.
bool CRWThreadContextFromTraceRegisters(const void* registers, CRWThreadContext* context);

// Reads; 0 for a missing or invalid context. arm64 reads are masked to their low 36 bits; x86_64
// has no link register (0).
uint64_t CRWThreadContextGetPC(const CRWThreadContext* context);
uint64_t CRWThreadContextGetStackPointer(const CRWThreadContext* context);
uint64_t CRWThreadContextGetLinkRegister(const CRWThreadContext* context);
uint64_t CRWThreadContextGetFramePointer(const CRWThreadContext* context);
// Writes, unchanged; false for a missing or invalid context (and for the link register on x86_64).
bool CRWThreadContextSetPC(CRWThreadContext* context, uint64_t value);
bool CRWThreadContextSetStackPointer(CRWThreadContext* context, uint64_t value);
bool CRWThreadContextSetLinkRegister(CRWThreadContext* context, uint64_t value);
bool CRWThreadContextSetFramePointer(CRWThreadContext* context, uint64_t value);
