// The session settings' reads of untrusted bytes: a settings reply as the download parses it, the
// document as it is made storable and then read, and the cache key as it is decoded from user
// defaults. The first input byte picks the reader.
#include "sessions/ApplicationInfo.h"
#include "sessions/CacheKey.h"
#include "sessions/RemoteSettings.h"
#include "sessions/SettingsCache.h"
#include "sessions/SettingsDownloader.h"

#include "platform/foundation/PropertyList.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <variant>

namespace {

// The cache in memory, so every input starts from the same state and nothing touches the disk.
class MemoryCache : public SettingsCacheClient {
public:
    plat::Object::Dict cacheContent() const override { return content_; }
    void setCacheContent(const plat::Object::Dict& content) override { content_ = content; }
    std::optional<CacheKey> cacheKey() const override { return key_; }
    void setCacheKey(const std::optional<CacheKey>& key) override { key_ = key; }
    void removeCache() override {
        content_.clear();
        key_.reset();
    }

private:
    plat::Object::Dict content_;
    std::optional<CacheKey> key_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t mode = data[0];
    plat::Data bytes(data + 1, data + size);
    if (mode % 2 == 0) {
        SettingsFetchResult reply = SettingsDownloader::parseReply(200, bytes);
        auto* document = std::get_if<plat::Object::Dict>(&reply);
        if (!document) return 0;
        plat::Object::Dict stored = SettingsCache::storableDocument(*document);
        // Whatever the reply held, what goes to the user defaults must be a property list.
        if (!plat::PropertyList::isValid(plat::Object(stored))) std::abort();
        auto appInfo = std::make_shared<ApplicationInfo>("1:1:ios:1", std::make_shared<NetworkInfo>(),
                                                         std::map<std::string, std::string>(), std::nullopt);
        auto cache = std::make_shared<MemoryCache>();
        cache->setCacheContent(stored);
        cache->setCacheKey(CacheKey{plat::Date{1e9}, "1:1:ios:1", " ()"});
        RemoteSettings remote(appInfo, nullptr, cache);
        (void)remote.sessionsEnabled();
        (void)remote.samplingRate();
        (void)remote.sessionTimeout();
        (void)remote.isCacheExpired(plat::Date{1e9 + 3600});
    } else {
        auto key = CacheKey::decode(bytes);
        if (auto* decoded = std::get_if<CacheKey>(&key)) {
            // A key that decoded writes out as a key again.
            if (!std::holds_alternative<CacheKey>(CacheKey::decode(plat::toData(decoded->encode()))))
                std::abort();
        }
    }
    return 0;
}
