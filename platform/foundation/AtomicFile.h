// Whole-file writes that a crash cannot tear: the bytes go to a hidden temporary file in the target's
// folder, which is then renamed over the target, so a reader (or the next launch after a kill -9)
// sees either the old file or the complete new one. Failures come back as POSIX errors with the
// errno and the path, never as exceptions. Also the matching reads, folder creation and the sweep
// of temporary files that an interrupted write leaves behind. Below Velmora's own folders each goes
// through OwnFiles.h: nothing is followed, and nothing that is not the user's own is read, replaced
// or removed. Thread-safe (no shared state).
#pragma once

#include "platform/foundation/OwnFiles.h"
#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

class AtomicFile {
public:
    // The domain of the errors made here; the code is the errno value.
    static constexpr const char* kPOSIXErrorDomain = "NSPOSIXErrorDomain";
    struct Options {
        // The mode of the new file (private by default, whatever the umask).
        std::filesystem::perms mode =
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
        // fsync the file and its folder before answering. Without it the write survives a crash
        // of the process, not necessarily a power loss.
        bool durable = false;
    };

    // Replaces `path` with `bytes`; none on success. The folder must exist. On failure the old
    // file (if any) is untouched and no temporary file is left behind. The temporary file is
    // locked (flock) until it has been renamed over the target, so a sweep can tell a live write
    // from the leftover of a killed process.
    static std::optional<Error> write(const std::filesystem::path& path, const void* bytes, size_t size,
                                      const Options& options);
    static std::optional<Error> write(const std::filesystem::path& path, std::string_view bytes,
                                      const Options& options) {
        return write(path, bytes.data(), bytes.size(), options);
    }

    // The whole file; none with `error` set when it cannot be opened or read, is not a plain file
    // of the user's own that no one else may write, or is larger than `maxSize` bytes.
    static std::optional<Data> read(const std::filesystem::path& path, Error* error = nullptr,
                                    uint64_t maxSize = paths::kMostStateFileSize);

    // Creates `dir` and its missing parents, new folders 0700 (everything Velmora keeps is private,
    // so there is no other mode); none when it exists as a folder afterwards.
    static std::optional<Error> createDirectories(const std::filesystem::path& dir);

    // Whether a file name is one of this writer's temporary names (hidden, so directory listings
    // that skip hidden entries never see a half-written file).
    static bool isTemporaryName(std::string_view fileName);
    // Deletes the temporary files below `dir` (all levels) that no live writer holds; answers how
    // many were removed.
    static size_t removeTemporaryFiles(const std::filesystem::path& dir);

    // An error of kPOSIXErrorDomain for `errnoValue`, its message naming what failed and the path.
    static Error posixError(int errnoValue, const std::string& what, const std::filesystem::path& path);
    // An error of kPOSIXErrorDomain for what an operation of OwnFiles.h answered: its errno, its text.
    static Error posixError(const paths::FileProblem& problem);
};

} // namespace plat
