// The bundle's images by name ("logo" is the file logo.png anywhere in the bundle's folders).
// A decoded image is shared while anyone holds it and decoded again when asked for after that: a
// window keeps an image as a texture, so the pixels need not stay in memory as well. Sizes, and
// names that have no file, are remembered. Thread-safe; created on first use, never destroyed.
#pragma once

#include "platform/render/Bitmap.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace plat::render {

class ImageStore {
public:
    static ImageStore& shared();
    ImageStore(const ImageStore&) = delete;
    ImageStore& operator=(const ImageStore&) = delete;

    // The decoded image; null when the bundle has no readable PNG of that name.
    std::shared_ptr<const Bitmap> image(const std::string& name);
    // The image's size in pixels without keeping its pixels; none when there is no such image.
    struct ImageSize {
        int width = 0;
        int height = 0;
    };
    std::optional<ImageSize> size(const std::string& name);
    // The image shrunk to fit `maxWidth` by `maxHeight` pixels (as it is when already that small),
    // kept in that size only: what a large image costs where it is only ever shown small.
    std::shared_ptr<const Bitmap> image(const std::string& name, int maxWidth, int maxHeight);
    // Test hook: forget every decoded image (for example after the bundle folder changed).
    void resetForTesting();

    // Where to find a name the bundle has no image of (the country flags come from a system image
    // set); none by default. Names found missing before are looked up again. Images found there are
    // kept shrunk to fit `maxSize` (pixels), which is as large as the application draws them: the
    // set's flags are far larger than the rows show them.
    using Fallback = std::function<std::optional<std::filesystem::path>(const std::string& name)>;
    void setFallback(Fallback fallback, int maxWidth = 0, int maxHeight = 0);

private:
    ImageStore() = default;
    struct Entry {
        std::weak_ptr<const Bitmap> pixels;
        std::optional<ImageSize> size; // none: no such image
    };
    std::shared_ptr<const Bitmap> decode(const std::string& name) const; // mutex_ held
    std::mutex mutex_;
    std::map<std::string, Entry> images_;
    Fallback fallback_;
    int fallbackMaxWidth_ = 0;
    int fallbackMaxHeight_ = 0;
};

} // namespace plat::render
