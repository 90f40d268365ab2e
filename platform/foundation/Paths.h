// Where the application keeps its data. Everything lives under one root: $VELMORA_HOME when it is
// set (tests always set it), otherwise the XDG base folders. Until preparePrivateFolders passes,
// the folders are computed from the environment on each call. Once it has passed, they are the real
// paths it checked: no link or ".." in them, and every folder on them safe. A test that switches
// $VELMORA_HOME gets folders computed from the environment again.
#pragma once

#include "platform/foundation/FileDescriptor.h"

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
// The settings, data or cache folder `folder` (as the getters above give it) open as
// preparePrivateFolders checked it, for this environment; none before that, for another folder, or
// once it has been removed.
FileDescriptor checkedFolder(const std::filesystem::path& folder);
// The bundle (Info values, resources): $VELMORA_BUNDLE, else `resources/` beside the executable.
std::filesystem::path bundleDir();

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

// Reads a whole file of the system (not one of Velmora's own: see OwnFiles.h); none when it cannot
// be opened.
std::optional<std::string> readFile(const std::filesystem::path& path);

} // namespace plat::paths
