#include "platform/foundation/AtomicFile.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace plat {
namespace {

constexpr std::string_view kTemporaryMarker = ".tmp-";

bool writeAll(int fd, const char* data, size_t left, int& err) {
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        if (n == 0) {
            err = EIO;
            return false;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// A new temporary file for `name` in `folder` (its path in `pattern`), created 0600 so a secret is
// never readable under a looser mode, even briefly, and locked for as long as it stays open: the
// lock is what tells a live write from the leftover of a killed one. Returns -1 with `err` set.
int createLockedTemporary(const fs::path& folder, const std::string& name, std::string& pattern, int& err) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        pattern = (folder / ("." + name + std::string(kTemporaryMarker) + "XXXXXX")).string();
        int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            err = errno;
            return -1;
        }
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            err = errno;
            ::close(fd);
            ::unlink(pattern.c_str());
            return -1;
        }
        // A sweep that ran between mkstemp and the lock found the file unheld and removed it.
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_nlink > 0) return fd;
        ::close(fd);
    }
    err = EAGAIN;
    return -1;
}

} // namespace

Error AtomicFile::posixError(int errnoValue, const std::string& what, const fs::path& path) {
    return Error::withMessage(kPOSIXErrorDomain, errnoValue,
                              what + " " + path.string() + ": " + std::strerror(errnoValue));
}

std::optional<Error> AtomicFile::write(const fs::path& path, const void* bytes, size_t size,
                                       const Options& options) {
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    // Hidden and unique: listings that skip hidden names never offer a half-written file, and the
    // start-up sweep recognises what an interrupted write left behind.
    std::string pattern;
    int err = 0;
    int fd = createLockedTemporary(folder, path.filename().string(), pattern, err);
    if (fd < 0) return posixError(err, "Could not create a temporary file for", path);
    bool ok = writeAll(fd, static_cast<const char*>(bytes), size, err);
    // mkstemp already made the file 0600, whatever the umask.
    const bool needsMode = options.mode != (fs::perms::owner_read | fs::perms::owner_write);
    if (ok && needsMode && ::fchmod(fd, static_cast<mode_t>(options.mode)) != 0) ok = false, err = errno;
    if (ok && options.durable && ::fsync(fd) != 0) ok = false, err = errno;
    // Renamed while still open, so the lock covers the file's whole life under its temporary name.
    if (ok && ::rename(pattern.c_str(), path.c_str()) != 0) ok = false, err = errno;
    if (!ok) ::unlink(pattern.c_str());
    if (::close(fd) != 0 && ok) ok = false, err = errno;
    if (!ok) return posixError(err, "Could not write", path);
    if (options.durable) {
        int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
    }
    return std::nullopt;
}

std::optional<Data> AtomicFile::read(const fs::path& path, Error* error, uint64_t maxSize) {
    auto fail = [&](int err, const char* what) -> std::optional<Data> {
        if (error) *error = posixError(err, what, path);
        return std::nullopt;
    };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return fail(errno, "Could not open");
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        return fail(err, "Could not inspect");
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, "Not a regular file:");
    }
    if (static_cast<uint64_t>(st.st_size) > maxSize) {
        ::close(fd);
        return fail(EFBIG, "Too large to read:");
    }
    Data out(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < out.size()) {
        ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            return fail(err, "Could not read");
        }
        if (n == 0) break; // the file shrank while we read: answer what is there
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    out.resize(got);
    return out;
}

std::optional<Error> AtomicFile::createDirectories(const fs::path& dir, fs::perms mode) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return std::nullopt;
        return posixError(ENOTDIR, "Not a folder:", dir);
    }
    if (dir.has_parent_path() && dir.parent_path() != dir) {
        if (auto error = createDirectories(dir.parent_path(), mode)) return error;
    }
    if (::mkdir(dir.c_str(), static_cast<mode_t>(mode)) == 0) {
        // mkdir's mode passes through the umask; the caller asked for exactly this one.
        ::chmod(dir.c_str(), static_cast<mode_t>(mode));
        return std::nullopt;
    }
    int err = errno;
    if (err == EEXIST && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return std::nullopt;
    return posixError(err, "Could not create the folder", dir);
}

bool AtomicFile::isTemporaryName(std::string_view fileName) {
    if (fileName.size() < 2 || fileName.front() != '.') return false;
    size_t marker = fileName.rfind(kTemporaryMarker);
    if (marker == std::string_view::npos || marker == 0 ||
        fileName.size() - marker != kTemporaryMarker.size() + 6)
        return false;
    // mkstemp's six characters are letters and digits.
    for (char c : fileName.substr(marker + kTemporaryMarker.size()))
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

bool AtomicFile::removeIfAbandoned(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    // A live writer holds the lock until its rename; a killed one released it as it died. The name
    // must still lead to the file that was locked, or it is someone else's by now.
    struct stat held {
    }, named{};
    bool removed = ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                   ::lstat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
                   named.st_ino == held.st_ino && ::unlink(path.c_str()) == 0;
    ::close(fd);
    return removed;
}

size_t AtomicFile::removeTemporaryFiles(const fs::path& dir) {
    size_t removed = 0;
    std::error_code ec;
    fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        if (!isTemporaryName(it->path().filename().string())) continue;
        if (removeIfAbandoned(it->path())) ++removed;
    }
    return removed;
}

} // namespace plat
