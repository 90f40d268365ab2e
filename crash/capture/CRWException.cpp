// Runs at crash time. The terminate handler, the classification of the active exception, the
// application's report entry point and the fatal exception record.
#include "crash/capture/CRWException.h"

#include "crash/capture/CRWExceptionApplication.h"
#include "crash/capture/CRWHandler.h"
#include "crash/capture/CRWSafeString.h"
#include "crash/capture/CRWThreadStopper.h"
#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKFileLog.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cxxabi.h>
#include <exception>
#include <string>
#include <typeinfo>

namespace {

constexpr size_t kReasonLength = 1024;
constexpr size_t kNameLength = 512;
constexpr size_t kMaxReportedFrames = 512;

void recordException(uint32_t type, const char* name, const char* reason, const CRWStackFrame* frames,
                     size_t frameCount, const char* rollouts, bool nameIsMangled);

// The thread writing a fatal record; others wait their turn, the same thread never nests.
std::atomic<pid_t> fatalRecorder{0};

bool acquireFatalRecording() {
    const pid_t self = CRWThreadSelf();
    for (int attempt = 0; attempt < 10000; ++attempt) {
        pid_t expected = 0;
        if (fatalRecorder.compare_exchange_strong(expected, self)) return true;
        if (expected == self) return false;
        struct timespec pause {
            0, 1'000'000
        };
        nanosleep(&pause, nullptr);
    }
    return false;
}

// The thrown object of the exception being handled. libstdc++'s exception pointer is one pointer
// to it; taking the pointer neither copies nor allocates.
void* currentExceptionObject() {
    std::exception_ptr current = std::current_exception();
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    void* object = nullptr;
    memcpy(&object, &current, sizeof(object));
    return object;
}

// The std::exception inside the thrown object (thrown by value, or as a pointer), or none. As in the
// runtime's own catch matching, a thrown pointer is matched by its value, not by its address.
const std::exception* standardException(const std::type_info* thrown, void* object) {
    void* adjusted = object;
    if (thrown->__is_pointer_p()) {
        if (!CRWReadMemory(reinterpret_cast<uintptr_t>(object), &adjusted, sizeof(adjusted))) return nullptr;
        if (!typeid(const std::exception*).__do_catch(thrown, &adjusted, 1)) return nullptr;
    } else if (!typeid(std::exception).__do_catch(thrown, &adjusted, 1)) {
        return nullptr;
    }
    return CRWIsValidPointer(adjusted) ? static_cast<const std::exception*>(adjusted) : nullptr;
}

// Whether the thrown object is the runtime's exception (or one of its subclasses).
bool isRuntimeException(const std::type_info* thrown, void* object) {
    void* adjusted = object;
    return typeid(plat::rt::RuntimeException).__do_catch(thrown, &adjusted, 1);
}

void copyText(const char* text, char* buffer, size_t size) {
    if (!CRWCopyStringSafely(reinterpret_cast<uintptr_t>(text), buffer, size)) buffer[0] = '\0';
}

} // namespace

const char* CRWExceptionNameForType(uint32_t type) {
    switch (type) {
    case CRWExceptionTypeObjectiveC:
        return "objective-c";
    case CRWExceptionTypeCpp:
        return "c++";
    case CRWExceptionTypeCustom:
        return "custom";
    default:
        return "unknown";
    }
}

bool CRWExceptionTypeIsFatal(uint32_t type) {
    return type == CRWExceptionTypeObjectiveC || type == CRWExceptionTypeCpp;
}

void CRWExceptionInitialize(CRWExceptionPart* part, uint32_t* customExceptionCounter) {
    if (!CRWIsValidPointer(part)) return;
    if (!CRWUnlinkIfExists(part->path))
        CRWSDKLogWarn("Unable to reset the exception file %s\n", CRWErrnoName(errno));
    part->originalTerminateHandler = std::set_terminate(CRWTerminateHandler);
    CRWExceptionInstallApplicationHook(part);
    if (CRWIsValidPointer(customExceptionCounter))
        std::atomic_ref<uint32_t>(*customExceptionCounter).store(0);
}

void CRWTerminateHandler() {
    CRWSDKLogWarn("C++ terminate handler invoked\n");
    const CRWReadOnlyContext* readonly = _crwContext.readonly;
    std::terminate_handler previous =
        CRWIsValidPointer(readonly) ? readonly->exception.originalTerminateHandler : nullptr;
    if (previous == CRWTerminateHandler) {
        CRWSDKLogWarn("Error: original handler was set recursively\n");
        previous = nullptr;
    } else if (previous != nullptr) {
        CRWSDKLogWarn("restoring pre-existing handler\n");
        if (std::get_terminate() == previous) {
            CRWSDKLogWarn("handler has already been restored, aborting\n");
            abort();
        }
        std::set_terminate(previous);
    }
    CRWCatchAndRecordActiveException();
    if (previous != nullptr) {
        CRWSDKLogWarn("invoking pre-existing handler\n");
        previous();
    }
    CRWSDKLogWarn("aborting\n");
    abort();
}

