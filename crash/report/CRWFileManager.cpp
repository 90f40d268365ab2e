#include "crash/report/CRWFileManager.h"

#include "crash/record/CRWApplication.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWSharedLog.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/FolderCheck.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"

#include <algorithm>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

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

// A refusal names the entry of another user and why it was left; other failures are the system's.
std::string describe(const plat::paths::FileProblem& problem, const std::string& path) {
    if (problem.refused) return problem.text;
    return describe(std::error_code(problem.error, std::generic_category()), path);
}

bool isHidden(const std::string& name) {
    return name.empty() || name.front() == '.';
}

// A report folder's metadata names the report: without it the folder is no report, and no launch
// processes or sends it. So it is moved last and removed first, and a move or removal cut short
// leaves one whole report, or a remainder that is none.
void putMetadata(std::vector<plat::paths::FolderEntry>& entries, bool first) {
    std::stable_partition(entries.begin(), entries.end(), [first](const plat::paths::FolderEntry& entry) {
        return (entry.name == CRWReportMetadataFile) == first;
    });
}

// Removes what is the user's own at `path`: a file or link, or a folder of theirs with everything
// of theirs in it. What belongs to another user stays as it was, and so does each folder that
// holds it. Answers the first failure, once every removal that could be made was made.
std::optional<plat::paths::FileProblem> removeOwnBelow(const std::string& path, int depth) {
    plat::paths::FileProblem problem;
    const std::optional<struct stat> info = plat::paths::entryStatus(path, &problem);
    if (!info) return problem.error == ENOENT ? std::nullopt : std::optional(problem);
    if (!S_ISDIR(info->st_mode) || info->st_uid != ::geteuid()) return plat::paths::removeOwn(path);
    std::optional<std::vector<plat::paths::FolderEntry>> entries;
    if (depth < plat::folders::kMostDepth) entries = plat::paths::folderEntries(path, &problem);
    // A folder that cannot be gone through one entry at a time (one that others may still write is
    // not entered by path) is removed whole, up to the first entry that is not the user's.
    if (!entries) return plat::paths::removeOwn(path, true);
    putMetadata(*entries, true);
    std::optional<plat::paths::FileProblem> first;
    for (const plat::paths::FolderEntry& entry : *entries) {
        std::optional<plat::paths::FileProblem> failed =
            removeOwnBelow(CRWPathByAppending(path, entry.name), depth + 1);
        if (failed && !first) first = std::move(failed);
    }
    std::optional<plat::paths::FileProblem> failed = plat::paths::removeOwn(path);
    return first ? first : failed;
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
    return !path.empty() && plat::paths::entryStatus(path).has_value();
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
    std::optional<plat::paths::FileProblem> failure;
    if (from.empty() || to.empty())
        failure = plat::paths::FileProblem{EINVAL, {}, false};
    else
        failure = plat::paths::renameOwn(from, to);
    if (!failure) return true;
    if (error)
        *error = failure->refused
                     ? plat::AtomicFile::posixError(*failure)
                     : plat::AtomicFile::posixError(failure->error, "move to " + to, from);
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
    plat::paths::FileProblem unreached;
    if (!plat::paths::entryStatus(path, &unreached)) {
        CRWErrorLog("Failed to remove file %@: %@", path,
                    unreached.refused ? unreached.text
                                      : describe(std::make_error_code(std::errc::no_such_file_or_directory), path));
        return false;
    }
    // Whatever is not the user's own is left where it is, and so is what holds it; everything else
    // goes, so that a sent or deleted report is not found again beside it.
    const std::optional<plat::paths::FileProblem> failure = removeOwnBelow(path, 0);
    if (!failure) return true;
    CRWErrorLog("Failed to remove file %@: %@", path, describe(*failure, path));
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
    const std::string destination = CRWPathByAppending(directory, CRWLastPathComponent(path));
    plat::Error error;
    const uid_t me = ::geteuid();
    std::optional<std::vector<plat::paths::FolderEntry>> entries;
    const std::optional<struct stat> info = plat::paths::entryStatus(path);
    if (info && S_ISDIR(info->st_mode) && info->st_uid == me) entries = plat::paths::folderEntries(path);
    const bool othersInside =
        entries && std::any_of(entries->begin(), entries->end(),
                               [me](const auto& entry) { return entry.info.st_uid != me; });
    if (!othersInside) {
        if (moveItemAtPathToPath(path, destination, &error)) return true;
        CRWErrorLog("Failed to move file: %@", error.localizedDescription());
        return false;
    }
    // A folder of the user's holding another user's entries: the user's own entries go into a new
    // private folder of the same name, the others stay where they were, with the folder.
    if (!createDirectoryAtPath(destination)) return false;
    putMetadata(*entries, false);
    for (const plat::paths::FolderEntry& entry : *entries) {
        const std::string from = CRWPathByAppending(path, entry.name);
        if (entry.info.st_uid != me) {
            CRWErrorLog("%@; leaving it aside", plat::paths::refusalOf(from).value_or(from));
            continue;
        }
        if (!moveItemAtPathToPath(from, CRWPathByAppending(destination, entry.name), &error)) {
            CRWErrorLog("Failed to move file: %@", error.localizedDescription());
            return false;
        }
    }
    return true;
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
    plat::paths::FileProblem problem;
    const std::optional<std::vector<std::string>> names = plat::paths::folderNames(directory, &problem);
    if (!names) {
        if (problem.refused) CRWErrorLog("%@; leaving it aside", problem.text);
        return paths;
    }
    for (const std::string& name : *names)
        if (!isHidden(name)) paths.push_back(CRWPathByAppending(directory, name));
    return paths;
}

std::optional<uint64_t> CRWFileManager::fileSizeAtPath(const std::string& path) const {
    plat::paths::FileProblem problem;
    const std::optional<struct stat> info = plat::paths::entryStatus(path, &problem);
    std::optional<std::string> failure;
    if (!info)
        failure = describe(problem, path);
    else if (S_ISDIR(info->st_mode))
        failure = describe(std::make_error_code(std::errc::is_a_directory), path);
    else if (!(failure = plat::paths::refusalOf(path)))
        return static_cast<uint64_t>(info->st_size);
    CRWErrorLog("Unable to read file size: %@", *failure);
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
