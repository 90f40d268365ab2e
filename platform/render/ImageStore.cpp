#include "platform/render/ImageStore.h"

#include "platform/foundation/Bundle.h"

namespace plat::render {

ImageStore& ImageStore::shared() {
    static ImageStore* store = new ImageStore();
    return *store;
}

std::shared_ptr<const Bitmap> ImageStore::image(const std::string& name) {
    std::lock_guard lock(mutex_);
    if (auto it = images_.find(name); it != images_.end()) return it->second;
    std::shared_ptr<const Bitmap> decoded;
    if (auto path = Bundle::main().pathForResource(name, "png")) {
        if (auto bitmap = Bitmap::readPng(*path))
            decoded = std::make_shared<const Bitmap>(std::move(*bitmap));
    } else if (fallback_) {
        if (auto file = fallback_(name))
            if (auto bitmap = Bitmap::readPng(*file))
                decoded = std::make_shared<const Bitmap>(
                    bitmap->scaledToFit(fallbackMaxWidth_, fallbackMaxHeight_));
    }
    images_.emplace(name, decoded);
    return decoded;
}

std::shared_ptr<const Bitmap> ImageStore::image(const std::string& name, int maxWidth, int maxHeight) {
    const std::string key = name + "@" + std::to_string(maxWidth) + "x" + std::to_string(maxHeight);
    {
        std::lock_guard lock(mutex_);
        if (auto it = images_.find(key); it != images_.end()) return it->second;
    }
    std::shared_ptr<const Bitmap> small = image(name);
    if (small && (small->width > maxWidth || small->height > maxHeight)) {
        auto shrunk = std::make_shared<const Bitmap>(small->scaledToFit(maxWidth, maxHeight));
        std::lock_guard lock(mutex_);
        // The full picture stays only while someone else holds it (the map entry and `small` are
        // the two references here).
        if (auto it = images_.find(name); it != images_.end() && it->second.use_count() <= 2)
            images_.erase(it);
        small = std::move(shrunk);
    }
    std::lock_guard lock(mutex_);
    images_.emplace(key, small);
    return small;
}

void ImageStore::resetForTesting() {
    std::lock_guard lock(mutex_);
    images_.clear();
}

void ImageStore::setFallback(Fallback fallback, int maxWidth, int maxHeight) {
    std::lock_guard lock(mutex_);
    fallback_ = std::move(fallback);
    fallbackMaxWidth_ = maxWidth;
    fallbackMaxHeight_ = maxHeight;
    std::erase_if(images_, [](const auto& entry) { return entry.second == nullptr; });
}

} // namespace plat::render
