// Runs at crash time. The runtime, name, statistics and storage sections of a crash record. Files
// under /proc are read with plain open and read into local buffers and parsed by hand.
#include "crash/capture/CRWProcess.h"

#include "crash/capture/CRWSafeString.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKFileLog.h"
#include "platform/dispatch/DispatchThreads.h"

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// A library's crash annotation as far as it is read: the version and the message pointer lead.
struct CrashInfoRecord {
    uint64_t version;
    uint64_t message;
    uint64_t signature;
    uint64_t backtrace;
    uint64_t message2;
    uint64_t thread;
    uint64_t dialogMode;
};
static_assert(sizeof(CrashInfoRecord) == 56);

constexpr uint64_t kMaxCrashInfoVersion = 5;
constexpr size_t kCrashInfoMessageLength = 256;
constexpr size_t kQueueLabelLength = 128;
constexpr size_t kThreadNameLength = 64;

// The decimal number after `*cursor` (skipping spaces); advances the cursor past it.
uint64_t parseNumber(const char** cursor) {
    const char* c = *cursor;
    while (*c == ' ' || *c == '\t')
        ++c;
    uint64_t value = 0;
    while (*c >= '0' && *c <= '9')
        value = value * 10 + static_cast<uint64_t>(*c++ - '0');
    *cursor = c;
    return value;
}

// The value of the "<name>:" line of /proc/meminfo, in bytes (the file counts in kB).
bool meminfoValue(const char* text, const char* name, uint64_t* bytes) {
    const size_t nameLength = strlen(name);
    for (const char* line = text; *line != '\0';) {
        if (strncmp(line, name, nameLength) == 0 && line[nameLength] == ':') {
            const char* cursor = line + nameLength + 1;
            *bytes = parseNumber(&cursor) * 1024;
            return true;
        }
        const char* next = strchr(line, '\n');
        if (next == nullptr) break;
        line = next + 1;
    }
    return false;
}

uint64_t pageSize() {
    const CRWReadOnlyContext* readonly = _crwContext.readonly;
    if (CRWIsValidPointer(readonly) && readonly->host.pageSize != 0) return readonly->host.pageSize;
    return 4096;
}

void recordCrashInfo(CRWFile* file) {
    CRWFileWriteHashKey(file, "crash_info_entries");
    CRWFileWriteArrayStart(file);
    const CRWWritableContext* writable = _crwContext.writable;
    const CRWBinaryImageTable* table = CRWIsValidPointer(writable) ? &writable->binaryImages.table : nullptr;
    const uint64_t slotsInUse =
        table != nullptr ? std::atomic_ref<const uint64_t>(table->slotsInUse).load() : 0;
    for (uint64_t i = 0; i < slotsInUse && i < CRWBinaryImageSlotCount; ++i) {
        const uint64_t address = table->slots[i].crashInfo;
        if (address < CRWMinimumValidAddress) continue;
        CrashInfoRecord record;
        if (!CRWReadMemory(address, &record, sizeof(record))) continue;
        CRWSDKLogDebugIn("CRWProcessRecordCrashInfo", "Found crash info with version %d\n",
                         static_cast<int32_t>(record.version));
        if (record.version > kMaxCrashInfoVersion || record.message == 0) continue;
        CRWSDKLogDebugIn("CRWProcessRecordCrashInfo", "attempting to read crash info string\n");
        // Redacted and written from our own copy: the annotation belongs to the library.
        char message[kCrashInfoMessageLength + 1];
        if (!CRWCopyStringSafely(record.message, message, sizeof(message))) {
            CRWSDKLogErrorIn("CRWProcessRecordCrashInfo", "Failed to copy crash info string\n");
            continue;
        }
        CRWRedactUUID(message);
        CRWFileWriteArrayEntryHexEncodedString(file, message);
    }
    CRWFileWriteArrayEnd(file);
}

} // namespace

void CRWProcessRecordRuntimeInfo(const CRWProcess* process, CRWFile* file) {
    CRWThreadContext context;
    if (!CRWIsValidPointer(process) || !CRWProcessGetThreadState(process, process->crashedThread, &context))
        CRWSDKLogError("unable to get crashed thread state");
    CRWFileWriteSectionStart(file, "runtime");
    CRWFileWriteHashStart(file);
    CRWFileWriteHashEntryString(file, "objc_selector", "");
    recordCrashInfo(file);
    CRWFileWriteHashEnd(file);
    CRWFileWriteSectionEnd(file);
}

void CRWProcessGetThreadName(pid_t thread, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return;
    buffer[0] = '\0';
    const ssize_t count = CRWThreadReadFile(thread, "comm", buffer, size);
    if (count <= 0) {
        buffer[0] = '\0';
        return;
    }
    if (buffer[count - 1] == '\n') buffer[count - 1] = '\0';
}

void CRWProcessGetThreadDispatchQueueName(pid_t thread, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return;
    buffer[0] = '\0';
    const char* label = plat::dispatchQueueLabelOfThread(thread);
    if (label != nullptr) CRWCopyStringSafely(reinterpret_cast<uintptr_t>(label), buffer, size);
}

