#include "crash/record/CRWHost.h"

#include "crash/record/CRWSDKFileLog.h"
#include "platform/foundation/SystemFacts.h"
#include "utilities/TULAppEnvironmentUtil.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/utsname.h>
#include <unistd.h>

plat::OperatingSystemVersion CRWHostGetOSVersion() {
    return plat::ProcessInfo::processInfo().operatingSystemVersion();
}

std::string CRWHostOSDisplayVersion() {
    const plat::OperatingSystemVersion v = CRWHostGetOSVersion();
    char text[96];
    snprintf(text, sizeof(text), "%ld.%ld.%ld", static_cast<long>(v.majorVersion),
             static_cast<long>(v.minorVersion), static_cast<long>(v.patchVersion));
    return text;
}

std::optional<std::string> CRWHostOSBuildVersion() {
    char buffer[128];
    if (!CRWHostSysctlString("kern.osversion", buffer, sizeof(buffer))) return std::nullopt;
    return std::string(buffer);
}

std::string CRWHostModelInfo() {
    return TULAppEnvironmentUtil::deviceModel();
}

uint64_t CRWHostGetPageSize() {
    const long size = sysconf(_SC_PAGESIZE);
    if (size <= 0) {
        CRWSDKLogWarn("sysctlbyname failed while trying to get hw.pagesize\n");
        return 16384;
    }
    if (size <= 4096) return 4096;
    if (size > 16384) return 16384;
    return static_cast<uint64_t>(size);
}

bool CRWHostSysctlString(const char* name, char* buffer, size_t size) {
    if (name == nullptr || buffer == nullptr || size == 0) return false;
    const std::optional<std::string> value = plat::SystemFacts::sysctlEntry(name);
    if (!value) return false;
    const size_t length = std::min(value->size(), size - 1);
    memcpy(buffer, value->data(), length);
    buffer[length] = '\0';
    return true;
}

bool CRWProcessDebuggerAttached() {
    char status[8192];
    size_t length = 0;
    const int descriptor = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (descriptor >= 0) {
        for (;;) {
            const ssize_t count = read(descriptor, status + length, sizeof(status) - 1 - length);
            if (count > 0) {
                length += static_cast<size_t>(count);
                if (length < sizeof(status) - 1) continue;
            } else if (count < 0 && errno == EINTR) {
                continue;
            }
            break;
        }
        close(descriptor);
    }
    status[length] = '\0';
    const char* field = strstr(status, "\nTracerPid:");
    if (field == nullptr) {
        CRWSDKLogWarn("sysctl failed while trying to get kinfo_proc\n");
        return false;
    }
    for (const char* c = field + strlen("\nTracerPid:"); *c != '\0' && *c != '\n'; ++c) {
        if (*c >= '1' && *c <= '9') return true;
    }
    return false;
}
