// Runs at crash time. Describes the whole process into a crash's record file: every thread's
// registers and return addresses (the crashed one marked), the loaded libraries' crash
// annotations, the names of the threads and of the queues they run, memory and CPU statistics and
// a storage section. The other threads are stopped around it (CRWThreadStopper.h), foreign memory
// is read only through checked reads, and nothing allocates or locks.
#pragma once

#include "crash/capture/CRWFrameWalker.h"
#include "crash/capture/CRWThreadContext.h"
#include "crash/capture/CRWThreadStopper.h"
#include "crash/record/CRWFile.h"

#include <cstdint>
#include <sys/types.h>

// Frames with the same pc in a row from which a recursion is folded.
inline constexpr uint32_t CRWUnwindInfiniteRecursionCountThreshold = 10;

// A local record of the crash path.
struct CRWProcess {
    pid_t task;          // this process
    pid_t thisThread;    // the recording thread
    pid_t crashedThread; // the thread that crashed
    pid_t threads[CRWMaxRecordedThreads];
    uint32_t threadCount;    // 0 when the list could not be read
    const void* userContext; // the signal's user context of the crashed thread, or none
    CRWFrameWalker walker;   // how stacks are walked (CRWCurrentFrameWalker at init)
    bool stopped;            // the other threads were stopped (and must be released)
};

// Fills `process` for a crash of `crashedThread`, listing the threads. False (with a count of 0,
// so that every recorder writes empty arrays) when the list cannot be read.
bool CRWProcessInit(CRWProcess* process, pid_t crashedThread, const void* userContext);
// Stops every thread but the recording one; true when all of them stopped.
bool CRWProcessSuspendAllOtherThreads(CRWProcess* process);
// Whether a thread runs now that the list of CRWProcessInit did not hold (started since, and so
// never stopped); true as well when the list cannot be read again.
bool CRWProcessHasThreadsSinceInit(const CRWProcess* process);
// Releases them again.
bool CRWProcessResumeAllOtherThreads(CRWProcess* process);

// A thread's registers: the crashed thread's from the user context when there is one, the
// recording thread's own as at the return from this call, any other thread's as it had them when
// it stopped (by the stop signal or the ptrace reader). False when they cannot be had.
bool CRWProcessGetThreadState(const CRWProcess* process, pid_t thread, CRWThreadContext* context);

// The "threads" section. A thread whose registers cannot be had is written as a hash holding only
// "unreadable", a short reason (CRWThreadReadFailureReason), and the others follow; a recursion is
// folded into "repeated_pc" and "repeat_count". False when any thread could not be recorded in
// full.
bool CRWProcessRecordAllThreads(const CRWProcess* process, CRWFile* file);
// The "registers" hash of one context (x86_64 or arm64 names).
void CRWProcessWriteRegisters(CRWFile* file, const CRWThreadContext* context);
// The "runtime" section: "objc_selector" (always empty: this platform has no message-send entry
// point) and the hex-encoded crash annotations of the loaded images, identifiers redacted.
void CRWProcessRecordRuntimeInfo(const CRWProcess* process, CRWFile* file);
// "dispatch_queue_names" and "thread_names": one string per listed thread, empty when unknown.
void CRWProcessRecordDispatchQueueNames(const CRWProcess* process, CRWFile* file);
void CRWProcessRecordThreadNames(const CRWProcess* process, CRWFile* file);
// "process_stats"; not written when either the memory or the task figures cannot be read.
void CRWProcessRecordStats(const CRWProcess* process, CRWFile* file);
// The host's memory in bytes: active, inactive, wired (unevictable) and free.
bool CRWProcessGetMemoryUsage(uint64_t* active, uint64_t* inactive, uint64_t* wired, uint64_t* freeMemory);
// This process's virtual and resident size in bytes and its user and system time in microseconds.
bool CRWProcessGetInfo(const CRWProcess* process, uint64_t* virtualSize, uint64_t* residentSize,
                       uint64_t* userTime, uint64_t* systemTime);
// The "storage" section; no disk figures are gathered (both 0).
void CRWHostWriteDiskUsage(CRWFile* file);

// The name of `thread` ("comm") into `buffer` (`size` bytes); empty when unknown.
void CRWProcessGetThreadName(pid_t thread, char* buffer, size_t size);
// The label of the queue whose block `thread` runs, copied into `buffer`; empty when none.
void CRWProcessGetThreadDispatchQueueName(pid_t thread, char* buffer, size_t size);
