// Runs at crash time. The internal log writer: its own small formatter and one write call per run
// of literal text or placeholder, with the descriptor kept in the writable context.
#include "crash/record/CRWSDKFileLog.h"

#include "crash/record/CRWContext.h"
#include "crash/record/CRWFile.h"
#include "crash/record/CRWMemory.h"

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

void writeText(int descriptor, const char* text) {
    const size_t length = strlen(text);
    if (length > 0) CRWFileWriteWithRetries(descriptor, text, length);
}

// The log descriptor, opening the file on first use. Two threads may race to open it: one wins the
// exchange and the other closes its own descriptor again.
int logDescriptor(CRWWritableContext* writable, const char* path) {
    std::atomic_ref<int32_t> stored(writable->logFileDescriptor);
    int32_t current = stored.load();
    if (current != -1) return current;
    const int opened = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (opened < 0) return opened;
    int32_t expected = -1;
    if (stored.compare_exchange_strong(expected, opened)) return opened;
    close(opened);
    return expected;
}

} // namespace

void CRWSDKFileLogV(uint32_t level, const char* format, va_list arguments) {
    CRWReadOnlyContext* readonly = _crwContext.readonly;
    CRWWritableContext* writable = _crwContext.writable;
    if (!CRWIsValidPointer(readonly) || !CRWIsValidPointer(writable)) return;
    if (!CRWIsValidPointer(readonly->logPath) || !CRWIsValidPointer(format)) return;
    if (std::atomic_ref<uint32_t>(writable->logLevel).load() > level) return;
    const int descriptor = logDescriptor(writable, readonly->logPath);
    if (descriptor < 0) return;

    for (const char* cursor = format; *cursor != '\0'; ++cursor) {
        if (*cursor != '%' || cursor[1] == '\0') {
            // The literal text up to the next placeholder goes out in one write, before any argument
            // is read: a fault while formatting still leaves everything before it on disk, without
            // a system call per character (a crash's unwinder trace runs to thousands of lines).
            const char* end = cursor + 1;
            while (*end != '\0' && !(*end == '%' && end[1] != '\0'))
                ++end;
            CRWFileWriteWithRetries(descriptor, cursor, static_cast<size_t>(end - cursor));
            cursor = end - 1;
            continue;
        }
        ++cursor;
        switch (*cursor) {
        case 'd':
        case 'i':
            CRWFileFDWriteInt64(descriptor, va_arg(arguments, int32_t));
            break;
        case 'u':
            CRWFileFDWriteUInt64(descriptor, va_arg(arguments, uint32_t), false);
            break;
        case 'x':
            CRWFileFDWriteUInt64(descriptor, va_arg(arguments, uint32_t), true);
            break;
        case 'p':
            writeText(descriptor, "0x");
            CRWFileFDWriteUInt64(descriptor, reinterpret_cast<uintptr_t>(va_arg(arguments, void*)), true);
            break;
        case 's': {
            const char* text = va_arg(arguments, const char*);
            writeText(descriptor, CRWIsValidPointer(text) ? text : "(null)");
            break;
        }
        default:
            // Unknown conversions (length modifiers included) stand as written and take no value.
            CRWFileWriteWithRetries(descriptor, cursor - 1, 2);
            break;
        }
    }
}

void CRWSDKFileLog(uint32_t level, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    CRWSDKFileLogV(level, format, arguments);
    va_end(arguments);
}
