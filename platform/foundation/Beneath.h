// What lies below a folder Velmora checked is reached from that folder's descriptor, one name at a
// time, never following a link. Each folder on the way, and the entry reached, is judged by fstat
// of what was opened: it must be the user's own, and no one else may write it. A folder that is
// private now may still hold what another user left in it while it was open to them; that is
// neither followed nor used. These are the descriptor-level steps; OwnFiles.h gives them by path.
#pragma once

#include "platform/foundation/FileDescriptor.h"
#include "platform/foundation/FolderCheck.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace plat::beneath {

// Why a file at `path`, as fstat or lstat shows the entry itself (never a link's target), is not
// the user's own state: a link, another user's, not a plain file, or a file that someone else may
// write. None when it is. Who may write is judged as folders::writersBesidesUs does, on `fd` when
// it holds the entry (O_PATH will do), otherwise on the entry `byName` names (its name in a folder
// held open; `path`, where none is given) once it is the same; through that name its ACL is read
// where `fd` does not let it be read.
std::optional<std::string> fileRefusal(const std::filesystem::path& path, const struct stat& info,
                                       int fd = -1, folders::Named byName = {});

// Why a folder at `path` below one of Velmora's folders must not be used: a link, another user's,
// not a folder, or a folder that someone else may write (judged as for fileRefusal). None when it may.
std::optional<std::string> folderRefusal(const std::filesystem::path& path, const struct stat& info,
                                         int fd = -1, folders::Named byName = {});

// Where a walk below a folder ended.
struct Reached {
    enum class State {
        Open,    // `fd` holds the folder (O_PATH | O_DIRECTORY)
        Absent,  // a folder on the way is not there
        Refused, // something on the way must not be used: `problem` names it and says why
        Failed,  // the system refused a step: `problem` names it, `error` is errno
    };
    State state = State::Failed;
    FileDescriptor fd;
    std::string problem;
    int error = 0;
    bool open() const { return state == State::Open; }
};

// The folder `names` below the folder open as `from` (at `fromPath`), each name one openat of
// O_PATH | O_NOFOLLOW, each folder judged (folderRefusal). With `make`, a missing folder is made
// 0700, whatever the umask. `from` itself is judged too.
Reached walk(FileDescriptor from, const std::filesystem::path& fromPath, const std::vector<std::string>& names,
             bool make);

// An O_RDONLY descriptor of the folder open as `fd` (which may be O_PATH), for listing or fsync.
FileDescriptor listable(int fd);

// The names in the folder open as `fd`, without "." and ".."; none when it cannot be listed. With
// `types`, each entry's type as the listing gives it (DT_DIR, DT_REG, ...; DT_UNKNOWN where the
// file system does not say), in the same order.
std::optional<std::vector<std::string>> names(int fd, std::vector<unsigned char>* types = nullptr);

// The refusal of the entry `name` right in the folder open as `fd` (at `folder`), judged as
// fileRefusal does; none when it is not there.
std::optional<std::string> refusedFile(int fd, const std::filesystem::path& folder, const std::string& name);

// The refusal of the first entry named "*<extension>" (any entry, for an empty extension) right in
// the folder open as `fd` (at `folder`), judged as fileRefusal does; none when there is none.
std::optional<std::string> firstRefusedFile(int fd, const std::filesystem::path& folder,
                                            std::string_view extension);

} // namespace plat::beneath
