// Runs at crash time. The crash context: the one process-wide record through which every
// crash-time handler finds its files, limits and saved state without allocating or locking. Both
// halves live in the guarded allocator's mapping (CRWAllocator.h): the read-only context is
// written during start-up only and then write-protected; the writable context changes throughout
// the run. Start-up is in CRWContextInitialize.h.
//
// Readers on other threads test CRWContextIsInitialized before they use the context. Fields that
// several threads touch at once (flags, the log descriptor, image slot bases) are accessed through
// std::atomic_ref.
#pragma once

#include "crash/record/CRWAllocator.h"
#include "crash/record/CRWBinaryImageSlot.h"
#include "crash/record/CRWFile.h"

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <pthread.h>
#include <sys/types.h>

inline constexpr size_t CRWContextStackSize = 262144;
// Space for path strings in the read-only region: every path the context keeps (about twenty) as
// long as a path can be (PATH_MAX, 4096), so that none falls back to the heap, where nothing
// would ever free it.
inline constexpr size_t CRWContextPathSpace = 32 * 4096;
// SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP.
inline constexpr size_t CRWFatalSignalCount = 7;
inline constexpr size_t CRWMaxExceptionPorts = 14;

// Record-file names inside a report folder.
inline constexpr const char* CRWReportLogFile = "sdk.log";
inline constexpr const char* CRWReportMetadataFile = "metadata.crwrecord";
inline constexpr const char* CRWReportBinaryImageFile = "binary_images.crwrecord";
inline constexpr const char* CRWReportExceptionFile = "exception.crwrecord";
inline constexpr const char* CRWReportSignalFile = "signal.crwrecord";
inline constexpr const char* CRWReportMachExceptionFile = "mach_exception.crwrecord";
inline constexpr const char* CRWReportUserIncrementalKVFile = "user_incremental_kv.crwrecord";
inline constexpr const char* CRWReportUserCompactedKVFile = "user_compacted_kv.crwrecord";
inline constexpr const char* CRWReportInternalIncrementalKVFile = "internal_incremental_kv.crwrecord";
inline constexpr const char* CRWReportInternalCompactedKVFile = "internal_compacted_kv.crwrecord";
inline constexpr const char* CRWReportLogAFile = "log_a.crwrecord";
inline constexpr const char* CRWReportLogBFile = "log_b.crwrecord";
inline constexpr const char* CRWReportErrorAFile = "errors_a.crwrecord";
inline constexpr const char* CRWReportErrorBFile = "errors_b.crwrecord";
inline constexpr const char* CRWReportCustomExceptionAFile = "custom_exception_a.crwrecord";
inline constexpr const char* CRWReportCustomExceptionBFile = "custom_exception_b.crwrecord";
// In the file manager's root folder: present when the previous run crashed.
inline constexpr const char* CRWPreviouslyCrashedFileName = "previously-crashed";

// A log that alternates between an A and a B file.
struct CRWABStorage {
    const char* aPath;
    const char* bPath;
    uint32_t maxSize;    // bytes, when limited by size
    uint32_t maxEntries; // entries, when limited by entries
    bool limitedBySize;
    uint32_t* entryCount; // in the writable context; none for a store limited by size
};

// Key-value pairs written incrementally and compacted now and then.
struct CRWKVStorage {
    const char* incrementalPath;
    const char* compactedPath;
    uint32_t compactionThreshold; // incremental entries before compaction
    uint32_t maxCount;            // keys kept
};

struct CRWReadOnlyLoggingPart {
    CRWKVStorage userKVStorage;
    CRWKVStorage internalKVStorage;
    CRWABStorage logStorage;
    CRWABStorage errorStorage;
    CRWABStorage customExceptionStorage;
};

struct CRWExceptionPart {
    const char* path;
    void (*originalTerminateHandler)();
    void* originalReportException;
    uint32_t maxCustomExceptions; // 0 when custom exceptions are off
};

struct CRWHostPart {
    const char* documentDirectoryPath;
    uint64_t pageSize;
};

struct CRWSignalPart {
    const char* path;
    struct sigaction originalActions[CRWFatalSignalCount]; // in CRWFatalSignals order
    stack_t originalStack;
    pid_t originalStackThread; // the thread whose alternate stack `originalStack` was
};

