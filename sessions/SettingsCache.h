// The settings cache in user defaults: the document under "tessera-sessions-settings" and its cache
// key, as JSON data, under "tessera-sessions-cache-key". A property list cannot hold JSON nulls, so
// they are left out of the stored document (from dictionaries and arrays at any depth), as is any
// other value a property list cannot hold (text with NUL characters, integers beyond 2^63 - 1,
// nesting past its depth limit), so one such value never keeps the whole document out of the cache.
// Any thread: the user defaults synchronise.
#pragma once

#include "sessions/SettingsCacheClient.h"

class TULUserDefaults;

inline constexpr const char* kTSRSessionsSettingsCacheKey = "tessera-sessions-settings";
inline constexpr const char* kTSRSessionsCacheKeyKey = "tessera-sessions-cache-key";

class SettingsCache : public SettingsCacheClient {
public:
    // Over the standard user defaults.
    SettingsCache();
    explicit SettingsCache(TULUserDefaults& cache);

    plat::Object::Dict cacheContent() const override;
    void setCacheContent(const plat::Object::Dict& content) override;
    // A key that does not decode logs the reason (at error level) and gives none.
    std::optional<CacheKey> cacheKey() const override;
    // None stores the JSON text "null", which reads back as no key (after the decoding error is logged).
    void setCacheKey(const std::optional<CacheKey>& key) override;
    void removeCache() override;

    // The document as it can be stored: every null, and every value a property list cannot hold,
    // removed at any depth.
    static plat::Object::Dict storableDocument(const plat::Object::Dict& document);

private:
    TULUserDefaults& cache_;
};
