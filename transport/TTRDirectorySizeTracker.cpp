#include "transport/TTRDirectorySizeTracker.h"

#include <limits>

namespace fs = std::filesystem;

uint64_t TTRDirectorySizeTracker::directoryContentSize() {
    if (!cachedSizeBytes_) cachedSizeBytes_ = computeSize();
    return *cachedSizeBytes_;
}

void TTRDirectorySizeTracker::fileWasAddedAtPath(const fs::path& path, uint64_t size) {
    if (!isInside(path)) return;
    uint64_t current = directoryContentSize();
    cachedSizeBytes_ = size > std::numeric_limits<uint64_t>::max() - current ? computeSize() : current + size;
}

void TTRDirectorySizeTracker::fileWasRemovedAtPath(const fs::path& path, uint64_t size) {
    if (!isInside(path)) return;
    uint64_t current = directoryContentSize();
    cachedSizeBytes_ = size > current ? computeSize() : current - size;
}

uint64_t TTRDirectorySizeTracker::fileSizeAtURL(const fs::path& path) {
    std::error_code ec;
    uint64_t size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

bool TTRDirectorySizeTracker::isInside(const fs::path& path) const {
    const std::string& root = directoryPath_.native();
    const std::string& candidate = path.native();
    return candidate.size() > root.size() && candidate.compare(0, root.size(), root) == 0 &&
           (root.back() == '/' || candidate[root.size()] == '/');
}

uint64_t TTRDirectorySizeTracker::computeSize() const {
    uint64_t total = 0;
    std::error_code ec;
    fs::recursive_directory_iterator it(directoryPath_, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (!name.empty() && name.front() == '.') {
            std::error_code dirError;
            if (it->is_directory(dirError)) it.disable_recursion_pending();
            continue;
        }
        std::error_code fileError;
        if (!it->is_regular_file(fileError)) continue;
        uint64_t size = it->file_size(fileError);
        if (!fileError) total += size;
    }
    return total;
}
