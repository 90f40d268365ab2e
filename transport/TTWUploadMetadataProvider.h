// What an upload operation asks of its uploader: the earliest time of the next regular upload per
// target, and the API key per target. Thread-safe.
#pragma once

#include "transport/TTRClock.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class TTWUploadMetadataProvider {
public:
    virtual ~TTWUploadMetadataProvider() = default;
    // None when the target may upload at once.
    virtual std::shared_ptr<const TTRClock> nextUploadTimeForTarget(int64_t target) const = 0;
    // Null removes the entry.
    virtual void setNextUploadTime(std::shared_ptr<const TTRClock> time, int64_t target) = 0;
    // None for a target that sends no key.
    virtual std::optional<std::string> APIKeyForTarget(int64_t target) const = 0;
};
