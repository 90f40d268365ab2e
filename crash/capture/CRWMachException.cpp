// Runs at crash time. Registration, the receive loop, recording and replies of the exception server.
#include "crash/capture/CRWMachException.h"

#include "crash/capture/CRWHandler.h"
#include "crash/capture/CRWSignal.h"
#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKFileLog.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/prctl.h>
#include <unistd.h>

namespace mach = plat::mach;

namespace {

constexpr uint32_t kBehavior = mach::kExceptionDefault | mach::kMachExceptionCodes;

bool registerPort(CRWMachExceptionPart* part) {
    if (mach::allocatePort(&part->port) != mach::kKernSuccess) {
        CRWSDKLogWarnIn("CRWMachExceptionRegister", "Error: mach_port_allocate failed %d\n",
                        mach::kKernResourceShortage);
        return false;
    }
    if (const mach::KernReturn result = mach::insertSendRight(part->port); result != mach::kKernSuccess) {
        CRWSDKLogWarnIn("CRWMachExceptionRegister", "Error: mach_port_insert_right failed %d\n", result);
        mach::destroyPort(part->port);
        part->port = mach::kPortNull;
        return false;
    }
    part->mask = CRWMachExceptionMask;
    auto& original = part->originalPorts;
    original.count = CRWMaxExceptionPorts;
    const mach::KernReturn result = mach::swapExceptionPorts(
        mach::taskSelf(), part->mask, part->port, kBehavior, mach::kThreadStateNone, original.masks,
        &original.count, original.ports, original.behaviors, original.flavors);
    if (result != mach::kKernSuccess) {
        CRWSDKLogWarnIn("CRWMachExceptionRegister", "Error: task_swap_exception_ports %d\n", result);
        original.count = 0;
        return false;
    }
    for (uint32_t i = 0; i < original.count; ++i)
        CRWSDKLogWarnIn("CRWMachExceptionRegister", "original 0x%x 0x%x 0x%x 0x%x\n", original.ports[i],
                        original.masks[i], original.behaviors[i], original.flavors[i]);
    return true;
}

bool startThread(CRWMachExceptionPart* part) {
    const CRWReadOnlyContext* readonly = _crwContext.readonly;
    pthread_attr_t attributes;
    int error = pthread_attr_init(&attributes);
    if (error != 0) {
        CRWSDKLogWarnIn("CRWMachExceptionThreadStart", "pthread_attr_init %s\n", CRWErrnoName(error));
        return false;
    }
    bool started = false;
    if ((error = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED)) != 0) {
        CRWSDKLogWarnIn("CRWMachExceptionThreadStart", "pthread_attr_setdetachstate %s\n",
                        CRWErrnoName(error));
    } else if (!CRWIsValidPointer(readonly) || !CRWIsValidPointer(readonly->machStack) ||
               (error = pthread_attr_setstack(&attributes, readonly->machStack, CRWContextStackSize)) != 0) {
        CRWSDKLogWarnIn("CRWMachExceptionThreadStart", "pthread_attr_setstack %s\n", CRWErrnoName(error));
    } else if ((error = pthread_create(&part->thread, &attributes, CRWMachExceptionServer, part)) != 0) {
        CRWSDKLogWarnIn("CRWMachExceptionThreadStart", "pthread_create %s\n", CRWErrnoName(error));
    } else {
        started = true;
    }
    pthread_attr_destroy(&attributes);
    return started;
}

