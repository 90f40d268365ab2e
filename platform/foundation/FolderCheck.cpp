#include "platform/foundation/FolderCheck.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>
#include <endian.h>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/magic.h>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace plat::folders {
namespace {

// As many links as the system itself follows in one path.
constexpr int kMostLinks = 40;

// What this process can tell of the user namespace it runs in.
enum class Namespace {
    Initial, // the initial one (or a system without user namespaces): every id is what it says
    Partial, // one that maps only some ids, or none yet (a rootless container, a sandboxed desktop
             // application, `unshare -U`): the kernel shows every id it does not map as the overflow uid
    Unknown, // /proc/self/uid_map cannot be read (no /proc mounted): it may be either
};

// The first bytes of a small file of the kernel's (a line of /proc), read through a descriptor
// that a program started meanwhile does not inherit; none when it cannot be read.
std::optional<std::string> kernelLine(const char* path) {
    const FileDescriptor fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (!fd) return std::nullopt;
    char text[256];
    ssize_t got;
    do {
        got = ::read(fd.get(), text, sizeof text - 1);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return std::nullopt;
    return std::string(text, static_cast<size_t>(got));
}

// Whether the system's /proc is mounted at /proc.
bool procMounted() {
    struct statfs proc {};
    return ::statfs("/proc/self", &proc) == 0 && proc.f_type == PROC_SUPER_MAGIC;
}

// Read on each call: a process may enter one.
Namespace userNamespace() {
    const std::optional<std::string> map = kernelLine("/proc/self/uid_map");
    if (!map) {
        // Without user namespaces the kernel has no uid_map, though it has /proc; without /proc
        // (or with something else mounted there) nothing tells.
        const int error = errno;
        return error == ENOENT && procMounted() ? Namespace::Initial : Namespace::Unknown;
    }
    unsigned long inside = 0, outside = 0, count = 0;
    if (std::sscanf(map->c_str(), "%lu %lu %lu", &inside, &outside, &count) != 3) return Namespace::Partial;
    return inside == 0 && outside == 0 && count == 4294967295UL ? Namespace::Initial : Namespace::Partial;
}

uid_t overflowUid() {
    unsigned long uid = 65534;
    if (const std::optional<std::string> line = kernelLine("/proc/sys/kernel/overflowuid"))
        std::sscanf(line->c_str(), "%lu", &uid);
    return static_cast<uid_t>(uid);
}

// Why nothing can be checked at all: this process runs as the overflow uid, which is what the
// kernel shows for its own user when a user namespace does not map it, in a namespace that may do
// so (or one it cannot read). It and every file of an unmapped owner then look the same, whatever
// else the namespace maps. None otherwise.
std::optional<std::string> ownUserUnmapped() {
    const uid_t me = ::geteuid();
    if (me != overflowUid()) return std::nullopt;
    const Namespace in = userNamespace();
    if (in == Namespace::Initial) return std::nullopt;
    const std::string where = in == Namespace::Partial
                                  ? "runs in a user namespace that does not map its own user"
                                  : "cannot read which user namespace it runs in (/proc/self/uid_map), "
                                    "and may run in one that does not map its own user";
    return refusal("this process " + where + ": it is uid " + std::to_string(me) +
                   " here, as every file of an unmapped owner is, so nothing can tell "
                   "whose a file is; nothing was changed");
}

// Whether `owner` may be one this user namespace cannot name: it shows as the overflow uid, which
// the kernel shows for every owner the namespace does not map (root outside among them), even where
// the namespace also maps an id of its own to that number. Where the namespace cannot be read, that
// uid counts as another user's, never as one that could be root's.
bool ownerUnnamed(uid_t owner) {
    return owner == overflowUid() && userNamespace() == Namespace::Partial;
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

// What the account list says of this user's primary group: read once a process, on first need,
// and every folder judged from that answer. A child made by fork reads it again.
struct AccountList {
    pid_t readBy = 0;
    bool userLooked = false;
    gid_t userGroup = 0; // this user's primary group (the effective group where the list lacks the user)
    std::string userName; // empty where the list lacks the user
    bool read = false;
    bool othersHaveUserGroup = false; // another account listed has it as its primary group
    // Why the list cannot be taken for the whole list; empty when it can.
    std::string incomplete;
};

std::mutex& accountsLock() {
    static std::mutex* const lock = new std::mutex; // also the account database's one shared position
    return *lock;
}

// How much of the account list a caller needs.
enum class Need {
    UserAccount, // this user's own account: its primary group and name
    WholeList,   // that, and the whole list gone through to its end
};

// The list, for this process, held by `held`, read as far as `need` asks.
const AccountList& accounts(std::unique_lock<std::mutex>& held, Need need) {
    static AccountList* const list = new AccountList;
    held = std::unique_lock<std::mutex>(accountsLock());
    if (list->readBy != ::getpid()) {
        *list = AccountList();
        list->readBy = ::getpid();
    }
    const uid_t me = ::geteuid();
    if (!list->userLooked) {
        passwd entry{};
        std::vector<char> buffer(1 << 16);
        passwd* found = nullptr;
        ::getpwuid_r(me, &entry, buffer.data(), buffer.size(), &found);
        list->userGroup = found ? found->pw_gid : ::getegid();
        if (found) list->userName = found->pw_name;
        list->userLooked = true;
    }
    if (need == Need::UserAccount || list->read) return *list;
    list->read = true;
    // getpwent_r answers ENOENT at the end of the list and also where a source of it cannot be
    // opened (an account file this user may not read), and a directory service may answer for
    // single accounts yet list none. So the list counts as whole only where it was read to its end
    // and holds this user's own account: one that does not is known to miss some.
    std::vector<char> buffer(1 << 16);
    passwd entry{};
    passwd* found = nullptr;
    bool metUser = false;
    int rc = 0;
    ::setpwent();
    while (!(metUser && list->othersHaveUserGroup)) { // once both are known, the rest tells nothing
        rc = ::getpwent_r(&entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < (1u << 24)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc != 0 || found == nullptr) break;
        if (found->pw_uid == me)
            metUser = true;
        else if (found->pw_gid == list->userGroup)
            list->othersHaveUserGroup = true;
    }
    ::endpwent();
    if (metUser && list->othersHaveUserGroup) return *list;
    if (rc != 0 && rc != ENOENT)
        list->incomplete = "could not be read to its end (" + std::string(std::strerror(rc)) + ")";
    else if (!metUser)
        list->incomplete = "does not hold this user's own account (uid " + std::to_string(me) +
                           ") and so is not the whole list (an account file that cannot be read, or a "
                           "directory service that does not list its accounts)";
    return *list;
}

// Whether members of a group other than this user may write through it.
struct GroupSharing {
    enum class Kind {
        OwnPrivate,  // the user's own private group: the primary group, no other account has it as its
                     // primary group and the group file names no other member (the group that many
                     // systems make for each user, with a umask that leaves group write on)
        Shared,      // a group of others, or the user's that others have too
        MaybeShared, // the user's primary group, but the account list cannot tell whether another
                     // account has it as its primary group: `why` says what the list lacks
    };
    Kind kind = Kind::Shared;
    std::string why;
};

GroupSharing sharingOf(gid_t gid) {
    std::string userName;
    {
        std::unique_lock<std::mutex> held;
        const AccountList& list = accounts(held, Need::UserAccount);
        if (gid != list.userGroup) return {};
        userName = list.userName;
    }
    group entry{};
    std::vector<char> buffer;
    const group* found = groupEntry(gid, entry, buffer);
    if (found == nullptr) return {};
    for (char** member = found->gr_mem; *member != nullptr; ++member)
        if (userName.empty() || userName != *member) return {};
    std::unique_lock<std::mutex> held;
    const AccountList& list = accounts(held, Need::WholeList);
    if (list.othersHaveUserGroup) return {};
    if (!list.incomplete.empty()) return {GroupSharing::Kind::MaybeShared, list.incomplete};
    return {GroupSharing::Kind::OwnPrivate, {}};
}

// "members of the group <group><named> may write", and why where it is the user's primary group;
// none for the user's own private group.
std::optional<std::string> groupWriters(gid_t gid, const std::string& named) {
    const GroupSharing sharing = sharingOf(gid);
    if (sharing.kind == GroupSharing::Kind::OwnPrivate) return std::nullopt;
    std::string writers = "members of the group " + groupName(gid) + named + " may write";
    if (sharing.kind == GroupSharing::Kind::MaybeShared)
        writers +=
            ": it is this user's primary group, but whether another account has it as its primary group "
            "cannot be told, as the account list " +
            sharing.why;
    return writers;
}

std::string userName(uid_t uid) {
    passwd entry{};
    std::vector<char> buffer(1 << 16);
    passwd* found = nullptr;
    ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
    return found ? std::string(found->pw_name) + " (uid " + std::to_string(uid) + ")"
                 : "uid " + std::to_string(uid);
}

// An entry's access ACL as the kernel stores it ("system.posix_acl_access": a 4-byte version, 2,
// then 8-byte entries of tag, permissions and id, little-endian), or why it could not be read.
struct AccessAcl {
    struct Entry {
        uint16_t tag;
        uint16_t perm;
        uint32_t id;
    };
    std::vector<Entry> entries; // none when it has no ACL beyond its mode
    std::string error;
};

constexpr uint16_t kAclUser = 0x02, kAclGroupObj = 0x04, kAclGroup = 0x08, kAclWrite = 0x02;
constexpr const char* kAccessAcl = "system.posix_acl_access";

// Reads the access ACL of what `fd` holds (as `info` describes it), which may be O_PATH: where the
// kernel does not read extended attributes through such a descriptor, through /proc, or from a
// descriptor opened anew: of a folder from itself, of another entry by its name in the folder
// `byName` holds, once it is known to be the entry judged.
AccessAcl accessAcl(int fd, const struct stat& info, const Named& byName) {
    AccessAcl acl;
    char bytes[4 + 8 * 512];
    ssize_t size = ::fgetxattr(fd, kAccessAcl, bytes, sizeof bytes);
    if (size < 0 && errno == EBADF) {
        size = ::getxattr(("/proc/self/fd/" + std::to_string(fd)).c_str(), kAccessAcl, bytes, sizeof bytes);
        if (size < 0 && errno != ENODATA && errno != ENOTSUP) {
            FileDescriptor opened;
            if (S_ISDIR(info.st_mode))
                opened.reset(::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            else if (byName.folder >= 0 && !byName.name.empty())
                opened.reset(::openat(byName.folder, std::string(byName.name).c_str(),
                                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            else
                errno = EBADF;
            struct stat reopened {};
            if (opened && ::fstat(opened.get(), &reopened) == 0 &&
                (reopened.st_dev != info.st_dev || reopened.st_ino != info.st_ino)) {
                acl.error = "its name no longer leads to it";
                return acl;
            }
            if (opened) size = ::fgetxattr(opened.get(), kAccessAcl, bytes, sizeof bytes);
            if (size < 0 && errno != ENODATA && errno != ENOTSUP && !procMounted()) {
                acl.error = std::string(std::strerror(errno)) + ", and /proc, through which it is read otherwise, is not mounted";
                return acl;
            }
        }
    }
    if (size < 0) {
        if (errno != ENODATA && errno != ENOTSUP) acl.error = std::strerror(errno);
        return acl;
    }
    uint32_t version = 0;
    if (size >= 4) std::memcpy(&version, bytes, 4);
    if (size < 4 || (size - 4) % 8 != 0 || le32toh(version) != 2) {
        acl.error = "not in a form this system writes";
        return acl;
    }
    for (ssize_t at = 4; at < size; at += 8) {
        AccessAcl::Entry entry{};
        std::memcpy(&entry.tag, bytes + at, 2);
        std::memcpy(&entry.perm, bytes + at + 2, 2);
        std::memcpy(&entry.id, bytes + at + 4, 4);
        acl.entries.push_back({le16toh(entry.tag), le16toh(entry.perm), le32toh(entry.id)});
    }
    return acl;
}

// Who else may add, move or remove entries of the folder `info` describes, open as `fd`; none when
// nobody can.
std::optional<std::string> otherWriters(const struct stat& info, int fd) {
    // Sticky: others may add their own entries, never move or remove ours.
    if (info.st_mode & S_ISVTX) return std::nullopt;
    return writersBesidesUs(info, fd, {});
}

// Why `entry`, a folder above ours or a link on the way, lying in the folder `parent` (open as
// `parentFd`), may be
// another user's doing; none when it cannot. It must be this user's or root's. Where a user
// namespace cannot name its owner, it counts as root's only when no other user could have put it
// there: its folder lets nobody else write, sticky or not. A link in a sticky folder that others may
// write must also be this user's or that folder owner's, as the kernel itself requires
// (fs.protected_symlinks) before it follows one.
std::optional<std::string> untrustedEntry(const struct stat& entry, const struct stat& parent, int parentFd) {
    if (entry.st_uid == ::geteuid()) return std::nullopt;
    if (entry.st_uid != 0 && !ownerUnnamed(entry.st_uid)) {
        std::string why = "belongs to another user (uid " + std::to_string(entry.st_uid) + ")";
        // Where /proc is not there to tell, that uid may also be root's, shown from a user namespace.
        if (entry.st_uid == overflowUid() && !procMounted())
            why += ", or, should this process run in a user namespace, to one it does not map (root outside "
                   "among them): /proc is not mounted, so which cannot be told";
        return why;
    }
    if (auto writers = writersBesidesUs(parent, parentFd, {}); writers && entry.st_uid != 0)
        return "belongs to a user this user namespace does not map (uid " + std::to_string(entry.st_uid) +
               " here) and lies in a folder that " + *writers;
    const bool openSticky = (parent.st_mode & S_ISVTX) && (parent.st_mode & S_IWOTH);
    if (S_ISLNK(entry.st_mode) && openSticky && entry.st_uid != parent.st_uid)
        return "is root's in a sticky folder that others may write and that is not root's, where the "
               "system itself follows no link of root's";
    return std::nullopt;
}

// Why another user could change the entries of `info`, a folder above ours open as `fd`, lying in
// `parent` (open as `parentFd`): it is theirs, or they may write it. None when they cannot.
std::optional<std::string> unsafeAboveOurs(const struct stat& info, int fd, const struct stat& parent,
                                           int parentFd) {
    if (auto why = untrustedEntry(info, parent, parentFd)) return why;
    return otherWriters(info, fd);
}

// A folder another user could change, and how; `at` is empty when the folders could not be looked
// at, and `why` then says so.
struct Fault {
    fs::path at;
    std::string why;
};

// The first folder from the one open as `fd` (at `real`; with `fromItself`, that folder too) up to
// the root that another user could change. Walks up through the real folders, not a path's text.
std::optional<Fault> unsafeAbove(int fd, fs::path real, bool fromItself) {
    FileDescriptor current(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    struct stat here {};
    if (!current || ::fstat(current.get(), &here) != 0)
        return Fault{{}, lastError("checking the folders above " + real.string())};
    for (bool checkHere = fromItself;; checkHere = true) {
        FileDescriptor parent(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat above {};
        if (!parent || ::fstat(parent.get(), &above) != 0)
            return Fault{{}, lastError("checking the folders above " + real.string())};
        if (checkHere) {
            if (auto why = unsafeAboveOurs(here, current.get(), above, parent.get())) return Fault{real, *why};
        }
        if (above.st_dev == here.st_dev && above.st_ino == here.st_ino) return std::nullopt; // the root
        current = std::move(parent);
        here = above;
        real = real.parent_path();
    }
}

// "<what> <given>", with where it really is when the text says otherwise.
std::string named(std::string_view what, const fs::path& given, const fs::path& real) {
    std::string text = std::string(what) + " " + given.string();
    std::error_code ec;
    if (fs::absolute(given, ec).lexically_normal() != real) text += " (really " + real.string() + ")";
    return text;
}

// Where a path leads: the deepest folder of it that is there, open, at its real path, and the
// names still to be made below it; or why it leads nowhere Velmora may go.
struct Resolved {
    FileDescriptor fd; // O_PATH | O_DIRECTORY
    fs::path real;
    std::vector<std::string> missing;
    std::string error;
};

// Follows `given` from the root one name at a time, never letting the system follow a link: a
// link is taken only when it is this user's or root's and lies in folders no other user can
// change, and is then read and followed by hand; ".." goes up from the real folder.
Resolved resolve(const fs::path& given, std::string_view what) {
    Resolved r;
    std::error_code ec;
    const fs::path start = given.is_absolute() ? given : fs::current_path(ec) / given;
    if (given.empty() || ec) {
        r.error = std::string(what) + " has no usable path: \"" + given.string() + "\"";
        return r;
    }
    std::deque<std::string> todo;
    for (const fs::path& part : start.relative_path())
        todo.push_back(part.string());
    r.fd.reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    r.real = "/";
    if (!r.fd) {
        r.error = lastError("opening /");
        return r;
    }
    int links = 0;
    while (!todo.empty()) {
        const std::string name = std::move(todo.front());
        todo.pop_front();
        if (name.empty() || name == ".") continue;
        if (!r.missing.empty()) {
            // Below a folder that is not there yet: only folders we make ourselves.
            if (name == "..")
                r.missing.pop_back();
            else
                r.missing.push_back(name);
            continue;
        }
        if (name == "..") {
            r.fd.reset(::openat(r.fd.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (!r.fd) {
                r.error = lastError("going up from " + r.real.string());
                return r;
            }
            r.real = r.real.parent_path();
            continue;
        }
        const fs::path here = r.real / name;
        FileDescriptor next(::openat(r.fd.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat info {};
        if (!next && errno == ENOENT) {
            r.missing.push_back(name);
            continue;
        }
        if (!next || ::fstat(next.get(), &info) != 0) {
            r.error = lastError("opening " + here.string());
            return r;
        }
        if (S_ISDIR(info.st_mode)) {
            r.fd = std::move(next);
            r.real = here;
            continue;
        }
        if (!S_ISLNK(info.st_mode)) {
            r.error = std::string(what) + " " + given.string() + " cannot be used: " + here.string() +
                      " is not a folder";
            return r;
        }
        const std::string reached = std::string(what) + " " + given.string() +
                                    " is reached through the link " + here.string() + ", which ";
        if (++links > kMostLinks) {
            r.error = std::string(what) + " " + given.string() + " is reached through more than " +
                      std::to_string(kMostLinks) + " links";
            return r;
        }
        struct stat folder {};
        if (::fstat(r.fd.get(), &folder) != 0) {
            r.error = lastError("checking " + r.real.string());
            return r;
        }
        if (auto why = untrustedEntry(info, folder, r.fd.get())) {
            r.error = refusal(reached + *why);
            return r;
        }
        if (auto fault = unsafeAbove(r.fd.get(), r.real, true)) {
            r.error = fault->at.empty()
                          ? fault->why
                          : refusal(reached + "lies in " + fault->at.string() + ", which " + fault->why);
            return r;
        }
        char target[PATH_MAX + 1];
        const ssize_t length = ::readlinkat(next.get(), "", target, sizeof target);
        if (length < 0 || length >= static_cast<ssize_t>(sizeof target)) {
            r.error = lastError("reading the link " + here.string());
            return r;
        }
        const fs::path to(std::string(target, static_cast<size_t>(length)));
        std::vector<std::string> parts;
        for (const fs::path& part : to.relative_path())
            parts.push_back(part.string());
        todo.insert(todo.begin(), parts.begin(), parts.end());
        if (to.is_absolute()) {
            r.fd.reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
            r.real = "/";
        }
    }
    return r;
}

// Goes through everything in the folder open as `dirFd` (at `dir`), never following a link, and
// refuses the first entry of another user. With `makePrivate`, takes the group and other bits off
// each folder before going into it, and off each other entry, through descriptors, and notes each
// change there; without it, changes nothing. A folder of ours that is private already is not gone
// into: nobody else could have put anything in it.
std::optional<std::string> goThrough(int dirFd, const fs::path& dir, Changes* makePrivate, int depth) {
    FileDescriptor listFd(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* list = listFd ? ::fdopendir(listFd.get()) : nullptr;
    if (list == nullptr) return lastError("looking into " + dir.string());
    listFd.release(); // the list owns it now
    struct ListCloser {
        DIR* list;
        ~ListCloser() { ::closedir(list); }
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
            if ((info.st_mode & 077) == 0) continue;
            if (depth >= kMostDepth)
                return path.string() + " lies too deep in " + dir.string() + " to be checked";
            FileDescriptor sub(
                ::openat(dirFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            struct stat opened {};
            if (!sub || ::fstat(sub.get(), &opened) != 0) return lastError("looking into " + path.string());
            if (opened.st_dev != info.st_dev || opened.st_ino != info.st_ino || opened.st_uid != me)
                return path.string() + " changed while it was being checked";
            if (makePrivate && (opened.st_mode & 077)) {
                if (::fchmod(sub.get(), opened.st_mode & 07700) != 0) return notMadePrivate(path);
                makePrivate->madePrivate(path, opened.st_mode, opened.st_mode & 07700);
            }
            if (auto problem = goThrough(sub.get(), path, makePrivate, depth + 1)) return problem;
        } else if (makePrivate && !S_ISLNK(info.st_mode) && (info.st_mode & 077)) {
            // Only this user can change the folder's entries: it is ours and no longer open to others.
            if (::fchmodat(dirFd, entry->d_name, info.st_mode & 07700, AT_SYMLINK_NOFOLLOW) == 0)
                makePrivate->madePrivate(path, info.st_mode, info.st_mode & 07700);
            else if (errno != ENOENT)
                return notMadePrivate(path);
        }
    }
    return std::nullopt;
}

// The checks of `check` and `prepare`; with `change`, makes what is missing and, for a private
// folder, takes the group and other bits off. The folder stays open in the result.
Checked examine(const fs::path& given, std::string_view what, Use use, bool change) {
    Checked result;
    if (auto unmapped = ownUserUnmapped()) {
        result.error = *unmapped;
        return result;
    }
    Resolved resolved = resolve(given, what);
    if (!resolved.error.empty()) {
        result.error = resolved.error;
        return result;
    }
    result.real = resolved.real;
    for (const std::string& name : resolved.missing)
        result.real /= name;
    const std::string folder = named(what, given, result.real);
    const auto refused = [&](const Fault& fault) {
        return fault.at.empty() ? fault.why
                                : refusal(folder + " lies in " + fault.at.string() + ", which " + fault.why);
    };
    FileDescriptor held = std::move(resolved.fd);
    if (!resolved.missing.empty()) {
        if (auto fault = unsafeAbove(held.get(), resolved.real, true)) {
            result.error = refused(*fault);
            return result;
        }
        if (!change) return result;
        fs::path made = resolved.real;
        for (const std::string& name : resolved.missing) {
            made /= name;
            const bool madeNow = ::mkdirat(held.get(), name.c_str(), 0700) == 0;
            if (!madeNow && errno != EEXIST) {
                result.error = lastError("making " + made.string());
                return result;
            }
            if (madeNow) result.changed.made(made);
            held.reset(::openat(held.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!held) {
                result.error = lastError("opening " + made.string());
                return result;
            }
            // The umask may have taken more off than that; a folder made elsewhere meanwhile is
            // checked below, not changed.
            if (madeNow && ::fchmod(held.get(), 0700) != 0) {
                result.error = notMadePrivate(made);
                return result;
            }
        }
    }

    struct stat info {};
    if (::fstat(held.get(), &info) != 0) {
        result.error = lastError("checking " + folder);
        return result;
    }
    if (info.st_uid != ::geteuid()) {
        result.error = ownedByAnother(folder, info.st_uid);
        return result;
    }
    if (auto writers = otherWriters(info, held.get()); writers && use == Use::Shared) {
        result.error = refusal(folder + " is a folder that " + *writers);
        return result;
    }
    if (auto fault = unsafeAbove(held.get(), result.real, false)) {
        result.error = refused(*fault);
        return result;
    }
    FileDescriptor opened(::openat(held.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!opened) {
        result.error = lastError("looking into " + folder);
        return result;
    }
    // Ours, closed to others and in safe folders: nothing of anyone else can have come in since it
    // became so, so its contents are not gone through again.
    if (info.st_mode & 077) {
        Changes* makePrivate = change && use == Use::Private ? &result.changed : nullptr;
        // Closed to others before anything in it is looked at, so nothing new of theirs appears inside.
        if (makePrivate) {
            if (::fchmod(opened.get(), info.st_mode & 07700) != 0) {
                result.error = notMadePrivate(result.real);
                return result;
            }
            makePrivate->madePrivate(result.real, info.st_mode, info.st_mode & 07700);
        }
        if (auto problem = goThrough(opened.get(), result.real, makePrivate, 0)) {
            result.error = *problem;
            return result;
        }
    }
    result.fd = std::move(opened);
    return result;
}

} // namespace

std::optional<std::string> writersBesidesUs(const struct stat& info, int fd, const Named& byName) {
    if (info.st_mode & S_IWOTH) return std::string("others may write");
    // The group bits are the access ACL's mask where there is one: without write there, no entry
    // of it but the owner's may write.
    if (!(info.st_mode & S_IWGRP)) return std::nullopt;
    const AccessAcl acl = accessAcl(fd, info, byName);
    if (!acl.error.empty()) return "its access ACL, which could not be read (" + acl.error + "), may let others write";
    bool groupWrites = acl.entries.empty();
    for (const AccessAcl::Entry& entry : acl.entries)
        groupWrites |= entry.tag == kAclGroupObj && (entry.perm & kAclWrite);
    if (groupWrites) {
        if (auto writers = groupWriters(info.st_gid, "")) return writers;
    }
    for (const AccessAcl::Entry& entry : acl.entries) {
        if (!(entry.perm & kAclWrite)) continue;
        if (entry.tag == kAclUser && entry.id != ::geteuid())
            return "the user " + userName(entry.id) + ", named in its access ACL, may write";
        if (entry.tag == kAclGroup) {
            if (auto writers = groupWriters(entry.id, ", named in its access ACL,")) return writers;
        }
    }
    return std::nullopt;
}

std::string refusal(const std::string& problem) {
    return problem + "; Velmora keeps its files only in folders of its own user";
}

std::string lastError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string ownedByAnother(const std::string& what, uid_t owner) {
    return refusal(what + " belongs to another user (uid " + std::to_string(owner) + ", this is uid " +
                   std::to_string(::geteuid()) + ")");
}

Checked check(const fs::path& folder, std::string_view what, Use use) {
    return examine(folder, what, use, false);
}

Checked prepare(const fs::path& folder, std::string_view what, Use use) {
    return examine(folder, what, use, true);
}

std::string notMadePrivate(const fs::path& path) {
    return refusal(lastError(path.string() + " could not be made private"));
}

namespace {

std::string octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

} // namespace

void Changes::made(const fs::path& folder) {
    if (count_++ < kMostNamed) named_.push_back(folder.string() + " (made, 0700)");
}

void Changes::madePrivate(const fs::path& path, mode_t before, mode_t after) {
    if (count_++ < kMostNamed)
        named_.push_back(path.string() + " (" + octal(before) + " -> " + octal(after) + ")");
}

void Changes::add(const Changes& other) {
    for (const std::string& change : other.named_)
        if (named_.size() < kMostNamed) named_.push_back(change);
    count_ += other.count_;
}

std::string Changes::before() const {
    if (count_ == 0) return {};
    std::string text = "; already changed before that: ";
    for (size_t i = 0; i < named_.size(); ++i)
        text += (i ? ", " : "") + named_[i];
    if (count_ > named_.size()) text += " and " + std::to_string(count_ - named_.size()) + " more";
    return text;
}

} // namespace plat::folders
