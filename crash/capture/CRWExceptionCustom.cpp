// Custom exceptions into their A/B store, and on-demand exceptions as reports of their own. Ordinary
// code: runs on the callers' queues, allocates and copies folders.
#include "crash/capture/CRWException.h"

#include "crash/capture/CRWHandler.h"
#include "crash/capture/CRWThreadStopper.h"
#include "crash/capture/CRWUserLogging.h"
#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWExecutionIdentifierModel.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKFileLog.h"
#include "platform/foundation/OwnFiles.h"

#include <atomic>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kCustomFatalIndicatorFile = "custom_fatal.crwrecord";
constexpr const char* kRecordedExceptionsKey = "com.crashwatch.on-demand.recorded-exceptions";
constexpr const char* kDroppedExceptionsKey = "com.crashwatch.on-demand.dropped-exceptions";

// Copies the folder `from` into the folder `to`, made if missing, file by file; false at the first
// entry that is not the user's own or cannot be copied.
bool copyOwnFolder(const fs::path& from, const fs::path& to, int depth = 0) {
    const std::optional<std::vector<plat::paths::FolderEntry>> entries = plat::paths::folderEntries(from);
    if (!entries || depth > 8 || !plat::paths::ensureDirectory(to)) return false;
    for (const auto& [name, info] : *entries) {
        if (S_ISDIR(info.st_mode)) {
            if (!copyOwnFolder(from / name, to / name, depth + 1)) return false;
            continue;
        }
        const plat::paths::OwnFile file = plat::paths::readOwnFile(from / name);
        if (file.state != plat::paths::OwnFile::State::Read) return false;
        if (plat::paths::writeOwnFile(to / name, file.bytes.data(), file.bytes.size(), info.st_mode & 0777))
            return false;
    }
    return true;
}

void removeCurrentCustomExceptions() {
    const CRWABStorage& store = _crwContext.readonly->logging.customExceptionStorage;
    CRWUnlinkIfExists(store.aPath);
    CRWUnlinkIfExists(store.bPath);
    std::atomic_ref<uint32_t>(_crwContext.writable->exceptionCount).store(0);
}

} // namespace

void CRWExceptionRecordCustom(uint32_t type, const char* name, const char* reason,
                              const CRWStackFrame* frames, size_t frameCount, const char* rollouts) {
    // The switch for custom exceptions in the settings: off, their maximum is 0.
    if (_crwContext.readonly->exception.maxCustomExceptions == 0) return;
    CRWUserLoggingWriteAndCheckABFiles(
        &_crwContext.readonly->logging.customExceptionStorage,
        &_crwContext.writable->logging.activeCustomExceptionPath,
        [&](CRWFile* file) { CRWExceptionWrite(file, type, name, reason, frames, frameCount, rollouts); });
}

void CRWExceptionRecordModel(const std::string& name, const std::string& reason,
                             const std::vector<CRWStackFrame>& frames, const char* rollouts) {
    CRWExceptionRecord(CRWExceptionTypeCustom, name.c_str(), reason.c_str(), frames.data(), frames.size(),
                       rollouts);
}

std::optional<std::string> CRWExceptionRecordOnDemand(uint32_t type, const std::string& name,
                                                      const std::string& reason,
                                                      const std::vector<CRWStackFrame>& frames, bool fatal,
                                                      int64_t recordedCount, int64_t droppedCount,
                                                      const std::string& activePath) {
    if (!CRWContextIsInitialized()) return std::nullopt;
    CRWSDKLogWarn("Recording an exception structure on demand\n");

    const fs::path report = fs::path(activePath) / CRWExecutionIdentifierModel().executionID();
    if (!copyOwnFolder(_crwContext.readonly->initialReportPath, report)) {
        CRWSDKLogWarn("Unable to create a new report to record on-demand exeption.");
        return std::nullopt;
    }
    removeCurrentCustomExceptions();

    CRWFile file;
    const std::string kvPath = (report / CRWReportInternalIncrementalKVFile).string();
    if (!CRWFileInitWithPath(&file, kvPath.c_str(), true)) {
        CRWSDKLogError("Unable to open k-v file\n");
        return std::nullopt;
    }
    plat::Object::Dict counts;
    counts[kRecordedExceptionsKey] = plat::Object(std::to_string(recordedCount));
    counts[kDroppedExceptionsKey] = plat::Object(std::to_string(droppedCount));
    CRWUserLoggingWriteKVEntriesToFile(counts, true, &file);
    CRWFileClose(&file);

    std::string target = (report / CRWReportCustomExceptionAFile).string();
    if (fatal) {
        const std::string marker = (report / kCustomFatalIndicatorFile).string();
        if (CRWFileInitWithPath(&file, marker.c_str(), false))
            CRWFileClose(&file);
        else
            CRWSDKLogWarn(
                "Unable to create custom exception file. On demand exception will not be logged with "
                "analytics.");
        target = (report / CRWReportExceptionFile).string();
    }
    if (!CRWFileInitWithPath(&file, target.c_str(), true)) {
        CRWSDKLogWarn("Unable to open log file for on demand custom exception\n");
        return std::nullopt;
    }
    CRWExceptionWrite(&file, type, name.c_str(), reason.c_str(), frames.data(), frames.size(), nullptr);
    CRWHandler(&file, CRWThreadSelf(), nullptr);
    CRWSDKLogWarn("Finished recording on demand exception structure\n");
    return report.string();
}
