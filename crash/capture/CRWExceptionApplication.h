// Exceptions that the application object reports at its top level. When the standard user defaults
// hold "NSApplicationCrashOnExceptions" as true and a shared application object exists, start-up
// replaces "reportException:" of the class named "NSApplication" with
// CRWNSApplicationReportException, which records the exception as a fatal "objective-c" record
// (with the return addresses of its raise as frames) and then runs the implementation it replaced.
// Ordinary code: it runs at start-up and on the reporting thread, which is still healthy (the
// exception has been caught), and reads the exception object through runtime messages.
#pragma once

#include "crash/record/CRWContext.h"
#include "platform/runtime/RuntimeTypes.h"

// Whether the standard user defaults hold "NSApplicationCrashOnExceptions" as true.
bool CRWApplicationCrashOnExceptions();

// Start-up step of CRWExceptionInitialize: installs the replacement when both conditions hold and
// keeps the previous implementation (in `part` too). Installing again keeps the first previous
// implementation, so the replacement never calls itself.
void CRWExceptionInstallApplicationHook(CRWExceptionPart* part);
// Whether the class's "reportException:" is the replacement now.
bool CRWExceptionApplicationHookInstalled();

// The replacement: records the exception (the first argument), then calls the previous
// implementation with the same receiver, selector and arguments.
plat::rt::Value CRWNSApplicationReportException(const plat::rt::Id& application, plat::rt::SEL selector,
                                                const plat::rt::Arguments& arguments);
// Records an exception object ("name", "reason", "callStackReturnAddresses") as a fatal
// "objective-c" record; a missing reason is the empty string.
void CRWExceptionRecordNSException(const plat::rt::Id& exception);