void writeExceptionSection(CRWFile* file, const mach::ExceptionRequest* request, uint32_t originalPorts) {
    const char* name = nullptr;
    const char* codeName = nullptr;
    const uint32_t codeCount = request->codeCount > 2 ? 2 : request->codeCount;
    CRWMachExceptionNameLookup(request->exception, codeCount > 0 ? request->codes[0] : 0, &name, &codeName);
    CRWFileWriteSectionStart(file, "mach_exception");
    CRWFileWriteHashStart(file);
    CRWFileWriteHashEntryUint64(file, "exception",
                                static_cast<uint64_t>(static_cast<uint32_t>(request->exception)));
    CRWFileWriteHashKey(file, "codes");
    CRWFileWriteArrayStart(file);
    for (uint32_t i = 0; i < codeCount; ++i)
        CRWFileWriteArrayEntryUint64(file, static_cast<uint64_t>(request->codes[i]));
    CRWFileWriteArrayEnd(file);
    CRWFileWriteHashEntryString(file, "name", name);
    CRWFileWriteHashEntryString(file, "code_name", codeName);
    CRWFileWriteHashEntryUint64(file, "original_ports", originalPorts);
    CRWFileWriteHashEntryUint64(file, "time", static_cast<uint64_t>(time(nullptr)));
    CRWFileWriteHashEnd(file);
    CRWFileWriteSectionEnd(file);
}

// Answers the request; false when the reply could not be sent.
bool reply(const mach::ExceptionRequest* request, mach::KernReturn code) {
    CRWSDKLogWarnIn("CRWMachExceptionReply", "Sending exception reply\n");
    mach::ExceptionReply answer{};
    answer.header.bits = request->header.bits & 0x1F;
    answer.header.size = sizeof(answer);
    answer.header.remotePort = request->header.remotePort;
    answer.header.localPort = mach::kPortNull;
    answer.header.id = request->header.id + 100;
    answer.ndr = mach::kNDRRecord;
    answer.returnCode = code;
    const mach::KernReturn result = mach::send(&answer.header);
    if (result != mach::kMsgSuccess) {
        CRWSDKLogWarnIn("CRWMachExceptionReply", "mach_msg reply failed (%d)\n", result);
        return false;
    }
    CRWSDKLogWarnIn("CRWMachExceptionReply", "Exception reply delivered\n");
    return true;
}

} // namespace

void CRWMachExceptionInit(CRWMachExceptionPart* part) {
    if (!CRWIsValidPointer(part)) return;
    if (!CRWUnlinkIfExists(part->path))
        CRWSDKLogWarn("Unable to reset the mach exception file %s\n", CRWErrnoName(errno));
    if (!registerPort(part)) {
        CRWSDKLogWarn("Unable to register mach exception handler\n");
        return;
    }
    if (!startThread(part)) {
        CRWSDKLogWarn("Unable to start thread\n");
        CRWMachExceptionUnregister(&part->originalPorts, part->mask);
    }
}

bool CRWMachExceptionUnregister(const decltype(CRWMachExceptionPart::originalPorts)* originalPorts,
                                uint32_t mask) {
    if (!CRWIsValidPointer(originalPorts)) return false;
    for (uint32_t i = 0; i < originalPorts->count && i < CRWMaxExceptionPorts; ++i) {
        if (mach::setExceptionPorts(mach::taskSelf(), originalPorts->masks[i], originalPorts->ports[i],
                                    originalPorts->behaviors[i],
                                    originalPorts->flavors[i]) != mach::kKernSuccess)
            CRWSDKLogWarn("unable to restore original port: %d", originalPorts->ports[i]);
        mask &= ~originalPorts->masks[i];
    }
    if (mach::setExceptionPorts(mach::taskSelf(), mask, mach::kPortNull, kBehavior, mach::kThreadStateNone) !=
        mach::kKernSuccess) {
        CRWSDKLogWarn("unable to unset unregistered mask: 0x%x", mask);
        return false;
    }
    return true;
}

void CRWMachExceptionNameLookup(int32_t exception, int64_t code, const char** name, const char** codeName) {
    if (name == nullptr || codeName == nullptr) return;
    *name = nullptr;
    *codeName = nullptr;
    switch (exception) {
    case mach::kExcBadAccess:
        *name = "EXC_BAD_ACCESS";
        if (code == 1) *codeName = "KERN_INVALID_ADDRESS";
        if (code == 2) *codeName = "KERN_PROTECTION_FAILURE";
        break;
    case mach::kExcBadInstruction:
        *name = "EXC_BAD_INSTRUCTION";
        break;
    case mach::kExcArithmetic:
        *name = "EXC_ARITHMETIC";
        break;
    case mach::kExcBreakpoint:
        *name = "EXC_BREAKPOINT";
        break;
    case mach::kExcGuard:
        *name = "EXC_GUARD";
        break;
    default:
        break;
    }
}

