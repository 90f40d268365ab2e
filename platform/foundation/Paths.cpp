#include "platform/foundation/Paths.h"

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/FolderCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

// The folders preparePrivateFolders found, at their real paths, and the environment they were
// found for.
struct Prepared {
    std::string environment;
    fs::path config, data, cache, autostart;
};

std::mutex preparedLock;
Prepared* prepared = nullptr; // never destroyed: read by background work until the process ends

// What the folders are computed from. Compared, never used as a path, once they are prepared: it
// only changes when a test switches homes.
std::string environmentKey() {
    std::string key;
    for (const char* name : {"VELMORA_HOME", "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        key += env(name).value_or("");
        key.push_back('\0');
    }
    return key;
}

// The folder `which` as preparePrivateFolders found it for this environment; none before it did.
std::optional<fs::path> preparedFolder(fs::path Prepared::*which) {
    std::lock_guard<std::mutex> hold(preparedLock);
    if (prepared == nullptr || prepared->environment != environmentKey()) return std::nullopt;
    return prepared->*which;
}

// The keychain store's folder in the data folder.
constexpr const char* kKeychainFolder = "keychain";

} // namespace

fs::path configDir() {
    if (auto folder = preparedFolder(&Prepared::config)) return *folder;
    if (auto home = velmoraHome()) return *home / "config";
    return xdgDir("XDG_CONFIG_HOME", ".config") / "velmora";
}

fs::path applicationSupportDir() {
    if (auto folder = preparedFolder(&Prepared::data)) return *folder;
    if (auto home = velmoraHome()) return *home / "data";
    return xdgDir("XDG_DATA_HOME", ".local/share") / "velmora";
}

fs::path cachesDir() {
    if (auto folder = preparedFolder(&Prepared::cache)) return *folder;
    if (auto home = velmoraHome()) return *home / "cache";
    return xdgDir("XDG_CACHE_HOME", ".cache") / "velmora";
}

fs::path keychainDir() {
    return applicationSupportDir() / kKeychainFolder;
}

fs::path vpnDir() {
    return applicationSupportDir() / "vpn";
}

