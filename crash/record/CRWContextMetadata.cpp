// The run's metadata record: identity, host, application and executable sections.
#include "crash/record/CRWApplication.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWHost.h"
#include "crash/record/CRWSDKFileLog.h"
#include "crash/record/CRWSDKInfo.h"

#include <cerrno>
#include <ctime>
#include <unistd.h>

namespace {

constexpr size_t kSysctlBufferSize = 128;

std::optional<std::string_view> unlessEmpty(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return text;
}

void recordIdentity(CRWFile* file, const CRWContextInitData& data) {
    const std::string generator = CRWSDKGeneratorName();
    const std::string version = CRWSDKVersion();
    CRWFileWriteSectionStart(file, "identity");
    CRWFileWriteHashStart(file);
    CRWFileWriteHashEntryNSString(file, "generator", generator);
    CRWFileWriteHashEntryNSString(file, "display_version", version);
    CRWFileWriteHashEntryNSString(file, "build_version", version);
    CRWFileWriteHashEntryUint64(file, "started_at", static_cast<uint64_t>(time(nullptr)));
    CRWFileWriteHashEntryNSString(file, "session_id", data.sessionId());
    CRWFileWriteHashEntryNSString(file, "app_health_session_id", data.appHealthSessionId());
    CRWFileWriteHashEntryNSString(file, "install_id", "");
    CRWFileWriteHashEntryNSString(file, "beta_token", data.betaToken());
    CRWFileWriteHashEntryBoolean(file, "absolute_log_timestamps", true);
    CRWFileWriteHashEnd(file);
    CRWFileWriteSectionEnd(file);
}

void recordApplication(CRWFile* file, const CRWContextInitData& data) {
    const std::optional<std::string> extension = CRWApplicationExtensionPointIdentifier();
    CRWFileWriteSectionStart(file, "application");
    CRWFileWriteHashStart(file);
    CRWFileWriteHashEntryNSString(file, "bundle_id", CRWApplicationGetBundleIdentifier());
    CRWFileWriteHashEntryNSString(file, "custom_bundle_id", unlessEmpty(data.customBundleId()));
    CRWFileWriteHashEntryNSString(file, "build_version", CRWApplicationGetBundleVersion());
    CRWFileWriteHashEntryNSString(file, "display_version", CRWApplicationGetShortBundleVersion());
    CRWFileWriteHashEntryNSString(file, "extension_id", extension);
    CRWFileWriteHashEnd(file);
    CRWFileWriteSectionEnd(file);
}

// Until the image layer describes the executable, its path stands for it.
bool recordExecutablePath(CRWFile* file) {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    CRWFileWriteSectionStart(file, "executable");
    CRWFileWriteHashStart(file);
    CRWFileWriteHashEntryNSString(
        file, "path",
        length > 0 ? std::optional<std::string_view>(std::string_view(path, size_t(length))) : std::nullopt);
    CRWFileWriteHashEnd(file);
    CRWFileWriteSectionEnd(file);
    return true;
}

} // namespace

void CRWHostWriteSysctlEntry(CRWFile* file, const char* key, const char* sysctlName, char* buffer) {
    if (CRWHostSysctlString(sysctlName, buffer, kSysctlBufferSize))
        CRWFileWriteHashEntryString(file, key, buffer);
    else
        CRWFileWriteHashEntryString(file, key, "(failed)");
}

bool CRWHostRecord(CRWFile* file) {
    char buffer[kSysctlBufferSize];
    const std::optional<std::string> build = CRWHostOSBuildVersion();
    CRWFileWriteSectionStart(file, "host");
    CRWFileWriteHashStart(file);
    CRWFileWriteHashEntryNSString(file, "model", CRWHostModelInfo());
    CRWHostWriteSysctlEntry(file, "machine", "hw.machine", buffer);
    CRWHostWriteSysctlEntry(file, "cpu", "machdep.cpu.brand_string", buffer);
    CRWFileWriteHashEntryNSString(file, "os_build_version", build);
    CRWFileWriteHashEntryNSString(file, "os_display_version", CRWHostOSDisplayVersion());
    CRWFileWriteHashEntryNSString(file, "platform", CRWApplicationGetPlatform());
    CRWFileWriteHashEntryNSString(file, "tessera_platform", CRWApplicationGetTesseraPlatform());
    CRWFileWriteHashEntryNSString(file, "locale", CRWApplicationLocaleIdentifier());
    CRWFileWriteHashEnd(file);
    CRWFileWriteSectionEnd(file);
    return true;
}

bool CRWContextRecordMetadata(const std::string& rootPath, const CRWContextInitData& initData) {
    const std::string path = CRWContextPathInRoot(rootPath, CRWReportMetadataFile);
    if (!CRWUnlinkIfExists(path.c_str()))
        CRWSDKLogWarn("Unable to unlink existing metadata file %s\n", CRWErrnoName(errno));

    CRWFile file;
    if (!CRWFileInitWithPath(&file, path.c_str(), false)) {
        CRWSDKLogWarn("Unable to open metadata file %s\n", CRWErrnoName(errno));
        return false;
    }
    recordIdentity(&file, initData);
    CRWHostRecord(&file);
    recordApplication(&file, initData);
    // Read once: the hooks may be replaced while a slow start-up still runs.
    CRWContextStartupHooks hooks = CRWContextCurrentStartupHooks();
    if (hooks.recordMainExecutable)
        hooks.recordMainExecutable(&file);
    else
        recordExecutablePath(&file);
    CRWFileClose(&file);
    return true;
}
