#include "heartbeat/FileStorage.h"

#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"

namespace heartbeat {

std::string FileStorage::fileName(const std::string& id) {
    std::string name = "heartbeats-" + id;
    for (char& c : name)
        if (c == ':' || c == '/' || c == '\0') c = '_';
    return name;
}

std::shared_ptr<Storage> FileStorage::makeStorage(const std::string& id) {
    return std::make_shared<FileStorage>(plat::paths::applicationSupportDir() / "tessera-heartbeat-storage" /
                                         fileName(id));
}

plat::Data FileStorage::read() {
    plat::paths::removeStaleTemporaryFiles(url_.parent_path(), url_.filename().string());
    plat::paths::OwnFile read = plat::paths::readOwnFile(url_);
    switch (read.state) {
    case plat::paths::OwnFile::State::Read:
        return plat::toData(read.bytes);
    case plat::paths::OwnFile::State::TooLarge: // damaged, as undecodable bytes are: the next save replaces it
    case plat::paths::OwnFile::State::Absent:
    case plat::paths::OwnFile::State::Refused:
    case plat::paths::OwnFile::State::Unreadable:
        break;
    }
    throw StorageError(StorageError::readError);
}

void FileStorage::write(const std::optional<plat::Data>& data) {
    // A file another user left (or may write) is only a cache to do without, never one to replace.
    if (plat::paths::refusalOf(url_)) throw StorageError(StorageError::writeError);
    if (!plat::paths::ensureDirectory(url_.parent_path())) throw StorageError(StorageError::writeError);
    std::string_view bytes;
    if (data) bytes = std::string_view(reinterpret_cast<const char*>(data->data()), data->size());
    if (!plat::paths::writeFileAtomically(url_, bytes)) throw StorageError(StorageError::writeError);
}

} // namespace heartbeat
