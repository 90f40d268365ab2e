#include "platform/foundation/FileManager.h"

#include "platform/foundation/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace plat {

namespace {

Error fileError(int errnoValue, bool writing, const std::string& what, const std::filesystem::path& path) {
    int64_t code = 0;
    if (errnoValue == ENOENT)
        code = writing ? FileManager::NoSuchFileError : FileManager::ReadNoSuchFileError;
    else if (errnoValue == EACCES || errnoValue == EPERM)
        code = writing ? FileManager::WriteNoPermissionError : FileManager::ReadNoPermissionError;
    else
        code = writing ? FileManager::WriteUnknownError : FileManager::ReadUnknownError;
    Error error = Error::withMessage(FileManager::kErrorDomain, code,
                                     what + " \"" + path.string() + "\": " + std::strerror(errnoValue));
    Error underlying = AtomicFile::posixError(errnoValue, what, path);
    error.userInfo[kUnderlyingErrorKey] = Object(underlying.localizedDescription());
    error.userInfo["NSFilePath"] = Object(path.string());
    return error;
}

bool failed(Error* error, int errnoValue, bool writing, const std::string& what,
            const std::filesystem::path& path) {
    if (error) *error = fileError(errnoValue, writing, what, path);
    return false;
}

} // namespace

std::optional<Date> FileManager::creationDate(const std::filesystem::path& path, Error* error) {
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &info) != 0) {
        failed(error, errno, false, "Cannot read the attributes of", path);
        return std::nullopt;
    }
    const statx_timestamp& stamp = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
    return Date{static_cast<double>(stamp.tv_sec) + stamp.tv_nsec / 1e9};
}

std::optional<std::vector<FileManager::Entry>>
FileManager::contentsOfDirectory(const std::filesystem::path& folder, Error* error) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) {
        failed(error, ec.value(), false, "Cannot list the folder", folder);
        return std::nullopt;
    }
    std::vector<Entry> entries;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        // An entry removed while the folder is listed is simply left out.
        if (std::optional<Date> created = creationDate(it->path()))
            entries.push_back(Entry{it->path(), *created});
    }
    if (ec) {
        failed(error, ec.value(), false, "Cannot list the folder", folder);
        return std::nullopt;
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.path < b.path; });
    return entries;
}

bool FileManager::createDirectory(const std::filesystem::path& folder, bool withIntermediateDirectories,
                                  Error* error) {
    if (!withIntermediateDirectories) {
        if (::mkdir(folder.c_str(), 0700) != 0 && !(errno == EEXIST && std::filesystem::is_directory(folder)))
            return failed(error, errno, true, "Cannot create the folder", folder);
        return true;
    }
    if (std::optional<Error> problem =
            AtomicFile::createDirectories(folder, std::filesystem::perms::owner_all)) {
        int64_t errnoValue = problem->code;
        return failed(error, static_cast<int>(errnoValue), true, "Cannot create the folder", folder);
    }
    return true;
}

bool FileManager::removeItem(const std::filesystem::path& path, Error* error) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return failed(error, errno, true, "Cannot remove", path);
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    if (ec) return failed(error, ec.value(), true, "Cannot remove", path);
    return true;
}

bool FileManager::checkResourceIsReachable(const std::filesystem::path& path, Error* error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return failed(error, errno, false, "Cannot reach", path);
    return true;
}

bool FileManager::setExcludedFromBackup(const std::filesystem::path& path, bool excluded, Error* error) {
    int rc = excluded ? ::setxattr(path.c_str(), kExcludedFromBackupAttribute, "1", 1, 0)
                      : ::removexattr(path.c_str(), kExcludedFromBackupAttribute);
    if (rc != 0 && !(!excluded && errno == ENODATA))
        return failed(error, errno, true, "Cannot mark the backup exclusion of", path);
    return true;
}

std::optional<bool> FileManager::isExcludedFromBackup(const std::filesystem::path& path) {
    char value = 0;
    ssize_t size = ::getxattr(path.c_str(), kExcludedFromBackupAttribute, &value, 1);
    if (size >= 0) return true;
    if (errno == ENODATA) return false;
    return std::nullopt;
}

} // namespace plat
