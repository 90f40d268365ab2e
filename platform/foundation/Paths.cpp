#include "platform/foundation/Paths.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace plat::paths {
namespace {

std::optional<std::string> env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

fs::path homeDir() {
    if (auto home = env("HOME")) return *home;
    // No $HOME (a stripped service environment): keep data beside the process rather than in "/".
    return fs::current_path();
}

// The XDG base folder named by `variable`, or its documented fallback below $HOME. Relative
// values are invalid by the XDG rules and are ignored.
fs::path xdgDir(const char* variable, const char* fallback) {
    if (auto value = env(variable); value && fs::path(*value).is_absolute()) return *value;
    return homeDir() / fallback;
}

std::optional<fs::path> velmoraHome() {
    if (auto value = env("VELMORA_HOME")) return fs::path(*value);
    return std::nullopt;
}

constexpr std::string_view kTemporaryMarker = ".tmp-";
constexpr size_t kTemporarySuffixLength = 6; // mkstemp's XXXXXX

// Whether `name` is a temporary file of writeFileAtomically (for `target` when it is not empty).
bool isTemporaryName(std::string_view name, std::string_view target) {
    if (name.size() < 1 + kTemporaryMarker.size() + kTemporarySuffixLength || name.front() != '.')
        return false;
    const size_t marker = name.size() - kTemporarySuffixLength - kTemporaryMarker.size();
    if (name.substr(marker, kTemporaryMarker.size()) != kTemporaryMarker) return false;
    for (char c : name.substr(name.size() - kTemporarySuffixLength))
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return target.empty() || name.substr(1, marker - 1) == target;
}

// A new temporary file for `name` in `folder`, created 0600 (a secret is never readable under a
// looser mode, even briefly) and locked. Returns the descriptor (its path in `pattern`) or -1.
int createLockedTemporary(const fs::path& folder, const std::string& name, std::string& pattern) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        pattern = (folder / ("." + name + std::string(kTemporaryMarker) + "XXXXXX")).string();
        int fd = ::mkstemp(pattern.data());
        if (fd < 0) return -1;
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        // A sweep that ran between mkstemp and the lock found the file unheld and removed it.
        struct stat st {};
        if (rc == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) return fd;
        ::close(fd);
        if (rc != 0) {
            ::unlink(pattern.c_str());
            return -1;
        }
    }
    return -1;
}

} // namespace

fs::path configDir() {
    if (auto home = velmoraHome()) return *home / "config";
    return xdgDir("XDG_CONFIG_HOME", ".config") / "velmora";
}

fs::path applicationSupportDir() {
    if (auto home = velmoraHome()) return *home / "data";
    return xdgDir("XDG_DATA_HOME", ".local/share") / "velmora";
}

fs::path cachesDir() {
    if (auto home = velmoraHome()) return *home / "cache";
    return xdgDir("XDG_CACHE_HOME", ".cache") / "velmora";
}

fs::path keychainDir() {
    return applicationSupportDir() / "keychain";
}

fs::path vpnDir() {
    return applicationSupportDir() / "vpn";
}

fs::path autostartDir() {
    if (auto home = velmoraHome()) return *home / "autostart";
    return xdgDir("XDG_CONFIG_HOME", ".config") / "autostart";
}

fs::path bundleDir() {
    if (auto bundle = env("VELMORA_BUNDLE")) return *bundle;
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path(ec) / "resources";
    return exe.parent_path() / "resources";
}

bool ensureDirectory(const fs::path& dir, fs::perms mode) {
    std::error_code ec;
    if (fs::is_directory(dir, ec)) return true;
    if (dir.has_parent_path() && dir.parent_path() != dir && !ensureDirectory(dir.parent_path(), mode))
        return false;
    if (::mkdir(dir.c_str(), static_cast<mode_t>(mode)) == 0) {
        // mkdir's mode is filtered by the umask; the caller asked for exactly this one (0700 folders).
        ::chmod(dir.c_str(), static_cast<mode_t>(mode));
    } else if (errno != EEXIST) {
        return false;
    }
    return fs::is_directory(dir, ec);
}

bool writeFileAtomically(const fs::path& path, std::string_view bytes, fs::perms mode) {
    fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (!ensureDirectory(folder)) return false;

    std::string pattern;
    int fd = createLockedTemporary(folder, path.filename().string(), pattern);
    if (fd < 0) return false;
    auto fail = [&] {
        ::close(fd);
        ::unlink(pattern.c_str());
        return false;
    };

    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail();
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    if (::fchmod(fd, static_cast<mode_t>(mode)) != 0) return fail();
    if (::fsync(fd) != 0) return fail();
    // Renamed while still open, so the lock covers the file's whole life under its temporary name.
    if (::rename(pattern.c_str(), path.c_str()) != 0) return fail();
    ::close(fd);
    // Make the rename itself durable.
    int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

size_t removeStaleTemporaryFiles(const fs::path& folder, std::string_view fileName) {
    size_t removed = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const fs::path path = entry.path();
        if (!isTemporaryName(path.filename().string(), fileName)) continue;
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) continue;
        // A live writer holds the lock until its rename; a killed one released it as it died. The
        // name must still lead to the file that was locked, or it is someone else's by now.
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::lstat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino && ::unlink(path.c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

std::optional<fs::path> moveAside(const fs::path& file) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &tm);
    const std::string base = file.string() + ".corrupt-" + stamp;
    fs::path target = base;
    std::error_code ec;
    for (int n = 1; fs::exists(target, ec) && n < 1000; ++n)
        target = base + "-" + std::to_string(n);
    if (::rename(file.c_str(), target.c_str()) != 0) return std::nullopt;
    return target;
}

std::optional<std::string> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream out;
    out << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return std::move(out).str();
}

} // namespace plat::paths
