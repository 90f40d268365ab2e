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
