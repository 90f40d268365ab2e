#include "platform/render/ImageStore.h"

#include "platform/foundation/Bundle.h"

namespace plat::render {

ImageStore& ImageStore::shared() {
    static ImageStore* store = new ImageStore();
    return *store;
}

std::shared_ptr<const Bitmap> ImageStore::decode(const std::string& name) const {
    if (auto path = Bundle::main().pathForResource(name, "png")) {
        if (auto bitmap = Bitmap::readPng(*path)) return std::make_shared<const Bitmap>(std::move(*bitmap));
    } else if (fallback_) {
        if (auto file = fallback_(name))
            if (auto bitmap = Bitmap::readPng(*file))
                return std::make_shared<const Bitmap>(bitmap->scaledToFit(fallbackMaxWidth_, fallbackMaxHeight_));
    }
    return nullptr;
}

std::shared_ptr<const Bitmap> ImageStore::image(const std::string& name) {
    std::lock_guard lock(mutex_);
    auto it = images_.find(name);
    if (it != images_.end()) {
        if (!it->second.size) return nullptr;
        if (auto held = it->second.pixels.lock()) return held;
    }
    std::shared_ptr<const Bitmap> decoded = decode(name);
    Entry entry{decoded, std::nullopt};
    if (decoded) entry.size = ImageSize{decoded->width, decoded->height};
    images_.insert_or_assign(name, std::move(entry));
    return decoded;
}

std::optional<ImageStore::ImageSize> ImageStore::size(const std::string& name) {
    {
        std::lock_guard lock(mutex_);
        if (auto it = images_.find(name); it != images_.end()) return it->second.size;
    }
    image(name);
    std::lock_guard lock(mutex_);
    auto it = images_.find(name);
    return it != images_.end() ? it->second.size : std::nullopt;
}

std::shared_ptr<const Bitmap> ImageStore::image(const std::string& name, int maxWidth, int maxHeight) {
    const std::string key = name + "@" + std::to_string(maxWidth) + "x" + std::to_string(maxHeight);
    {
        std::lock_guard lock(mutex_);
        if (auto it = images_.find(key); it != images_.end()) {
            if (!it->second.size) return nullptr;
            if (auto held = it->second.pixels.lock()) return held;
        }
    }
    std::shared_ptr<const Bitmap> small = image(name);
    if (small && (small->width > maxWidth || small->height > maxHeight))
        small = std::make_shared<const Bitmap>(small->scaledToFit(maxWidth, maxHeight));
    Entry entry{small, std::nullopt};
    if (small) entry.size = ImageSize{small->width, small->height};
    std::lock_guard lock(mutex_);
    images_.insert_or_assign(key, std::move(entry));
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
    std::erase_if(images_, [](const auto& entry) { return !entry.second.size; });
}

} // namespace plat::render
