// Runs at crash time. The exception server: a thread of its own, on its own stack, that receives
// the task's hardware exceptions through its exception port (platform/mach) before they become
// signals. The first exception it accepts is recorded into "mach_exception.crwrecord" followed by
// the common crash path, after the previous exception ports and signal handlers are put back, so
// that the faulting thread, once answered, meets the exception again under the handling that was
// there before. The server allocates nothing and takes no lock.
#pragma once

#include "crash/record/CRWContext.h"
#include "platform/mach/MachException.h"

#include <cstdint>

// The exceptions the server asks for: bad access, bad instruction, arithmetic, breakpoint, guard.
inline constexpr uint32_t CRWMachExceptionMask =
    plat::mach::kExcMaskBadAccess | plat::mach::kExcMaskBadInstruction | plat::mach::kExcMaskArithmetic |
    plat::mach::kExcMaskBreakpoint | plat::mach::kExcMaskGuard;
// The name the server thread carries.
inline constexpr const char* CRWMachExceptionServerThreadName = "com.tessera.crashwatch.MachExceptionServer";

// Deletes the exception file, allocates the port with its send right, swaps it in for the mask
// (keeping the previous ports in `part`) and starts the server thread on the context's exception
// stack. Failures are logged; a server that cannot start puts the previous ports back.
void CRWMachExceptionInit(CRWMachExceptionPart* part);
// The server thread's body: receives, records and replies until a receive or a reply fails.
void* CRWMachExceptionServer(void* part);
// Puts the saved ports back for their masks and clears the rest of `mask`. False when the rest
// could not be cleared.
bool CRWMachExceptionUnregister(const decltype(CRWMachExceptionPart::originalPorts)* originalPorts,
                                uint32_t mask);
// The exception's name and code name, each none when unknown.
void CRWMachExceptionNameLookup(int32_t exception, int64_t code, const char** name, const char** codeName);
// Handles one received request: checks the task, unregisters, restores the signal handlers and
// records. The reply's return code.
plat::mach::KernReturn CRWMachExceptionDispatchMessage(CRWMachExceptionPart* part,
                                                       const plat::mach::ExceptionRequest* request);
