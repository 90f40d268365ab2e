// Every file and folder Velmora keeps below its settings, data and cache folders is reached from
// that folder, one name at a time, never following a link (Beneath.h); each folder on the way and
// the entry itself must be the user's own, and no one else may write it. What fails is refused by
// name and is never read, written through, replaced or removed. A path outside those folders (a
// test's own file, say) is reached as the system reaches it.
#pragma once

#include "platform/foundation/FileDescriptor.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace plat::paths {

// Larger than any file of state Velmora writes; a larger one is damaged.
inline constexpr uint64_t kMostStateFileSize = 64ull << 20;

// Why an operation on a file or folder failed.
struct FileProblem {
    int error = 0;        // errno; EPERM for a refusal
    std::string text;     // names the path and says what went wrong
    bool refused = false; // something there is not the user's own, and was left as it was
};

// A folder reached as described above, open for operations on its entries.
class OwnFolder {
public:
    // Opens `dir`; with `make`, makes the missing folders 0700 on the way.
    static OwnFolder open(const std::filesystem::path& dir, bool make = false);

    bool isOpen() const { return static_cast<bool>(fd_); }
    // Whether the folder is not there.
    bool absent() const { return !fd_ && problem_.error == ENOENT; }
    const FileProblem& problem() const { return problem_; }
    int fd() const { return fd_.get(); }
    const std::filesystem::path& path() const { return path_; }
    // Whether entries here are judged: the folder lies in one of Velmora's folders.
    bool judged() const { return judged_; }
    // Whether `path()` still leads to the folder held open (not removed, moved away or replaced
    // since). A folder judged once stays judged while it is held: a holder that keeps it open across
    // operations asks this before each, and opens the path again when it does not.
    bool stillAtPath() const;

private:
    FileDescriptor fd_;
    std::filesystem::path path_;
    FileProblem problem_;
    bool judged_ = false;
    // The held folder's identity, taken when stillAtPath first asks.
    mutable dev_t device_ = 0;
    mutable ino_t inode_ = 0;
};

// A file of Velmora's state or secrets as readOwnFile found it.
struct OwnFile {
    enum class State {
        Read,       // `bytes` holds it
        Absent,     // there is nothing at the path
        Refused,    // something is there that must not be trusted: `problem` names it and says why
        Unreadable, // it could not be read: `problem` names it and gives the system's reason
        TooLarge,   // larger than any such file Velmora writes: damaged; `problem` says so
    };
    State state = State::Absent;
    std::string bytes;
    std::string problem;
    int error = 0; // errno of Refused (EPERM, or EISDIR for a folder) and Unreadable
    // `problem` when the file is refused; none otherwise.
    std::optional<std::string> refusal() const {
        return state == State::Refused ? std::optional(problem) : std::nullopt;
    }
};

// Reads `path` only when it is a plain file of this user that nobody else may write, and no larger
// than `most` bytes. It is judged first, by fstatat of its entry in the folder reached (a link not
// followed), which reads nothing, so a file the user could not open (another user's 0600 file, a
// socket) gets the same refusal as one it could.
// An entry replaced between its judgement and its open (an atomic write beside the reader) is judged
// and opened again, a few times at most, so a reader gets the old file or the new one.
OwnFile readOwnFile(const std::filesystem::path& path, uint64_t most = kMostStateFileSize);

// What readOwnFile would refuse `path` for, judged without reading it; none when it would not, or
// when nothing is there.
std::optional<std::string> refusalOf(const std::filesystem::path& path);

// The refusal of the first entry named "*<extension>" (any entry, for an empty extension) right in
// `folder`, as refusalOf judges it, or of the folder itself; none when there is none, or no folder.
std::optional<std::string> refusedFileIn(const std::filesystem::path& folder, std::string_view extension = {});

// Makes `dir` and the missing folders on the way 0700; true when it is there afterwards.
bool ensureDirectory(const std::filesystem::path& dir);

