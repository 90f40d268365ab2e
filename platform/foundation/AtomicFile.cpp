#include "platform/foundation/AtomicFile.h"


#include <cerrno>
#include <cstring>

namespace fs = std::filesystem;

namespace plat {

Error AtomicFile::posixError(int errnoValue, const std::string& what, const fs::path& path) {
    return Error::withMessage(kPOSIXErrorDomain, errnoValue,
                              what + " " + path.string() + ": " + std::strerror(errnoValue));
}

Error AtomicFile::posixError(const paths::FileProblem& problem) {
    return Error::withMessage(kPOSIXErrorDomain, problem.error, problem.text);
}

std::optional<Error> AtomicFile::write(const fs::path& path, const void* bytes, size_t size,
                                       const Options& options) {
    std::optional<paths::FileProblem> problem = paths::writeOwnFile(
        path, bytes, size, static_cast<mode_t>(options.mode), options.durable, false);
    if (!problem) return std::nullopt;
    return posixError(*problem);
}

std::optional<Data> AtomicFile::read(const fs::path& path, Error* error, uint64_t maxSize) {
    paths::OwnFile file = paths::readOwnFile(path, maxSize);
    switch (file.state) {
    case paths::OwnFile::State::Read:
        return Data(file.bytes.begin(), file.bytes.end());
    case paths::OwnFile::State::Absent:
        if (error) *error = posixError(ENOENT, "Could not open", path);
        break;
    case paths::OwnFile::State::TooLarge:
        if (error) *error = posixError(EFBIG, "Too large to read:", path);
        break;
    case paths::OwnFile::State::Refused:
    case paths::OwnFile::State::Unreadable:
        if (error) *error = Error::withMessage(kPOSIXErrorDomain, file.error, file.problem);
        break;
    }
    return std::nullopt;
}

std::optional<Error> AtomicFile::createDirectories(const fs::path& dir) {
    const paths::OwnFolder folder = paths::OwnFolder::open(dir, true);
    if (folder.isOpen()) return std::nullopt;
    return posixError(folder.problem());
}

bool AtomicFile::isTemporaryName(std::string_view fileName) {
    return paths::isTemporaryName(fileName);
}

size_t AtomicFile::removeTemporaryFiles(const fs::path& dir) {
    return paths::removeStaleTemporaryFilesBelow(dir);
}

} // namespace plat
