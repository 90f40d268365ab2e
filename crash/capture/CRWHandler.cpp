// Runs at crash time. The common crash path.
#include "crash/capture/CRWHandler.h"

#include "crash/capture/CRWProcess.h"
#include "crash/image/CRWBinaryImage.h"
#include "crash/record/CRWContext.h"

void CRWHandler(CRWFile* file, pid_t crashedThread, const void* userContext) {
    // A local record: the thread list lives on the handler's stack, not on the heap.
    CRWProcess process;
    CRWProcessInit(&process, crashedThread, userContext);
    // A thread that runs on may be unloading a library: the images the linker no longer lists are
    // removed only when every other thread stopped.
    const bool allStopped =
        CRWProcessSuspendAllOtherThreads(&process) && !CRWProcessHasThreadsSinceInit(&process);
    // Libraries loaded since the last scan (by another library's plain dlopen) join the table
    // before the walks need their unwind tables, and the image records before the report closes.
    CRWBinaryImageSafeSyncWithLinker(allStopped);

    CRWProcessRecordAllThreads(&process, file);
    CRWProcessRecordRuntimeInfo(&process, file);
    CRWProcessRecordDispatchQueueNames(&process, file);
    CRWProcessRecordThreadNames(&process, file);
    CRWProcessRecordStats(&process, file);
    CRWHostWriteDiskUsage(file);

    CRWCreateCrashedMarkerFile();
    // The record is whole before any other thread runs again (one may end the process at once).
    CRWFileClose(file);
    CRWProcessResumeAllOtherThreads(&process);
}
