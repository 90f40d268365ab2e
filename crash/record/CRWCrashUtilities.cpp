// Runs at crash time. Opening a report file, UUID redaction, hex digits and error-number names.
#include "crash/record/CRWCrashUtilities.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int CRWOpenOwnFileAt(int folder, const char* name, bool mustBeNew) {
    if (folder < 0 || name == nullptr || *name == '\0') {
        errno = EBADF;
        return -1;
    }
    // Without O_TRUNC nothing is changed by opening: what turns out not to be ours is closed as it was.
    const int flags =
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (mustBeNew ? O_EXCL : 0);
    const int descriptor = openat(folder, name, flags, 0600);
    if (descriptor < 0) return -1;
    struct stat info {};
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != getuid() ||
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
