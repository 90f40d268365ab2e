// Runs at crash time. The internal log writer: its own small formatter, gathering a message's pieces
// on the stack between the points where it writes them, with the descriptor kept in the writable
// context.
#include "crash/record/CRWSDKFileLog.h"

#include "crash/record/CRWContext.h"
#include "crash/record/CRWCrashUtilities.h"
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

// The pieces of a message that cannot fault while they are read (literal text of the format,
// numbers), gathered for one write call: a crash's unwinder trace runs to thousands of lines, and a
// system call per piece made the log most of the time a crash takes to record.
class PieceBuffer {
public:
    explicit PieceBuffer(int descriptor) : descriptor_(descriptor) {}
    void append(const char* bytes, size_t length) {
        if (length > sizeof(bytes_) - used_) {
            flush();
            if (length > sizeof(bytes_)) {
                CRWFileWriteWithRetries(descriptor_, bytes, length);
                return;
            }
        }
        memcpy(bytes_ + used_, bytes, length);
        used_ += length;
    }
    void appendUInt64(uint64_t value, bool hex) {
        char digits[CRWFileNumberBufferSize];
        const size_t first = CRWFilePrepareUInt64(digits, value, hex);
        append(digits + first, CRWFileNumberBufferSize - 1 - first);
    }
    void appendInt64(int64_t value) {
        if (value < 0) append("-", 1);
        appendUInt64(value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value), false);
    }
    void flush() {
        if (used_ > 0) CRWFileWriteWithRetries(descriptor_, bytes_, used_);
        used_ = 0;
    }

private:
    int descriptor_;
    size_t used_ = 0;
    char bytes_[256];
};

// The log descriptor, opening the file on first use. Two threads may race to open it: one wins the
// exchange and the other closes its own descriptor again.
int logDescriptor(CRWWritableContext* writable, const CRWHeldFolder* folder) {
    std::atomic_ref<int32_t> stored(writable->logFileDescriptor);
    int32_t current = stored.load();
    if (current != -1) return current;
    const int opened = CRWOpenOwnFileAt(folder, CRWReportLogFile, false);
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
    // A forked child holds its parent's log descriptor: its lines would stand in the parent's log.
    if (getpid() != readonly->reportFolder.process) return;
    const int descriptor = logDescriptor(writable, &readonly->reportFolder);
    if (descriptor < 0) return;

    PieceBuffer pieces(descriptor);
    for (const char* cursor = format; *cursor != '\0'; ++cursor) {
        if (*cursor != '%' || cursor[1] == '\0') {
            const char* end = cursor + 1;
            while (*end != '\0' && !(*end == '%' && end[1] != '\0'))
                ++end;
            pieces.append(cursor, static_cast<size_t>(end - cursor));
            cursor = end - 1;
            continue;
        }
        ++cursor;
        switch (*cursor) {
        case 'd':
        case 'i':
            pieces.appendInt64(va_arg(arguments, int32_t));
            break;
        case 'u':
            pieces.appendUInt64(va_arg(arguments, uint32_t), false);
            break;
        case 'x':
            pieces.appendUInt64(va_arg(arguments, uint32_t), true);
            break;
        case 'p':
            pieces.append("0x", 2);
            pieces.appendUInt64(reinterpret_cast<uintptr_t>(va_arg(arguments, void*)), true);
            break;
        case 's': {
            // The one piece whose reading may fault: everything before it goes out first, so that a
            // fault still leaves it on disk.
            pieces.flush();
            const char* text = va_arg(arguments, const char*);
            writeText(descriptor, CRWIsValidPointer(text) ? text : "(null)");
            break;
        }
        default:
            // Unknown conversions (length modifiers included) stand as written and take no value.
            pieces.append(cursor - 1, 2);
            break;
        }
    }
    pieces.flush();
}

void CRWSDKFileLog(uint32_t level, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    CRWSDKFileLogV(level, format, arguments);
    va_end(arguments);
}
