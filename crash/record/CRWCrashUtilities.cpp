// Runs at crash time. File removal, UUID redaction, hex digits and error-number names.
#include "crash/record/CRWCrashUtilities.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

bool CRWUnlinkIfExists(const char* path) {
    return unlink(path) == 0 || errno == ENOENT;
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
