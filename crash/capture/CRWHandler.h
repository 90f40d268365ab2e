// Runs at crash time. The common crash path that every catcher (signal handler, exception server,
// terminate handler, on-demand recording) runs after writing its own section: the other threads
// are stopped, the whole process is described into the record file, the crashed marker is left
// for the next launch, the record file is closed, and the threads are released.
#pragma once

#include "crash/record/CRWFile.h"

#include <sys/types.h>

// Records into `file` (open, unbuffered) for a crash of `crashedThread`, and closes it before the
// other threads run again; `userContext` is the signal's user context when the crashed thread is
// the calling one inside a signal handler.
void CRWHandler(CRWFile* file, pid_t crashedThread, const void* userContext);
