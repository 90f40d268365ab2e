#include "platform/foundation/OwnFiles.h"

#include "platform/foundation/Beneath.h"
#include "platform/foundation/FolderCheck.h"
#include "platform/foundation/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace plat::paths {
namespace {

constexpr std::string_view kTemporaryMarker = ".tmp-";

FileProblem problemOf(int error, std::string text, bool refused = false) {
    return FileProblem{error, std::move(text), refused};
}

FileProblem lastProblem(const std::string& what, const fs::path& path) {
    const int error = errno;
    return problemOf(error, what + " " + path.string() + ": " + std::strerror(error));
}

FileProblem refusedProblem(std::string why) {
    return problemOf(EPERM, std::move(why), true);
}

// `path` made absolute, with no ".", ".." or trailing separator left in its text.
fs::path normalised(const fs::path& path) {
    std::error_code ec;
    fs::path result = (path.is_absolute() ? path : fs::current_path(ec) / path).lexically_normal();
    while (!result.has_filename() && result != result.root_path())
        result = result.parent_path();
    return result;
}

// The names of `path` below `root`, when it lies in or is `root`.
std::optional<std::vector<std::string>> namesBelow(const fs::path& path, const fs::path& root) {
    auto [rootEnd, pathAt] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    if (rootEnd != root.end()) return std::nullopt;
    std::vector<std::string> names;
    for (; pathAt != path.end(); ++pathAt)
        names.push_back(pathAt->string());
    return names;
}

// Makes `dir` and its missing parents by path, 0700: for a folder of Velmora's that is not there yet
// (a test's home before preparePrivateFolders), or one outside Velmora's folders.
bool makeByPath(const fs::path& dir) {
    struct stat info {};
    if (::stat(dir.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    if (dir.has_parent_path() && dir.parent_path() != dir && !makeByPath(dir.parent_path())) return false;
    if (::mkdir(dir.c_str(), 0700) == 0) {
        ::chmod(dir.c_str(), 0700); // mkdir's mode passes through the umask
        return true;
    }
    return errno == EEXIST && ::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The folder that holds `path`, and its name in it.
struct Leaf {
    OwnFolder folder;
    std::string name;
    fs::path path;
};

std::optional<Leaf> leafOf(const fs::path& given, bool make, FileProblem& problem) {
    const fs::path path = normalised(given);
    if (!path.has_filename() || path.filename() == "..") {
        problem = problemOf(EINVAL, path.string() + " names no file");
        return std::nullopt;
    }
    Leaf leaf{OwnFolder::open(path.parent_path(), make), path.filename().string(), path};
    if (!leaf.folder.isOpen()) {
        problem = leaf.folder.problem();
        return std::nullopt;
    }
    return leaf;
}

// What is at `name` in `folder` itself; none with errno set when nothing is or it cannot be seen.
std::optional<struct stat> statAt(int folder, const std::string& name) {
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return info;
}

// Removes the temporary file `name` in `folder` unless a live writer holds it or it is not the
// user's; true when it was removed.
bool removeIfAbandonedAt(int folder, const std::string& name) {
    const FileDescriptor fd(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat held {};
    if (!fd || ::fstat(fd.get(), &held) != 0 || !S_ISREG(held.st_mode) || held.st_uid != ::geteuid())
        return false;
    // A live writer holds the lock until its rename; a killed one released it as it died. The name
    // must still lead to the file that was locked.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return false;
    const std::optional<struct stat> named = statAt(folder, name);
    return named && named->st_dev == held.st_dev && named->st_ino == held.st_ino &&
           ::unlinkat(folder, name.c_str(), 0) == 0;
}

// A new temporary file for `name` in `folder`, 0600 so that a secret is never readable under a
// looser mode, even briefly, and locked for as long as it stays open. Returns -1 with errno set.
int createLockedTemporary(int folder, const std::string& name, std::string& temporary, struct stat& info) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 16; ++attempt) {
        unsigned char random[6] = {};
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return -1;
        temporary = "." + name + std::string(kTemporaryMarker);
        for (unsigned char byte : random)
            temporary.push_back(kLetters[byte % (sizeof kLetters - 1)]);
        const int fd = ::openat(folder, temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return -1;
        }
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        // A sweep that ran between the open and the lock found the file unheld and removed it.
        if (rc == 0 && ::fstat(fd, &info) == 0 && info.st_nlink > 0) return fd;
        const int error = errno;
        ::close(fd);
        if (rc != 0) {
            ::unlinkat(folder, temporary.c_str(), 0);
            errno = error;
            return -1;
        }
    }
    errno = EAGAIN;
    return -1;
}

bool writeAll(int fd, const char* data, size_t left) {
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// Removes everything in the folder open as `folder` (at `path`), refusing at the first entry that
// is not the user's.
std::optional<FileProblem> removeContents(int folder, const fs::path& path, int depth) {
    std::optional<std::vector<std::string>> all = beneath::names(folder);
    if (!all) return lastProblem("Could not list", path);
    const uid_t me = ::geteuid();
    for (const std::string& name : *all) {
        const fs::path entry = path / name;
        const std::optional<struct stat> info = statAt(folder, name);
        if (!info) {
            if (errno == ENOENT) continue;
            return lastProblem("Could not remove", entry);
        }
        if (info->st_uid != me) return refusedProblem(folders::ownedByAnother(entry.string(), info->st_uid));
        if (S_ISDIR(info->st_mode)) {
            if (depth >= folders::kMostDepth) return problemOf(ELOOP, entry.string() + " lies too deep to be removed");
            const FileDescriptor sub(::openat(folder, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!sub) return lastProblem("Could not remove", entry);
            if (auto problem = removeContents(sub.get(), entry, depth + 1)) return problem;
        }
        if (::unlinkat(folder, name.c_str(), S_ISDIR(info->st_mode) ? AT_REMOVEDIR : 0) != 0 && errno != ENOENT)
            return lastProblem("Could not remove", entry);
    }
    return std::nullopt;
}

size_t removeTemporariesIn(int folder, const fs::path& path, std::string_view fileName, bool below, int depth) {
    size_t removed = 0;
    std::vector<unsigned char> types;
    std::optional<std::vector<std::string>> all = beneath::names(folder, &types);
    if (!all) return 0;
    for (size_t i = 0; i < all->size(); ++i) {
        const std::string& name = (*all)[i];
        if (isTemporaryName(name)) {
            // ".<fileName>.tmp-XXXXXX"
            if (!fileName.empty() &&
                (name.size() != fileName.size() + 12 || name.compare(1, fileName.size(), fileName) != 0))
                continue;
            removed += removeIfAbandonedAt(folder, name);
        } else if (below && depth < folders::kMostDepth && (types[i] == DT_DIR || types[i] == DT_UNKNOWN)) {
            const std::optional<struct stat> info = statAt(folder, name);
            if (!info || !S_ISDIR(info->st_mode) || beneath::folderRefusal(path / name, *info, -1, {folder, name}))
                continue;
            const FileDescriptor sub(::openat(folder, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (sub) removed += removeTemporariesIn(sub.get(), path / name, fileName, below, depth + 1);
        }
    }
    return removed;
}

} // namespace

OwnFolder OwnFolder::open(const fs::path& dir, bool make) {
    OwnFolder folder;
    folder.path_ = normalised(dir);
    // The longest of Velmora's folders that holds it: from there on, nothing is followed.
    std::optional<fs::path> root;
    std::vector<std::string> below;
    for (const fs::path& candidate : {configDir(), applicationSupportDir(), cachesDir()}) {
        const fs::path normal = normalised(candidate);
        if (root && std::distance(normal.begin(), normal.end()) <= std::distance(root->begin(), root->end()))
            continue;
        if (auto names = namesBelow(folder.path_, normal)) {
            root = normal;
            below = std::move(*names);
        }
    }
    const fs::path& start = root ? *root : folder.path_;
    FileDescriptor opened = root ? checkedFolder(*root) : FileDescriptor();
    if (!opened) {
        if (make) makeByPath(start);
        opened.reset(::open(start.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    if (!opened) {
        folder.problem_ = lastProblem("Could not open", start);
        return folder;
    }
    if (!root) {
        folder.fd_ = std::move(opened);
        return folder;
    }
    folder.judged_ = true;
    beneath::Reached reached = beneath::walk(std::move(opened), *root, below, make);
    if (!reached.open()) {
        folder.problem_ = problemOf(reached.error, reached.problem, reached.state == beneath::Reached::State::Refused);
        return folder;
    }
    folder.fd_ = std::move(reached.fd);
    return folder;
}

bool OwnFolder::stillAtPath() const {
    if (!fd_) return false;
    if (device_ == 0 && inode_ == 0) {
        struct stat held {};
        if (::fstat(fd_.get(), &held) != 0) return false;
        device_ = held.st_dev;
        inode_ = held.st_ino;
    }
    struct stat named {};
    return ::stat(path_.c_str(), &named) == 0 && named.st_dev == device_ && named.st_ino == inode_;
}

OwnFile readOwnFile(const fs::path& path, uint64_t most) {
    using State = OwnFile::State;
    const auto unreadable = [&](const char* doing) {
        const int error = errno;
        return OwnFile{State::Unreadable, {}, folders::lastError(doing + (" " + path.string())), error};
    };
    FileProblem problem;
    std::optional<Leaf> leaf = leafOf(path, false, problem);
    if (!leaf) {
        if (problem.error == ENOENT) return {State::Absent, {}, {}, ENOENT};
        return {problem.refused ? State::Refused : State::Unreadable, {}, problem.text, problem.error};
    }
    const int folder = leaf->folder.fd();
    const std::string tooLarge =
        path.string() + " is larger than any such file Velmora writes (" + std::to_string(most) + " bytes)";
    // An atomic write may replace the entry between its judgement and the open: the new file is
    // judged and opened in turn. Only a writer replacing it again and again outruns these tries.
    constexpr int kMostTries = 8;
    FileDescriptor fd;
    struct stat opened {};
    for (int attempt = 1;; ++attempt) {
        // Judged before it is opened for reading, which another user's 0600 file or a socket refuses.
        const std::optional<struct stat> judged = statAt(folder, leaf->name);
        if (!judged) {
            if (errno == ENOENT) return {State::Absent, {}, {}, ENOENT};
            return unreadable("reading");
        }
        if (auto why = beneath::fileRefusal(path, *judged, -1, {folder, leaf->name}))
            return {State::Refused, {}, std::move(*why), S_ISDIR(judged->st_mode) ? EISDIR : EPERM};
        if (static_cast<uint64_t>(judged->st_size) > most) return {State::TooLarge, {}, tooLarge, EFBIG};
        fd.reset(::openat(folder, leaf->name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        // Gone since it was judged: removed, or replaced by what the next judgement sees.
        const bool gone = !fd && errno == ENOENT;
        if (!gone && (!fd || ::fstat(fd.get(), &opened) != 0)) return unreadable("reading");
        if (!gone && opened.st_dev == judged->st_dev && opened.st_ino == judged->st_ino) break;
        if (attempt == kMostTries)
            return {State::Unreadable, {}, path.string() + " changed while it was being read", EAGAIN};
    }
    OwnFile file{State::Read, {}, {}};
    file.bytes.reserve(static_cast<size_t>(opened.st_size));
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got == 0) return file;
        if (got > 0) {
            file.bytes.append(buffer, static_cast<size_t>(got));
            if (file.bytes.size() > most) return {State::TooLarge, {}, tooLarge, EFBIG};
        } else if (errno != EINTR) {
            return unreadable("reading");
        }
    }
}

std::optional<std::string> refusalOf(const fs::path& path) {
    FileProblem problem;
    std::optional<Leaf> leaf = leafOf(path, false, problem);
    if (!leaf) return problem.refused ? std::optional(problem.text) : std::nullopt;
    const std::optional<struct stat> info = statAt(leaf->folder.fd(), leaf->name);
    return info ? beneath::fileRefusal(path, *info, -1, {leaf->folder.fd(), leaf->name}) : std::nullopt;
}

std::optional<std::string> refusedFileIn(const fs::path& folder, std::string_view extension) {
    const OwnFolder open = OwnFolder::open(folder);
    if (!open.isOpen()) return open.problem().refused ? std::optional(open.problem().text) : std::nullopt;
    return beneath::firstRefusedFile(open.fd(), folder, extension);
}

bool ensureDirectory(const fs::path& dir) {
    return OwnFolder::open(dir, true).isOpen();
}

namespace {

// writeOwnFile of `name` in the folder open as `folder` (at `path`), its entry judged when `judged`.
std::optional<FileProblem> writeIn(int folder, bool judged, const std::string& name, const fs::path& path,
                                   const void* bytes, size_t size, mode_t mode, bool durable) {
    if (judged) {
        if (const std::optional<struct stat> there = statAt(folder, name)) {
            if (auto why = beneath::fileRefusal(path, *there, -1, {folder, name})) return refusedProblem(*why);
        }
    }
    std::string temporary;
    struct stat made {};
    const FileDescriptor fd(createLockedTemporary(folder, name, temporary, made));
    if (!fd) return lastProblem("Could not create a temporary file for", path);
    bool ok = writeAll(fd.get(), static_cast<const char*>(bytes), size);
    if (ok && (made.st_mode & 07777) != mode) ok = ::fchmod(fd.get(), mode) == 0;
    if (ok && durable) ok = ::fsync(fd.get()) == 0;
    // Renamed while still open, so the lock covers the file's whole life under its temporary name.
    if (ok) ok = ::renameat(folder, temporary.c_str(), folder, name.c_str()) == 0;
    if (!ok) {
        FileProblem failed = lastProblem("Could not write", path);
        ::unlinkat(folder, temporary.c_str(), 0);
        return failed;
    }
    if (durable) {
        const FileDescriptor synced = beneath::listable(folder);
        if (synced) ::fsync(synced.get());
    }
    return std::nullopt;
}

} // namespace

std::optional<FileProblem> writeOwnFile(const fs::path& path, const void* bytes, size_t size, mode_t mode,
                                        bool durable, bool makeFolders) {
    FileProblem problem;
    std::optional<Leaf> leaf = leafOf(path, makeFolders, problem);
    if (!leaf) return problem;
    return writeIn(leaf->folder.fd(), leaf->folder.judged(), leaf->name, leaf->path, bytes, size, mode, durable);
}

std::optional<FileProblem> writeOwnFileAt(const OwnFolder& folder, const std::string& name, const void* bytes,
                                          size_t size, mode_t mode, bool durable) {
    const fs::path path = folder.path() / name;
    if (!folder.isOpen()) return folder.problem();
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return problemOf(EINVAL, path.string() + " is not a name in a folder");
    return writeIn(folder.fd(), folder.judged(), name, path, bytes, size, mode, durable);
}

bool writeFileAtomically(const fs::path& path, std::string_view bytes, fs::perms mode) {
    return !writeOwnFile(path, bytes.data(), bytes.size(), static_cast<mode_t>(mode), true, true);
}

std::optional<fs::path> moveAside(const fs::path& file) {
    FileProblem problem;
    std::optional<Leaf> leaf = leafOf(file, false, problem);
    if (!leaf) return std::nullopt;
    const int folder = leaf->folder.fd();
    const std::optional<struct stat> info = statAt(folder, leaf->name);
    if (!info || !S_ISREG(info->st_mode) || info->st_uid != ::geteuid()) return std::nullopt;
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &tm);
    const std::string base = leaf->name + ".corrupt-" + stamp;
    bool linkInstead = false;
    for (int n = 0; n < 1000; ++n) {
        const std::string target = n == 0 ? base : base + "-" + std::to_string(n);
        // Never over an earlier copy: where the file system cannot rename without replacing, a
        // second name is linked (which never replaces either) and the first one removed.
        int rc = linkInstead ? -1 : ::renameat2(folder, leaf->name.c_str(), folder, target.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && (linkInstead || errno == EINVAL)) {
            linkInstead = true;
            rc = ::linkat(folder, leaf->name.c_str(), folder, target.c_str(), 0);
            if (rc == 0 && ::unlinkat(folder, leaf->name.c_str(), 0) != 0) {
                ::unlinkat(folder, target.c_str(), 0);
                return std::nullopt;
            }
        }
        if (rc == 0) return leaf->path.parent_path() / target;
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

bool isTemporaryName(std::string_view fileName) {
    if (fileName.size() < 2 || fileName.front() != '.') return false;
    const size_t marker = fileName.rfind(kTemporaryMarker);
    if (marker == std::string_view::npos || marker == 0 || fileName.size() - marker != kTemporaryMarker.size() + 6)
        return false;
    for (char c : fileName.substr(marker + kTemporaryMarker.size()))
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

size_t removeStaleTemporaryFiles(const fs::path& folder, std::string_view fileName) {
    const OwnFolder open = OwnFolder::open(folder);
    return open.isOpen() ? removeTemporariesIn(open.fd(), open.path(), fileName, false, 0) : 0;
}

size_t removeStaleTemporaryFilesBelow(const fs::path& folder) {
    const OwnFolder open = OwnFolder::open(folder);
    return open.isOpen() ? removeTemporariesIn(open.fd(), open.path(), {}, true, 0) : 0;
}

std::optional<FileProblem> removeOwn(const fs::path& path, bool recursive) {
    FileProblem problem;
    std::optional<Leaf> leaf = leafOf(path, false, problem);
    if (!leaf) return problem;
    const int folder = leaf->folder.fd();
    const std::optional<struct stat> info = statAt(folder, leaf->name);
    if (!info) return lastProblem("Could not remove", path);
    if (info->st_uid != ::geteuid()) return refusedProblem(folders::ownedByAnother(path.string(), info->st_uid));
    const bool isFolder = S_ISDIR(info->st_mode);
    if (isFolder && recursive) {
        const FileDescriptor sub(::openat(folder, leaf->name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!sub) return lastProblem("Could not remove", path);
        if (auto failed = removeContents(sub.get(), leaf->path, 0)) return failed;
    }
    if (::unlinkat(folder, leaf->name.c_str(), isFolder ? AT_REMOVEDIR : 0) != 0)
        return lastProblem("Could not remove", path);
    return std::nullopt;
}

std::optional<FileProblem> renameOwn(const fs::path& from, const fs::path& to) {
    FileProblem problem;
    std::optional<Leaf> source = leafOf(from, false, problem);
    if (!source) return problem;
    std::optional<Leaf> target = leafOf(to, false, problem);
    if (!target) return problem;
    const std::optional<struct stat> moved = statAt(source->folder.fd(), source->name);
    if (!moved) return lastProblem("Could not move", from);
    if (moved->st_uid != ::geteuid()) return refusedProblem(folders::ownedByAnother(from.string(), moved->st_uid));
    if (const std::optional<struct stat> there = statAt(target->folder.fd(), target->name)) {
        // The system puts a folder only in place of an empty folder, so a folder of ours there is
        // replaced only when nothing is in it.
        const bool folderOfOurs = S_ISDIR(there->st_mode) && there->st_uid == ::geteuid();
        if (target->folder.judged() && !folderOfOurs) {
            if (auto why = beneath::fileRefusal(to, *there, -1, {target->folder.fd(), target->name}))
                return refusedProblem(*why);
        }
    }
    if (::renameat(source->folder.fd(), source->name.c_str(), target->folder.fd(), target->name.c_str()) != 0)
        return lastProblem("Could not move " + from.string() + " to", to);
    return std::nullopt;
}

std::optional<std::vector<std::string>> folderNames(const fs::path& folder, FileProblem* problem) {
    const OwnFolder open = OwnFolder::open(folder);
    if (!open.isOpen()) {
        if (problem) *problem = open.problem();
        return std::nullopt;
    }
    std::optional<std::vector<std::string>> all = beneath::names(open.fd());
    if (!all && problem) *problem = lastProblem("Could not list", folder);
    return all;
}

namespace {

// The entries in `folder`; with `onlyOwn`, in one of Velmora's folders, only those that may be used.
std::optional<std::vector<FolderEntry>> entriesIn(const fs::path& folder, bool onlyOwn, FileProblem* problem) {
    const OwnFolder open = OwnFolder::open(folder);
    std::optional<std::vector<std::string>> all =
        open.isOpen() ? beneath::names(open.fd()) : std::optional<std::vector<std::string>>();
    if (!all) {
        if (problem) *problem = open.isOpen() ? lastProblem("Could not list", folder) : open.problem();
        return std::nullopt;
    }
    const bool judged = onlyOwn && open.judged();
    std::vector<FolderEntry> entries;
    for (std::string& name : *all) {
        const std::optional<struct stat> info = statAt(open.fd(), name);
        if (!info) continue;
        const folders::Named at{open.fd(), name};
        if (judged && (S_ISDIR(info->st_mode) ? beneath::folderRefusal(open.path() / name, *info, -1, at)
                                              : beneath::fileRefusal(open.path() / name, *info, -1, at)))
            continue; // left aside: absent
        entries.push_back(FolderEntry{std::move(name), *info});
    }
    return entries;
}

} // namespace

std::optional<std::vector<FolderEntry>> folderEntries(const fs::path& folder, FileProblem* problem) {
    return entriesIn(folder, false, problem);
}

std::optional<std::vector<FolderEntry>> ownEntries(const fs::path& folder, FileProblem* problem) {
    return entriesIn(folder, true, problem);
}

std::optional<struct stat> entryStatus(const fs::path& path, FileProblem* problem) {
    FileProblem failed;
    std::optional<Leaf> leaf = leafOf(path, false, failed);
    std::optional<struct stat> info;
    if (leaf && !(info = statAt(leaf->folder.fd(), leaf->name))) failed = lastProblem("Could not reach", path);
    if (!info && problem) *problem = failed;
    return info;
}

FileDescriptor openOwnFile(const fs::path& path, int flags, FileProblem* problem) {
    FileProblem failed;
    const auto fail = [&](FileProblem why) {
        if (problem) *problem = std::move(why);
        return FileDescriptor();
    };
    std::optional<Leaf> leaf = leafOf(path, false, failed);
    if (!leaf) return fail(failed);
    const int folder = leaf->folder.fd();
    if (const std::optional<struct stat> there = statAt(folder, leaf->name)) {
        if (auto why = beneath::fileRefusal(path, *there, -1, {folder, leaf->name})) return fail(refusedProblem(*why));
    }
    // Truncated only once what was opened is known to be the user's own.
    FileDescriptor fd(::openat(folder, leaf->name.c_str(), (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0) return fail(lastProblem("Could not open", path));
    if (auto why = beneath::fileRefusal(path, info, fd.get(), {folder, leaf->name})) return fail(refusedProblem(*why));
    if ((flags & O_TRUNC) && ::ftruncate(fd.get(), 0) != 0) return fail(lastProblem("Could not empty", path));
    const int status = ::fcntl(fd.get(), F_GETFL);
    if (status >= 0 && !(flags & O_NONBLOCK)) ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

} // namespace plat::paths
