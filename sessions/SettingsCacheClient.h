// Where the remote settings keep their cached document and its cache key.
#pragma once

#include "sessions/CacheKey.h"

#include "platform/object/Object.h"

#include <optional>

class SettingsCacheClient {
public:
    virtual ~SettingsCacheClient() = default;
    // The cached document; empty when none is cached.
    virtual plat::Object::Dict cacheContent() const = 0;
    virtual void setCacheContent(const plat::Object::Dict& content) = 0;
    // The key of the cached document; none when missing or unreadable.
    virtual std::optional<CacheKey> cacheKey() const = 0;
    virtual void setCacheKey(const std::optional<CacheKey>& key) = 0;
    virtual void removeCache() = 0;
};
