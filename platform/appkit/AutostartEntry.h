// XDG autostart entries: "<identifier>.desktop" files in paths::autostartDir() that the desktop
// session starts at login. The login-item stand-ins register and unregister through them.
#pragma once

#include "platform/object/Error.h"

#include <filesystem>
#include <optional>
#include <string>

namespace plat::AutostartEntry {

enum class State {
    Missing,  // no entry
    Enabled,  // the session starts it
    Disabled, // present but switched off by the user (Hidden=true or autostart disabled)
};

// The entry's file; none when `identifier` is not a plain file name.
std::optional<std::filesystem::path> path(const std::string& identifier);
State state(const std::string& identifier);
// Writes (or rewrites, switching it back on) the entry that starts `executable`. Folder 0700
// when it has to be made, file 0600 (the session reads it as the same user), written atomically. Error domain
// kErrorDomain on failure.
std::optional<Error> write(const std::string& identifier, const std::string& name,
                           const std::filesystem::path& executable);
// Removes the entry. An error when there is none or it cannot be removed.
std::optional<Error> remove(const std::string& identifier);

// The error domain of login-item failures and its codes.
inline constexpr const char* kErrorDomain = "io.velmora.ServiceManagement";
inline constexpr int64_t kErrorNotRegistered = 1;
inline constexpr int64_t kErrorInvalidIdentifier = 2;
inline constexpr int64_t kErrorWriteFailed = 3;

// The program the entries start: the running executable.
std::filesystem::path currentExecutable();
// "Exec=" quoting of the desktop-entry format: quoted and escaped when needed.
std::string quoteExec(const std::string& program);

} // namespace plat::AutostartEntry
