// Finds the flag image for a region's country code: the code in lower case names a PNG file in
// one of a list of folders (the bundle's "flags" folder, then the system's flag set), with aliases
// for the codes the service uses that differ from the file names ("UK" → gb, "EL" → gr, the
// United Kingdom's nations). A code with no image gives none, and the row leaves its frame empty.
// Thread-safe; results are cached.
#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat::map {

class FlagLookup {
public:
    // Where Debian's iso-flags-png-320x240 package puts its images (320 × 240 pixels each).
    static constexpr const char* kSystemDirectory = "/usr/share/iso-flags-png-320x240";
    static constexpr int kImageWidth = 320;
    static constexpr int kImageHeight = 240;
    static constexpr size_t kMaxCachedCodes = 1024;

    // Searches the main bundle's "flags" folder, then kSystemDirectory; never destroyed.
    static FlagLookup& shared();
    // Searches `directories` in order.
    explicit FlagLookup(std::vector<std::filesystem::path> directories);

    // The image file for `countryCode` (any letter case, "-" or "_" between parts, surrounding
    // blanks ignored); none when the code is malformed or no folder holds an image for it.
    std::optional<std::filesystem::path> pathFor(std::string_view countryCode) const;

    // The file names (without ".png") tried for a code, in order: the code itself in lower case,
    // then its aliases. Empty for anything but two letters optionally followed by "-" and up to
    // eight letters or digits (so no code can name a path outside the folders).
    static std::vector<std::string> candidates(std::string_view countryCode);

private:
    std::vector<std::filesystem::path> directories_;
    mutable std::mutex mutex_;
    mutable std::map<std::string, std::optional<std::filesystem::path>, std::less<>> cache_;
};

} // namespace plat::map
