// A stand-in of the kernel's exception ports: each exception type of the task may name a port that
// receives an exception request message when a thread of the task meets that exception; the
// thread waits for the reply, whose return code says whether the exception was handled.
//
// On Linux real faults arrive as signals; this layer lets exception servers run and be tested:
// raiseException is what the kernel would do for a faulting thread. The table of exception ports
// is read and written with atomics (no lock, no heap).
#pragma once

#include "platform/mach/MachPort.h"

#include <cstdint>

namespace plat::mach {

// Exception types.
inline constexpr int32_t kExcBadAccess = 1;
inline constexpr int32_t kExcBadInstruction = 2;
inline constexpr int32_t kExcArithmetic = 3;
inline constexpr int32_t kExcEmulation = 4;
inline constexpr int32_t kExcSoftware = 5;
inline constexpr int32_t kExcBreakpoint = 6;
inline constexpr int32_t kExcGuard = 12;
// Exception types are below this.
inline constexpr uint32_t kExcTypesCount = 14;

constexpr uint32_t exceptionMask(int32_t exception) {
    return 1u << exception;
}
inline constexpr uint32_t kExcMaskBadAccess = exceptionMask(kExcBadAccess);
inline constexpr uint32_t kExcMaskBadInstruction = exceptionMask(kExcBadInstruction);
inline constexpr uint32_t kExcMaskArithmetic = exceptionMask(kExcArithmetic);
inline constexpr uint32_t kExcMaskBreakpoint = exceptionMask(kExcBreakpoint);
inline constexpr uint32_t kExcMaskGuard = exceptionMask(kExcGuard);

// Behaviors and flavors of an exception port.
inline constexpr uint32_t kExceptionDefault = 1;
// The request carries 64-bit codes.
inline constexpr uint32_t kMachExceptionCodes = 0x80000000u;
// The request carries no thread state.
inline constexpr uint32_t kThreadStateNone = 13;

// Message ids of the exception request with 64-bit codes and of its reply.
inline constexpr int32_t kExceptionRaiseRequestId = 2405;
inline constexpr int32_t kExceptionRaiseReplyId = kExceptionRaiseRequestId + 100;

// A port right carried in a message body.
struct PortDescriptor {
    Port name;
    uint32_t pad1;
    uint16_t pad2;
    uint8_t disposition;
    uint8_t type; // 0: a port descriptor
};

// The data-representation record of the interface generator; carried, never interpreted.
struct NDRRecord {
    uint8_t bytes[8];
};
inline constexpr NDRRecord kNDRRecord{{0, 0, 0, 0, 1, 0, 0, 0}};

#pragma pack(push, 4)
// An exception request as received (92 bytes with its trailer).
struct ExceptionRequest {
    MessageHeader header;
    uint32_t descriptorCount;
    PortDescriptor thread;
    PortDescriptor task;
    NDRRecord ndr;
    int32_t exception;
    uint32_t codeCount;
    int64_t codes[2];
    MessageTrailer trailer;
};
// The reply (36 bytes).
struct ExceptionReply {
    MessageHeader header;
    NDRRecord ndr;
    KernReturn returnCode;
};
#pragma pack(pop)
static_assert(sizeof(ExceptionRequest) == 92);
static_assert(sizeof(ExceptionReply) == 36);

// Sets the task's exception port for every type in `mask` and hands back the ports they had:
// entries with the same port, behavior and flavor are merged into one, entries without a port are
// left out, at most `*count` (on entry) are returned. kKernInvalidArgument for another task, a
// mask outside the exception types or an out pointer missing; kKernInvalidRight for a port without
// a send right.
KernReturn swapExceptionPorts(Port task, uint32_t mask, Port port, uint32_t behavior, uint32_t flavor,
                              uint32_t* masks, uint32_t* count, Port* ports, uint32_t* behaviors,
                              uint32_t* flavors);
// Sets the exception port of every type in `mask` (kPortNull removes it).
KernReturn setExceptionPorts(Port task, uint32_t mask, Port port, uint32_t behavior, uint32_t flavor);
// The port now set for one exception type, or kPortNull.
Port exceptionPortFor(int32_t exception);

// What the kernel does for a thread that meets `exception`: sends the request (up to two codes)
// to the task's port for that type with a fresh reply port and waits for the reply, at most
// `timeoutMilliseconds`. Returns the reply's return code; kKernFailure when no port is set, the
// port is gone or no reply came. `thread` and `task` name the faulting thread and its task.
KernReturn raiseException(int32_t exception, const int64_t* codes, uint32_t codeCount,
                          Port thread = threadSelf(), Port task = taskSelf(),
                          uint32_t timeoutMilliseconds = 30000);

// Test hook: removes every exception port.
void resetExceptionPortsForTesting();

} // namespace plat::mach
