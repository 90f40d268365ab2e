#include "transport/TTRDirectorySizeTracker.h"

#include "platform/foundation/Beneath.h"
#include "platform/foundation/FolderCheck.h"
#include "platform/foundation/OwnFiles.h"

#include <limits>
#include <sys/stat.h>

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
    // What is left aside (another user's file, a link) counts for nothing.
    std::optional<struct stat> info = plat::paths::entryStatus(path);
    return info && !plat::beneath::fileRefusal(path, *info) ? static_cast<uint64_t>(info->st_size) : 0;
}

bool TTRDirectorySizeTracker::isInside(const fs::path& path) const {
    const std::string& root = directoryPath_.native();
    const std::string& candidate = path.native();
    return candidate.size() > root.size() && candidate.compare(0, root.size(), root) == 0 &&
           (root.back() == '/' || candidate[root.size()] == '/');
}

namespace {

// The size of the plain files below `folder`, hidden ones left out; what is left aside (another
// user's file or folder, a link) is not there for the count.
uint64_t sizeBelow(const fs::path& folder, int depth) {
    uint64_t total = 0;
    for (const auto& [name, info] :
         plat::paths::ownEntries(folder).value_or(std::vector<plat::paths::FolderEntry>{})) {
        if (name.empty() || name.front() == '.') continue;
        if (S_ISREG(info.st_mode))
            total += static_cast<uint64_t>(info.st_size);
        else if (S_ISDIR(info.st_mode) && depth < plat::folders::kMostDepth)
            total += sizeBelow(folder / name, depth + 1);
    }
    return total;
}

} // namespace

uint64_t TTRDirectorySizeTracker::computeSize() const {
    return sizeBelow(directoryPath_, 0);
}
