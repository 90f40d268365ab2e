// A/B stores (log lines, recorded errors, custom exceptions) and the start of user logging.
#include "crash/capture/CRWUserLogging.h"

#include "crash/capture/CRWException.h"

#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKFileLog.h"

#include <atomic>
#include <cerrno>
#include <mutex>
#include <sys/time.h>
#include <unwind.h>

namespace {

constexpr uint32_t kKVCompactionThreshold = 64;
constexpr uint32_t kDefaultLogSize = 131072;
// Return addresses kept with a recorded error.
constexpr int kMaxErrorFrames = 128;

// Guards every read and change of an active path.
std::mutex& activePathMutex() {
    static auto* mutex = new std::mutex();
    return *mutex;
}

// The calling thread's return addresses, through the system unwinder (linked in, so no library is
// loaded on first use).
struct ReturnAddresses {
    uintptr_t addresses[kMaxErrorFrames];
    int count = 0;
};

_Unwind_Reason_Code collectAddress(struct _Unwind_Context* context, void* state) {
    auto* collected = static_cast<ReturnAddresses*>(state);
    if (collected->count == kMaxErrorFrames) return _URC_END_OF_STACK;
    collected->addresses[collected->count++] = _Unwind_GetIP(context);
    return _URC_NO_REASON;
}

const char* readActivePath(const char** activePath) {
    std::lock_guard lock(activePathMutex());
    return *activePath;
}

bool storeAcceptsEntries(const CRWABStorage* store) {
    if (store->limitedBySize) return store->maxSize > 0;
    return store->maxEntries > 0;
}

// Moves the store to its other file once the active one is full; the other file is deleted first.
void checkAndSwapABFiles(const CRWABStorage* store, const char** activePath, size_t fileSize) {
    if (store->limitedBySize) {
        if (fileSize <= store->maxSize) return;
    } else {
        if (!CRWIsValidPointer(store->entryCount)) {
            CRWSDKLogErrorIn("CRWUserLoggingCheckAndSwapABFiles",
                             "Error: storage has invalid pointer, but is restricted by entry count\n");
            return;
        }
        std::atomic_ref<uint32_t> count(*store->entryCount);
        if (count.load() < store->maxEntries) return;
        count.store(0);
    }
    std::lock_guard lock(activePathMutex());
    const char* other = *activePath == store->aPath ? store->bPath : store->aPath;
    CRWUnlinkIfExists(other);
    *activePath = other;
}

// The longest prefix of `text` of at most `limit` bytes that does not end inside a UTF-8 sequence.
std::string cutToLimit(const std::string& text, size_t limit) {
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

} // namespace

uint32_t CRWUserLoggingMaxLogSize() {
    return kDefaultLogSize;
}

uint32_t CRWUserLoggingMaxErrorSize() {
    return kDefaultLogSize;
}

void CRWUserLoggingInit(CRWReadOnlyLoggingPart* readonly, CRWWritableLoggingPart* writable) {
    if (!CRWIsValidPointer(readonly) || !CRWIsValidPointer(writable)) return;
    {
        std::lock_guard lock(activePathMutex());
        writable->activeLogPath = readonly->logStorage.aPath;
        writable->activeErrorsPath = readonly->errorStorage.aPath;
        writable->activeCustomExceptionPath = readonly->customExceptionStorage.aPath;
    }
    writable->userKVCount = 0;
    writable->internalKVCount = 0;
    writable->errorsCount = 0;
    readonly->userKVStorage.compactionThreshold = kKVCompactionThreshold;
    readonly->internalKVStorage.compactionThreshold = kKVCompactionThreshold;
}

void CRWUserLoggingWriteAndCheckABFiles(const CRWABStorage* store, const char** activePath,
                                        const std::function<void(CRWFile* file)>& block) {
    if (!CRWIsValidPointer(store) || !CRWIsValidPointer(activePath) || !block) return;
    const char* path = readActivePath(activePath);
    if (!CRWIsValidPointer(path) || !storeAcceptsEntries(store)) return;

    size_t fileSize = 0;
    bool written = false;
    CRWLoggingQueue().sync([&] {
        CRWFile file;
        if (!CRWFileInitWithPath(&file, path, true)) {
            CRWSDKLogWarnIn("CRWUserLoggingWriteAndCheckABFiles_block_invoke", "Unable to open log file\n");
            return;
        }
        block(&file);
        CRWFileCloseWithOffset(&file, &fileSize);
        if (!store->limitedBySize && CRWIsValidPointer(store->entryCount))
            std::atomic_ref<uint32_t>(*store->entryCount).fetch_add(1);
        written = true;
    });
    if (!written) return;
    CRWLoggingQueue().async(
        [store, activePath, fileSize] { checkAndSwapABFiles(store, activePath, fileSize); });
}

void CRWLogInternalWrite(CRWFile* file, const std::string& message, uint64_t timeMilliseconds) {
    CRWFileWriteSectionStart(file, "log");
    CRWFileWriteHashStart(file);
    CRWFileWriteHashEntryHexEncodedString(file, "msg", message.c_str());
    CRWFileWriteHashEntryUint64(file, "time", timeMilliseconds);
    CRWFileWriteHashEnd(file);
    CRWFileWriteSectionEnd(file);
}

void CRWLogInternal(const CRWABStorage* store, const char** activePath, const std::string& message) {
    if (!CRWContextIsInitialized() || !CRWIsValidPointer(store)) {
        CRWWarningLog("WARNING: CRWLog has been used before (or concurrently with) Crashwatch initialization "
                      "and cannot be recorded. The message was: \n%@",
                      message);
        return;
    }
    std::string text = message;
    if (text.size() > store->maxSize) {
        CRWWarningLog("WARNING: Attempted to write %zd bytes, but %d is the maximum size of the log. "
                      "Truncating to %d bytes.\n",
                      static_cast<int64_t>(text.size()), static_cast<int64_t>(store->maxSize),
                      static_cast<int64_t>(store->maxSize));
        text = cutToLimit(text, store->maxSize);
    }
    struct timeval now {};
    if (gettimeofday(&now, nullptr) != 0) return;
    const uint64_t milliseconds =
        static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_usec) / 1000;
    CRWUserLoggingWriteAndCheckABFiles(store, activePath,
                                       [&](CRWFile* file) { CRWLogInternalWrite(file, text, milliseconds); });
}

