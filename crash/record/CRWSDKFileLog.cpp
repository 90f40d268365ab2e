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
#include <sys/stat.h>
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

constexpr int32_t kNotOpen = -1;
// Set while one writer opens the log; the others write through a descriptor of their own meanwhile.
constexpr int32_t kOpening = -2;

// Whether `descriptor` is still the log file that this process, `self`, opened (one fstat).
bool stillTheLog(CRWWritableContext* writable, int descriptor, pid_t self) {
    if (std::atomic_ref<pid_t>(writable->logFileProcess).load(std::memory_order_relaxed) != self)
        return false;
    struct stat info {};
    return fstat(descriptor, &info) == 0 &&
           info.st_dev == std::atomic_ref<dev_t>(writable->logFileDevice).load(std::memory_order_relaxed) &&
           info.st_ino == std::atomic_ref<ino_t>(writable->logFileInode).load(std::memory_order_relaxed);
}

// The descriptor this message goes through, -1 when none; `own` when it is the caller's to close
// after the message. The log is opened on first use, and again when its number names another file:
// that number is someone else's now and stays open. One writer claims the open; writers meeting the
// claim (another thread, or a signal handler on the claiming thread) open their own.
int logDescriptor(CRWWritableContext* writable, const CRWHeldFolder* folder, pid_t self, bool* own) {
    *own = false;
    std::atomic_ref<int32_t> stored(writable->logFileDescriptor);
    int32_t current = stored.load(std::memory_order_acquire);
    if (current >= 0 && stillTheLog(writable, current, self)) return current;
    if (current == kOpening || !stored.compare_exchange_strong(current, kOpening)) {
        const int opened = CRWOpenOwnFileAt(folder, CRWReportLogFile, false);
        *own = opened >= 0;
        return opened;
    }
    const int opened = CRWOpenOwnFileAt(folder, CRWReportLogFile, false);
    struct stat info {};
    if (opened < 0 || fstat(opened, &info) != 0) {
        if (opened >= 0) close(opened);
        stored.store(kNotOpen, std::memory_order_release);
        return -1;
    }
    std::atomic_ref<pid_t>(writable->logFileProcess).store(self, std::memory_order_relaxed);
    std::atomic_ref<dev_t>(writable->logFileDevice).store(info.st_dev, std::memory_order_relaxed);
    std::atomic_ref<ino_t>(writable->logFileInode).store(info.st_ino, std::memory_order_relaxed);
    stored.store(opened, std::memory_order_release);
    return opened;
}

} // namespace

void CRWSDKFileLogV(uint32_t level, const char* format, va_list arguments) {
    CRWReadOnlyContext* readonly = _crwContext.readonly;
    CRWWritableContext* writable = _crwContext.writable;
    if (!CRWIsValidPointer(readonly) || !CRWIsValidPointer(writable)) return;
    if (!CRWIsValidPointer(readonly->logPath) || !CRWIsValidPointer(format)) return;
    if (std::atomic_ref<uint32_t>(writable->logLevel).load() > level) return;
    // A forked child holds its parent's log descriptor: its lines would stand in the parent's log.
    const pid_t self = getpid();
    if (self != readonly->reportFolder.process) return;
    bool ownDescriptor = false;
    const int descriptor = logDescriptor(writable, &readonly->reportFolder, self, &ownDescriptor);
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
    if (ownDescriptor) close(descriptor);
}

void CRWSDKFileLogClose(CRWWritableContext* writable) {
    if (writable == nullptr) return;
    const int32_t descriptor = std::atomic_ref<int32_t>(writable->logFileDescriptor).exchange(kNotOpen);
    if (descriptor >= 0 && stillTheLog(writable, descriptor, getpid())) close(descriptor);
}

void CRWSDKFileLog(uint32_t level, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    CRWSDKFileLogV(level, format, arguments);
    va_end(arguments);
}
