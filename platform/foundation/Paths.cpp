#include "platform/foundation/Paths.h"

#include "platform/foundation/Beneath.h"
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
    // The settings, data and cache folders, open as they were checked: what lies below them is
    // reached from these descriptors, not through their paths again.
    std::vector<std::pair<fs::path, FileDescriptor>> checked;
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

// The keychain store's folder in the data folder, its store files and the file it locks.
constexpr const char* kKeychainFolder = "keychain";
constexpr const char* kKeychainFiles = ".items";
constexpr const char* kKeychainLock = ".lock";

} // namespace

FileDescriptor checkedFolder(const fs::path& folder) {
    std::lock_guard<std::mutex> hold(preparedLock);
    if (prepared == nullptr || prepared->environment != environmentKey()) return {};
    for (const auto& [path, fd] : prepared->checked) {
        struct stat info {};
        // A folder removed since (by a test, or the user) is no longer the one its path names.
        if (path == folder && fd && ::fstat(fd.get(), &info) == 0 && info.st_nlink > 0)
            return FileDescriptor(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0));
    }
    return {};
}

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

namespace {

// Before anything is prepared: the refusal of `folder` (a folder that was checked, or a folder in
// one, reached by its real path) when it is not a folder of the user's own, or else of the file
// `alsoNamed` there or the first file named "*<extension>" that is not the user's own, judged
// from the folder's descriptor; none when the folder is not there yet.
std::optional<std::string> refusedBeforeLaunch(const fs::path& folder, std::string_view extension,
                                               const char* alsoNamed = nullptr) {
    const FileDescriptor fd(::open(folder.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0) return std::nullopt;
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) return beneath::folderRefusal(folder, info, fd.get());
    if (alsoNamed) {
        if (auto refusal = beneath::refusedFile(fd.get(), folder, alsoNamed)) return refusal;
    }
    return beneath::firstRefusedFile(fd.get(), folder, extension);
}

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
    Prepared found{environmentKey(), {}, {}, {}, {}, {}};
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
    if (auto refusal = refusedBeforeLaunch(found.config, ".plist")) return refusal;
    if (auto refusal = refusedBeforeLaunch(found.data / kKeychainFolder, kKeychainFiles, kKeychainLock))
        return refusal;
    if (alsoCheck) {
        if (auto refusal = alsoCheck(found.data)) return refusal;
    }

    // Only what trying finds is left (a read-only mount): such a refusal says what had changed.
    if (home) list.insert(list.begin(), Folder{"the data folder", root.real, nullptr});
    folders::Changes changed;
    for (const Folder& folder : list) {
        folders::Checked ready = folders::prepare(folder.path, folder.what, Use::Private);
        changed.add(ready.changed);
        if (!ready.passed()) return ready.error + changed.before();
        if (!folder.found) continue;
        found.*folder.found = ready.real;
        found.checked.emplace_back(ready.real, std::move(ready.fd));
    }
    std::lock_guard<std::mutex> hold(preparedLock);
    if (prepared == nullptr)
        prepared = new Prepared(std::move(found));
    else
        *prepared = std::move(found);
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
