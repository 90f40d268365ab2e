// A thread's registers as the unwinder sees them, for the two architectures it walks: arm64
// (compact unwind tables of Mach-O images) and x86_64 (the host's DWARF tables). Registers are kept
// by DWARF number; the PC has its own slot. Runs at crash time: no allocation, locks or exceptions.
#pragma once

#include <cstdint>

enum CRWArchitecture : uint32_t {
    CRWArchitectureUnknown = 0,
    CRWArchitectureARM64 = 1,
    CRWArchitectureX86_64 = 2,
};

// DWARF numbers with a fixed meaning.
enum : uint32_t {
    CRWARM64RegisterFP = 29,
    CRWARM64RegisterLR = 30,
    CRWARM64RegisterSP = 31,
    CRWX86_64RegisterRBP = 6,
    CRWX86_64RegisterRSP = 7,
    CRWX86_64RegisterRIP = 16,
};

// Rules and register slots exist for DWARF numbers below this.
inline constexpr uint32_t CRWDwarfRegisterCount = 32;

// arm64: values 0-28 are x0-x28, 29 fp, 30 lr, 31 sp. x86_64: values 0-15 in DWARF order (rax,
// rdx, rcx, rbx, rsi, rdi, rbp, rsp, r8-r15); DWARF number 16 (the return address) is the PC.
struct CRWRegisters {
    uint32_t architecture;
    uint64_t values[CRWDwarfRegisterCount];
    uint64_t pc;
};

// The bits of a code or stack pointer that carry the address: arm64 keeps the low 36 bits (the
// rest may hold pointer-authentication bits); x86_64 pointers are used whole.
uint64_t CRWRegistersPointerMask(uint32_t architecture);

// Accessors of the named registers; reads are masked. LR reads 0 on x86_64, which has none.
uint64_t CRWRegistersGetPC(const CRWRegisters* registers);
uint64_t CRWRegistersGetSP(const CRWRegisters* registers);
uint64_t CRWRegistersGetFP(const CRWRegisters* registers);
uint64_t CRWRegistersGetLR(const CRWRegisters* registers);
void CRWRegistersSetPC(CRWRegisters* registers, uint64_t value);
void CRWRegistersSetSP(CRWRegisters* registers, uint64_t value);
void CRWRegistersSetFP(CRWRegisters* registers, uint64_t value);

// True for the DWARF numbers the architecture has.
bool CRWRegistersHasNumber(uint32_t architecture, uint64_t number);

// By DWARF number. Reading an unknown number gives false and 0; writing one gives false. On arm64
// writing 30 sets LR and PC; on x86_64 number 16 is the PC.
bool CRWRegistersGet(const CRWRegisters* registers, uint64_t number, uint64_t* value);
bool CRWRegistersSet(CRWRegisters* registers, uint64_t number, uint64_t value);

// The registers of a signal handler's or getcontext's ucontext_t on this machine; false where the
// host's architecture is not one the unwinder walks.
bool CRWRegistersFromUContext(const void* ucontext, CRWRegisters* registers);
