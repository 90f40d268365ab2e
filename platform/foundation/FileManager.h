// The file operations of the system's file manager that the libraries use: folder listings with
// creation dates, creating and removing items, the reachability of a path and the
// excluded-from-backup mark (a user extended attribute). Failures come back as errors of the
// Cocoa domain with the platform's codes (4 no such file, 260 no such file to read, 257 no
// permission to read, 256 other read failures, 513 no permission to write, 512 other write
// failures), the errno under the underlying-error key. Thread-safe (no shared state).
#pragma once

#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace plat {

class FileManager {
public:
    static constexpr const char* kErrorDomain = "NSCocoaErrorDomain";
    enum Code : int64_t {
        NoSuchFileError = 4,
        ReadUnknownError = 256,
        ReadNoPermissionError = 257,
        ReadNoSuchFileError = 260,
        WriteUnknownError = 512,
        WriteNoPermissionError = 513,
    };
    // The extended attribute that marks an item as excluded from backups.
    static constexpr const char* kExcludedFromBackupAttribute = "user.velmora.excluded-from-backup";

    struct Entry {
        std::filesystem::path path;
        // The birth time where the file system records one, else the last change of the contents.
        Date creationDate;
    };

    // The folder's direct entries (sub-folders are listed, not entered), in name order.
    static std::optional<std::vector<Entry>> contentsOfDirectory(const std::filesystem::path& folder,
                                                                 Error* error = nullptr);
    static std::optional<Date> creationDate(const std::filesystem::path& path, Error* error = nullptr);
    // Creates the folder (and, when asked, its missing parents) with private permissions; true when
    // it exists as a folder afterwards.
    static bool createDirectory(const std::filesystem::path& folder, bool withIntermediateDirectories,
                                Error* error = nullptr);
    // Removes a file, or a folder with its contents.
    static bool removeItem(const std::filesystem::path& path, Error* error = nullptr);
    // Whether something exists at the path (ReadNoSuchFileError when nothing does).
    static bool checkResourceIsReachable(const std::filesystem::path& path, Error* error = nullptr);
    static bool setExcludedFromBackup(const std::filesystem::path& path, bool excluded,
                                      Error* error = nullptr);
    // Whether the item carries the mark; none when it cannot be read.
    static std::optional<bool> isExcludedFromBackup(const std::filesystem::path& path);
};

} // namespace plat
