// The one check every folder Velmora keeps files in passes before it is used: the folder belongs to
// this user, nothing inside it belongs to anyone else, and no other user can change the folders
// above it (and so move it away and put one of theirs in its place). The check changes nothing; the
// changes that follow (making missing folders, taking the group and other bits off) go through
// descriptors opened without following links, never by path.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace plat::folders {

// How Velmora uses a folder.
enum class Use {
    Private, // only Velmora's: made 0700, everything in it 0700/0600 (the data root and its folders)
    Shared,  // shared with other programs of the user (the autostart folder): checked, never changed
};

// A folder that passed the check, open (O_RDONLY | O_DIRECTORY) as `fd`; or why it did not pass.
struct Checked {
    int fd = -1;       // owned by the caller; -1 when refused or (from check) not there yet
    std::string error; // empty unless refused; names the folder and the owner or group at fault
};

// Checks `folder` and everything in it without changing anything: none when it passes, otherwise
// why not. `what` names the folder in messages ("the data folder"). A folder that does not exist
// yet passes when the folder it would be made in is safe.
std::optional<std::string> check(const std::filesystem::path& folder, std::string_view what, Use use);

// Checks `folder` as `check` does, makes it (and missing folders above it, 0700) when it is not
// there, and for Use::Private makes it and everything in it private. Refuses, changing nothing
// more, as soon as something fails the check (something another user made meanwhile).
Checked prepare(const std::filesystem::path& folder, std::string_view what, Use use);

// The refusal for `path`, owned by `owner`, which is not this user.
std::string ownedByAnother(const std::filesystem::path& path, uid_t owner);

} // namespace plat::folders
