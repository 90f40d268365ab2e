// Capture's start-up hooks and start-up diagnostics.
#include "crash/capture/CRWCaptureStartup.h"

#include "crash/capture/CRWException.h"
#include "crash/capture/CRWExceptionApplication.h"
#include "crash/capture/CRWMachException.h"
#include "crash/capture/CRWSignal.h"
#include "crash/capture/CRWUserLogging.h"
#include "crash/record/CRWApplication.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKFileLog.h"
#include "crash/record/CRWSharedLog.h"
#include "crash/record/CRWUtilities.h"

#include <cstdio>
#include <exception>

namespace {

bool debuggerAttached() {
    const CRWReadOnlyContext* readonly = _crwContext.readonly;
    return CRWIsValidPointer(readonly) && readonly->debuggerAttached;
}

} // namespace

CRWContextStartupHooks CRWCaptureStartupHooks(CRWContextStartupHooks hooks) {
    hooks.userLogging = [] {
        CRWUserLoggingInit(&_crwContext.readonly->logging, &_crwContext.writable->logging);
    };
    hooks.initializingThread = [] { CRWSignalInstallAltStack(&_crwContext.readonly->signal); };
    hooks.signals = [] { CRWSignalInitialize(&_crwContext.readonly->signal); };
    hooks.machExceptions = [] { CRWMachExceptionInit(&_crwContext.readonly->machException); };
    hooks.exceptions = [] {
        CRWExceptionInitialize(&_crwContext.readonly->exception, &_crwContext.writable->exceptionCount);
    };
    return hooks;
}

void CRWSignalCheckHandlers() {
    if (debuggerAttached()) {
        CRWSDKLogWarn(
            "[Crashwatch] App is attached to a debugger, to see the crash reports please detach from "
            "the debugger, https://crashwatch.velmora.example/docs/test-crash\n");
        return;
    }
    for (int signal : CRWFatalSignals) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) != 0) {
            fprintf(stderr, "Unable to read signal handler\n");
            continue;
        }
        const void* handler = (current.sa_flags & SA_SIGINFO) != 0
                                  ? reinterpret_cast<const void*>(current.sa_sigaction)
                                  : reinterpret_cast<const void*>(current.sa_handler);
        if (handler == reinterpret_cast<const void*>(CRWSignalHandler)) continue;
        std::string symbol = "(null)";
        CRWLookupFunctionPointer(handler, [&](const char* name, const char*) {
            if (name != nullptr) symbol = name;
        });
        fprintf(stderr,
                "[Crashwatch] The signal %s has a non-Crashwatch handler (%s).  This will interfere with "
                "reporting.\n",
                CRWSignalNameLookup(signal), symbol.c_str());
    }
}

void CRWMachExceptionCheckHandlers() {
    (void)debuggerAttached();
}

void CRWExceptionCheckHandlers() {
    const bool application = CRWApplicationSharedInstance() != nullptr;
    const bool crashOnExceptions = CRWApplicationCrashOnExceptions();
    if (application && !crashOnExceptions)
        CRWWarningLog("Warning: NSApplicationCrashOnExceptions is not set. This will result in poor "
                      "top-level uncaught exception reporting.");
    if (debuggerAttached()) return;
    const std::terminate_handler current = std::get_terminate();
    if (current != CRWTerminateHandler)
        CRWLookupFunctionPointer(
            reinterpret_cast<const void*>(current), [](const char* symbol, const char* image) {
                CRWWarningLog("Warning: std::get_terminate is '%s' in '%s'",
                              std::string(symbol ? symbol : "(null)"), std::string(image ? image : "(null)"));
            });
    if (application && crashOnExceptions && !CRWExceptionApplicationHookInstalled())
        CRWWarningLog("Warning: top-level NSApplication-reported exceptions cannot be intercepted");
}
