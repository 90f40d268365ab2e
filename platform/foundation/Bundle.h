// The application bundle: a folder holding "Info.plist" (the information dictionary) and the
// resources. The main bundle is paths::bundleDir(); tests open their own folders. Thread-safe.
#pragma once

#include "platform/object/Object.h"

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace plat {

class Bundle {
public:
    // The application's bundle, rooted at paths::bundleDir() on first use; never destroyed.
    static Bundle& main();
    // A bundle at `path` (the folder that holds Info.plist).
    explicit Bundle(std::filesystem::path path);
    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;

    // The contents of "Info.plist", read once. Empty when the file is missing, unreadable or not a
    // dictionary (a damaged file is also logged).
    const Object::Dict& infoDictionary() const;
    // One information value; absent when the key is not there.
    Object objectForInfoDictionaryKey(const std::string& key) const;
    // "CFBundleIdentifier" when it is a string.
    std::optional<std::string> bundleIdentifier() const;

    const std::filesystem::path& bundlePath() const { return path_; }
    // Resources sit in the bundle folder itself.
    const std::filesystem::path& resourcePath() const { return path_; }
    // The file "<name>.<type>" (or "<name>" when `type` is empty) in the bundle folder or one of
    // its sub-folders, checked in name order; none when absent or when `name` is not a plain file name.
    std::optional<std::filesystem::path> pathForResource(const std::string& name,
                                                         const std::string& type) const;

private:
    std::filesystem::path path_;
    mutable std::once_flag infoOnce_;
    mutable Object::Dict info_;
};

} // namespace plat
