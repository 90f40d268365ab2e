// Reading and writing the entries of a stored VPN profile. A profile file may be damaged or
// written by another version, so every read checks the kind and falls back to a default.
#pragma once

#include "platform/object/Object.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plat::profile_fields {

// Top-level entries of the stored profile.
inline constexpr const char* kGeneration = "generation"; // bumped by every save
inline constexpr const char* kLocalizedDescription = "localizedDescription";
inline constexpr const char* kEnabled = "enabled";
inline constexpr const char* kOnDemandEnabled = "onDemandEnabled";
inline constexpr const char* kOnDemandRules = "onDemandRules";
inline constexpr const char* kProtocol = "protocol";

inline bool readBool(const Object& dict, std::string_view key, bool fallback) {
    const Object& v = dict[key];
    return v.isNumber() ? v.number().boolValue() : fallback;
}

inline int64_t readInt(const Object& dict, std::string_view key, int64_t fallback) {
    const Object& v = dict[key];
    return v.isNumber() && v.number().isInteger() ? v.number().int64Value() : fallback;
}

template <typename E> E readEnum(const Object& dict, std::string_view key, E fallback) {
    return static_cast<E>(readInt(dict, key, static_cast<int64_t>(fallback)));
}

inline std::optional<std::string> readString(const Object& dict, std::string_view key) {
    if (const std::string* s = dict[key].asString()) return *s;
    return std::nullopt;
}

inline std::optional<Data> readData(const Object& dict, std::string_view key) {
    const Object& v = dict[key];
    if (v.isData()) return v.data();
    return std::nullopt;
}

// Optional values are stored only when present.
template <typename T> void writeOptional(Object::Dict& dict, const char* key, const std::optional<T>& value) {
    if (value) dict[key] = Object(*value);
}

template <typename E> Object enumObject(E value) {
    return Object(static_cast<int64_t>(value));
}

} // namespace plat::profile_fields
