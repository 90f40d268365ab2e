#include "crash/image/CRWMachOFile.h"

#include <cstdio>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

bool CRWMachOFileInitWithPath(CRWMachOFile* file, const char* path) {
    if (file == nullptr || path == nullptr) return false;
    *file = CRWMachOFile{};
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 16) {
        close(fd);
        return false;
    }
    void* mapped = mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        close(fd);
        return false;
    }
    file->fd = fd;
    file->size = static_cast<uint64_t>(info.st_size);
    file->mappedAddress = mapped;
    return true;
}

bool CRWMachOFileInitWithCurrent(CRWMachOFile* file) {
    return CRWMachOFileInitWithPath(file, "/proc/self/exe");
}

void CRWMachOFileDestroy(CRWMachOFile* file) {
    if (file == nullptr) return;
    if (file->mappedAddress != nullptr && file->size > 0)
        munmap(const_cast<void*>(file->mappedAddress), static_cast<size_t>(file->size));
    if (file->fd >= 0) close(file->fd);
    *file = CRWMachOFile{};
}

CRWMachOStatus CRWMachOFileEnumerateSlices(const CRWMachOFile* file,
                                           const std::function<void(const CRWMachOSliceRecord&)>& visit) {
    if (file == nullptr || file->mappedAddress == nullptr) return CRWMachOStatusTruncated;
    auto trampoline = [](const CRWMachOSliceRecord* slice, void* context) {
        (*static_cast<const std::function<void(const CRWMachOSliceRecord&)>*>(context))(*slice);
    };
    return CRWMachOEnumerateSlicesAtAddress(
        file->mappedAddress, file->size, const_cast<std::function<void(const CRWMachOSliceRecord&)>*>(&visit),
        trampoline);
}

CRWMachOSliceRecord CRWMachOFileSliceWithArchitectureName(const CRWMachOFile* file, const char* name) {
    CRWMachOSliceRecord found{};
    if (name == nullptr) return found;
    CRWMachOFileEnumerateSlices(file, [&](const CRWMachOSliceRecord& slice) {
        if (std::string(CRWMachOSliceGetArchitectureName(&slice)) == name) found = slice;
    });
    return found;
}

std::optional<std::string> CRWMachOFormatVersion(const CRWMachOVersion* version) {
    if (version == nullptr) return std::nullopt;
    char text[40];
    std::snprintf(text, sizeof text, "%d.%d.%d", static_cast<int>(version->major),
                  static_cast<int>(version->minor), static_cast<int>(version->bugfix));
    return std::string(text);
}

std::string CRWMachONormalizeUUID(const uint8_t* uuid) {
    char text[33];
    CRWMachOUUIDToString(uuid, text);
    return text;
}
