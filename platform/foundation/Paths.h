// Where the application keeps its data. Everything lives under one root: $VELMORA_HOME when it is
// set (tests always set it), otherwise the XDG base folders. Until preparePrivateFolders passes,
// the folders are computed from the environment on each call. Once it has passed, they are the real
// paths it checked: no link or ".." in them, and every folder on them safe. A test that switches
// $VELMORA_HOME gets folders computed from the environment again.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace plat::paths {

// User defaults, one plist per domain: $VELMORA_HOME/config or $XDG_CONFIG_HOME/velmora.
std::filesystem::path configDir();
// Application Support: $VELMORA_HOME/data or $XDG_DATA_HOME/velmora.
std::filesystem::path applicationSupportDir();
// Caches: $VELMORA_HOME/cache or $XDG_CACHE_HOME/velmora.
std::filesystem::path cachesDir();
// The keychain store: <applicationSupportDir>/keychain.
std::filesystem::path keychainDir();
// The VPN simulator's profile and state: <applicationSupportDir>/vpn.
std::filesystem::path vpnDir();
// The XDG autostart folder: $VELMORA_HOME/autostart or $XDG_CONFIG_HOME/autostart.
std::filesystem::path autostartDir();
// The bundle (Info values, resources): $VELMORA_BUNDLE, else `resources/` beside the executable.
std::filesystem::path bundleDir();

// Creates `dir` and its parents with exactly the given mode for newly made folders (private by
// default, whatever the umask); true when it exists.
bool ensureDirectory(const std::filesystem::path& dir,
                     std::filesystem::perms mode = std::filesystem::perms(0700));

// What else must hold in the data folder (given at its real path, perhaps not there yet) before
// anything is changed: none when it does, otherwise why not. It changes nothing itself.
using DataFolderCheck = std::function<std::optional<std::string>(const std::filesystem::path&)>;

// Gets the folders Velmora keeps files in ready for a launch. First it checks, changing nothing:
// - with $VELMORA_HOME, that root, as folders::check does;
// - the settings, data and cache folders and the autostart folder, each where it really is. In a
//   root not private yet, which its check went through whole, a folder right in it passes with it;
//   anything else there (a link, a file) is checked on its own;
// - the settings files and the keychain's store files, as readOwnFile judges them: another user may
//   have left one in a folder while it was open, and a private folder is not looked into;
// - `alsoCheck`, on the data folder.
// Only when all of that passes does it make the root, settings, data and cache folders where they
// are missing, and take the group and other permissions off everything under them. Folders that
// are private already are not looked into. The XDG autostart folder is only checked, never changed.
// From then on the folder getters give the real paths that were checked.
// None when Velmora may start, otherwise why not, naming the folder. A refusal that only the change
// itself finds (a read-only mount) also names what had changed before it.
std::optional<std::string> preparePrivateFolders(const DataFolderCheck& alsoCheck = {});

// Writes `bytes` to `path` atomically: a temporary file ".<name>.tmp-XXXXXX" in the same folder,
// fsync, rename. The writer holds an exclusive flock on its temporary file until the rename, which
// is how removeStaleTemporaryFiles tells a live write from the leftover of a killed one.
// `mode` applies to the new file. Returns false (and leaves any old file intact) on failure.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         std::filesystem::perms mode = std::filesystem::perms(0600));
// Renames a damaged file to "<name>.corrupt-<UTC time>" (with "-<n>" when that is taken) beside
// it, so that it is kept for inspection and the next write does not destroy it. Returns the new
// path, or none when the file could not be moved (or is gone already).
std::optional<std::filesystem::path> moveAside(const std::filesystem::path& file);

// Removes the temporary files of writeFileAtomically in `folder` that no live writer holds: the
// leftovers of a process killed mid-write (for a store of secrets, whole copies of them). Only
// those of `fileName` when it is given, every one otherwise (for folders that only we write).
// Stores call it when they open their folder. Returns how many were removed.
size_t removeStaleTemporaryFiles(const std::filesystem::path& folder, std::string_view fileName = {});

// Reads a whole file; none when it cannot be opened.
std::optional<std::string> readFile(const std::filesystem::path& path);

// A file of Velmora's state or secrets as readOwnFile found it.
struct OwnFile {
    enum class State {
        Read,       // `bytes` holds it
        Absent,     // there is nothing at the path
        Refused,    // something is there that must not be trusted: `problem` names it and says why
        Unreadable, // it could not be read: `problem` names it and gives the system's reason
    };
    State state = State::Absent;
    std::string bytes;
    std::string problem;
    // `problem` when the file is refused; none otherwise.
    std::optional<std::string> refusal() const {
        return state == State::Refused ? std::optional(problem) : std::nullopt;
    }
};

// Reads `path` only when it is a plain file of this user that nobody else may write: opened
// without following a link (nor waiting on a fifo), then judged by the open descriptor, so what is
// judged is what is read. A folder that is private now may still hold what another user left in
// it while it was open; such a file, a link, or a file others may write is refused with the
// folder refusals' wording, and nothing about it is changed.
OwnFile readOwnFile(const std::filesystem::path& path);

// What readOwnFile would refuse `path` for, judged without reading it; none when it would not, or
// when nothing is there. For a store that must not write over or remove such a file.
std::optional<std::string> refusalOf(const std::filesystem::path& path);

// The refusal of the first entry named "*<extension>" (any entry, for an empty extension) right in
// `folder` that readOwnFile would refuse (refusalOf); none when there is none, or no such folder. For the few
// files of a store's own folder: settings or secrets that another user left in a folder while it was open to
// them.
std::optional<std::string> refusedFileIn(const std::filesystem::path& folder,
                                         std::string_view extension = {});

} // namespace plat::paths
