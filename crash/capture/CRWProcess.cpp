// Runs at crash time. The thread list, stopping and the "threads" section.
#include "crash/capture/CRWProcess.h"

#include "crash/record/CRWContext.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKFileLog.h"

#include <atomic>
#include <cstring>
#include <unistd.h>

namespace {

// The walk of one thread's stack into the "stacktrace" array, folding a recursion.
struct StackWalk {
    CRWFile* file;
    uint64_t repeatedPC;
    uint32_t repeatCount;
    uint32_t savedLogLevel;
};

std::atomic_ref<uint32_t> logLevel() {
    return std::atomic_ref<uint32_t>(_crwContext.writable->logLevel);
}

bool visitFrame(void* state, uint64_t pc, uint32_t repeatCount) {
    auto* walk = static_cast<StackWalk*>(state);
    if (walk->repeatedPC != 0 && pc == walk->repeatedPC) {
        walk->repeatCount = repeatCount;
        return true;
    }
    if (repeatCount < CRWUnwindInfiniteRecursionCountThreshold || walk->repeatedPC != 0) {
        if (walk->repeatedPC != 0 && CRWIsValidPointer(_crwContext.writable))
            logLevel().store(walk->savedLogLevel);
        CRWFileWriteArrayEntryUint64(walk->file, pc);
        return true;
    }
    // The first frame that reaches the threshold: the frames of the recursion stop here, and so do
    // the unwinder's per-frame messages, until the walk leaves it.
    CRWSDKLogWarnIn("CRWProcessRecordThread", "Possible infinite recursion - suppressing logging\n");
    if (CRWIsValidPointer(_crwContext.writable)) logLevel().store(CRWSDKLogLevelWarn);
    walk->repeatedPC = pc;
    walk->repeatCount = repeatCount;
    return true;
}

// Whole milliseconds of a duration, as the log's 32-bit numbers hold them.
uint32_t milliseconds(int64_t nanoseconds) {
    const int64_t value = nanoseconds / 1'000'000;
    return value <= 0 ? 0 : value >= int64_t{UINT32_MAX} ? UINT32_MAX : static_cast<uint32_t>(value);
}

// One thread's hash (the `index`th of the list); false when its registers or its stack could not be
// had.
bool recordThread(const CRWProcess* process, uint32_t index, pid_t thread, CRWFile* file) {
    CRWThreadContext context;
    if (!CRWProcessGetThreadState(process, thread, &context)) {
        // The entry says why, and the threads after it are still recorded. The log names the thread
        // and, for one given up on once a wait for it ran out, how long that wait was and how long
        // it was meant to be.
        CRWThreadWait wait{0, 0};
        const CRWThreadReadFailure failure = CRWThreadStopperFailure(thread, &wait);
        const char* reason = CRWThreadReadFailureReason(failure);
        if (reason == nullptr) reason = CRWThreadReadFailureReason(CRWThreadReadFailureNotAsked);
        CRWSDKLogErrorIn("CRWProcessRecordThread", "Unable to get thread state\n");
        if (failure != CRWThreadReadFailureNone && wait.dueNanoseconds > 0)
            CRWSDKLogErrorIn("CRWProcessRecordThread",
                             "Thread %d (index %u): %s, given up after %u ms of its %u ms wait\n",
                             static_cast<int32_t>(thread), index, reason,
                             milliseconds(wait.waitedNanoseconds), milliseconds(wait.dueNanoseconds));
        else
            CRWSDKLogErrorIn("CRWProcessRecordThread", "Thread %d (index %u): %s\n",
                             static_cast<int32_t>(thread), index, reason);
        CRWFileWriteHashStart(file);
        CRWFileWriteHashEntryString(file, "unreadable", reason);
        CRWFileWriteHashEnd(file);
        return false;
    }
    CRWFileWriteHashStart(file);
    CRWProcessWriteRegisters(file, &context);

    StackWalk walk{file, 0, 0, CRWIsValidPointer(_crwContext.writable) ? logLevel().load() : 0};
    CRWFileWriteHashKey(file, "stacktrace");
    CRWFileWriteArrayStart(file);
    const bool walked = process->walker(&context, visitFrame, &walk);
    CRWFileWriteArrayEnd(file);
    if (!walked) CRWSDKLogWarnIn("CRWProcessRecordThread", "Unable to init unwind context\n");
    if (thread == process->crashedThread) CRWFileWriteHashEntryBoolean(file, "crashed", true);
    if (walk.repeatedPC != 0) {
        CRWFileWriteHashEntryUint64(file, "repeated_pc", walk.repeatedPC);
        CRWFileWriteHashEntryUint64(file, "repeat_count", walk.repeatCount);
    }
    if (CRWIsValidPointer(_crwContext.writable)) logLevel().store(walk.savedLogLevel);
    CRWFileWriteHashEnd(file);
    return walked;
}

// The recording thread's registers at the return from CRWProcessGetThreadState: its caller's pc,
// stack and frame pointers, read from this function's own frame record.
__attribute__((noinline)) void fakeCurrentThread(CRWThreadContext* context, void* frame,
                                                 void* returnAddress) {
    memset(context, 0, sizeof(*context));
    context->architecture = CRWThreadContextHostArchitecture();
    const auto* record = static_cast<const uint64_t*>(frame);
    CRWThreadContextSetPC(context, reinterpret_cast<uintptr_t>(returnAddress));
    // The frame record holds the caller's frame pointer and the return address; the caller's
    // stack pointer is just above it.
    CRWThreadContextSetFramePointer(context, record[0]);
    CRWThreadContextSetStackPointer(context, reinterpret_cast<uintptr_t>(frame) + 2 * sizeof(uint64_t));
    CRWThreadContextSetLinkRegister(context, reinterpret_cast<uintptr_t>(returnAddress));
}

} // namespace

