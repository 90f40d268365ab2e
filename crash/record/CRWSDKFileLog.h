// Runs at crash time. The crash reporter's internal log, "sdk.log" in the report folder of the run.
// Safe inside a signal handler: it formats a few placeholders itself, gathers literal text and
// numbers on its stack and writes them with a plain write call before it reads a string argument
// (the one piece whose reading may fault) and at the end of the message, so a message is on disk
// up to the last piece before a fault. No lock, no heap, nothing kept between messages but the log's
// descriptor; lines of concurrent writers may interleave.
//
// Placeholders: %d and %i (signed 32-bit), %u and %x (unsigned 32-bit, decimal and lower-case hex),
// %p (address as "0x" and hex), %s (string; "(null)" for none). Anything else after "%" is written
// as it stands and takes no argument, so length modifiers ("%zu", "%llx") are not supported.
//
// Each message begins with its level word padded to six characters and "[%s:%d]" (function and
// line); the macros below supply both.
#pragma once

#include <cstdarg>
#include <cstdint>

enum CRWSDKLogLevel : uint32_t {
    CRWSDKLogLevelDebug = 1,
    CRWSDKLogLevelInfo = 2,
    CRWSDKLogLevelWarn = 3,
    CRWSDKLogLevelError = 4,
};

struct CRWWritableContext;

// Writes the message when the crash context has a log path and its threshold admits `level`, in
// the process that opened the report folder only (not in a forked child). The log file is opened
// (append, create, 0600) in the held report folder on the first message of the process, and held
// like that folder: before each message one fstat tells whether its descriptor is still that file.
// When the number names another file by now (a dup2 onto it), the log is opened in the held folder
// again, and the message is dropped when that folder is no longer usable either.
void CRWSDKFileLog(uint32_t level, const char* format, ...);
void CRWSDKFileLogV(uint32_t level, const char* format, va_list arguments);
// Stops `writable`'s log (a context being replaced) and closes its descriptor while that is still
// the log; a number that names another file by now is its new owner's and stays open.
void CRWSDKFileLogClose(CRWWritableContext* writable);

// The messages of the named function (for code inside lambdas, whose own name says nothing).
#define CRWSDKLogDebugIn(function, fmt, ...)                                                                 \
    CRWSDKFileLog(CRWSDKLogLevelDebug, "DEBUG [%s:%d] " fmt, function, __LINE__ __VA_OPT__(, ) __VA_ARGS__)
#define CRWSDKLogInfoIn(function, fmt, ...)                                                                  \
    CRWSDKFileLog(CRWSDKLogLevelInfo, "INFO  [%s:%d] " fmt, function, __LINE__ __VA_OPT__(, ) __VA_ARGS__)
#define CRWSDKLogWarnIn(function, fmt, ...)                                                                  \
    CRWSDKFileLog(CRWSDKLogLevelWarn, "WARN  [%s:%d] " fmt, function, __LINE__ __VA_OPT__(, ) __VA_ARGS__)
#define CRWSDKLogErrorIn(function, fmt, ...)                                                                 \
    CRWSDKFileLog(CRWSDKLogLevelError, "ERROR [%s:%d] " fmt, function, __LINE__ __VA_OPT__(, ) __VA_ARGS__)

// The messages of the calling function.
#define CRWSDKLogDebug(fmt, ...) CRWSDKLogDebugIn(__func__, fmt __VA_OPT__(, ) __VA_ARGS__)
#define CRWSDKLogInfo(fmt, ...) CRWSDKLogInfoIn(__func__, fmt __VA_OPT__(, ) __VA_ARGS__)
#define CRWSDKLogWarn(fmt, ...) CRWSDKLogWarnIn(__func__, fmt __VA_OPT__(, ) __VA_ARGS__)
#define CRWSDKLogError(fmt, ...) CRWSDKLogErrorIn(__func__, fmt __VA_OPT__(, ) __VA_ARGS__)
