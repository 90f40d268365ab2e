// Runs at crash time. Lists the threads of this process and stops them while a crash is recorded.
// Linux has no call that suspends another thread and reads its registers, so each thread is sent
// a real-time signal; its handler stores the thread's registers in a slot set aside for it and
// waits on a futex until the recorder releases it. A thread that cannot take the signal (it blocks
// it, as many library threads block every signal) or does not answer it in time is read from
// outside instead, by the ptrace reader (CRWThreadTracer.h), which holds it stopped as well. Every
// wait is bounded: a thread that can be stopped neither way is left running with the reason, and a
// stopped thread resumes on its own if it is never released.
//
// No allocation, no locks: the slots are static storage, and everything else is a system call.
// One stop session at a time (the recording thread's); a second recorder waits for the first.
#pragma once

#include "crash/capture/CRWThreadContext.h"
#include "crash/capture/CRWThreadTracer.h"

#include <cstdint>
#include <sys/types.h>

// Threads recorded at most; the slots for stopped threads are set aside for as many.
inline constexpr uint32_t CRWMaxRecordedThreads = 1024;

// The kernel thread id of the caller.
pid_t CRWThreadSelf();

// Reads the file at `path` into `buffer`: at most size - 1 bytes, then a zero byte. The bytes read,
// or -1 when it cannot be opened.
ssize_t CRWReadSmallFile(const char* path, char* buffer, size_t size);
// Reads /proc/self/task/<thread>/<leaf> as CRWReadSmallFile does.
ssize_t CRWThreadReadFile(pid_t thread, const char* leaf, char* buffer, size_t size);

// The ids of this process's threads from /proc/self/task, in the kernel's order, at most
// `capacity` of them. -1 when the list cannot be read.
int32_t CRWThreadListCurrent(pid_t* threads, uint32_t capacity);

// The signal that stops threads, and the installation of its handler (done once, on first use;
// a handler that was there before still gets the signals that are not ours).
int CRWThreadStopperSignal();
bool CRWThreadStopperInstall();

// Whether `thread` blocks `signal` now (the "SigBlk" mask of its status); false when unknown.
bool CRWThreadBlocksSignal(pid_t thread, int signal);

// How long a stop waits, in milliseconds: for the answers to the stop signal, all of them together;
// for each thread the ptrace reader asks to stop (counted from when it asked, and from the last of
// the others that stopped); and for the reader to settle every thread it was handed.
struct CRWThreadStopWaits {
    uint32_t answerMilliseconds = 200;
    uint32_t readerStopMilliseconds = 100;
    uint32_t readerMilliseconds = 300;
};

// Stops every thread in `threads` except the caller, waiting for the answers to the signal as
// `waits` says, then handing the rest to the ptrace reader (which stops them while the recording
// goes on). True when every one of them stopped or was handed over.
bool CRWThreadStopperStop(const pid_t* threads, uint32_t count, CRWThreadStopWaits waits = {});
// The waits of the crash path's stop (CRWProcessSuspendAllOtherThreads): the defaults above, unless
// a test that must see every thread read has set its own.
CRWThreadStopWaits CRWThreadStopperCrashWaits();
void CRWThreadStopperSetCrashWaitsForTesting(CRWThreadStopWaits waits);
// The registers that `thread` had when it stopped; false when it did not stop. For a thread handed
// to the reader, waits (bounded) until it is read.
bool CRWThreadStopperGetContext(pid_t thread, CRWThreadContext* context);
// Whether `thread` is stopped now.
bool CRWThreadStopperIsStopped(pid_t thread);
// Why `thread` is not stopped; CRWThreadReadFailureNone when it is. With `wait`, also the wait that
// ran out before it was given up on (see CRWThreadWait), whichever side's it was.
CRWThreadReadFailure CRWThreadStopperFailure(pid_t thread, CRWThreadWait* wait = nullptr);
// Releases every stopped thread and waits (bounded) until they have left their handlers, so that
// the next session starts clean. True when all of them left in time.
bool CRWThreadStopperResume();
