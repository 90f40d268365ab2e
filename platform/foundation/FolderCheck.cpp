#include "platform/foundation/FolderCheck.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace plat::folders {
namespace {

// Velmora's own folders nest far less deep than this; a deeper one is refused, not gone through.
constexpr int kMostDepth = 32;

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

std::string lastError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Where the open directory `fd` is, for messages.
std::string pathOf(int fd) {
    std::error_code ec;
    const fs::path where = fs::read_symlink("/proc/self/fd/" + std::to_string(fd), ec);
    return ec ? std::string("a folder above it") : where.string();
}

// Whether this process runs in a user namespace that maps only some ids (a rootless container, a
// sandboxed desktop application, `unshare -U`). Read on each call: a process may enter one.
bool inPartialUserNamespace() {
    std::ifstream map("/proc/self/uid_map");
    unsigned long inside = 0, outside = 0, count = 0;
    if (!(map >> inside >> outside >> count)) return false;
    return !(inside == 0 && outside == 0 && count == 4294967295UL);
}

uid_t overflowUid() {
    std::ifstream in("/proc/sys/kernel/overflowuid");
    unsigned long uid = 65534;
    in >> uid;
    return static_cast<uid_t>(uid);
}

// Whether the owner of a folder above ours cannot be someone who would move ours away: this user
// or root. In a user namespace that maps only some ids, whatever belongs to an unmapped owner (root
// outside, among them) shows as the overflow uid, which no process in here can act as.
bool trustedAbove(uid_t owner) {
    if (owner == ::geteuid() || owner == 0) return true;
    return owner == overflowUid() && inPartialUserNamespace();
}

// The group's entry, in `buffer`; null when there is none.
group* groupEntry(gid_t gid, group& entry, std::vector<char>& buffer) {
    buffer.resize(1 << 16);
    group* found = nullptr;
    ::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found);
    return found;
}

std::string groupName(gid_t gid) {
    group entry{};
    std::vector<char> buffer;
    const group* found = groupEntry(gid, entry, buffer);
    return found ? std::string(found->gr_name) + " (gid " + std::to_string(gid) + ")"
                 : "gid " + std::to_string(gid);
}

// Whether the group `gid` lets nobody but this user write: it is the user's primary group and the
// group file names no other member (the private group that many systems make for each user, with
// a umask that leaves group write on).
bool ownGroup(gid_t gid) {
    passwd user{};
    std::vector<char> userBuffer(1 << 16);
    passwd* me = nullptr;
    ::getpwuid_r(::geteuid(), &user, userBuffer.data(), userBuffer.size(), &me);
    if (gid != (me ? me->pw_gid : ::getegid())) return false;
    group entry{};
    std::vector<char> buffer;
    const group* found = groupEntry(gid, entry, buffer);
    if (found == nullptr) return false;
    for (char** member = found->gr_mem; *member != nullptr; ++member)
        if (me == nullptr || std::strcmp(*member, me->pw_name) != 0) return false;
    return true;
}

// Who else may add, move or remove entries of the folder `info` describes; none when nobody can.
std::optional<std::string> otherWriters(const struct stat& info) {
    // Sticky: others may add their own entries, never move or remove ours.
    if (info.st_mode & S_ISVTX) return std::nullopt;
    if (info.st_mode & S_IWOTH) return std::string("others may write");
    if ((info.st_mode & S_IWGRP) && !ownGroup(info.st_gid))
        return "members of the group " + groupName(info.st_gid) + " may write";
    return std::nullopt;
}

// Why another user could change the entries of `info`, a folder above ours: it is theirs, or they
// may write it. None when they cannot.
std::optional<std::string> unsafeAboveOurs(const struct stat& info) {
    if (!trustedAbove(info.st_uid))
        return "belongs to another user (uid " + std::to_string(info.st_uid) + ")";
    return otherWriters(info);
}

