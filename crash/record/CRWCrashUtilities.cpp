// Runs at crash time. The held folders, opening a report file, UUID redaction, hex digits and
// error-number names.
#include "crash/record/CRWCrashUtilities.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// `descriptor` moved to 3 or above (close-on-exec), the original closed; -1 (closed) on failure.
int aboveStandardStreams(int descriptor) {
    if (descriptor < 0 || descriptor > STDERR_FILENO) return descriptor;
    const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int error = errno;
    close(descriptor);
    errno = error;
    return moved;
}

} // namespace

CRWHeldFolder CRWHoldFolder(int descriptor) {
    CRWHeldFolder held = CRWNoHeldFolder;
    if (descriptor < 0) return held;
    // The copy is close-on-exec whatever the original is.
    const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    struct stat info {};
    if (moved < 0) return held;
    if (fstat(moved, &info) != 0 || !S_ISDIR(info.st_mode)) {
        close(moved);
        return held;
    }
    held.descriptor = moved;
    held.process = getpid();
    held.device = info.st_dev;
    held.inode = info.st_ino;
    return held;
}

bool CRWHeldFolderUsable(const CRWHeldFolder* folder) {
    if (folder == nullptr || folder->descriptor < 0) {
        errno = EBADF;
        return false;
    }
    if (getpid() != folder->process) {
        errno = ECHILD;
        return false;
    }
    struct stat info {};
    if (fstat(folder->descriptor, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_dev != folder->device ||
        info.st_ino != folder->inode) {
        errno = ESTALE;
        return false;
    }
    return true;
}

int CRWOpenOwnFileAt(const CRWHeldFolder* folder, const char* name, bool mustBeNew) {
    if (name == nullptr || *name == '\0') {
        errno = EINVAL;
        return -1;
    }
    if (!CRWHeldFolderUsable(folder)) return -1;
    // Without O_TRUNC nothing is changed by opening: what turns out not to be ours is closed as it was.
    const int flags =
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (mustBeNew ? O_EXCL : 0);
    const int descriptor = aboveStandardStreams(openat(folder->descriptor, name, flags, 0600));
    if (descriptor < 0) return -1;
    struct stat info {};
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid() ||
        (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        close(descriptor);
        errno = EPERM;
        return -1;
    }
    const int status = fcntl(descriptor, F_GETFL);
    if (status >= 0) fcntl(descriptor, F_SETFL, status & ~O_NONBLOCK);
    return descriptor;
}

void CRWRedactUUID(char* text) {
    if (text == nullptr) return;
    // "(" + 36 characters + ")": the ")" sits 37 characters after the "(".
    constexpr size_t kDistance = 37;
    for (char* open = strchr(text, '('); open != nullptr; open = strchr(open + 1, '(')) {
        char* close = strchr(open + 1, ')');
        if (close == nullptr) return;
        if (static_cast<size_t>(close - open) != kDistance) continue;
        for (char* c = open + 1; c < close; ++c)
            if (*c != '-') *c = '*';
        return;
    }
}

uint8_t CRWNybbleFromChar(char character) {
    if (character >= '0' && character <= '9') return static_cast<uint8_t>(character - '0');
    if (character >= 'a' && character <= 'f') return static_cast<uint8_t>(character - 'a' + 10);
    if (character >= 'A' && character <= 'F') return static_cast<uint8_t>(character - 'A' + 10);
    return 255;
}

const char* CRWErrnoName(int error) {
    const char* name = strerrorname_np(error);
    return name != nullptr ? name : "unknown error";
}
