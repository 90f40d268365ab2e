// The folder tree of the crash reporter under the caches folder, and the few file operations the
// rest of the crash reporter uses on it. Report folders move active -> processing -> prepared and
// are removed once the transport has stored their event; "pending" is a path only.
//
// <caches>/com.crashwatch.data/<namespace>/            rootPath ("previously-crashed" marker here)
//     v5/settings/{settings.json,cache-key.json}
//     v5/reports/{active,pending,processing,prepared}/<execution id>/
//     v5/reports/launchmarker
//
// No operation throws: failures are logged with the platform error and answered as false or none.
// Holds no lock; safe from any thread. Folders are made private (0700), as everything under the
// data root is.
#pragma once

#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class CRWFileManager {
public:
    // The layout for the main bundle's identifier under the caches folder of this moment
    // (plat::paths::cachesDir, so $VELMORA_HOME decides in tests).
    CRWFileManager();

    // The platform file manager's operations.
    bool fileExistsAtPath(const std::string& path) const;
    // Creates or replaces the file (atomically) with `contents`, empty when none; false on failure.
    bool createFileAtPath(const std::string& path, const std::optional<plat::Data>& contents) const;
    // Renames `from` to `to` (the platform's move to a path); false with `error` set on failure.
    bool moveItemAtPathToPath(const std::string& from, const std::string& to,
                              plat::Error* error = nullptr) const;
    // The file's bytes; none when it cannot be read.
    std::optional<plat::Data> dataWithContentsOfFile(const std::string& path) const;

    // Creates the folder and its missing parents; logs "Unable to create directory %@" on failure.
    bool createDirectoryAtPath(const std::string& path) const;
    // Removes the file or folder (with everything of the user's inside, a report's metadata first);
    // another user's entry stays as it was, and so does the folder that holds it. An empty path or
    // a failure (such an entry included) logs "Failed to remove file %@: %@" and answers false.
    bool removeItemAtPath(const std::string& path) const;
    // Removes every visible entry, attempting all; true only when every removal succeeded.
    bool removeContentsOfDirectoryAtPath(const std::string& path) const;
    // Moves the item into `directory` under its own name; logs and answers false on failure. Of a
    // folder that holds another user's entries, only the user's own entries move (into a new
    // folder of that name, a report's metadata last); the others stay, in the folder they were in.
    bool moveItemAtPath(const std::string& path, const std::string& directory) const;
    // Calls `block` with the full path and extension (without the dot) of each entry whose name does
    // not begin with "."; an unreadable folder gives no calls.
    void enumerateFilesInDirectory(
        const std::string& directory,
        const std::function<void(const std::string& path, const std::string& extension)>& block) const;
    // The full paths of the visible entries, in listing order.
    std::vector<std::string> contentsOfDirectory(const std::string& directory) const;
    std::vector<std::string> activePathContents() const { return contentsOfDirectory(activePath()); }
    std::vector<std::string> processingPathContents() const { return contentsOfDirectory(processingPath()); }
    std::vector<std::string> preparedPathContents() const { return contentsOfDirectory(preparedPath()); }
    // The size in bytes; none after logging "Unable to read file size: %@".
    std::optional<uint64_t> fileSizeAtPath(const std::string& path) const;

    // Creates active, processing and prepared, in this order, stopping at the first failure.
    bool createReportDirectories() const;
    // Creates activePath/<identifier> and answers it; none when it cannot be made.
    std::optional<std::string> setupNewPathForExecutionIdentifier(const std::string& identifier) const;
    // Whether the previous run left the crashed marker. Read once per process (the first answer
    // stands even when the marker goes away afterwards).
    bool didCrashOnPreviousExecution();
    // The platform's diagnostics folder holds at least one visible entry.
    bool metricKitDiagnosticFileExists() const;
    // An empty "metric_kit_fatal.crwrecord" in the report folder, which makes it count as a crash.
    void createEmptyMetricKitFile(const std::string& reportPath) const;

    // The layout.
    const std::string& cachesPath() const { return cachesPath_; }
    const std::string& rootPath() const { return rootPath_; }
    bool crashFileMarkerExists() const { return crashFileMarkerExists_; }
    std::string pathNamespace() const;
    std::string versionedPath() const;
    std::string settingsDirectoryPath() const;
    std::string settingsFilePath() const;
    std::string settingsCacheKeyPath() const;
    std::string structurePath() const;
    std::string activePath() const;
    std::string pendingPath() const;
    std::string processingPath() const;
    std::string preparedPath() const;
    std::string diagnosticsPath() const;

    // Test hook: the next previous-crash check reads the marker again.
    static void resetPreviousCrashCheckForTesting();

private:
    std::string rootPath_;
    std::string cachesPath_;
    bool crashFileMarkerExists_ = false;
};

// `parent` with one path component appended.
std::string CRWPathByAppending(const std::string& parent, const std::string& component);
// The last path component ("" for none) and the extension of the last component (after its last
// ".", "" when there is none or the name begins with it).
std::string CRWLastPathComponent(const std::string& path);
std::string CRWPathExtension(const std::string& path);
