// Outside crash time: record files reached by path, through the own-file steps (OwnFiles.h).
#include "crash/record/CRWFile.h"

#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKFileLog.h"
#include "crash/record/CRWSharedLog.h"
#include "platform/foundation/OwnFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

bool CRWFileInitWithPathMode(CRWFile* file, const char* path, bool appendMode, bool bufferWrites) {
    if (!CRWIsValidPointer(file)) {
        CRWSDKLogWarn("Error: file is null\n");
        return false;
    }
    if (!CRWIsValidPointer(path)) {
        CRWSDKLogWarnIn("CRWFileInit", "Error: file descriptor invalid\n");
        return false;
    }
    plat::paths::FileProblem problem;
    plat::FileDescriptor opened =
        plat::paths::openOwnFile(path, O_WRONLY | O_CREAT | (appendMode ? O_APPEND : O_TRUNC), &problem);
    if (!opened) {
        if (problem.refused) CRWErrorLog("%@; leaving it as it is", problem.text);
        CRWSDKLogWarn("Error: Unable to open file %s\n", CRWErrnoName(problem.error));
        CRWSDKLogWarnIn("CRWFileInit", "Error: file descriptor invalid\n");
        *file = CRWFile{};
        file->descriptor = -1;
        errno = problem.error;
        return false;
    }
    return CRWFileInitWithDescriptor(file, opened.release(), bufferWrites);
}

bool CRWFileInitWithPath(CRWFile* file, const char* path, bool bufferWrites) {
    return CRWFileInitWithPathMode(file, path, true, bufferWrites);
}

bool CRWUnlinkIfExists(const char* path, bool* refused) {
    if (refused) *refused = false;
    if (!CRWIsValidPointer(path)) {
        errno = EINVAL;
        return false;
    }
    const std::optional<struct stat> info = plat::paths::entryStatus(path);
    if (info && S_ISDIR(info->st_mode)) {
        errno = EISDIR;
        return false;
    }
    const std::optional<plat::paths::FileProblem> problem = plat::paths::removeOwn(path);
    if (!problem || problem->error == ENOENT) return true;
    if (refused) *refused = problem->refused;
    errno = problem->error;
    return false;
}
