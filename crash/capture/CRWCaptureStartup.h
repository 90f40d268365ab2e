// How crash capture joins the crash context's start-up (CRWContextInitialize.h): user logging, the
// alternate signal stack of the initialising thread, the signal handlers, the exception server and
// the terminate handler. Also the start-up diagnostics that tell the developer when another
// handler would keep crashes from being recorded.
#pragma once

#include "crash/record/CRWContextInitialize.h"

// `hooks` with the capture hooks filled in (the others left as they are).
CRWContextStartupHooks CRWCaptureStartupHooks(CRWContextStartupHooks hooks = {});

// Start-up diagnostics, run a little after set-up (never at crash time). With a debugger attached
// the signal check logs one warning to the internal log; otherwise it prints to standard error each
// handled signal whose handler is not ours, and the exception check warns through the shared
// logger when the terminate handler is not ours, when an application object exists without
// "NSApplicationCrashOnExceptions" set, and when it is set but the application object's
// "reportException:" is not ours (the first of these warnings also with a debugger attached). The
// exception-server check has nothing to report beyond the debugger state.
void CRWSignalCheckHandlers();
void CRWMachExceptionCheckHandlers();
void CRWExceptionCheckHandlers();