mach::KernReturn CRWMachExceptionDispatchMessage(CRWMachExceptionPart* part,
                                                 const mach::ExceptionRequest* request) {
    const char* function = "CRWMachExceptionDispatchMessage";
    if (request->task.name != mach::taskSelf()) {
        CRWSDKLogWarnIn(function, "Mach exception task mis-match, returning failure\n");
        return mach::kKernFailure;
    }
    CRWSDKLogWarnIn(function, "Unregistering handler\n");
    if (!CRWMachExceptionUnregister(&part->originalPorts, part->mask)) {
        CRWSDKLogWarnIn(function, "Failed to unregister\n");
        return mach::kKernFailure;
    }
    CRWSDKLogWarnIn(function, "Restoring original signal handlers\n");
    const CRWReadOnlyContext* readonly = _crwContext.readonly;
    if (!CRWIsValidPointer(readonly) ||
        !CRWSignalSafeInstallPreexistingHandlers(&readonly->signal, -1, nullptr, nullptr)) {
        CRWSDKLogWarnIn(function, "Failed to restore signal handlers\n");
        return mach::kKernFailure;
    }
    CRWSDKLogWarnIn(function, "Recording mach exception\n");
    if (CRWContextMarkAndCheckIfCrashed()) {
        CRWSDKLogWarnIn("CRWMachExceptionRecord",
                        "Error: aborting mach exception handler because crash has already occurred\n");
        _exit(1);
    }
    CRWFile file;
    if (!CRWFileInitInFolder(&file, &readonly->reportFolder, CRWReportMachExceptionFile, true)) {
        const int error = errno;
        CRWSDKLogWarnIn("CRWMachExceptionRecord", "Unable to open mach exception file\n");
        CRWCreateCrashedMarkerFileNotingLostRecord(CRWReportMachExceptionFile, error);
        CRWSDKLogWarnIn(function, "Failed to record mach exception\n");
        return mach::kKernFailure;
    }
    writeExceptionSection(&file, request, part->originalPorts.count);
    CRWHandler(&file, static_cast<pid_t>(request->thread.name), nullptr);
    return mach::kKernSuccess;
}

void* CRWMachExceptionServer(void* argument) {
    auto* part = static_cast<CRWMachExceptionPart*>(argument);
    // The kernel keeps 15 characters of a thread's name; the rest is cut off.
    prctl(PR_SET_NAME, CRWMachExceptionServerThreadName, 0, 0, 0);
    for (;;) {
        mach::ExceptionRequest request;
        memset(&request, 0, sizeof(request));
        const mach::KernReturn received =
            mach::receive(&request.header, sizeof(request), part->port, mach::kRcvMsg | mach::kRcvLarge);
        if (received != mach::kMsgSuccess) {
            CRWSDKLogWarnIn("CRWMachExceptionReadMessage", "Error receiving mach_msg (%d)\n", received);
            break;
        }
        CRWSDKLogWarnIn("CRWMachExceptionReadMessage", "Accepted mach exception message\n");
        // "%llx" is not a placeholder of the internal log; the codes go out as the log writes them.
        CRWSDKLogWarnIn(
            "CRWMachExceptionReadMessage", "Mach exception: 0x%x, count: %d, code: 0x%llx 0x%llx\n",
            static_cast<uint32_t>(request.exception), static_cast<int32_t>(request.codeCount),
            request.codeCount > 0 ? request.codes[0] : -1, request.codeCount > 1 ? request.codes[1] : -1);
        if (!reply(&request, CRWMachExceptionDispatchMessage(part, &request))) break;
    }
    CRWSDKLogWarn("Mach exception server thread exiting\n");
    return nullptr;
}
