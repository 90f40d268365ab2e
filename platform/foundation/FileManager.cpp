#include "platform/foundation/FileManager.h"

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Beneath.h"
#include "platform/foundation/OwnFiles.h"

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

// When the entry `name` of the folder open as `folder` was made: its birth time where the file
// system keeps one, else the last change of its contents. None with errno set when it is not there.
std::optional<Date> createdIn(int folder, const std::string& name) {
    struct statx info {};
    if (::statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &info) != 0)
        return std::nullopt;
    const statx_timestamp& stamp = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
    return Date{static_cast<double>(stamp.tv_sec) + stamp.tv_nsec / 1e9};
}

} // namespace

std::optional<Date> FileManager::creationDate(const std::filesystem::path& path, Error* error) {
    const paths::OwnFolder folder = paths::OwnFolder::open(path.parent_path());
    std::optional<Date> created;
    if (!folder.isOpen()) errno = folder.problem().error;
    else created = createdIn(folder.fd(), path.filename().string());
    if (!created) failed(error, errno, false, "Cannot read the attributes of", path);
    return created;
}

std::optional<std::vector<FileManager::Entry>>
FileManager::contentsOfDirectory(const std::filesystem::path& folder, Error* error) {
    const paths::OwnFolder open = paths::OwnFolder::open(folder);
    std::optional<std::vector<std::string>> names =
        open.isOpen() ? beneath::names(open.fd()) : std::optional<std::vector<std::string>>();
    if (!names) {
        failed(error, open.isOpen() ? errno : open.problem().error, false, "Cannot list the folder", folder);
        return std::nullopt;
    }
    std::sort(names->begin(), names->end());
    std::vector<Entry> entries;
    for (const std::string& name : *names) {
        // An entry removed while the folder is listed is simply left out.
        if (std::optional<Date> created = createdIn(open.fd(), name))
            entries.push_back(Entry{folder / name, *created});
    }
    return entries;
}

bool FileManager::createDirectory(const std::filesystem::path& folder, bool withIntermediateDirectories,
                                  Error* error) {
    if (!withIntermediateDirectories && !paths::entryStatus(folder.parent_path()))
        return failed(error, ENOENT, true, "Cannot create the folder", folder);
    const paths::OwnFolder made = paths::OwnFolder::open(folder, true);
    if (!made.isOpen()) return failed(error, made.problem().error, true, "Cannot create the folder", folder);
    return true;
}

bool FileManager::removeItem(const std::filesystem::path& path, Error* error) {
    if (std::optional<paths::FileProblem> problem = paths::removeOwn(path, true))
        return failed(error, problem->error, true, "Cannot remove", path);
    return true;
}

bool FileManager::checkResourceIsReachable(const std::filesystem::path& path, Error* error) {
    paths::FileProblem problem;
    if (!paths::entryStatus(path, &problem)) return failed(error, problem.error, false, "Cannot reach", path);
    return true;
}

namespace {

// The item at `path`, open for its extended attributes: a folder, or a plain file of the user's.
FileDescriptor openForAttributes(const std::filesystem::path& path) {
    const std::optional<struct stat> info = paths::entryStatus(path);
    if (!info) return FileDescriptor();
    if (!S_ISDIR(info->st_mode)) return paths::openOwnFile(path, O_RDONLY);
    const paths::OwnFolder folder = paths::OwnFolder::open(path);
    if (!folder.isOpen()) {
        errno = folder.problem().error;
        return FileDescriptor();
    }
    return FileDescriptor(::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

} // namespace

bool FileManager::setExcludedFromBackup(const std::filesystem::path& path, bool excluded, Error* error) {
    const FileDescriptor fd = openForAttributes(path);
    if (!fd) return failed(error, errno ? errno : ENOENT, true, "Cannot mark the backup exclusion of", path);
    int rc = excluded ? ::fsetxattr(fd.get(), kExcludedFromBackupAttribute, "1", 1, 0)
                      : ::fremovexattr(fd.get(), kExcludedFromBackupAttribute);
    if (rc != 0 && !(!excluded && errno == ENODATA))
        return failed(error, errno, true, "Cannot mark the backup exclusion of", path);
    return true;
}

std::optional<bool> FileManager::isExcludedFromBackup(const std::filesystem::path& path) {
    const FileDescriptor fd = openForAttributes(path);
    if (!fd) return std::nullopt;
    char value = 0;
    ssize_t size = ::fgetxattr(fd.get(), kExcludedFromBackupAttribute, &value, 1);
    if (size >= 0) return true;
    if (errno == ENODATA) return false;
    return std::nullopt;
}

} // namespace plat
