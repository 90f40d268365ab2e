// Runs at crash time. The handler of the seven fatal signals. It runs on an alternate stack (so a
// thread whose own stack is exhausted is still recorded), records the first crash of the process
// into "signal.crwrecord" followed by the common crash path, puts back the handlers that were
// installed before, calls the previous handler of the signal, and lets the process end by the
// signal: faults repeat when the handler returns, and signals that do not repeat (sent with kill
// or raise, breakpoint traps) are raised again under the default action.
//
// One thread records. The handler runs with every handled signal blocked, so a fault inside it
// ends the process, and one sent from outside meanwhile goes to another thread. A thread that
// fails (or takes such a signal) while another records waits, bounded, and is recorded with the
// others; its own signal then goes to the restored handlers if the process has not ended.
//
// The handler and everything it calls allocate nothing, take no lock and call only
// async-signal-safe functions.
#pragma once

#include "crash/record/CRWContext.h"

#include <csignal>
#include <cstdint>

// The handled signals, in the order of the signal part's saved actions.
inline constexpr int CRWFatalSignals[CRWFatalSignalCount] = {SIGABRT, SIGBUS, SIGFPE, SIGILL,
                                                             SIGSEGV, SIGSYS, SIGTRAP};
// Bytes of each alternate stack that crash capture gives a thread of the dispatch layer.
inline constexpr size_t CRWSignalThreadStackSize = 262144;

// "SIGSEGV" and the like; "UNKNOWN" for a signal we do not handle.
const char* CRWSignalNameLookup(int signal);
// "ABORT" for SIGABRT, none otherwise.
const char* CRWSignalCodeNameLookup(int signal, int code);

// Installs the context's signal stack as the calling thread's alternate stack and keeps the one it
// had (with the thread's id) in `part`. Start-up runs it on the thread that initialises crash
// reporting. False (logged) when the system refuses.
bool CRWSignalInstallAltStack(CRWSignalPart* part);
// Deletes the signal file, installs CRWSignalHandler for each handled signal (SA_SIGINFO,
// SA_ONSTACK, the handled signals masked) keeping each previous action in `part`, installs the
// thread stopper's handler, and has every thread the dispatch layer starts get an alternate stack
// of its own.
void CRWSignalInitialize(CRWSignalPart* part);

// The installed handler.
void CRWSignalHandler(int signal, siginfo_t* info, void* userContext);
// Sets every handled signal to the default action; SIGABRT only with `includingAbort`.
void CRWSignalSafeRemoveHandlers(bool includingAbort);
// Puts back the saved alternate stack (only on the thread it was saved from, and never while
// running on an alternate stack) and the saved actions, the default one where none was saved
// (each signal in one step); when `signal` is not negative, calls the saved handler of that signal
// with `info` and `userContext` if it is a real function, in the form its flags name. False when
// an action could not be restored.
bool CRWSignalSafeInstallPreexistingHandlers(const CRWSignalPart* part, int signal, siginfo_t* info,
                                             void* userContext);
// Whether returning from a handler of `signal` with `info` meets the same signal again: a fault
// raised by the kernel for the instruction that caused it.
bool CRWSignalRepeatsOnReturn(int signal, const siginfo_t* info);

// Tests only: how long a thread that fails while another records waits for that recording before
// its own signal ends the process (10 seconds unless set).
void CRWSignalSetRecordingWaitForTesting(int64_t nanoseconds);

// For threads that did not come from the dispatch layer: gives the calling thread an alternate
// stack of its own unless it has one; the second call releases it (before the thread ends).
void CRWSignalThreadStarted();
void CRWSignalThreadFinished();