// Why another user could point the path `folder` somewhere else: a link on the way that is theirs,
// or that lies in a folder they can change. The parts that are not there yet are made by us later,
// inside folders that passed the check.
std::optional<std::string> unsafeLinkOnTheWay(const fs::path& folder, std::string_view what) {
    fs::path prefix;
    for (const fs::path& part : folder) {
        prefix /= part;
        struct stat link {};
        if (::lstat(prefix.c_str(), &link) != 0) return std::nullopt;
        if (!S_ISLNK(link.st_mode)) continue;
        struct stat in {};
        std::optional<std::string> which;
        if (!trustedAbove(link.st_uid))
            which = "which belongs to another user (uid " + std::to_string(link.st_uid) + ")";
        else if (::stat(prefix.parent_path().c_str(), &in) != 0)
            return lastError("checking the folder of the link " + prefix.string());
        else if (auto unsafe = unsafeAboveOurs(in))
            which = "which lies in " + prefix.parent_path().string() + ", which " + *unsafe;
        if (which)
            return std::string(what) + " " + folder.string() + " is reached through the link " +
                   prefix.string() + ", " + *which +
                   "; Velmora keeps its data only in folders of its own user";
    }
    return std::nullopt;
}

// Why another user could change what the folder open as `fd` is: a folder above it (and, with
// `fromItself`, the folder `fd` itself) that belongs to another user, or that others may write.
// Walks up through the real directories (past links and mounts), not the path's text.
std::optional<std::string> unsafeAbove(int fd, const fs::path& folder, std::string_view what,
                                       bool fromItself) {
    Descriptor current(::dup(fd));
    struct stat here {};
    if (current.get() < 0 || ::fstat(current.get(), &here) != 0)
        return lastError("checking the folders above " + folder.string());
    for (bool checkHere = fromItself;; checkHere = true) {
        if (checkHere) {
            if (auto which = unsafeAboveOurs(here))
                return std::string(what) + " " + folder.string() + " lies in " + pathOf(current.get()) +
                       ", which " + *which + "; Velmora keeps its data only in folders of its own user";
        }
        Descriptor parent(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat above {};
        if (parent.get() < 0 || ::fstat(parent.get(), &above) != 0)
            return lastError("checking the folders above " + folder.string());
        if (above.st_dev == here.st_dev && above.st_ino == here.st_ino) return std::nullopt; // the root
        current.reset(parent.release());
        here = above;
    }
}

// Goes through everything in the folder open as `dirFd` (at `dir`), never following a link, and
// refuses the first entry of another user. With `makePrivate`, takes the group and other bits off
// each folder before going into it, and off each other entry, through descriptors.
std::optional<std::string> walk(int dirFd, const fs::path& dir, bool makePrivate, int depth) {
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* list = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (list == nullptr) {
        if (listFd >= 0) ::close(listFd);
        return lastError("looking into " + dir.string());
    }
    struct Closer {
        DIR* list;
        ~Closer() { ::closedir(list); }
    } closer{list};
    const uid_t me = ::geteuid();
    while (const dirent* entry = ::readdir(list)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        const fs::path path = dir / name;
        struct stat info {};
        if (::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) continue; // gone meanwhile: the temporary file of a finished write
            return lastError("checking " + path.string());
        }
        if (info.st_uid != me) return ownedByAnother(path, info.st_uid);
        if (S_ISDIR(info.st_mode)) {
            if (depth >= kMostDepth)
                return path.string() + " lies too deep in " + dir.string() + " to be checked";
            Descriptor sub(::openat(dirFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            struct stat opened {};
            if (sub.get() < 0 || ::fstat(sub.get(), &opened) != 0)
                return lastError("looking into " + path.string());
            if (opened.st_dev != info.st_dev || opened.st_ino != info.st_ino || opened.st_uid != me)
                return path.string() + " changed while it was being checked";
            if (makePrivate && (opened.st_mode & 077)) ::fchmod(sub.get(), opened.st_mode & 07700);
            if (auto problem = walk(sub.get(), path, makePrivate, depth + 1)) return problem;
        } else if (makePrivate && !S_ISLNK(info.st_mode) && (info.st_mode & 077)) {
            // Only this user can change the folder's entries: it is ours and no longer open to others.
            ::fchmodat(dirFd, entry->d_name, info.st_mode & 07700, AT_SYMLINK_NOFOLLOW);
        }
    }
    return std::nullopt;
}

// The checks of `check` and `prepare`; with `change`, makes what is missing and, for a private
// folder, takes the group and other bits off. The folder stays open in the result.
Checked examine(const fs::path& given, std::string_view what, Use use, bool change) {
    Checked result;
    const fs::path folder = fs::absolute(given).lexically_normal();
    if (auto problem = unsafeLinkOnTheWay(folder, what)) {
        result.error = *problem;
        return result;
    }
    // The folder, or the nearest folder above it that is there.
    std::vector<std::string> missing;
    fs::path existing = folder;
    Descriptor held(::open(existing.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    while (held.get() < 0 && errno == ENOENT && existing.has_relative_path()) {
        if (!existing.filename().empty()) missing.insert(missing.begin(), existing.filename());
        existing = existing.parent_path();
        held.reset(::open(existing.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    if (held.get() < 0) {
        result.error = lastError("opening " + std::string(what) + " " + folder.string());
        return result;
    }
    if (!missing.empty()) {
        if (auto problem = unsafeAbove(held.get(), folder, what, true)) {
            result.error = *problem;
            return result;
        }
        if (!change) return result;
        for (const std::string& name : missing) {
            const bool made = ::mkdirat(held.get(), name.c_str(), 0700) == 0;
            if (!made && errno != EEXIST) {
                result.error = lastError("making " + std::string(what) + " " + folder.string());
                return result;
            }
            held.reset(::openat(held.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (held.get() < 0) {
                result.error = lastError("opening " + std::string(what) + " " + folder.string());
                return result;
            }
            // The umask may have taken more off than that; a folder made elsewhere meanwhile is
            // checked below, not changed.
            if (made) ::fchmod(held.get(), 0700);
        }
    }

    struct stat info {};
    if (::fstat(held.get(), &info) != 0) {
        result.error = lastError("checking " + std::string(what) + " " + folder.string());
        return result;
    }
    if (info.st_uid != ::geteuid()) {
        result.error = ownedByAnother(folder, info.st_uid);
        return result;
    }
    if (auto writers = otherWriters(info); writers && use == Use::Shared) {
        result.error = std::string(what) + " " + folder.string() + " is a folder that " + *writers +
                       "; Velmora keeps its files only in folders of its own user";
        return result;
    }
    if (auto problem = unsafeAbove(held.get(), folder, what, false)) {
        result.error = *problem;
        return result;
    }
    Descriptor opened(::openat(held.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (opened.get() < 0) {
        result.error = lastError("looking into " + std::string(what) + " " + folder.string());
        return result;
    }
    const bool makePrivate = change && use == Use::Private;
    // Closed to others before anything in it is looked at, so nothing new of theirs appears inside.
    if (makePrivate && (info.st_mode & 077)) ::fchmod(opened.get(), info.st_mode & 07700);
    if (auto problem = walk(opened.get(), folder, makePrivate, 0)) {
        result.error = *problem;
        return result;
    }
    result.fd = opened.release();
    return result;
}

} // namespace

std::string ownedByAnother(const fs::path& path, uid_t owner) {
    return path.string() + " belongs to another user (uid " + std::to_string(owner) + ", this is uid " +
           std::to_string(::geteuid()) + "); Velmora keeps its data only in a folder of its own user";
}

std::optional<std::string> check(const fs::path& folder, std::string_view what, Use use) {
    Checked result = examine(folder, what, use, false);
    if (result.fd >= 0) ::close(result.fd);
    if (result.error.empty()) return std::nullopt;
    return result.error;
}

Checked prepare(const fs::path& folder, std::string_view what, Use use) {
    return examine(folder, what, use, true);
}

} // namespace plat::folders