bool CRWProcessInit(CRWProcess* process, pid_t crashedThread, const void* userContext) {
    if (!CRWIsValidPointer(process)) return false;
    process->task = getpid();
    process->thisThread = CRWThreadSelf();
    process->crashedThread = crashedThread;
    process->userContext = CRWIsValidPointer(userContext) ? userContext : nullptr;
    process->walker = CRWCurrentFrameWalker();
    process->stopped = false;
    const int32_t count = CRWThreadListCurrent(process->threads, CRWMaxRecordedThreads);
    if (count < 0) {
        process->threadCount = 0;
        CRWSDKLogWarn("Error: unable to get task threads\n");
        return false;
    }
    process->threadCount = static_cast<uint32_t>(count);
    return true;
}

bool CRWProcessSuspendAllOtherThreads(CRWProcess* process) {
    if (!CRWIsValidPointer(process) || process->threadCount == 0) return false;
    process->stopped = true;
    return CRWThreadStopperStop(process->threads, process->threadCount, CRWThreadStopperCrashWaits());
}

bool CRWProcessHasThreadsSinceInit(const CRWProcess* process) {
    if (!CRWIsValidPointer(process)) return true;
    pid_t now[CRWMaxRecordedThreads];
    const int32_t count = CRWThreadListCurrent(now, CRWMaxRecordedThreads);
    if (count < 0) return true;
    for (int32_t i = 0; i < count; ++i) {
        bool listed = false;
        for (uint32_t j = 0; j < process->threadCount && !listed; ++j)
            listed = process->threads[j] == now[i];
        if (!listed) return true;
    }
    return false;
}

bool CRWProcessResumeAllOtherThreads(CRWProcess* process) {
    if (!CRWIsValidPointer(process) || !process->stopped) return false;
    process->stopped = false;
    return CRWThreadStopperResume();
}

__attribute__((noinline)) bool CRWProcessGetThreadState(const CRWProcess* process, pid_t thread,
                                                        CRWThreadContext* context) {
    if (!CRWIsValidPointer(context) || !CRWIsValidPointer(process)) {
        CRWSDKLogError("Invalid context supplied\n");
        return false;
    }
    if (thread == process->crashedThread && process->userContext != nullptr)
        return CRWThreadContextFromUserContext(process->userContext, context);
    if (thread == process->thisThread) {
        CRWSDKLogWarn("Faking current thread\n");
        fakeCurrentThread(context, __builtin_frame_address(0), __builtin_return_address(0));
        return true;
    }
    if (CRWThreadStopperGetContext(thread, context)) return true;
    CRWSDKLogError("Failed to get thread state via thread_get_state for thread: %i\n",
                   static_cast<int32_t>(thread));
    return false;
}

bool CRWProcessRecordAllThreads(const CRWProcess* process, CRWFile* file) {
    CRWFileWriteSectionStart(file, "threads");
    CRWFileWriteArrayStart(file);
    bool complete = true;
    for (uint32_t index = 0; CRWIsValidPointer(process) && index < process->threadCount; ++index) {
        CRWSDKLogInfo("recording thread %d data\n", static_cast<int32_t>(index));
        if (!recordThread(process, index, process->threads[index], file)) complete = false;
    }
    CRWFileWriteArrayEnd(file);
    CRWFileWriteSectionEnd(file);
    CRWSDKLogInfo("Completed recording all thread data\n");
    return complete;
}

void CRWProcessWriteRegisters(CRWFile* file, const CRWThreadContext* context) {
    CRWFileWriteHashKey(file, "registers");
    CRWFileWriteHashStart(file);
    if (context->architecture == CRWThreadContextArchitectureX86_64) {
        const auto* values = reinterpret_cast<const uint64_t*>(&context->x86_64);
        for (size_t i = 0; i < sizeof(CRWX86_64RegisterNames) / sizeof(CRWX86_64RegisterNames[0]); ++i)
            CRWFileWriteHashEntryUint64(file, CRWX86_64RegisterNames[i], values[i]);
    } else if (context->architecture == CRWThreadContextArchitectureARM64) {
        const auto& state = context->arm64.threadState;
        char name[4] = {'x', 0, 0, 0};
        for (int i = 0; i < 29; ++i) {
            name[1] = static_cast<char>(i < 10 ? '0' + i : '0' + i / 10);
            name[2] = static_cast<char>(i < 10 ? '\0' : '0' + i % 10);
            CRWFileWriteHashEntryUint64(file, name, state.x[i]);
        }
        CRWFileWriteHashEntryUint64(file, "fp", CRWThreadContextGetFramePointer(context));
        CRWFileWriteHashEntryUint64(file, "sp", CRWThreadContextGetStackPointer(context));
        CRWFileWriteHashEntryUint64(file, "lr", CRWThreadContextGetLinkRegister(context));
        CRWFileWriteHashEntryUint64(file, "pc", CRWThreadContextGetPC(context));
        CRWFileWriteHashEntryUint64(file, "cpsr", state.cpsr);
    }
    CRWFileWriteHashEnd(file);
}
