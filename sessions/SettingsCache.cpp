#include "sessions/SettingsCache.h"

#include "sessions/SessionsLogger.h"

#include "core/TULUserDefaults.h"
#include "platform/foundation/PropertyList.h"

#include <variant>

SettingsCache::SettingsCache() : SettingsCache(TULUserDefaults::standardUserDefaults()) {}

SettingsCache::SettingsCache(TULUserDefaults& cache) : cache_(cache) {}

plat::Object::Dict SettingsCache::cacheContent() const {
    return cache_.dictionaryForKey(kTSRSessionsSettingsCacheKey).value_or(plat::Object::Dict());
}

void SettingsCache::setCacheContent(const plat::Object::Dict& content) {
    cache_.setObject(plat::Object(storableDocument(content)), kTSRSessionsSettingsCacheKey);
}

std::optional<CacheKey> SettingsCache::cacheKey() const {
    plat::Object stored = cache_.objectForKey(kTSRSessionsCacheKeyKey);
    if (!stored.isData()) return std::nullopt;
    auto decoded = CacheKey::decode(stored.data());
    if (auto* reason = std::get_if<std::string>(&decoded)) {
        TSRSessionsLog(TSRLoggerLevelError, "[Settings] Decoding CacheKey failed with error: " + *reason);
        return std::nullopt;
    }
    return std::get<CacheKey>(decoded);
}

void SettingsCache::setCacheKey(const std::optional<CacheKey>& key) {
    cache_.setObject(plat::Object(plat::toData(key ? key->encode() : "null")), kTSRSessionsCacheKeyKey);
}

void SettingsCache::removeCache() {
    cache_.removeObjectForKey(kTSRSessionsSettingsCacheKey);
    cache_.removeObjectForKey(kTSRSessionsCacheKeyKey);
}

namespace {

std::optional<plat::Object> storable(const plat::Object& value, int depth) {
    if (value.isNull()) return std::nullopt;
    const bool container = value.isDict() || value.isArray();
    // One level short of the property list's limit, so the document's own key has room.
    if (container && depth >= plat::PropertyList::kMaxDepth - 1) return std::nullopt;
    if (const plat::Object::Dict* dict = value.asDict()) {
        plat::Object::Dict kept;
        for (const auto& [key, element] : *dict) {
            if (!plat::PropertyList::isValidText(key)) continue;
            if (auto child = storable(element, depth + 1)) kept.emplace(key, std::move(*child));
        }
        return plat::Object(std::move(kept));
    }
    if (const plat::Object::Array* array = value.asArray()) {
        plat::Object::Array kept;
        for (const auto& element : *array)
            if (auto child = storable(element, depth + 1)) kept.push_back(std::move(*child));
        return plat::Object(std::move(kept));
    }
    if (!plat::PropertyList::isValid(value)) return std::nullopt;
    return value;
}

} // namespace

plat::Object::Dict SettingsCache::storableDocument(const plat::Object::Dict& document) {
    std::optional<plat::Object> kept = storable(plat::Object(document), 0);
    return kept ? kept->dict() : plat::Object::Dict();
}
