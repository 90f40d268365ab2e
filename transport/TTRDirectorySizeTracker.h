// The byte count of a folder tree (the user's own regular files, hidden ones skipped), computed by one walk and then
// kept current from what the owner reports it wrote and removed. Used only on its owner's queue.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

class TTRDirectorySizeTracker {
public:
    explicit TTRDirectorySizeTracker(std::filesystem::path directoryPath)
        : directoryPath_(std::move(directoryPath)) {}

    const std::filesystem::path& directoryPath() const { return directoryPath_; }
    // The cached size; walks the tree first when none is cached.
    uint64_t directoryContentSize();
    // Adjust the cached size for a file inside the tree (paths outside it are ignored). A removal
    // larger than the cached size means the cache went wrong: it is recounted from the tree instead
    // of wrapping around.
    void fileWasAddedAtPath(const std::filesystem::path& path, uint64_t size);
    void fileWasRemovedAtPath(const std::filesystem::path& path, uint64_t size);
    // Forget the cached size; the next query walks the tree.
    void resetCachedSize() { cachedSizeBytes_.reset(); }
    const std::optional<uint64_t>& cachedSizeBytes() const { return cachedSizeBytes_; }

    // The size of a file; 0 when it cannot be read or is left aside (not the user's own).
    static uint64_t fileSizeAtURL(const std::filesystem::path& path);

private:
    bool isInside(const std::filesystem::path& path) const;
    uint64_t computeSize() const;

    std::filesystem::path directoryPath_;
    std::optional<uint64_t> cachedSizeBytes_;
};
