// Runs at crash time (unbuffered records). Opening in a folder, closing and the byte-level writes of record
// files: the write buffer and the partial-write loop.
#include "crash/record/CRWFile.h"

#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKFileLog.h"
#include "crash/record/CRWSharedLog.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool validRecord(const CRWFile* file) {
    return CRWIsValidPointer(file);
}

void resetRecord(CRWFile* file) {
    memset(file, 0, sizeof(*file));
    file->descriptor = -1;
}

} // namespace

bool CRWFileInitInFolder(CRWFile* file, const CRWHeldFolder* folder, const char* name, bool mustBeNew) {
    if (!validRecord(file)) {
        CRWSDKLogWarn("Error: file is null\n");
        return false;
    }
    resetRecord(file);
    const int descriptor = CRWOpenOwnFileAt(folder, name, mustBeNew);
    if (descriptor < 0) {
        const int error = errno;
        if (error == ESTALE)
            CRWSDKLogWarn("Error: the folder of %s is no longer the one opened at launch\n", name);
        CRWSDKLogWarn("Error: Unable to open file %s\n", CRWErrnoName(error));
        CRWSDKLogWarnIn("CRWFileInit", "Error: file descriptor invalid\n");
        errno = error;
        return false;
    }
    return CRWFileInitWithDescriptor(file, descriptor, false);
}

bool CRWFileInitWithDescriptor(CRWFile* file, int descriptor, bool bufferWrites) {
    if (!validRecord(file)) {
        if (descriptor >= 0) close(descriptor);
        return false;
    }
    resetRecord(file);
    struct stat attributes {};
    if (fstat(descriptor, &attributes) != 0) {
        // Reported through the internal log: this path runs at crash time, where the shared
        // logger may not be used. The descriptor is ours to close; the caller only sees false.
        CRWSDKLogError("Failed to read filesize with error %s\n", CRWErrnoName(errno));
        close(descriptor);
        return false;
    }
    if (bufferWrites) {
        char* buffer = static_cast<char*>(malloc(CRWFileBufferSize));
        if (buffer == nullptr) {
            CRWErrorLog("Unable to malloc in CRWFileInit");
            close(descriptor);
            return false;
        }
        buffer[0] = '\0';
        file->buffer = buffer;
        file->buffered = true;
    }
    file->descriptor = descriptor;
    file->bytesWritten = static_cast<size_t>(attributes.st_size);
    return true;
}

bool CRWFileIsOpen(const CRWFile* file) {
    return validRecord(file) && file->descriptor >= 0;
}

void CRWFileFlushWriteBuffer(CRWFile* file) {
    if (!validRecord(file) || !file->buffered || file->buffer == nullptr) return;
    if (file->bufferLength > 0) CRWFileWriteToFileDescriptor(file, file->buffer, file->bufferLength);
    file->bufferLength = 0;
    file->buffer[0] = '\0';
}

bool CRWFileCloseWithOffset(CRWFile* file, size_t* outBytesWritten) {
    if (!CRWFileIsOpen(file)) return false;
    if (file->buffered && file->buffer != nullptr) {
        CRWFileFlushWriteBuffer(file);
    }
    if (close(file->descriptor) != 0) {
        CRWSDKLogWarn("Error: Unable to close file %s\n", CRWErrnoName(errno));
        return false;
    }
    if (file->buffer != nullptr) free(file->buffer);
    if (CRWIsValidPointer(outBytesWritten)) *outBytesWritten = file->bytesWritten;
    resetRecord(file);
    return true;
}

bool CRWFileClose(CRWFile* file) {
    return CRWFileCloseWithOffset(file, nullptr);
}

bool CRWFileWriteWithRetries(int descriptor, const void* bytes, size_t length) {
    return CRWFileLoopWithWriteBlock(bytes, length, [descriptor](const void* chunk, size_t count) {
        return write(descriptor, chunk, count);
    });
}

bool CRWFileWriteToFileDescriptor(CRWFile* file, const char* bytes, size_t length) {
    if (!CRWFileIsOpen(file)) return false;
    if (!CRWFileWriteWithRetries(file->descriptor, bytes, length)) return false;
    file->bytesWritten += length;
    return true;
}

bool CRWFileWriteToFileDescriptorOrBuffer(CRWFile* file, const char* bytes, size_t length) {
    if (!validRecord(file)) return false;
    if (!file->buffered || file->buffer == nullptr) return CRWFileWriteToFileDescriptor(file, bytes, length);

    // Fill the buffer up to CRWFileBufferSize - 1 bytes (a zero byte always follows the held ones)
    // and flush it whenever it is full, until the rest fits.
    constexpr size_t capacity = CRWFileBufferSize - 1;
    bool ok = true;
    while (file->bufferLength + length >= CRWFileBufferSize) {
        const size_t take = capacity - file->bufferLength;
        memcpy(file->buffer + file->bufferLength, bytes, take);
        file->bufferLength = capacity;
        file->buffer[capacity] = '\0';
        bytes += take;
        length -= take;
        ok = CRWFileWriteToFileDescriptor(file, file->buffer, file->bufferLength) && ok;
        file->bufferLength = 0;
        file->buffer[0] = '\0';
    }
    if (length > 0) {
        memcpy(file->buffer + file->bufferLength, bytes, length);
        file->bufferLength += length;
        file->buffer[file->bufferLength] = '\0';
    }
    return ok;
}

void CRWFileWriteStringUnquoted(CRWFile* file, const char* text) {
    if (!CRWIsValidPointer(text)) return;
    const size_t length = strlen(text);
    if (length > 0) CRWFileWriteToFileDescriptorOrBuffer(file, text, length);
}
