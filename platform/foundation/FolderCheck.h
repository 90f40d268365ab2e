// The one check every folder Velmora keeps files in passes before it is used: the folder belongs to
// this user, nothing inside it belongs to anyone else, and no other user can change the folders
// above it (and so move it away and put one of theirs in its place). The path is resolved once,
// from "/", one name at a time without letting the system follow links: each link on the way is
// checked (its owner and the folders it lies in) and followed by hand, ".." goes to the real
// folder above. The result is the folder's real path, with no link or ".." left in it, and every
// folder on that path is safe, so the text names the same folder for as long as the process runs;
// later opens go through that path, never the one given. Changes (making missing folders, taking
// the group and other bits off) go through descriptors, never by path.
#pragma once

#include "platform/foundation/FileDescriptor.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace plat::folders {

// How many folders deep anything below one of Velmora's folders is gone through. Its own folders
// nest far less deep; a deeper one is refused (or, where a store only tidies up, left alone).
inline constexpr int kMostDepth = 32;

// How Velmora uses a folder.
enum class Use {
    Private, // only Velmora's: made 0700, everything in it 0700/0600 (the data root and its folders)
    Shared,  // shared with other programs of the user (the autostart folder): checked, never changed
};

// What preparing folders changed, so that a refusal that only trying could find (a read-only
// mount) can say what had already changed before it. Names the first few changes and counts all.
class Changes {
public:
    void made(const std::filesystem::path& folder);
    void madePrivate(const std::filesystem::path& path, mode_t before, mode_t after);
    // Adds `other`'s changes after these.
    void add(const Changes& other);
    bool empty() const { return count_ == 0; }
    // "" when nothing changed; otherwise "; already changed before that: <path> (0755 -> 0700),
    // <path> (made, 0700), ... and <n> more", to follow a refusal.
    std::string before() const;

private:
    static constexpr size_t kMostNamed = 10;
    std::vector<std::string> named_;
    size_t count_ = 0;
};

// A folder that passed the check, or why it did not.
struct Checked {
    FileDescriptor fd;          // the folder, open O_RDONLY | O_DIRECTORY; none when refused or
                                // (from check) not there yet
    std::filesystem::path real; // where it really is: absolute, no link, "." or ".." on the way
    std::string error;          // empty unless refused; names the folder and the owner or group at fault
    Changes changed;            // what prepare changed, refused or not; nothing from check
    bool passed() const { return error.empty(); }
};

// Checks `folder` and everything in it not private yet without changing anything. `what` names the
// folder in messages ("the data folder"). A folder that does not exist yet passes when the folder
// it would be made in is safe; `real` is then where it will be made.
Checked check(const std::filesystem::path& folder, std::string_view what, Use use);

// Checks `folder` as `check` does, makes it (and missing folders above it, 0700) when it is not
// there, and for Use::Private makes it and everything in it private. Refuses, changing nothing
// more, as soon as something fails the check (something another user made meanwhile) or cannot be
// made private; `changed` then says what it had changed already. A folder of this user with no
// group or other permissions, in safe folders, is not looked into: nobody else could have put
// anything in it since it became so. What `check` refuses, prepare refuses too, but only once it
// reaches it, after changing what came before; so callers check every folder first and prepare
// only when all passed (both go through the same folders, private ones not looked into).
Checked prepare(const std::filesystem::path& folder, std::string_view what, Use use);

// An entry by its name right in a folder held open, by which it can be opened anew.
struct Named {
    int folder = -1;
    std::string_view name;
};

// Who besides this user may write what `info` describes, open as `fd` (O_PATH will do): "others may
// write", "members of the group staff (gid 50) may write", or an entry of its access ACL ("the user
// u2 (uid 4242), named in its access ACL, may write"); none when nobody can. The user's own private
// group (no other account has it as its primary group, the group file names no other member)
// writes nothing another user could; it counts as shared, saying why, where the account list
// cannot be known to be whole (it could not be read to its end, or does not hold the user's own
// account). The account list is read once a process, when first needed. An access ACL that cannot
// be read counts as letting others write. Where the ACL cannot be read through `fd` (O_PATH, and
// no /proc), a file is opened anew as `byName` names it, read-only, and must be the entry `info`
// describes.
std::optional<std::string> writersBesidesUs(const struct stat& info, int fd, const Named& byName = {});

// The refusal for `what` (a path, or a folder named as in messages), owned by `owner`, which is
// not this user.
std::string ownedByAnother(const std::string& what, uid_t owner);

// `problem` as a refusal to use a folder: the one wording of why Velmora stops.
std::string refusal(const std::string& problem);

// "<path> could not be made private: <the text of errno>", as a refusal.
std::string notMadePrivate(const std::filesystem::path& path);

// "<what>: <the text of errno>".
std::string lastError(const std::string& what);

} // namespace plat::folders
