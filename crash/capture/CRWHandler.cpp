// Runs at crash time. The common crash path.
#include "crash/capture/CRWHandler.h"

#include "crash/capture/CRWProcess.h"
#include "crash/record/CRWContext.h"

void CRWHandler(CRWFile* file, pid_t crashedThread, const void* userContext) {
    // A local record: the thread list lives on the handler's stack, not on the heap.
    CRWProcess process;
    CRWProcessInit(&process, crashedThread, userContext);
    CRWProcessSuspendAllOtherThreads(&process);

    CRWProcessRecordAllThreads(&process, file);
    CRWProcessRecordRuntimeInfo(&process, file);
    CRWProcessRecordDispatchQueueNames(&process, file);
    CRWProcessRecordThreadNames(&process, file);
    CRWProcessRecordStats(&process, file);
    CRWHostWriteDiskUsage(file);

    CRWCreateCrashedMarkerFile();
    CRWProcessResumeAllOtherThreads(&process);
}
