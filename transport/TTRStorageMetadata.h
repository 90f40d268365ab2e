// The storage's size now and its cap, for the client metrics. Travels through promises as an opaque
// object (asObject / fromObject).
#pragma once

#include "platform/object/Object.h"

#include <cstdint>
#include <memory>

class TTRStorageMetadata {
public:
    TTRStorageMetadata(uint64_t currentCacheSize, uint64_t maxCacheSize)
        : currentCacheSize_(currentCacheSize), maxCacheSize_(maxCacheSize) {}
    static std::shared_ptr<const TTRStorageMetadata> metadataWithCurrentCacheSize(uint64_t current,
                                                                                  uint64_t max) {
        return std::make_shared<const TTRStorageMetadata>(current, max);
    }

    uint64_t currentCacheSize() const { return currentCacheSize_; }
    uint64_t maxCacheSize() const { return maxCacheSize_; }

    static plat::Object asObject(std::shared_ptr<const TTRStorageMetadata> metadata) {
        return plat::Object(
            plat::Opaque::make<TTRStorageMetadata>(std::move(metadata), "TTRStorageMetadata"));
    }
    static std::shared_ptr<const TTRStorageMetadata> fromObject(const plat::Object& object) {
        const plat::Opaque& opaque = object.opaque();
        if (!opaque.as<TTRStorageMetadata>()) return nullptr;
        return std::static_pointer_cast<const TTRStorageMetadata>(opaque.pointer);
    }

private:
    uint64_t currentCacheSize_;
    uint64_t maxCacheSize_;
};