void CRWLogMessage(const std::string& message) {
    if (!CRWContextIsInitialized()) {
        CRWLogInternal(nullptr, nullptr, message);
        return;
    }
    CRWLogInternal(&_crwContext.readonly->logging.logStorage, &_crwContext.writable->logging.activeLogPath,
                   message);
}

void CRWUserLoggingRecordErrorUserInfo(CRWFile* file, const char* key, const plat::Object::Dict& entries) {
    if (entries.empty()) return;
    CRWFileWriteHashKey(file, key);
    CRWFileWriteArrayStart(file);
    for (const auto& [entryKey, value] : entries) {
        const std::optional<std::string> description = CRWUserLoggingValueDescription(value);
        if (!description) continue;
        CRWFileWriteArrayStart(file);
        CRWFileWriteArrayEntryHexEncodedString(file, entryKey.c_str());
        CRWFileWriteArrayEntryHexEncodedString(file, description->c_str());
        CRWFileWriteArrayEnd(file);
    }
    CRWFileWriteArrayEnd(file);
}

void CRWUserLoggingRecordError(const plat::Error& error, const plat::Object::Dict* additionalInfo,
                               const char* rollouts) {
    if (!CRWContextIsInitialized()) return;
    ReturnAddresses frames;
    _Unwind_Backtrace(collectAddress, &frames);
    const uint64_t seconds = static_cast<uint64_t>(time(nullptr));
    CRWUserLoggingWriteAndCheckABFiles(
        &_crwContext.readonly->logging.errorStorage, &_crwContext.writable->logging.activeErrorsPath,
        [&](CRWFile* file) {
            CRWFileWriteSectionStart(file, "error");
            CRWFileWriteHashStart(file);
            CRWFileWriteHashEntryHexEncodedString(file, "domain", error.domain.c_str());
            CRWFileWriteHashEntryInt64(file, "code", error.code);
            CRWFileWriteHashEntryUint64(file, "time", seconds);
            CRWFileWriteHashKey(file, "stacktrace");
            CRWFileWriteArrayStart(file);
            for (int i = 0; i < frames.count; ++i)
                CRWFileWriteArrayEntryUint64(file, frames.addresses[i]);
            CRWFileWriteArrayEnd(file);
            CRWUserLoggingRecordErrorUserInfo(file, "info", error.userInfo);
            if (additionalInfo != nullptr)
                CRWUserLoggingRecordErrorUserInfo(file, "extra_info", *additionalInfo);
            CRWExceptionWriteRollouts(file, rollouts);
            CRWFileWriteHashEnd(file);
            CRWFileWriteSectionEnd(file);
        });
}
