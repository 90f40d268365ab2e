// The event transport's own console logger and assertion. Messages carry a level (1 debug,
// 3 warning, 4 error) and a code rendered as "I-TTR" and six digits; only messages at or above the
// process-wide threshold (4 unless changed) are written, as "[TesseraTransport][I-TTR001006] text".
// The assertion logs and lets the caller go on; it never stops the program. A host or a test may
// install a block that runs instead of the assertion's log line. Every function may be called from
// any thread.
#pragma once

#include "utilities/TULStringFormat.h"

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

enum TTRLoggingLevel : int {
    TTRLoggingLevelDebug = 1,
    TTRLoggingLevelWarnings = 3,
    TTRLoggingLevelErrors = 4,
};

enum TTRMessageCode : int {
    kTTRMCDebugLog = 0,
    kTTRMCReachabilityWarning = 4,
    kTTRMCTransformerDoesntImplementTransform = 1000,
    kTTRMCErrorCouldNotEncodeMetrics = 1005,
    kTTRMCErrorLog = 1006,
    kTTRMCFatalAssertion = 1007,
};

inline constexpr const char* kTTRServiceTag = "[TesseraTransport]";

// The threshold: a message is written when its level is at least this. Set before use, if at all.
extern std::atomic<int> TTRConsoleLoggerLoggingLevel;

// "I-TTR%06ld" of the code.
std::string TTRMessageCodeEnumToString(long code);

// Writes one message unconditionally (the caller has checked the threshold).
void TTRLogWrite(long code, std::string_view format, const TULFormatArguments& arguments);

// Logs `format` with its arguments when `level` passes the threshold. Below it the call costs one
// integer comparison; the arguments are not even boxed.
template <typename... Args> void TTRLog(long code, int level, std::string_view format, Args&&... args) {
    if (level < TTRConsoleLoggerLoggingLevel.load(std::memory_order_relaxed)) return;
    TTRLogWrite(code, format, TULMakeFormatArguments(std::forward<Args>(args)...));
}
template <typename... Args> void TTRLogDebug(std::string_view format, Args&&... args) {
    TTRLog(kTTRMCDebugLog, TTRLoggingLevelDebug, format, std::forward<Args>(args)...);
}
template <typename... Args> void TTRLogError(long code, std::string_view format, Args&&... args) {
    TTRLog(code, TTRLoggingLevelErrors, format, std::forward<Args>(args)...);
}

// The assertion's log line, written whatever the threshold: code 1007 when fatal, else 1006, then
// "(file:line) : " and the message.
void TTRLogAssert(bool fatal, std::string_view file, long line, std::string_view format,
                  const TULFormatArguments& arguments);

// What runs instead of the assertion's log line when installed.
using TTRAssertionBlock = std::function<void()>;
// Installs (or, with an empty block, removes) the block; the injection point for hosts and tests.
void TTRSetAssertionBlock(TTRAssertionBlock block);
// A copy of the installed block; empty when none.
TTRAssertionBlock TTRAssertionBlockToRunInstead();

// A failed assertion: runs the installed block, or logs the message with the file's name (its last
// component, "<Unknown File>" when there is none) and the line.
void TTRAssertionFailed(const char* file, long line, std::string_view format,
                        const TULFormatArguments& arguments);

// Checks `condition`; on failure reports the printf-style message and continues.
#define TTRAssert(condition, format, ...)                                                                    \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            TTRAssertionFailed(__FILE__, __LINE__, format, TULMakeFormatArguments(__VA_ARGS__));             \
    } while (0)
