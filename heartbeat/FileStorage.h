// The file back end of the heartbeat storage: one file per app id under Application Support,
// written atomically.
#pragma once

#include "heartbeat/Storage.h"

#include <filesystem>
#include <memory>
#include <string>

namespace heartbeat {

class FileStorage final : public Storage {
public:
    explicit FileStorage(std::filesystem::path url) : url_(std::move(url)) {}

    // The back end for an app id: <Application Support>/tessera-heartbeat-storage/heartbeats-<id>.
    static std::shared_ptr<Storage> makeStorage(const std::string& id);
    // "heartbeats-" and the id, with ":" (and "/" and NUL, which cannot stand in a file name)
    // replaced by "_".
    static std::string fileName(const std::string& id);

    // The file's contents; StorageError::readError when it cannot be read or is not the user's
    // own, others may write it, or it is a link (paths::readOwnFile). Temporary files that killed
    // writers left beside it are removed first.
    plat::Data read() override;
    // Creates the folder, then replaces the file atomically; StorageError::writeError on failure,
    // in which case the old file is kept, as it is when read() would refuse it.
    void write(const std::optional<plat::Data>& data) override;

    const std::filesystem::path& url() const { return url_; }

private:
    std::filesystem::path url_;
};

} // namespace heartbeat
