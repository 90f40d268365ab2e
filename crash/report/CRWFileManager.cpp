#include "crash/report/CRWFileManager.h"

#include "crash/record/CRWApplication.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWSharedLog.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Paths.h"

#include <filesystem>
#include <mutex>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* kDataFolder = "com.crashwatch.data";
constexpr const char* kMetricKitFatalFile = "metric_kit_fatal.crwrecord";

struct PreviousCrashCheck {
    std::mutex mutex;
    std::optional<bool> markerExisted;
};

PreviousCrashCheck& previousCrashCheck() {
    static PreviousCrashCheck* check = new PreviousCrashCheck;
    return *check;
}

std::string describe(const std::error_code& error, const std::string& path) {
    return plat::AtomicFile::posixError(error.value(), error.message(), path).localizedDescription();
}

bool isHidden(const fs::path& entry) {
    const std::string name = entry.filename().string();
    return name.empty() || name.front() == '.';
}

} // namespace

std::string CRWPathByAppending(const std::string& parent, const std::string& component) {
    if (parent.empty()) return component;
    if (parent.back() == '/') return parent + component;
    return parent + "/" + component;
}

std::string CRWLastPathComponent(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const size_t slash = trimmed.rfind('/');
    return slash == std::string::npos || trimmed.size() == 1 ? trimmed : trimmed.substr(slash + 1);
}

