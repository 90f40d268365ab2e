// Tests that play another user (files of uid 4242, an answer from another user, a folder of
// another group) need root. Run by an ordinary user, such a test runs again as root of a user
// namespace of its own, where this user is root and its subordinate ids are the other users.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <sys/types.h>

namespace testsupport {

// The other user such tests play.
inline constexpr uid_t kAnotherUser = 4242;

// Leaves a file holding `bytes` with `mode` at `path`, owned by kAnotherUser, as that user would
// have while the folder was open to them (needs root, or root of the namespace above).
void plantAsAnotherUser(const std::filesystem::path& path, const std::string& bytes, mode_t mode);

// The ordinary user such tests become, without capabilities, where another user's 0600 file must
// stay unopenable: mapped in the namespace above, neither root nor kAnotherUser.
inline constexpr uid_t kOrdinaryUser = 4141;

// Leaves a socket of kAnotherUser at `path`, as that user would (needs root as above).
void plantSocketAsAnotherUser(const std::filesystem::path& path);

// Calls `check` once for each kind of file of kAnotherUser at `path` that an ordinary user cannot
// open: a 0600 file holding "theirs", then a socket; each time in a folder made afresh for it.
void forEachUnopenableFileOfAnotherUser(const std::filesystem::path& path, const std::function<void()>& check);

// Runs `act` in a child that has given `home` (everything in it) to kOrdinaryUser and then become
// that user, with no capabilities left; answers what `act` answered, or "" when the child failed.
// Velmora's singletons in the child start as the parent left them: reset them in `act`.
std::string asOrdinaryUser(const std::filesystem::path& home, const std::function<std::string()>& act);

// What a file is, without following a link: its inode, type and mode, owner, and contents (a
// link's target). Equal before and after when nothing changed, moved or replaced it.
std::string fileFacts(const std::filesystem::path& path);

// Called first in such a test: `if (testsupport::rerunAsRootInUserNamespace()) return;`.
// For root it returns false and the test goes on here. Otherwise the current test runs again,
// alone, in a child of this test binary that is root of a new user namespace, mapped through
// newuidmap and newgidmap (package uidmap) as 0 -> this user and 1..65533 -> the first of the
// user's subordinate ids in /etc/subuid and /etc/subgid. The overflow id 65534 stays unmapped, so
// that there it stands only for owners outside, as it does for the folder rules. The current test
// fails when that run fails (its output shown), and skips, saying precisely why, where no such
// namespace can be made (no uidmap, no subordinate ids, or the kernel refuses the namespace, as
// it does inside a chroot). Returns true then: the caller returns.
bool rerunAsRootInUserNamespace();

// Whether this process runs in a user namespace that maps only some ids (the one above, say):
// there the overflow id is nobody a test can give a file to.
bool inPartialUserNamespace();

} // namespace testsupport
