#include "transport/TTRPlatform.h"

#include "transport/TTRConsoleLogger.h"
#include "transport/TTRReachability.h"

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"

#include <mutex>

namespace fs = std::filesystem;

fs::path TTRRootDirectory() {
    fs::path root = plat::paths::cachesDir() / "tessera-sdks-events";
    static std::once_flag logged;
    std::call_once(logged, [&] { TTRLogDebug("TTR's state will be saved to: %@", root.string()); });
    std::optional<plat::Error> error = plat::AtomicFile::createDirectories(root);
    TTRAssert(!error, "There was an error creating TTR's path");
    return root;
}

bool TTRReachabilityFlagsReachable(uint32_t flags) {
    return (flags & 6u) == 2u;
}

bool TTRReachabilityFlagsContainWWAN(uint32_t) {
    return false;
}

int32_t TTRNetworkTypeMessage() {
    return (TTRReachability::currentFlags() & 2u) ? 1 : 0;
}

int32_t TTRNetworkMobileSubTypeMessage() {
    return 0;
}

std::string TTRDeviceModel() {
    return "Unknown";
}

std::optional<plat::Data> TTREncodeArchive(const plat::SecureCoding& object, const fs::path& path,
                                           plat::Error* error) {
    if (!path.empty() && path.has_parent_path()) {
        if (std::optional<plat::Error> folderError =
                plat::AtomicFile::createDirectories(path.parent_path())) {
            TTRLogDebug("Attempt to create directory failed: path:%@ error:%@", path.string(),
                        folderError->localizedDescription());
            if (error) *error = *folderError;
            return std::nullopt;
        }
    }
    plat::Error archiveError;
    std::optional<plat::Data> bytes =
        plat::KeyedArchiver::archivedDataWithRootObject(object, true, &archiveError);
    if (!bytes) {
        TTRLogDebug("Encoding an object failed: %@", archiveError.localizedDescription());
        if (error) *error = archiveError;
        return std::nullopt;
    }
    if (!path.empty()) {
        if (std::optional<plat::Error> writeError =
                plat::AtomicFile::write(path, bytes->data(), bytes->size(), plat::AtomicFile::Options{})) {
            TTRLogDebug("Attempt to write archive failed: path:%@ error:%@", path.string(),
                        writeError->localizedDescription());
        } else {
            TTRLogDebug("Writing archive succeeded: %@", path.string());
        }
    }
    return bytes;
}

std::shared_ptr<plat::SecureCoding> TTRDecodeArchive(const plat::SecureCodingClass& objectClass,
                                                     const plat::Data& bytes, plat::Error* error) {
    return plat::KeyedUnarchiver::unarchivedObjectOfClass(objectClass, bytes, error);
}

std::shared_ptr<plat::SecureCoding> TTRDecodeArchiveAtPath(const plat::SecureCodingClass& objectClass,
                                                           const fs::path& path, plat::Error* error) {
    std::optional<plat::Data> bytes = plat::AtomicFile::read(path, error, kTTRMaxArchiveSize);
    if (!bytes) return nullptr;
    return TTRDecodeArchive(objectClass, *bytes, error);
}

namespace {

// What a write of an archive to `path` answered: logged, and `error` set on failure.
bool TTRWritten(const std::optional<plat::paths::FileProblem>& problem, const fs::path& path, plat::Error* error) {
    if (problem) {
        const plat::Error writeError = plat::AtomicFile::posixError(*problem);
        TTRLogDebug("Attempt to write archive failed: path:%@ error:%@", path.string(),
                    writeError.localizedDescription());
        if (error) *error = writeError;
        return false;
    }
    TTRLogDebug("Writing archive succeeded: %@", path.string());
    return true;
}

} // namespace

bool TTRWriteDataToFile(const plat::Data& data, const fs::path& path, plat::Error* error) {
    if (path.empty()) return false;
    // The missing folders are made on the way to the file, in the one walk that reaches it.
    return TTRWritten(plat::paths::writeOwnFile(path, data.data(), data.size(), 0600, false, true), path, error);
}

bool TTRWriteDataToFile(const plat::Data& data, const plat::paths::OwnFolder& folder, const std::string& name,
                        plat::Error* error) {
    return TTRWritten(plat::paths::writeOwnFileAt(folder, name, data.data(), data.size()), folder.path() / name,
                      error);
}