std::string CRWPathExtension(const std::string& path) {
    const std::string name = CRWLastPathComponent(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return "";
    return name.substr(dot + 1);
}

CRWFileManager::CRWFileManager() {
    cachesPath_ = plat::paths::cachesDir().string();
    rootPath_ = CRWPathByAppending(CRWPathByAppending(cachesPath_, kDataFolder), pathNamespace());
}

std::string CRWFileManager::pathNamespace() const {
    return CRWApplicationGetBundleIdentifier();
}
std::string CRWFileManager::versionedPath() const {
    return CRWPathByAppending(rootPath_, "v5");
}
std::string CRWFileManager::settingsDirectoryPath() const {
    return CRWPathByAppending(versionedPath(), "settings");
}
std::string CRWFileManager::settingsFilePath() const {
    return CRWPathByAppending(settingsDirectoryPath(), "settings.json");
}
std::string CRWFileManager::settingsCacheKeyPath() const {
    return CRWPathByAppending(settingsDirectoryPath(), "cache-key.json");
}
std::string CRWFileManager::structurePath() const {
    return CRWPathByAppending(versionedPath(), "reports");
}
std::string CRWFileManager::activePath() const {
    return CRWPathByAppending(structurePath(), "active");
}
std::string CRWFileManager::pendingPath() const {
    return CRWPathByAppending(structurePath(), "pending");
}
std::string CRWFileManager::processingPath() const {
    return CRWPathByAppending(structurePath(), "processing");
}
std::string CRWFileManager::preparedPath() const {
    return CRWPathByAppending(structurePath(), "prepared");
}
std::string CRWFileManager::diagnosticsPath() const {
    return cachesPath_ + "/MetricKit/Diagnostics/";
}

bool CRWFileManager::fileExistsAtPath(const std::string& path) const {
    std::error_code error;
    return !path.empty() && fs::exists(fs::symlink_status(path, error));
}

bool CRWFileManager::createFileAtPath(const std::string& path,
                                      const std::optional<plat::Data>& contents) const {
    if (path.empty()) return false;
    const plat::Data empty;
    const plat::Data& bytes = contents ? *contents : empty;
    return !plat::AtomicFile::write(path, bytes.data(), bytes.size(), plat::AtomicFile::Options{});
}

bool CRWFileManager::moveItemAtPathToPath(const std::string& from, const std::string& to,
                                          plat::Error* error) const {
    std::error_code failure;
    if (from.empty() || to.empty())
        failure = std::make_error_code(std::errc::invalid_argument);
    else
        fs::rename(from, to, failure);
    if (!failure) return true;
    if (error) *error = plat::AtomicFile::posixError(failure.value(), "move to " + to, from);
    return false;
}

std::optional<plat::Data> CRWFileManager::dataWithContentsOfFile(const std::string& path) const {
    if (path.empty()) return std::nullopt;
    return plat::AtomicFile::read(path);
}

bool CRWFileManager::createDirectoryAtPath(const std::string& path) const {
    const std::optional<plat::Error> error =
        path.empty() ? std::optional<plat::Error>(plat::AtomicFile::posixError(EINVAL, "create", path))
                     : plat::AtomicFile::createDirectories(path);
    if (!error) return true;
    CRWErrorLog("Unable to create directory %@", path + " (" + error->localizedDescription() + ")");
    return false;
}

bool CRWFileManager::removeItemAtPath(const std::string& path) const {
    if (path.empty()) {
        CRWErrorLog("Failed to remove file %@: %@", "(null)", "no path given");
        return false;
    }
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (!fs::exists(status)) {
        CRWErrorLog("Failed to remove file %@: %@", path,
                    describe(std::make_error_code(std::errc::no_such_file_or_directory), path));
        return false;
    }
    fs::remove_all(path, error);
    if (!error) return true;
    CRWErrorLog("Failed to remove file %@: %@", path, describe(error, path));
    return false;
}

bool CRWFileManager::removeContentsOfDirectoryAtPath(const std::string& path) const {
    bool removedAll = true;
    for (const std::string& entry : contentsOfDirectory(path))
        removedAll = removeItemAtPath(entry) && removedAll;
    return removedAll;
}

bool CRWFileManager::moveItemAtPath(const std::string& path, const std::string& directory) const {
    if (path.empty() || directory.empty()) {
        CRWErrorLog("Failed to move file, inputs invalid");
        return false;
    }
    plat::Error error;
    if (moveItemAtPathToPath(path, CRWPathByAppending(directory, CRWLastPathComponent(path)), &error))
        return true;
    CRWErrorLog("Failed to move file: %@", error.localizedDescription());
    return false;
}

void CRWFileManager::enumerateFilesInDirectory(
    const std::string& directory,
    const std::function<void(const std::string& path, const std::string& extension)>& block) const {
    for (const std::string& path : contentsOfDirectory(directory))
        block(path, CRWPathExtension(path));
}

std::vector<std::string> CRWFileManager::contentsOfDirectory(const std::string& directory) const {
    std::vector<std::string> paths;
    if (directory.empty()) return paths;
    std::error_code error;
    fs::directory_iterator it(directory, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        if (isHidden(it->path())) continue;
        paths.push_back(CRWPathByAppending(directory, it->path().filename().string()));
    }
    return paths;
}

std::optional<uint64_t> CRWFileManager::fileSizeAtPath(const std::string& path) const {
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    if (!error) return static_cast<uint64_t>(size);
    CRWErrorLog("Unable to read file size: %@", describe(error, path));
    return std::nullopt;
}

bool CRWFileManager::createReportDirectories() const {
    for (const std::string& path : {activePath(), processingPath(), preparedPath()})
        if (!createDirectoryAtPath(path)) return false;
    return true;
}

std::optional<std::string>
CRWFileManager::setupNewPathForExecutionIdentifier(const std::string& identifier) const {
    if (identifier.empty()) return std::nullopt;
    const std::string path = CRWPathByAppending(activePath(), identifier);
    if (!createDirectoryAtPath(path)) return std::nullopt;
    return path;
}

bool CRWFileManager::didCrashOnPreviousExecution() {
    PreviousCrashCheck& check = previousCrashCheck();
    std::lock_guard lock(check.mutex);
    if (!check.markerExisted)
        check.markerExisted = fileExistsAtPath(CRWPathByAppending(rootPath_, CRWPreviouslyCrashedFileName));
    crashFileMarkerExists_ = *check.markerExisted;
    return crashFileMarkerExists_;
}

bool CRWFileManager::metricKitDiagnosticFileExists() const {
    return !contentsOfDirectory(diagnosticsPath()).empty();
}

void CRWFileManager::createEmptyMetricKitFile(const std::string& reportPath) const {
    createFileAtPath(CRWPathByAppending(reportPath, kMetricKitFatalFile), std::nullopt);
}

void CRWFileManager::resetPreviousCrashCheckForTesting() {
    std::lock_guard lock(previousCrashCheck().mutex);
    previousCrashCheck().markerExisted.reset();
}
