// Runs at crash time. The process-wide context and its crash flags.
#include "crash/record/CRWContext.h"

#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKFileLog.h"

#include <atomic>

CRWContext _crwContext = {nullptr, nullptr, nullptr};

namespace {

// A context whose start-up has completed, after a full barrier.
bool initializedContext() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    CRWReadOnlyContext* readonly = _crwContext.readonly;
    if (!CRWIsValidPointer(readonly) || !CRWIsValidPointer(_crwContext.writable)) return false;
    return std::atomic_ref<bool>(readonly->initialized).load();
}

} // namespace

bool CRWContextIsInitialized() {
    return initializedContext();
}

bool CRWContextHasCrashed() {
    return initializedContext() && std::atomic_ref<bool>(_crwContext.writable->crashOccurred).load();
}

void CRWContextMarkHasCrashed() {
    if (!initializedContext()) return;
    std::atomic_ref<bool>(_crwContext.writable->crashOccurred).store(true);
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

bool CRWContextMarkAndCheckIfCrashed() {
    if (!initializedContext()) return false;
    // One exchange: of two handlers racing here exactly one sees false and records the crash.
    return std::atomic_ref<bool>(_crwContext.writable->crashOccurred).exchange(true);
}

namespace {

// Opens the crashed marker (appending); false, logged, when it cannot be made.
bool openMarker(CRWFile* file) {
    CRWReadOnlyContext* readonly = _crwContext.readonly;
    if (!CRWIsValidPointer(readonly) ||
        !CRWFileInitInFolder(file, &readonly->markerFolder, CRWPreviouslyCrashedFileName, false)) {
        CRWSDKLogWarn("Unable to create the crashed marker file\n");
        return false;
    }
    return true;
}

} // namespace

void CRWCreateCrashedMarkerFile() {
    CRWFile file;
    if (!openMarker(&file)) return;
    CRWFileClose(&file);
    CRWSDKLogWarn("Created the crashed marker file\n");
}

void CRWCreateCrashedMarkerFileNotingLostRecord(const char* fileName, int error) {
    CRWFile file;
    if (!openMarker(&file)) return;
    CRWFileWriteSectionStart(&file, CRWLostRecordSection);
    CRWFileWriteHashStart(&file);
    CRWFileWriteHashEntryString(&file, "report", _crwContext.readonly->reportIdentifier);
    CRWFileWriteHashEntryString(&file, "file", fileName);
    CRWFileWriteHashEntryString(&file, "error", CRWErrnoName(error));
    CRWFileWriteHashEnd(&file);
    CRWFileWriteSectionEnd(&file);
    CRWFileClose(&file);
    CRWSDKLogWarn("Created the crashed marker file, noting the lost record %s\n", fileName);
}
