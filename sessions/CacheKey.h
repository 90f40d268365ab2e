// What the settings cache remembers about its document: when it was cached, for which app id and for
// which application version ("<display version> (<build version>)"). Stored as JSON, the date as
// seconds since 2001-01-01 00:00:00 UTC, under the keys "createdAt", "tesseraAppID" and "appVersion".
#pragma once

#include "platform/object/Object.h"

#include <optional>
#include <string>
#include <variant>

struct CacheKey {
    plat::Date createdAt;
    std::string tesseraAppID;
    std::string appVersion;

    bool operator==(const CacheKey&) const = default;

    // The JSON text, keys in the order above.
    std::string encode() const;
    // The key from JSON bytes, or a description of why they are no key (malformed JSON, a missing
    // key or a value of the wrong kind).
    static std::variant<CacheKey, std::string> decode(const plat::Data& bytes);
};
