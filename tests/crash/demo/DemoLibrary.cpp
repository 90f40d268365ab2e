// The library that crash-demo loads at run time to crash inside it.
extern "C" {

volatile unsigned long crashDemoLibraryTarget = 32; // in the first page, never mapped

__attribute__((noinline, visibility("default"))) void crashDemoLibraryCrash() {
    *reinterpret_cast<volatile int*>(crashDemoLibraryTarget) = 7;
}

} // extern "C"

// crashDemoLibraryFaultAtEntry faults on its very first instruction, a load from the first page.
// Right before it, with no padding between, lies a function that ends in a call that never
// returns: the byte before the fault belongs to that function, under unwind rules of its own
// (a frame of 48 bytes), as the byte before any function's start may.
#if defined(__x86_64__)
__asm__(R"(
    .text
    .p2align 4
    .globl crashDemoLibraryEndsInACall
    .type crashDemoLibraryEndsInACall, @function
crashDemoLibraryEndsInACall:
    .cfi_startproc
    subq $40, %rsp
    .cfi_def_cfa_offset 48
    call abort@PLT
    .cfi_endproc
    .size crashDemoLibraryEndsInACall, .-crashDemoLibraryEndsInACall
    .globl crashDemoLibraryFaultAtEntry
    .type crashDemoLibraryFaultAtEntry, @function
crashDemoLibraryFaultAtEntry:
    .cfi_startproc
    movl 16, %eax
    ret
    .cfi_endproc
    .size crashDemoLibraryFaultAtEntry, .-crashDemoLibraryFaultAtEntry
)");
#endif