struct CRWMachExceptionPart {
    uint32_t port;
    pthread_t thread;
    const char* path;
    uint32_t mask;
    struct {
        uint32_t count;
        uint32_t masks[CRWMaxExceptionPorts];
        uint32_t ports[CRWMaxExceptionPorts];
        uint32_t behaviors[CRWMaxExceptionPorts];
        uint32_t flavors[CRWMaxExceptionPorts];
    } originalPorts;
};

// Written during start-up only; write-protected afterwards.
struct CRWReadOnlyContext {
    bool initialized; // set last, when start-up is complete
    bool debuggerAttached;
    const char* previouslyCrashedFileFullPath;
    const char* logPath;           // "sdk.log" in the report folder
    const char* initialReportPath; // the report folder of this run
    // The report folder and the crashed marker's folder, opened at launch through the own-file steps
    // and held (CRWHeldFolder; none when they could not be opened): crash-time files are made from
    // them, never by path, and only while each descriptor is still its folder.
    CRWHeldFolder reportFolder;
    CRWHeldFolder markerFolder;
    const char* reportIdentifier; // the report folder's name, for the marker's lost-record lines
    void* signalStack;            // CRWContextStackSize bytes, writable
    void* machStack;              // CRWContextStackSize bytes, writable
    const char* binaryImagePath;
    CRWExceptionPart exception;
    CRWHostPart host;
    CRWSignalPart signal;
    CRWMachExceptionPart machException;
    CRWReadOnlyLoggingPart logging;
};

struct CRWBinaryImagePart {
    CRWFile file;
    CRWBinaryImageTable table;
};

struct CRWWritableLoggingPart {
    const char* activeLogPath;
    const char* activeErrorsPath;
    const char* activeCustomExceptionPath;
    uint32_t userKVCount;
    uint32_t internalKVCount;
    uint32_t errorsCount;
};

// Changes throughout the run.
struct CRWWritableContext {
    // The internal log (CRWSDKFileLog.h), held like the folders: its descriptor (-1 until opened,
    // -2 while a writer opens it), and the file it was and the process that opened it, so that a
    // number that names another file by now (a dup2 onto it, its reuse after a double close) or a
    // forked child's copy gets no line.
    int32_t logFileDescriptor;
    pid_t logFileProcess;
    dev_t logFileDevice;
    ino_t logFileInode;
    uint32_t logLevel; // internal-log threshold, CRWSDKLogLevel (1: everything)
    bool crashOccurred;
    CRWBinaryImagePart binaryImages;
    CRWWritableLoggingPart logging;
    uint32_t exceptionCount;
};

// The process-wide context; all none until start-up has run.
struct CRWContext {
    CRWReadOnlyContext* readonly;
    CRWWritableContext* writable;
    CRWAllocator* allocator;
};
extern CRWContext _crwContext;

// Space the context asks of the allocator: the two stacks and the writable context; the read-only
// context and the path strings.
inline constexpr size_t CRWContextWritableSpace = 2 * CRWContextStackSize + sizeof(CRWWritableContext);
inline constexpr size_t CRWContextReadOnlySpace = sizeof(CRWReadOnlyContext) + CRWContextPathSpace;

// Crash flags. Each begins with a full barrier and answers false unless the context exists and
// start-up has completed.
bool CRWContextIsInitialized();
bool CRWContextHasCrashed();
void CRWContextMarkHasCrashed();
// Records that a crash is being handled: false for the first caller, true for every later one
// (which then ends the process); one atomic exchange, so two handlers never both go first.
bool CRWContextMarkAndCheckIfCrashed();
// Leaves the empty crashed marker file for the next launch, in the marker's folder (a marker of
// this user's already there will do; anything else there is left alone).
void CRWCreateCrashedMarkerFile();
// The crash record `fileName` of the report folder could not be made (`error`, errno's value): the
// crashed marker is left as above, with a line that tells the next launch which record of which
// report was lost and why: {"lost_record":{"report":..,"file":..,"error":"ESTALE"}}. Nothing when
// the marker's folder cannot be written either (another process, or its descriptor replaced).
void CRWCreateCrashedMarkerFileNotingLostRecord(const char* fileName, int error);
// The section name of those lines.
inline constexpr const char* CRWLostRecordSection = "lost_record";
