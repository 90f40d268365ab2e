// Start-up of the crash context: base initialisation, then the parallel start-up blocks, then
// write protection once they have all ended.
#include "crash/record/CRWContextInitialize.h"

#include "crash/record/CRWApplication.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWHost.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKFileLog.h"
#include "crash/record/CRWSharedLog.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/foundation/OwnFiles.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unistd.h>

namespace {

// Incremental key-value entries written before the files are compacted.
constexpr uint32_t kKVCompactionThreshold = 64;
constexpr uint32_t kInternalKVMaxCount = 32;
constexpr auto kStartupWait = std::chrono::seconds(5);

// Set by the crash reporter's start-up, read by start-up blocks on other threads.
std::mutex& hooksMutex() {
    static auto* mutex = new std::mutex();
    return *mutex;
}

CRWContextStartupHooks& startupHooks() {
    static auto* hooks = new CRWContextStartupHooks();
    return *hooks;
}

plat::DispatchQueue makeQueue(const char* suffix) {
    return plat::DispatchQueue::serial(CRWApplicationGetSDKBundleID() + suffix);
}

template <typename T> T* allocateZeroed(CRWAllocator* allocator, size_t size, int type) {
    void* block = CRWAllocatorSafeAllocate(allocator, size, type);
    if (block != nullptr) memset(block, 0, size);
    return static_cast<T*>(block);
}

void initializeLoggingPart(CRWReadOnlyContext* readonly, CRWWritableContext* writable,
                           const std::string& root, const CRWContextInitData& data) {
    CRWReadOnlyLoggingPart& logging = readonly->logging;
    logging.errorStorage.maxEntries = data.errorsEnabled() ? data.maxCustomExceptions() : 0;
    logging.errorStorage.limitedBySize = false;
    logging.errorStorage.entryCount = &writable->logging.errorsCount;
    logging.errorStorage.aPath = CRWContextAppendToRoot(root, CRWReportErrorAFile);
    logging.errorStorage.bPath = CRWContextAppendToRoot(root, CRWReportErrorBFile);

    logging.logStorage.maxSize = data.maxLogSize();
    logging.logStorage.maxEntries = 0;
    logging.logStorage.limitedBySize = true;
    logging.logStorage.entryCount = nullptr;
    logging.logStorage.aPath = CRWContextAppendToRoot(root, CRWReportLogAFile);
    logging.logStorage.bPath = CRWContextAppendToRoot(root, CRWReportLogBFile);

    logging.customExceptionStorage.aPath = CRWContextAppendToRoot(root, CRWReportCustomExceptionAFile);
    logging.customExceptionStorage.bPath = CRWContextAppendToRoot(root, CRWReportCustomExceptionBFile);
    logging.customExceptionStorage.maxSize = 0;
    logging.customExceptionStorage.limitedBySize = false;
    logging.customExceptionStorage.maxEntries = data.maxCustomExceptions();
    logging.customExceptionStorage.entryCount = &writable->exceptionCount;

    logging.userKVStorage.maxCount = data.maxKeyValues();
    logging.userKVStorage.compactionThreshold = kKVCompactionThreshold;
    logging.userKVStorage.incrementalPath = CRWContextAppendToRoot(root, CRWReportUserIncrementalKVFile);
    logging.userKVStorage.compactedPath = CRWContextAppendToRoot(root, CRWReportUserCompactedKVFile);

    logging.internalKVStorage.maxCount = kInternalKVMaxCount;
    logging.internalKVStorage.compactionThreshold = kKVCompactionThreshold;
    logging.internalKVStorage.incrementalPath =
        CRWContextAppendToRoot(root, CRWReportInternalIncrementalKVFile);
    logging.internalKVStorage.compactedPath = CRWContextAppendToRoot(root, CRWReportInternalCompactedKVFile);
}

void installHandlers(CRWReadOnlyContext* readonly, const std::string& root, const CRWContextInitData& data,
                     const CRWContextStartupHooks& hooks) {
    readonly->signal.path = CRWContextAppendToRoot(root, CRWReportSignalFile);
    if (hooks.signals) hooks.signals();
    readonly->machException.path = CRWContextAppendToRoot(root, CRWReportMachExceptionFile);
    if (hooks.machExceptions) hooks.machExceptions();
    readonly->exception.path = CRWContextAppendToRoot(root, CRWReportExceptionFile);
    readonly->exception.maxCustomExceptions = data.customExceptionsEnabled() ? data.maxCustomExceptions() : 0;
    if (hooks.exceptions) hooks.exceptions();
}

// The last name of the report folder's path (a trailing "/" aside): the report's identifier.
std::string reportName(const std::string& root) {
    std::string name = root;
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

} // namespace

void CRWContextSetStartupHooks(const CRWContextStartupHooks& hooks) {
    std::lock_guard lock(hooksMutex());
    startupHooks() = hooks;
}

CRWContextStartupHooks CRWContextCurrentStartupHooks() {
    std::lock_guard lock(hooksMutex());
    return startupHooks();
}

plat::DispatchQueue CRWLoggingQueue() {
    static auto* queue = new plat::DispatchQueue(makeQueue(".logging"));
    return *queue;
}

plat::DispatchQueue CRWBinaryImageQueue() {
    static auto* queue = new plat::DispatchQueue(makeQueue(".binary-images"));
    return *queue;
}

plat::DispatchQueue CRWExceptionQueue() {
    static auto* queue = new plat::DispatchQueue(makeQueue(".exception"));
    return *queue;
}

CRWHeldFolder CRWContextOpenFolder(const std::string& path) {
    plat::paths::OwnFolder folder = plat::paths::OwnFolder::open(path);
    if (!folder.isOpen()) {
        CRWErrorLog("Crash files cannot be made in %@: %@", path, folder.problem().text);
        return CRWNoHeldFolder;
    }
    // The walk's descriptor may be an O_PATH one, which serves openat, fstatat and unlinkat alike.
    const CRWHeldFolder held = CRWHoldFolder(folder.fd());
    if (held.descriptor < 0)
        CRWErrorLog("Crash files cannot be made in %@: %@", path, std::string(CRWErrnoName(errno)));
    return held;
}

void CRWContextCloseFolder(CRWHeldFolder* folder) {
    if (folder == nullptr) return;
    if (folder->descriptor >= 0) close(folder->descriptor);
    *folder = CRWNoHeldFolder;
}

std::string CRWContextPathInRoot(const std::string& rootPath, const char* fileName) {
    std::string path = rootPath;
    if (!path.empty() && path.back() != '/') path += '/';
    path += fileName;
    return path;
}

const char* CRWContextAppendToRoot(const std::string& rootPath, const char* fileName) {
    return CRWDupString(CRWContextPathInRoot(rootPath, fileName).c_str());
}

void CRWContextBaseInit() {
    CRWLoggingQueue();
    CRWBinaryImageQueue();
    CRWExceptionQueue();

    // A context of an earlier start-up (tests start more than once) stops receiving messages, and
    // its log descriptor is closed, before the new one is built.
    CRWSDKFileLogClose(_crwContext.writable);
    // Its folder descriptors too, closed from copies: the read-only half may be protected.
    if (const CRWReadOnlyContext* previous = _crwContext.readonly; previous != nullptr) {
        CRWHeldFolder report = previous->reportFolder;
        CRWHeldFolder marker = previous->markerFolder;
        CRWContextCloseFolder(&report);
        CRWContextCloseFolder(&marker);
    }
    _crwContext = CRWContext{nullptr, nullptr, nullptr};
    std::atomic_thread_fence(std::memory_order_seq_cst);

    CRWAllocator* allocator = CRWAllocatorCreate(CRWContextWritableSpace, CRWContextReadOnlySpace);
    auto* readonly =
        allocateZeroed<CRWReadOnlyContext>(allocator, sizeof(CRWReadOnlyContext), CRWAllocationTypeReadOnly);
    void* machStack = allocateZeroed<void>(allocator, CRWContextStackSize, CRWAllocationTypeWritable);
    void* signalStack = allocateZeroed<void>(allocator, CRWContextStackSize, CRWAllocationTypeWritable);
    auto* writable =
        allocateZeroed<CRWWritableContext>(allocator, sizeof(CRWWritableContext), CRWAllocationTypeWritable);
    if (readonly == nullptr || writable == nullptr) return;

    readonly->reportFolder = CRWNoHeldFolder;
    readonly->markerFolder = CRWNoHeldFolder;
    readonly->machStack = machStack;
    readonly->signalStack = signalStack;
    writable->logFileDescriptor = -1;
    writable->logLevel = CRWSDKLogLevelDebug;
    writable->crashOccurred = false;
    writable->binaryImages.file.descriptor = -1;
    readonly->initialized = false;

    _crwContext.allocator = allocator;
    _crwContext.writable = writable;
    _crwContext.readonly = readonly;
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

bool CRWContextInitialize(const CRWContextInitData* initData) {
    if (initData == nullptr) return false;
    CRWContextBaseInit();
    CRWReadOnlyContext* readonly = _crwContext.readonly;
    CRWWritableContext* writable = _crwContext.writable;
    CRWAllocator* allocator = _crwContext.allocator;
    if (initData->rootPath().empty() || readonly == nullptr || writable == nullptr) return false;

    // The blocks outlive this call when start-up is slow, so they share their own copies.
    const auto data = std::make_shared<const CRWContextInitData>(*initData);
    const auto hooks = std::make_shared<const CRWContextStartupHooks>(CRWContextCurrentStartupHooks());
    const std::string& root = data->rootPath();

    readonly->reportFolder = CRWContextOpenFolder(root);
    readonly->logPath = CRWContextAppendToRoot(root, CRWReportLogFile);
    readonly->initialReportPath = CRWDupString(root.c_str());
    readonly->reportIdentifier = CRWDupString(reportName(root).c_str());
    if (!CRWUnlinkIfExists(readonly->logPath))
        CRWErrorLog("Unable to write initialize SDK write paths %s", std::string(CRWErrnoName(errno)));
    readonly->debuggerAttached =
        hooks->debuggerAttached ? hooks->debuggerAttached() : CRWProcessDebuggerAttached();

    if (!readonly->debuggerAttached && hooks->initializingThread) hooks->initializingThread();

    const plat::DispatchQueue queue = plat::DispatchQueue::global(plat::QoS::Default);
    const plat::DispatchGroup group;
    queue.async(group, [] { CRWHostInitialize(); });
    queue.async(group, [=] {
        initializeLoggingPart(readonly, writable, data->rootPath(), *data);
        if (hooks->userLogging) hooks->userLogging();
    });
    queue.async(group, [=] {
        readonly->binaryImagePath = CRWContextAppendToRoot(data->rootPath(), CRWReportBinaryImageFile);
        if (hooks->binaryImages) hooks->binaryImages();
    });
    queue.async(group, [=] {
        if (data->previouslyCrashedFileRootPath().empty()) return;
        readonly->previouslyCrashedFileFullPath =
            CRWContextAppendToRoot(data->previouslyCrashedFileRootPath(), CRWPreviouslyCrashedFileName);
        readonly->markerFolder = CRWContextOpenFolder(data->previouslyCrashedFileRootPath());
    });
    if (!readonly->debuggerAttached) {
        queue.async(group, [=] { installHandlers(readonly, data->rootPath(), *data, *hooks); });
    } else {
        CRWSDKLogWarn("Debugger present - not installing handlers\n");
    }
    queue.async(group, [=] {
        if (!CRWContextRecordMetadata(data->rootPath(), *data))
            CRWSDKLogWarnIn("CRWContextInitialize_block_invoke_5", "Unable to record context metadata\n");
    });
    // Whoever sees the blocks end first completes start-up: this thread when they end within the
    // wait, so that the context accepts writes as soon as this call returns (a notification block
    // could still be queued then), and the notification block after a delayed start-up. When the
    // notification block has claimed it, this thread waits for it to finish: the read-only half
    // can only be written before it is protected, so the completion is one path's alone.
    enum : uint32_t { kPending, kCompleting, kComplete };
    const auto state = std::make_shared<std::atomic<uint32_t>>(kPending);
    const auto testHook = hooks->completionForTesting;
    auto complete = [readonly, allocator, state, testHook](bool byInitializingThread) {
        uint32_t expected = kPending;
        if (!state->compare_exchange_strong(expected, kCompleting)) return;
        if (testHook) testHook(byInitializingThread, true);
        std::atomic_ref<bool>(readonly->initialized).store(true);
        std::atomic_thread_fence(std::memory_order_seq_cst);
        if (!CRWAllocatorProtect(allocator))
            CRWSDKLogWarnIn("CRWContextInitialize_block_invoke_6", "Error: Memory protection failed\n");
        state->store(kComplete);
        state->notify_all();
    };
    group.notify(queue, [complete] { complete(false); });
    if (group.wait(std::chrono::duration_cast<plat::Duration>(kStartupWait))) {
        if (testHook) testHook(true, false);
        complete(true);
        for (uint32_t now = state->load(); now != kComplete; now = state->load())
            state->wait(now);
    } else {
        CRWSDKLogWarn("Error: Delayed initialization\n");
    }
    return true;
}

void CRWHostInitialize() {
    CRWReadOnlyContext* readonly = _crwContext.readonly;
    if (readonly == nullptr) return;
    std::string documents;
    if (const char* xdg = std::getenv("XDG_DOCUMENTS_DIR"); xdg != nullptr && *xdg != '\0')
        documents = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        documents = std::string(home) + "/Documents";
    readonly->host.documentDirectoryPath = CRWDupString(documents.c_str());
    readonly->host.pageSize = CRWHostGetPageSize();
}