// Replaces `path` with `bytes`: a temporary file ".<name>.tmp-XXXXXX" made in the same folder,
// written, then renamed over it. The writer holds an exclusive flock on the temporary file until
// the rename, which is how removeStaleTemporaryFiles tells a live write from a killed one. With
// `durable`, the file and its folder are synced first. An entry at `path` that readOwnFile would
// refuse is not replaced. With `makeFolders`, missing folders on the way are made first.
std::optional<FileProblem> writeOwnFile(const std::filesystem::path& path, const void* bytes, size_t size,
                                        mode_t mode = 0600, bool durable = false, bool makeFolders = false);

// writeOwnFile of the entry `name` right in `folder`, which the caller holds open.
std::optional<FileProblem> writeOwnFileAt(const OwnFolder& folder, const std::string& name, const void* bytes,
                                          size_t size, mode_t mode = 0600, bool durable = false);

// writeOwnFile with the folders made and the write durable; false on failure (the old file intact).
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         std::filesystem::perms mode = std::filesystem::perms(0600));

// Renames a damaged file of the user's to "<name>.corrupt-<UTC time>" (with "-<n>" when that is
// taken) beside it, so that it is kept for inspection. An entry already there is never replaced:
// after 1,000 taken names it gives up. Returns the new path, or none when it could not be moved (or
// is gone already, or is not the user's).
std::optional<std::filesystem::path> moveAside(const std::filesystem::path& file);

// Removes the temporary files of writeOwnFile in `folder` that no live writer holds and that are
// the user's own. Only those of `fileName` when it is given, every one otherwise. Returns how many.
size_t removeStaleTemporaryFiles(const std::filesystem::path& folder, std::string_view fileName = {});
// The same in `folder` and every folder below it that may be used.
size_t removeStaleTemporaryFilesBelow(const std::filesystem::path& folder);
// Whether `fileName` is one of writeOwnFile's temporary names.
bool isTemporaryName(std::string_view fileName);

// Removes the file, link or (with `recursive`, with everything in it) folder at `path`. Refuses,
// removing nothing more, at the first entry that is not the user's own.
std::optional<FileProblem> removeOwn(const std::filesystem::path& path, bool recursive = false);

// Moves `from` to `to` (in the same file system). Refuses when `from` is not the user's own or an
// entry at `to` would be replaced that readOwnFile would refuse.
std::optional<FileProblem> renameOwn(const std::filesystem::path& from, const std::filesystem::path& to);

// The names in `folder`, without "." and "..".
std::optional<std::vector<std::string>> folderNames(const std::filesystem::path& folder,
                                                    FileProblem* problem = nullptr);

// An entry of a folder, as the folder holds it (a link not followed).
struct FolderEntry {
    std::string name;
    struct stat info;
};
// The entries in `folder`, without "." and "..", reached in one walk; an entry gone while the
// folder is listed is left out.
std::optional<std::vector<FolderEntry>> folderEntries(const std::filesystem::path& folder,
                                                      FileProblem* problem = nullptr);

// The entries of `folderEntries` that may be used: in one of Velmora's folders, only plain files
// and folders of the user's own that no one else may write. What is left aside (another user's
// file, a link, a socket) is absent here, as it is for every listing, count and total built on it.
std::optional<std::vector<FolderEntry>> ownEntries(const std::filesystem::path& folder,
                                                   FileProblem* problem = nullptr);

// What is at `path` itself (a link is not followed); none when nothing is, or it cannot be reached.
std::optional<struct stat> entryStatus(const std::filesystem::path& path, FileProblem* problem = nullptr);

// Opens the file at `path` with `flags` (O_CREAT makes it 0600); refused, and left unchanged
// (O_TRUNC included), unless readOwnFile would take it.
FileDescriptor openOwnFile(const std::filesystem::path& path, int flags, FileProblem* problem = nullptr);

} // namespace plat::paths