void CRWProcessRecordDispatchQueueNames(const CRWProcess* process, CRWFile* file) {
    CRWFileWriteSectionStart(file, "dispatch_queue_names");
    CRWFileWriteArrayStart(file);
    for (uint32_t i = 0; CRWIsValidPointer(process) && i < process->threadCount; ++i) {
        char label[kQueueLabelLength];
        CRWProcessGetThreadDispatchQueueName(process->threads[i], label, sizeof(label));
        CRWFileWriteArrayEntryString(file, label);
    }
    CRWFileWriteArrayEnd(file);
    CRWFileWriteSectionEnd(file);
}

void CRWProcessRecordThreadNames(const CRWProcess* process, CRWFile* file) {
    CRWFileWriteSectionStart(file, "thread_names");
    CRWFileWriteArrayStart(file);
    for (uint32_t i = 0; CRWIsValidPointer(process) && i < process->threadCount; ++i) {
        char name[kThreadNameLength];
        CRWProcessGetThreadName(process->threads[i], name, sizeof(name));
        CRWFileWriteArrayEntryString(file, name);
    }
    CRWFileWriteArrayEnd(file);
    CRWFileWriteSectionEnd(file);
}

bool CRWProcessGetMemoryUsage(uint64_t* active, uint64_t* inactive, uint64_t* wired, uint64_t* freeMemory) {
    if (active == nullptr || inactive == nullptr || wired == nullptr || freeMemory == nullptr) {
        CRWSDKLogWarn("Invalid pointers\n");
        return false;
    }
    char text[4096];
    if (CRWReadSmallFile("/proc/meminfo", text, sizeof(text)) <= 0 || !meminfoValue(text, "Active", active) ||
        !meminfoValue(text, "Inactive", inactive) || !meminfoValue(text, "MemFree", freeMemory)) {
        CRWSDKLogWarn("Failed to get vm statistics\n");
        return false;
    }
    // Memory the kernel may not page out is what other systems call wired.
    if (!meminfoValue(text, "Unevictable", wired)) *wired = 0;
    return true;
}

bool CRWProcessGetInfo(const CRWProcess*, uint64_t* virtualSize, uint64_t* residentSize, uint64_t* userTime,
                       uint64_t* systemTime) {
    if (virtualSize == nullptr || residentSize == nullptr || userTime == nullptr || systemTime == nullptr) {
        CRWSDKLogWarn("Invalid pointers\n");
        return false;
    }
    char text[256];
    struct rusage usage {};
    if (CRWReadSmallFile("/proc/self/statm", text, sizeof(text)) <= 0 ||
        getrusage(RUSAGE_SELF, &usage) != 0) {
        CRWSDKLogWarn("Failed to get task info\n");
        return false;
    }
    const char* cursor = text;
    *virtualSize = parseNumber(&cursor) * pageSize();
    *residentSize = parseNumber(&cursor) * pageSize();
    *userTime = static_cast<uint64_t>(usage.ru_utime.tv_sec) * 1'000'000 +
                static_cast<uint64_t>(usage.ru_utime.tv_usec);
    *systemTime = static_cast<uint64_t>(usage.ru_stime.tv_sec) * 1'000'000 +
                  static_cast<uint64_t>(usage.ru_stime.tv_usec);
    return true;
}

void CRWProcessRecordStats(const CRWProcess* process, CRWFile* file) {
    uint64_t active = 0, inactive = 0, wired = 0, freeMemory = 0;
    uint64_t virtualSize = 0, residentSize = 0, userTime = 0, systemTime = 0;
    if (!CRWProcessGetMemoryUsage(&active, &inactive, &wired, &freeMemory)) {
        CRWSDKLogWarn("Unable to get process memory usage\n");
        return;
    }
    if (!CRWProcessGetInfo(process, &virtualSize, &residentSize, &userTime, &systemTime)) {
        CRWSDKLogWarn("Unable to get process stats\n");
        return;
    }
    CRWFileWriteSectionStart(file, "process_stats");
    CRWFileWriteHashStart(file);
    CRWFileWriteHashEntryUint64(file, "active", active);
    CRWFileWriteHashEntryUint64(file, "inactive", inactive);
    CRWFileWriteHashEntryUint64(file, "wired", wired);
    CRWFileWriteHashEntryUint64(file, "freeMem", freeMemory);
    CRWFileWriteHashEntryUint64(file, "free_mem", freeMemory);
    CRWFileWriteHashEntryUint64(file, "virtual", virtualSize);
    CRWFileWriteHashEntryUint64(file, "resident", residentSize);
    CRWFileWriteHashEntryUint64(file, "user_time", userTime);
    CRWFileWriteHashEntryUint64(file, "sys_time", systemTime);
    CRWFileWriteHashEnd(file);
    CRWFileWriteSectionEnd(file);
}

void CRWHostWriteDiskUsage(CRWFile* file) {
    CRWFileWriteSectionStart(file, "storage");
    CRWFileWriteHashStart(file);
    CRWFileWriteHashEntryUint64(file, "free", 0);
    CRWFileWriteHashEntryUint64(file, "total", 0);
    CRWFileWriteHashEnd(file);
    CRWFileWriteSectionEnd(file);
}
