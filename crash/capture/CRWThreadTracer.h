// Runs at crash time. Reads the registers of the threads that the stop signal cannot reach (they
// block it, or they never answered it) from outside. A thread cannot trace a thread of its own
// process, so a helper process is made with a raw clone that shares this process's memory; it
// attaches to each thread with ptrace, interrupts it, stores its registers in a static slot and
// holds it stopped while the crash is recorded, then detaches and exits. It does its work while
// the recorder records the threads it has already. Under Yama's restricted ptrace the helper is
// named as the one process allowed to trace us, for as long as it lives.
//
// Every wait is bounded: a thread that does not stop in time is reported as such, and a helper that
// does not report in time is killed, which lets the kernel detach its tracees. A thread that cannot
// be read keeps a short reason for the record.
//
// No allocation, no locks. The helper shares the memory and the thread pointer of the thread that
// made it, so it makes raw system calls only and touches nothing but its slots and its own stack.
// Within a CRWThreadStopper session only (one at a time).
#pragma once

#include "crash/capture/CRWThreadContext.h"

#include <cstdint>
#include <sys/types.h>

// Why a thread's registers could not be read.
enum CRWThreadReadFailure : uint32_t {
    CRWThreadReadFailureNone = 0,
    CRWThreadReadFailureExited,       // the thread ended before it could be read
    CRWThreadReadFailureNotPermitted, // ptrace refused (Yama, an undumpable process, another tracer)
    CRWThreadReadFailureUnavailable,  // no helper could be made, or ptrace does not exist here
    CRWThreadReadFailureNoStop,       // attached, but the thread did not stop in time
    CRWThreadReadFailureRegisters,    // stopped, but its registers could not be read
    CRWThreadReadFailureTimedOut,     // the helper did not report in time and was stopped
    CRWThreadReadFailureNotAsked,     // the thread was never asked (too many threads, or no session)
};

// The short text a record gives for `failure`; none for CRWThreadReadFailureNone.
const char* CRWThreadReadFailureReason(CRWThreadReadFailure failure);

// The wait that ended in a thread being given up on: how long the crash path waited for that
// thread (from asking it to stop to giving up, on the monotonic clock) and how long that wait was
// meant to last. Both 0 when no wait ran out (the thread was read, exited, or could not be asked).
struct CRWThreadWait {
    int64_t waitedNanoseconds;
    int64_t dueNanoseconds;
};

// Reads what decides how the helper may attach (Yama's ptrace scope). Once, before any crash, from
// the installation of the thread stopper; a crash without it reads it then.
void CRWThreadTracerPrepare();

// Hands `threads` (of this process, never the caller) to a helper that attaches to each, reads its
// registers and holds it stopped until CRWThreadTracerRelease, while the caller goes on. The helper
// gives up on a thread that has not stopped `stopMilliseconds` after it was asked to and after the
// last of the others stopped. False when no helper could be started (every thread then has its
// reason).
bool CRWThreadTracerAttach(const pid_t* threads, uint32_t count, uint32_t stopMilliseconds = 100,
                           uint32_t timeoutMilliseconds = 300);
// The registers `thread` had when it stopped; false when it was not read. Waits for the helper to
// settle the thread, at most until `timeoutMilliseconds` after the attach; past that the helper is
// killed (its threads go free) and every thread not recorded yet counts as timed out.
bool CRWThreadTracerGetContext(pid_t thread, CRWThreadContext* context);
// Why `thread` was not read, waiting as CRWThreadTracerGetContext does; CRWThreadReadFailureNotAsked
// when it was not among the threads. With `wait`, also the wait that ran out before it was given up
// on: the helper's wait for it to stop, or the recorder's for the helper.
CRWThreadReadFailure CRWThreadTracerFailure(pid_t thread, CRWThreadWait* wait = nullptr);
// Lets every held thread go and waits (bounded) for the helper to end. True when it ended in time
// (or there was none).
bool CRWThreadTracerRelease();
