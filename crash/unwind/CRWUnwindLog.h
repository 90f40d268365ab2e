// Crash-time log lines of the unwinder, in the internal log's form: the level word padded to six
// characters, "[function:line] ", the text and a line feed. Safe at crash time.
#pragma once

// Until the internal log is wired in, lines are dropped.
inline void CRWUnwindLogDiscard(int, const char*, ...) {}
#define CRWUnwindLogAt(level, word, text, ...) CRWUnwindLogDiscard(level, word text __VA_OPT__(, ) __VA_ARGS__)

#define CRWUnwindLogDebug(text, ...) CRWUnwindLogAt(1, "DEBUG ", text __VA_OPT__(, ) __VA_ARGS__)
#define CRWUnwindLogInfo(text, ...) CRWUnwindLogAt(2, "INFO  ", text __VA_OPT__(, ) __VA_ARGS__)
#define CRWUnwindLogWarn(text, ...) CRWUnwindLogAt(3, "WARN  ", text __VA_OPT__(, ) __VA_ARGS__)
#define CRWUnwindLogError(text, ...) CRWUnwindLogAt(4, "ERROR ", text __VA_OPT__(, ) __VA_ARGS__)