fs::path autostartDir() {
    if (auto folder = preparedFolder(&Prepared::autostart)) return *folder;
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

namespace {

// Checks `folder` where it really is, as folders::check does. `root` is $VELMORA_HOME, checked
// already (nothing without it). A root not private yet was gone through whole, no link followed,
// and is made private before anything in it is prepared: a folder right in it, or none yet, passed
// with it, whoever else may write the root until then. Anything else right in it (a link of ours, a
// file) is checked on its own, and so is every folder of a private root.
folders::Checked checkFolder(const fs::path& folder, const char* what, folders::Use use,
                             const folders::Checked& root) {
    struct stat info {};
    const bool inRootNotPrivate = root.fd && folder.parent_path() == root.real &&
                                  ::fstat(root.fd.get(), &info) == 0 && (info.st_mode & 077) != 0;
    if (inRootNotPrivate) {
        const bool there =
            ::fstatat(root.fd.get(), folder.filename().c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
        if (there ? S_ISDIR(info.st_mode) : errno == ENOENT) {
            folders::Checked passed;
            passed.real = folder;
            return passed;
        }
    }
    return folders::check(folder, what, use);
}

} // namespace

std::optional<std::string> preparePrivateFolders(const DataFolderCheck& alsoCheck) {
    using folders::Use;
    // With $VELMORA_HOME, that root holds every folder, the autostart folder too: it is checked
    // first, and the folders are given in it at its real path.
    const std::optional<fs::path> home = velmoraHome();
    folders::Checked root;
    if (home) {
        root = folders::check(*home, "the data folder", Use::Private);
        if (!root.passed()) return root.error;
    }
    const auto given = [&](const char* name, const fs::path& otherwise) {
        return home ? root.real / name : otherwise;
    };
    struct Folder {
        const char* what;
        fs::path path;             // as given, then where it really is
        fs::path Prepared::*found; // where its real path is kept; none for the root
    };
    std::vector<Folder> list = {{"the settings folder", given("config", configDir()), &Prepared::config},
                                {"the data folder", given("data", applicationSupportDir()), &Prepared::data},
                                {"the cache folder", given("cache", cachesDir()), &Prepared::cache}};

    // Everything is checked before anything changes: a refused launch leaves all as it found them.
    // Each folder is checked where it really is; from then on that real path is used, whose folders
    // are all safe, so it names the folder that was checked.
    Prepared found{environmentKey(), {}, {}, {}, {}};
    for (Folder& folder : list) {
        const folders::Checked checked = checkFolder(folder.path, folder.what, Use::Private, root);
        if (!checked.passed()) return checked.error;
        folder.path = found.*folder.found = checked.real;
    }
    // The autostart folder is checked, never prepared: in the root it becomes private with it; the
    // XDG one is shared with the user's other programs.
    const folders::Checked autostart = checkFolder(given("autostart", autostartDir()), "the autostart folder",
                                                   home ? Use::Private : Use::Shared, root);
    if (!autostart.passed()) return autostart.error;
    found.autostart = autostart.real;
    if (auto refusal = refusedFileIn(found.config, ".plist")) return refusal;
    if (auto refusal = refusedFileIn(found.data / kKeychainFolder, ".items")) return refusal;
    if (alsoCheck) {
        if (auto refusal = alsoCheck(found.data)) return refusal;
    }

    // Only what trying finds is left (a read-only mount): such a refusal says what had changed.
    if (home) list.insert(list.begin(), Folder{"the data folder", root.real, nullptr});
    folders::Changes changed;
    for (const Folder& folder : list) {
        const folders::Checked ready = folders::prepare(folder.path, folder.what, Use::Private);
        changed.add(ready.changed);
        if (!ready.passed()) return ready.error + changed.before();
        if (folder.found) found.*folder.found = ready.real;
    }
    std::lock_guard<std::mutex> hold(preparedLock);
    if (prepared == nullptr)
        prepared = new Prepared(std::move(found));
    else
        *prepared = std::move(found);
    return std::nullopt;
}

bool writeFileAtomically(const fs::path& path, std::string_view bytes, fs::perms mode) {
    fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (!ensureDirectory(folder)) return false;
    AtomicFile::Options options;
    options.mode = mode;
    options.durable = true;
    return !AtomicFile::write(path, bytes, options);
}

size_t removeStaleTemporaryFiles(const fs::path& folder, std::string_view fileName) {
    size_t removed = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (!AtomicFile::isTemporaryName(name)) continue;
        // ".<fileName>.tmp-XXXXXX"
        if (!fileName.empty() &&
            (name.size() != fileName.size() + 12 || name.compare(1, fileName.size(), fileName) != 0))
            continue;
        if (AtomicFile::removeIfAbandoned(entry.path())) ++removed;
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

namespace {

// Why the file `info` describes (opened at `path` without following a link) is not the user's
// own state: another user's, not a plain file, or one others may write. None when it is.
std::optional<std::string> untrusted(const fs::path& path, const struct stat& info) {
    if (S_ISLNK(info.st_mode)) return folders::refusal(path.string() + " is a link");
    if (info.st_uid != ::geteuid()) return folders::ownedByAnother(path.string(), info.st_uid);
    if (!S_ISREG(info.st_mode)) return folders::refusal(path.string() + " is not a plain file");
    // Even the user's own group: what others could have written is not the user's state.
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return folders::refusal(path.string() + (info.st_mode & S_IWOTH ? " may be written by others"
                                                                        : " may be written by its group"));
    return std::nullopt;
}

} // namespace

std::optional<std::string> refusalOf(const fs::path& path) {
    // O_PATH opens a link itself, a fifo without waiting, and needs no permission on the file.
    const FileDescriptor fd(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0) return std::nullopt;
    return untrusted(path, info);
}

OwnFile readOwnFile(const fs::path& path) {
    using State = OwnFile::State;
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) return {State::Absent, {}, {}};
        // O_NOFOLLOW answers ELOOP for a link in the last place; the folders above were checked.
        if (errno == ELOOP) return {State::Refused, {}, folders::refusal(path.string() + " is a link")};
        return {State::Unreadable, {}, folders::lastError("reading " + path.string())};
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return {State::Unreadable, {}, folders::lastError("checking " + path.string())};
    if (auto problem = untrusted(path, info)) return {State::Refused, {}, std::move(*problem)};
    OwnFile file{State::Read, {}, {}};
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got == 0) return file;
        if (got > 0) {
            file.bytes.append(buffer, static_cast<size_t>(got));
        } else if (errno != EINTR) {
            return {State::Unreadable, {}, folders::lastError("reading " + path.string())};
        }
    }
}

std::optional<std::string> refusedFileIn(const fs::path& folder, std::string_view extension) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (extension.empty() || entry.path().extension() == extension) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files)
        if (auto problem = refusalOf(file)) return problem;
    return std::nullopt;
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
