#include "platform/foundation/Beneath.h"

#include "platform/foundation/FolderCheck.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace plat::beneath {

namespace {

std::string fileRefused(const std::string& problem) {
    return problem + "; Velmora uses only plain files of its own user that no one else may write";
}

// Who besides this user may write the entry `info` describes: judged on `fd` when it holds the
// entry, otherwise on the entry `byName` (or else `path`) names, once it is known to be that same entry.
// Where its ACL cannot be read through such a descriptor, it is opened anew by that name.
std::optional<std::string> writers(const fs::path& path, const struct stat& info, int fd,
                                   folders::Named byName) {
    if (!(info.st_mode & S_IWGRP)) return folders::writersBesidesUs(info, fd, byName); // the mode alone tells
    FileDescriptor folder, opened;
    const std::string name = path.filename().string();
    if (byName.folder < 0 && !S_ISDIR(info.st_mode) && !name.empty() && name != "." && name != "..") {
        folder.reset(::open(path.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        byName = {folder.get(), name};
    }
    if (fd < 0) {
        opened.reset(byName.folder >= 0 ? ::openat(byName.folder, std::string(byName.name).c_str(),
                                                   O_PATH | O_NOFOLLOW | O_CLOEXEC)
                                        : ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat again {};
        if (!opened || ::fstat(opened.get(), &again) != 0 || again.st_dev != info.st_dev || again.st_ino != info.st_ino)
            return std::string("its access ACL, which could not be read (the path no longer leads to it), may let "
                               "others write");
        fd = opened.get();
    }
    return folders::writersBesidesUs(info, fd, byName);
}

} // namespace

std::optional<std::string> fileRefusal(const fs::path& path, const struct stat& info, int fd,
                                       folders::Named byName) {
    if (S_ISLNK(info.st_mode)) return fileRefused(path.string() + " is a link");
    if (info.st_uid != ::geteuid())
        return fileRefused(path.string() + " belongs to another user (uid " + std::to_string(info.st_uid) +
                           ", this is uid " + std::to_string(::geteuid()) + ")");
    if (!S_ISREG(info.st_mode)) return fileRefused(path.string() + " is not a plain file");
    if (auto others = writers(path, info, fd, byName))
        return fileRefused(path.string() + " is a file that " + *others);
    return std::nullopt;
}

std::optional<std::string> folderRefusal(const fs::path& path, const struct stat& info, int fd,
                                         folders::Named byName) {
    if (S_ISLNK(info.st_mode)) return folders::refusal(path.string() + " is a link");
    if (info.st_uid != ::geteuid()) return folders::ownedByAnother(path.string(), info.st_uid);
    if (!S_ISDIR(info.st_mode)) return folders::refusal(path.string() + " is not a folder");
    if (auto others = writers(path, info, fd, byName))
        return folders::refusal(path.string() + " is a folder that " + *others);
    return std::nullopt;
}

namespace {

Reached failed(Reached::State state, std::string problem, int error = 0) {
    Reached r;
    r.state = state;
    r.problem = std::move(problem);
    r.error = error;
    return r;
}

// Judges the folder open as `fd` at `path`; none when it may be used.
std::optional<Reached> judged(int fd, const fs::path& path) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return failed(Reached::State::Failed, folders::lastError("checking " + path.string()), errno);
    const bool file = !S_ISDIR(info.st_mode) && !S_ISLNK(info.st_mode);
    if (auto why = folderRefusal(path, info, fd)) return failed(Reached::State::Refused, *why, file ? ENOTDIR : EPERM);
    return std::nullopt;
}

// Makes the folder `name` in `parent` 0700 and opens it; a folder made meanwhile by this user is
// taken as it is (and judged by the caller).
FileDescriptor made(int parent, const std::string& name) {
    if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) return FileDescriptor();
    FileDescriptor opened(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    // The umask may have taken more off than that.
    if (opened && ::fstat(opened.get(), &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & 07777) != 0700)
        ::fchmod(opened.get(), 0700);
    return opened;
}

} // namespace

Reached walk(FileDescriptor from, const fs::path& fromPath, const std::vector<std::string>& names, bool make) {
    Reached here;
    here.fd = std::move(from);
    if (auto refused = judged(here.fd.get(), fromPath)) return std::move(*refused);
    fs::path path = fromPath;
    for (const std::string& name : names) {
        path /= name;
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
            return failed(Reached::State::Failed, path.string() + " is not a name in a folder", EINVAL);
        FileDescriptor next(::openat(here.fd.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!next && errno == ENOENT) {
            if (!make) return failed(Reached::State::Absent, folders::lastError("opening " + path.string()), ENOENT);
            next = made(here.fd.get(), name);
        }
        if (!next) return failed(Reached::State::Failed, folders::lastError("opening " + path.string()), errno);
        if (auto refused = judged(next.get(), path)) return std::move(*refused);
        here.fd = std::move(next);
    }
    here.state = Reached::State::Open;
    return here;
}

FileDescriptor listable(int fd) {
    return FileDescriptor(::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

std::optional<std::vector<std::string>> names(int fd, std::vector<unsigned char>* types) {
    FileDescriptor listFd = listable(fd);
    DIR* list = listFd ? ::fdopendir(listFd.get()) : nullptr;
    if (list == nullptr) return std::nullopt;
    listFd.release(); // the list owns it now
    std::vector<std::string> found;
    while (const dirent* entry = ::readdir(list)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        found.emplace_back(name);
        if (types) types->push_back(entry->d_type);
    }
    ::closedir(list);
    return found;
}

std::optional<std::string> refusedFile(int fd, const fs::path& folder, const std::string& name) {
    const FileDescriptor entry(::openat(fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!entry || ::fstat(entry.get(), &info) != 0) return std::nullopt; // not there, or gone meanwhile
    return fileRefusal(folder / name, info, entry.get(), {fd, name});
}

std::optional<std::string> firstRefusedFile(int fd, const fs::path& folder, std::string_view extension) {
    std::optional<std::vector<std::string>> all = names(fd);
    if (!all) return std::nullopt;
    std::sort(all->begin(), all->end());
    for (const std::string& name : *all) {
        if (!extension.empty() && fs::path(name).extension() != extension) continue;
        if (auto problem = refusedFile(fd, folder, name)) return problem;
    }
    return std::nullopt;
}

} // namespace plat::beneath