void CRWCatchAndRecordActiveException() {
    const char* function = "CRWCatchAndRecordActiveException";
    const std::type_info* thrown = abi::__cxa_current_exception_type();
    if (thrown == nullptr) {
        CRWSDKLogWarnIn("CRWTerminateHandler", "no active exception\n");
        return;
    }
    const char* mangled = thrown->name();
    if (!CRWIsValidPointer(mangled)) {
        CRWSDKLogWarnIn(function, "Error: invalid parameter\n");
        return;
    }
    CRWSDKLogWarnIn(function, "Recording exception of type '%s'\n", mangled);
    void* object = currentExceptionObject();
    if (isRuntimeException(thrown, object)) {
        // The application object's report and the signal of the abort that follows cover it.
        CRWSDKLogWarnIn(function, "Skipping ObjC exception at this point\n");
        return;
    }

    char name[kNameLength];
    char reason[kReasonLength];
    reason[0] = '\0';
    bool nameIsMangled = false;
    if (*thrown == typeid(const char*) || *thrown == typeid(char*)) {
        strcpy(name, "const char *");
        if (object != nullptr) copyText(*static_cast<const char* const*>(object), reason, sizeof(reason));
    } else if (*thrown == typeid(std::string)) {
        strcpy(name, "std::string");
        if (object != nullptr)
            copyText(static_cast<const std::string*>(object)->c_str(), reason, sizeof(reason));
    } else {
        nameIsMangled = !CRWExceptionDemangle(mangled, name, sizeof(name));
        if (const std::exception* standard = object != nullptr ? standardException(thrown, object) : nullptr)
            copyText(standard->what(), reason, sizeof(reason));
    }
    recordException(CRWExceptionTypeCpp, name, reason, nullptr, 0, nullptr, nameIsMangled);
}

void CRWExceptionReportException(const char* name, const char* reason, const uint64_t* returnAddresses,
                                 size_t count) {
    CRWSDKLogWarnIn("CRWExceptionRecordNSException", "Recording an NSException\n");
    CRWStackFrame frames[kMaxReportedFrames];
    const size_t frameCount =
        returnAddresses == nullptr ? 0 : (count < kMaxReportedFrames ? count : kMaxReportedFrames);
    for (size_t i = 0; i < frameCount; ++i) {
        frames[i] = CRWStackFrame{};
        frames[i].pc = returnAddresses[i];
    }
    CRWExceptionRecord(CRWExceptionTypeObjectiveC, name, reason != nullptr ? reason : "", frames, frameCount,
                       nullptr);
}

void CRWExceptionRecord(uint32_t type, const char* name, const char* reason, const CRWStackFrame* frames,
                        size_t frameCount, const char* rollouts) {
    recordException(type, name, reason, frames, frameCount, rollouts, false);
}

namespace {

void recordException(uint32_t type, const char* name, const char* reason, const CRWStackFrame* frames,
                     size_t frameCount, const char* rollouts, bool nameIsMangled) {
    if (!CRWContextIsInitialized()) return;
    const bool fatal = CRWExceptionTypeIsFatal(type);
    CRWSDKLogWarnIn("CRWExceptionRecord", "Recording an exception structure (%d)\n", fatal ? 1 : 0);
    if (!fatal) {
        CRWExceptionRecordCustom(type, name, reason, frames, frameCount, rollouts);
    } else if (acquireFatalRecording()) {
        CRWFile file;
        if (!CRWFileInitInFolder(&file, &_crwContext.readonly->reportFolder, CRWReportExceptionFile, false)) {
            const int error = errno;
            CRWSDKLogWarnIn("CRWExceptionRecord_block_invoke", "Unable to open exception file\n");
            CRWCreateCrashedMarkerFileNotingLostRecord(CRWReportExceptionFile, error);
        } else {
            CRWExceptionWrite(&file, type, name, reason, frames, frameCount, nullptr, nameIsMangled);
            CRWHandler(&file, CRWThreadSelf(), nullptr);
        }
        fatalRecorder.store(0);
    }
    CRWSDKLogWarnIn("CRWExceptionRecord", "Finished recording an exception structure\n");
}

} // namespace

void CRWExceptionWrite(CRWFile* file, uint32_t type, const char* name, const char* reason,
                       const CRWStackFrame* frames, size_t frameCount, const char* rollouts,
                       bool nameIsMangled) {
    CRWFileWriteSectionStart(file, "exception");
    CRWFileWriteHashStart(file);
    CRWFileWriteHashEntryString(file, "type", CRWExceptionNameForType(type));
    CRWFileWriteHashEntryHexEncodedString(file, "name", name);
    if (nameIsMangled) CRWFileWriteHashEntryBoolean(file, CRWExceptionNameMangledKey, true);
    CRWFileWriteHashEntryHexEncodedString(file, "reason", reason);
    CRWFileWriteHashEntryUint64(file, "time", static_cast<uint64_t>(time(nullptr)));
    if (frames != nullptr && frameCount > 0) {
        CRWFileWriteHashKey(file, "frames");
        CRWFileWriteArrayStart(file);
        for (size_t i = 0; i < frameCount; ++i) {
            const CRWStackFrame& frame = frames[i];
            CRWFileWriteHashStart(file);
            CRWFileWriteHashEntryUint64(file, "pc", frame.pc);
            if (frame.symbol != nullptr) CRWFileWriteHashEntryHexEncodedString(file, "symbol", frame.symbol);
            CRWFileWriteHashEntryUint64(file, "offset", frame.offset);
            if (frame.library != nullptr)
                CRWFileWriteHashEntryHexEncodedString(file, "library", frame.library);
            if (frame.file != nullptr) CRWFileWriteHashEntryHexEncodedString(file, "file", frame.file);
            CRWFileWriteHashEntryUint64(file, "line", static_cast<uint32_t>(frame.line));
            CRWFileWriteHashEnd(file);
        }
        CRWFileWriteArrayEnd(file);
    }
    CRWExceptionWriteRollouts(file, rollouts);
    CRWFileWriteHashEnd(file);
    CRWFileWriteSectionEnd(file);
}

void CRWExceptionWriteRollouts(CRWFile* file, const char* rollouts) {
    if (rollouts == nullptr || *rollouts == '\0') return;
    CRWFileWriteHashKey(file, "rollouts");
    CRWFileWriteStringUnquoted(file, rollouts);
    file->commaPending = true;
}
